#include "notify/announcements.h"

namespace {

// Problems and recoveries are limited each on their own.
int groupOf(const Announcement& change)
{
    return isProblem(change.kind) ? 1 : 0;
}

} // namespace

QList<Announcement> limitAnnouncements(const QList<Announcement>& changes, int limit)
{
    int total[2] = {0, 0};
    int seen[2] = {0, 0};
    QString commonStatus[2];
    bool mixedStatus[2] = {false, false};
    for (const Announcement& change : changes) {
        const int group = groupOf(change);
        ++total[group];
        if (seen[group]++ < limit - 1)
            continue;
        if (commonStatus[group].isNull())
            commonStatus[group] = change.status;
        else if (commonStatus[group] != change.status)
            mixedStatus[group] = true;
    }

    QList<Announcement> result;
    seen[0] = seen[1] = 0;
    for (const Announcement& change : changes) {
        const int group = groupOf(change);
        const int index = seen[group]++;
        if (total[group] <= limit || index < limit - 1) {
            result.append(change);
        } else if (index == limit - 1) {
            Announcement summary;
            summary.kind = change.kind;
            summary.summarised = total[group] - index;
            summary.status = mixedStatus[group] ? QString() : commonStatus[group];
            result.append(summary);
        }
    }
    return result;
}
