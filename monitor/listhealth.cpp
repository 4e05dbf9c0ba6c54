#include "monitor/listhealth.h"

int ListHealth::failed(StatusList list, const QDateTime& now)
{
    Entry& entry = at(list);
    if (entry.failures++ == 0)
        entry.firstFailure = now;
    return entry.failures;
}

bool ListHealth::answered(StatusList list, const QDateTime& now)
{
    Entry& entry = at(list);
    const bool wasStale = entry.stale;
    entry = Entry();
    entry.lastAnswer = now;
    return wasStale;
}

void ListHealth::markStale(StatusList list)
{
    at(list).stale = true;
}

QDateTime ListHealth::staleSince(StatusList list) const
{
    const Entry& entry = at(list);
    return entry.lastAnswer.isValid() ? entry.lastAnswer : entry.firstFailure;
}
