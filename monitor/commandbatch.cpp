#include "monitor/commandbatch.h"

#include "monitor/serverlink.h"

#include <QMetaObject>

CommandBatch::CommandBatch(
    Kind kind, const QList<Target>& targets, const QList<ServerLink*>& links, QObject* parent)
    : QObject(parent), m_kind(kind), m_targets(targets)
{
    for (ServerLink* link : links)
        m_links.insert(link->id(), link);
    for (const Target& target : targets)
        ++m_unfinished[target.serverId];
}

// Commands still running are children: they go without a signal.
CommandBatch::~CommandBatch() = default;

void CommandBatch::setAcknowledgement(const NagiosCommand::Acknowledgement& acknowledgement)
{
    m_acknowledgement = acknowledgement;
}

void CommandBatch::setDowntime(const NagiosCommand::Downtime& downtime)
{
    m_downtime = downtime;
}

void CommandBatch::start()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            sendNext();
            finishWhenDone();
        },
        Qt::QueuedConnection);
}

void CommandBatch::sendNext()
{
    while (m_running < maxRunning && m_next < m_targets.size()) {
        const int index = m_next++;
        const Target& target = m_targets.at(index);
        ServerLink* link = m_links.value(target.serverId);
        if (!link) {
            ended(index, {NagiosCommand::Outcome::Failed, tr("The server is no longer watched."), 0});
            continue;
        }
        NagiosCommand* command = link->createCommand(this);
        ++m_running;
        connect(command, &NagiosCommand::finished, this,
            [this, command, index](const NagiosCommand::Result& result) {
                command->deleteLater();
                --m_running;
                ended(index, result);
                sendNext();
                finishWhenDone();
            });
        const QString author = m_author ? m_author(link->settingsInForce()) : QString();
        switch (m_kind) {
        case Kind::Acknowledge: {
            NagiosCommand::Acknowledgement acknowledgement = m_acknowledgement;
            if (!author.isEmpty())
                acknowledgement.author = author;
            command->acknowledge(target.host, target.service, acknowledgement);
            break;
        }
        case Kind::Recheck:
            command->recheck(target.host, target.service);
            break;
        case Kind::Downtime: {
            NagiosCommand::Downtime downtime = m_downtime;
            if (!author.isEmpty())
                downtime.author = author;
            command->scheduleDowntime(target.host, target.service, downtime);
            break;
        }
        }
    }
}

void CommandBatch::ended(int index, const NagiosCommand::Result& result)
{
    const Target& target = m_targets.at(index);
    if (result.outcome == NagiosCommand::Outcome::Submitted) {
        ++m_submitted;
        m_took[target.serverId] = true;
    } else {
        m_failures.append({target, result.reason});
    }
    if (--m_unfinished[target.serverId] == 0 && m_took.value(target.serverId)) {
        if (ServerLink* link = m_links.value(target.serverId))
            link->commandTaken();
    }
}

void CommandBatch::finishWhenDone()
{
    if (m_done || m_running > 0 || m_next < m_targets.size())
        return;
    m_done = true;
    emit finished();
}
