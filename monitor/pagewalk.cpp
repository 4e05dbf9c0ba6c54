#include "monitor/pagewalk.h"

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

    rows.removeIf([&settings, services](const StatusRow& row) {
        return services ? !serviceRowCounts(settings, row.serviceName) : !hostRowCounts(settings, row.name);
    });
    const ProblemChanges changes = problems.compare(rows);

    const QString prefix = settings.serverAuthority() + settings.nagiosExecDir;
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
            std::move(row.serviceName), hostName});
    }
    plan.gone.reserve(changes.goneEntries.size());
    for (const int index : changes.goneEntries) {
        const ProblemList::Entry& entry = problems.at(index);
        const bool announced = services
            ? serviceRecoveryAnnounced(settings, entry.serviceName, entry.hostName)
            : hostRecoveryAnnounced(settings, entry.name);
        plan.gone.append({index, entry.name, entry.data, announced});
    }
    return plan;
}

void applyPlan(PagePlan&& plan, ProblemList& problems, const QList<QObject*>& handles)
{
    problems.reserve(plan.added.size());
    for (qsizetype i = 0; i < plan.added.size(); ++i) {
        NewProblem& problem = plan.added[i];
        problems.append({std::move(problem.name), std::move(problem.address), std::move(problem.serviceName),
            std::move(problem.hostName), i < handles.size() ? handles.at(i) : nullptr});
    }
    QList<int> gone;
    gone.reserve(plan.gone.size());
    for (const GoneProblem& problem : plan.gone)
        gone.append(problem.entry);
    problems.removeEntries(gone);
}
