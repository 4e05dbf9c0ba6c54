#include "monitor/pagewalk.h"

#include "monitor/statusjson.h"

#include <QSet>

namespace {

bool statusChosen(const MonitorSettings& settings, PageKind kind, const QString& status)
{
    if (kind == PageKind::Hosts)
        return status == QLatin1String("DOWN") ? settings.useHostDownStat : settings.useHostUnreachStat;
    if (status == QLatin1String("WARNING"))
        return settings.useSrvWarnStat;
    return status == QLatin1String("CRITICAL") ? settings.useSrvCritStat : settings.useSrvUnknStat;
}

// The rows of one whole page or answer compared with the entries: the one comparison both status
// sources share. `hidden` names (case-folded) the rows a hiding filter took out: their entries leave
// quietly.
void compareRows(PagePlan& plan, PageKind kind, QList<StatusRow>& rows, const QSet<QString>& hidden,
    const MonitorSettings& settings, const ProblemList& problems)
{
    const bool services = kind == PageKind::Services;
    rows.removeIf([&settings, services](const StatusRow& row) {
        return services ? !serviceRowCounts(settings, row.serviceName) : !hostRowCounts(settings, row.name);
    });
    const ProblemChanges changes = problems.compare(rows);

    const QString prefix = settings.serverAuthority() + settings.nagiosExecDir;
    for (int index = 0; index < problems.size(); ++index) {
        const int row = changes.entryRows.at(index);
        if (row < 0)
            continue;
        const ProblemList::Entry& entry = problems.at(index);
        const StatusRow& current = rows.at(row);
        if (entry.status != current.status || entry.details != current.details)
            plan.updated.append({index, current.status, current.details});
    }

    QString hostName; // the rows of a host follow each other: they share one copy of its name
    plan.added.reserve(changes.newRows.size());
    for (const int index : changes.newRows) {
        StatusRow& row = rows[index];
        if (services) {
            const QStringView host = QStringView(row.name).sliced(row.serviceName.size() + 1);
            if (host != hostName)
                hostName = host.toString();
        }
        // Built to its size: "prefix + link" would round the copy up to a power of two.
        QString address;
        address.reserve(prefix.size() + row.link.size());
        address.append(prefix).append(row.link);
        plan.added.append({std::move(row.name), std::move(address), std::move(row.status),
            std::move(row.serviceName), hostName, std::move(row.details)});
    }

    plan.gone.reserve(changes.goneEntries.size());
    for (const int index : changes.goneEntries) {
        const ProblemList::Entry& entry = problems.at(index);
        const bool quiet = !hidden.isEmpty() && hidden.contains(entry.name.toCaseFolded());
        const bool announced = !quiet
            && (services ? serviceRecoveryAnnounced(settings, entry.serviceName, entry.hostName)
                         : hostRecoveryAnnounced(settings, entry.name));
        plan.gone.append({index, entry.name, entry.data, announced, quiet});
    }
}

} // namespace

PagePlan planPage(PageKind kind, const QString& text, const PageRule& rule, const MonitorSettings& settings,
    const ProblemList& problems)
{
    PagePlan plan;
    const bool services = kind == PageKind::Services;
    const bool statusCgi
        = (services ? settings.servicesRequest : settings.hostsRequest).contains(QLatin1String("status.cgi"));
    if (text.isEmpty()) {
        if (statusCgi)
            plan.verdict = PageVerdict::NotStatusPage;
        return plan;
    }

    bool read = true;
    QList<StatusRow> rows
        = services ? extractServiceRows(text, rule, &read) : extractHostRows(text, rule, &read);
    if (!read) {
        plan.verdict = PageVerdict::ExpressionFailed;
        return plan;
    }
    if (statusCgi) {
        plan.totals = readPageTotals(text);
        if (!plan.totals.found)
            plan.verdict = rows.isEmpty() ? PageVerdict::NotStatusPage : PageVerdict::Incomplete;
        else if (plan.totals.cut())
            plan.verdict = PageVerdict::CutByServer;
        if (plan.verdict != PageVerdict::Whole)
            return plan;
    }
    compareRows(plan, kind, rows, {}, settings, problems);
    return plan;
}

PagePlan planJsonPage(
    PageKind kind, const QByteArray& body, const MonitorSettings& settings, const ProblemList& problems)
{
    PagePlan plan;
    JsonStatusList list = kind == PageKind::Services ? readJsonServiceList(body) : readJsonHostList(body);
    switch (list.result.verdict) {
    case JsonVerdict::Whole:
        break;
    case JsonVerdict::NotStatusAnswer:
        plan.verdict = PageVerdict::NotStatusPage;
        plan.serverMessage = list.result.message;
        return plan;
    case JsonVerdict::Unreadable:
        plan.verdict = PageVerdict::Unreadable;
        return plan;
    }
    QSet<QString> hidden;
    list.rows.removeIf([&settings, &hidden, kind](const StatusRow& row) {
        if (!statusChosen(settings, kind, row.status))
            return true;
        if (detailsCount(settings, row.details))
            return false;
        hidden.insert(row.name.toCaseFolded());
        return true;
    });
    compareRows(plan, kind, list.rows, hidden, settings, problems);
    return plan;
}

bool detailsCount(const MonitorSettings& settings, const ProblemDetails& details)
{
    return !(settings.hideAcknowledged && details.acknowledged)
        && !(settings.hideDowntime && details.inDowntime) && !(settings.hideSoftStates && details.softState)
        && !(settings.hideFlapping && details.flapping)
        && !(settings.hideNotificationsOff && !details.notificationsEnabled);
}

void applyPlan(PagePlan&& plan, ProblemList& problems, const QList<QObject*>& handles)
{
    for (UpdatedProblem& problem : plan.updated)
        problems.update(problem.entry, std::move(problem.status), std::move(problem.details));
    problems.reserve(plan.added.size());
    for (qsizetype i = 0; i < plan.added.size(); ++i) {
        NewProblem& problem = plan.added[i];
        problems.append({std::move(problem.name), std::move(problem.address), std::move(problem.serviceName),
            std::move(problem.hostName), i < handles.size() ? handles.at(i) : nullptr,
            std::move(problem.status), std::move(problem.details)});
    }
    QList<int> gone;
    gone.reserve(plan.gone.size());
    for (const GoneProblem& problem : plan.gone)
        gone.append(problem.entry);
    problems.removeEntries(gone);
}
