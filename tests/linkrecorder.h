#pragma once

#include "monitor/serverlink.h"

#include <QObject>
#include <QStringList>

#include <utility>

// What a link told its view during a poll, in a few words per event, sorted: the two lists'
// answers come in either order.
class LinkRecorder : public QObject
{
public:
    explicit LinkRecorder(ServerLink* link)
    {
        connect(link, &ServerLink::pageWalked, this, [this, link](StatusList list, const PagePlan& plan) {
            for (const NewProblem& problem : plan.added)
                m_events << QStringLiteral("new %1 %2 \"%3\"%4")
                                .arg(problem.name, problem.status, problem.details.output,
                                    flags(problem.details));
            for (const GoneProblem& problem : plan.gone)
                m_events << (problem.quiet ? QStringLiteral("quietly gone ") : QStringLiteral("recovered "))
                        + problem.name;
            for (const UpdatedProblem& problem : plan.updated)
                m_events << QStringLiteral("shows %1 %2%3")
                                .arg(link->problems(list).at(problem.entry).name, problem.status,
                                    flags(problem.details));
        });
        connect(link, &ServerLink::errorStateEntered, this, [this](const QString& message) {
            m_events << QStringLiteral("error ") + message.section(QLatin1Char('\n'), 1, 1);
        });
        connect(link, &ServerLink::errorStateLeft, this, [this] { m_events << QStringLiteral("fine"); });
    }

    QStringList takeEvents()
    {
        QStringList events = std::exchange(m_events, {});
        events.sort();
        return events;
    }

private:
    static QString flags(const ProblemDetails& details)
    {
        QString text;
        if (details.softState)
            text += QStringLiteral(" soft %1/%2").arg(details.attempt).arg(details.maxAttempts);
        if (details.acknowledged)
            text += QStringLiteral(" acknowledged");
        if (details.inDowntime)
            text += QStringLiteral(" downtime");
        return text;
    }

    QStringList m_events;
};
