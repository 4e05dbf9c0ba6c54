#pragma once

// What every plan of a walk must hold, whatever the answer: for the page walk and the JSON walk.

#include "monitor/pagewalk.h"
#include "printable.h"

#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <utility>

// Aborts with what broke, the list it broke on and the text that shows it.
inline void check(bool holds, const char* what, PageKind kind, const QString& detail = QString())
{
    if (holds)
        return;
    std::fprintf(stderr, "%s answer: %s [%s]\n", kind == PageKind::Hosts ? "hosts" : "services", what,
        escaped(detail).constData());
    std::abort();
}

inline bool sameIgnoringCase(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The known entries whose bit is set in present.
inline ProblemList presentEntries(const QList<ProblemList::Entry>& known, unsigned present)
{
    ProblemList problems;
    for (qsizetype i = 0; i < known.size(); ++i) {
        if ((present >> i) & 1)
            problems.append(known.at(i));
    }
    return problems;
}

// Gone problems in order, each the entry it names.
inline void checkGone(const PagePlan& plan, const ProblemList& problems, PageKind kind)
{
    int previous = -1;
    for (const GoneProblem& gone : plan.gone) {
        check(gone.entry > previous && gone.entry < problems.size(), "a gone index is out of range or order",
            kind, QString::number(gone.entry));
        const ProblemList::Entry& entry = problems.at(gone.entry);
        check(gone.name == entry.name && gone.address == entry.data, "a gone problem is not its entry", kind,
            gone.name);
        previous = gone.entry;
    }
}

// The i-th new problem is no entry, not new twice, and passes the name filters; a service is
// named service:host.
inline void checkNewProblem(const PagePlan& plan, qsizetype i, const ProblemList& problems,
    const MonitorSettings& settings, PageKind kind)
{
    const NewProblem& added = plan.added.at(i);
    for (const ProblemList::Entry& entry : problems.entries())
        check(!sameIgnoringCase(added.name, entry.name), "a new problem is an entry", kind, added.name);
    for (qsizetype j = 0; j < i; ++j)
        check(!sameIgnoringCase(added.name, plan.added.at(j).name), "a name twice among the new problems",
            kind, added.name);
    if (kind == PageKind::Services) {
        check(added.name == added.serviceName + QLatin1Char(':') + added.hostName,
            "a service's name is not service:host", kind, added.name);
        check(
            serviceRowCounts(settings, added.serviceName), "a filtered service row is new", kind, added.name);
    } else {
        check(hostRowCounts(settings, added.name), "a filtered host row is new", kind, added.name);
    }
}

// Applies the plan: the entries are as many as it says.
inline void checkApplied(PagePlan plan, ProblemList& problems, PageKind kind)
{
    const int expectedSize = problems.size() - static_cast<int>(plan.gone.size() - plan.added.size());
    applyPlan(std::move(plan), problems);
    check(problems.size() == expectedSize, "applying the plan leaves a wrong number of entries", kind);
}
