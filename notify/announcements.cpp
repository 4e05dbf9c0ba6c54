#include "notify/announcements.h"

#include <QUrl>

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

bool offersCommands(const Announcement& change)
{
    return isProblem(change.kind) && change.summarised == 0 && !change.host.isEmpty();
}

void setObjectFromUrl(Announcement& change)
{
    const QString query = change.url.section(QLatin1Char('?'), 1);
    for (const QString& item : query.split(QLatin1Char('&'))) {
        const QString key = item.section(QLatin1Char('='), 0, 0);
        QString value = item.section(QLatin1Char('='), 1);
        value = QUrl::fromPercentEncoding(value.replace(QLatin1Char('+'), QLatin1Char(' ')).toUtf8());
        if (key == QLatin1String("host"))
            change.host = value;
        else if (key == QLatin1String("service"))
            change.service = value;
    }
}
