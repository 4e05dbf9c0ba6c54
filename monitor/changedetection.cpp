#include "app/tarvix.h"

#include "monitor/pagewalk.h"
#include "monitor/statusrules.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcMonitor)

namespace {

// An open menu lays itself out anew for every action added or removed: a flood of changes would
// hold the program for minutes. A walk that changes more entries than this closes it first.
constexpr int changesAnOpenMenuTakes = 20;

// Names come from the server and are shown as they are: "&" would make a mnemonic of the next letter.
QString entryText(const QString& name)
{
    return QString(name).replace(QLatin1Char('&'), QLatin1String("&&"));
}

// Qt looks each removed action up in the menu's list and closes the gap behind it: taken from
// the end, the gaps stay short (none at all when every entry goes).
void deleteEntries(QMenu& menu, const QList<QAction*>& entries)
{
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        menu.removeAction(*it);
        delete *it;
    }
}

Announcement announcement(const QString& name, ChangeEventKind kind, const QString& url,
    const QString& status, const QString& host, const QString& service)
{
    Announcement change;
    change.name = name;
    change.kind = kind;
    change.url = url;
    change.status = status;
    change.host = host;
    change.service = service;
    return change;
}

} // namespace

PageRule Tarvix::hostsPageRule() const
{
    return {settings.hostsRegExp, settings.hostStatRxPos, settings.hostLinkRxPos, settings.hostNameRxPos};
}

PageRule Tarvix::servicesPageRule() const
{
    return {settings.srvcsRegExp, settings.srvStatRxPos, settings.srvLinkRxPos, settings.srvNameRxPos};
}

PagePlan Tarvix::walkPage(int id) const
{
    if (id == hostsRequestId)
        return planPage(PageKind::Hosts, hostsPageText, hostsPageRule(), settings, hostProblems);
    return planPage(PageKind::Services, servicesPageText, servicesPageRule(), settings, serviceProblems);
}

void Tarvix::parseHostsPage(PagePlan plan)
{
    if (hostsPageText.isEmpty())
        return;
    const ProblemPage page {hostsMenu, hostProblems, settings.showHostsMessages, HostProblem, HostRecovered,
        QStringLiteral("Host UP"), pageAddress(settings.hostsRequest)};
    applyPage(page, std::move(plan));
}

void Tarvix::parseServicesPage(PagePlan plan)
{
    if (servicesPageText.isEmpty())
        return;
    const ProblemPage page {servicesMenu, serviceProblems, settings.showSrvcsMessages, ServiceProblem,
        ServiceRecovered, QStringLiteral("Service Up"), pageAddress(settings.servicesRequest)};
    applyPage(page, std::move(plan));
}

// The menu follows the plan, then its changes are announced in the plan's order (a flood
// summarised), then the tooltip.
void Tarvix::applyPage(const ProblemPage& page, PagePlan plan)
{
    if (plan.added.size() + plan.gone.size() > changesAnOpenMenuTakes) {
        page.menu.hide();
        combinedMenu.hide();
    }

    QList<Announcement> changes;
    changes.reserve(plan.added.size() + plan.gone.size());
    QList<QAction*> added;
    added.reserve(plan.added.size());
    for (const NewProblem& problem : std::as_const(plan.added)) {
        auto* entry = new QAction(entryText(problem.name), this);
        entry->setData(problem.address);
        added.append(entry);
        qCInfo(lcMonitor).noquote() << "entry added" << problem.name << problem.status << problem.address;
        changes.append(
            announcement(problem.name, page.problemKind, settings.scheme() + problem.address, problem.status,
                problem.hostName.isEmpty() ? problem.name : problem.hostName, problem.serviceName));
    }
    QList<QAction*> gone;
    gone.reserve(plan.gone.size());
    for (const GoneProblem& problem : std::as_const(plan.gone)) {
        const ProblemList::Entry& entry = page.problems.at(problem.entry);
        if (problem.announced)
            changes.append(announcement(problem.name, page.recoveredKind, settings.scheme() + problem.address,
                page.recoveredStatus, entry.hostName.isEmpty() ? entry.name : entry.hostName,
                entry.serviceName));
        qCInfo(lcMonitor).noquote() << "entry removed" << problem.name;
        gone.append(static_cast<QAction*>(entry.handle));
    }

    deleteEntries(page.menu, gone);
    if (!added.isEmpty()) {
        page.menu.removeAction(ui.actionEmpty);
        page.menu.addActions(added);
    }
    applyPlan(std::move(plan), page.problems, QList<QObject*>(added.cbegin(), added.cend()));
    if (page.menu.actions().size() <= 2)
        page.menu.addAction(ui.actionEmpty);

    announceChanges(changes, page.showMessages, page.listUrl);
    updateTrayToolTip(false, QString());
}

void Tarvix::removeAllProblemEntries(QMenu& menu, ProblemList& problems)
{
    QList<QAction*> entries;
    entries.reserve(problems.size());
    for (const ProblemList::Entry& entry : problems.entries())
        entries.append(static_cast<QAction*>(entry.handle));
    deleteEntries(menu, entries);
    problems.clear();
}
