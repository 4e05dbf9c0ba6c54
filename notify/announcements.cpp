#include "notify/announcements.h"

#include <QCoreApplication>
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

QString problemDuration(const QDateTime& since, const QDateTime& now)
{
    if (!since.isValid())
        return {};
    const auto translated = [](const char* text) { return QCoreApplication::translate("Tarvix", text); };
    const qint64 minutes = qMax<qint64>(0, since.secsTo(now) / 60);
    QString length;
    if (minutes < 60)
        length = translated(QT_TRANSLATE_NOOP("Tarvix", "%1 min")).arg(minutes);
    else if (minutes < 24 * 60)
        length = translated(QT_TRANSLATE_NOOP("Tarvix", "%1 h %2 min")).arg(minutes / 60).arg(minutes % 60);
    else
        length = translated(QT_TRANSLATE_NOOP("Tarvix", "%1 d %2 h"))
                     .arg(minutes / (24 * 60))
                     .arg(minutes / 60 % 24);
    const QString start = since.toLocalTime().date() == now.toLocalTime().date()
        ? since.toLocalTime().toString(QStringLiteral("hh:mm"))
        : since.toLocalTime().toString(QStringLiteral("dd.MM hh:mm"));
    return translated(QT_TRANSLATE_NOOP("Tarvix", "since %1, %2")).arg(start, length);
}

QString problemSummary(const QString& status, const ProblemDetails& details, const QDateTime& now)
{
    QStringList lines {status};
    if (!details.output.isEmpty())
        lines << details.output;
    const QString duration = problemDuration(details.lastStateChange, now);
    if (!duration.isEmpty())
        lines << duration;
    return lines.join(QLatin1Char('\n'));
}

QList<Announcement> announcementsOf(const PagePlan& plan, const ProblemList& problems, bool hosts,
    const QString& scheme, const QString& serverId, const QString& namePrefix)
{
    QList<Announcement> changes;
    changes.reserve(plan.added.size() + plan.gone.size());
    for (const NewProblem& problem : plan.added) {
        Announcement change;
        change.name = namePrefix + problem.name;
        change.kind = hosts ? HostProblem : ServiceProblem;
        change.url = scheme + problem.address;
        change.status = problem.status;
        change.host = problem.hostName.isEmpty() ? problem.name : problem.hostName;
        change.service = problem.serviceName;
        change.serverId = serverId;
        change.details = problem.details;
        changes.append(change);
    }
    for (const GoneProblem& problem : plan.gone) {
        if (!problem.announced)
            continue;
        const ProblemList::Entry& entry = problems.at(problem.entry);
        Announcement change;
        change.name = namePrefix + problem.name;
        change.kind = hosts ? HostRecovered : ServiceRecovered;
        change.url = scheme + problem.address;
        change.status = hosts ? QStringLiteral("Host UP") : QStringLiteral("Service Up");
        change.host = entry.hostName.isEmpty() ? entry.name : entry.hostName;
        change.service = entry.serviceName;
        change.serverId = serverId;
        changes.append(change);
    }
    return changes;
}
