#include "app/tarvix.h"

#include "monitor/statusrules.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcMonitor)

PageRule Tarvix::hostsPageRule() const
{
    return {settings.hostsRegExp, settings.hostStatRxPos, settings.hostLinkRxPos, settings.hostNameRxPos};
}

PageRule Tarvix::servicesPageRule() const
{
    return {settings.srvcsRegExp, settings.srvStatRxPos, settings.srvLinkRxPos, settings.srvNameRxPos};
}

void Tarvix::parseHostsPage()
{
    if (hostsPageText.isEmpty())
        return;

    QList<StatusRow> rows = extractHostRows(hostsPageText, hostsPageRule());
    rows.removeIf([this](const StatusRow& row) { return !hostRowCounts(settings, row.name); });
    const ProblemPage page {hostsMenu, hostProblems, settings.showHostsMessages, HostProblem, HostRecovered,
        QStringLiteral("Host UP")};
    applyPage(page, rows, [this](const QString& name) { return hostRecoveryAnnounced(settings, name); });
}

void Tarvix::parseServicesPage()
{
    if (servicesPageText.isEmpty())
        return;

    QList<StatusRow> rows = extractServiceRows(servicesPageText, servicesPageRule());
    rows.removeIf([this](const StatusRow& row) { return !serviceRowCounts(settings, row.serviceName); });
    const ProblemPage page {servicesMenu, serviceProblems, settings.showSrvcsMessages, ServiceProblem,
        ServiceRecovered, QStringLiteral("Service Up")};
    applyPage(page, rows, [this](const QString& name) { return serviceRecoveryAnnounced(settings, name); });
}

// New problems first, in page order, each announced and then flashed; then the problems that
// left the page, oldest entry first; the tooltip last.
void Tarvix::applyPage(const ProblemPage& page, const QList<StatusRow>& countedRows,
    const std::function<bool(const QString&)>& recoveryAnnounced)
{
    const ProblemChanges changes = page.problems.compare(countedRows);

    for (int rowIndex : changes.newRows) {
        const StatusRow& row = countedRows.at(rowIndex);
        page.menu.removeAction(ui.actionEmpty);
        const QString address = settings.serverAuthority() + settings.nagiosExecDir + row.link;
        auto* entry = new QAction(row.name, this);
        entry->setData(address);
        page.menu.addAction(entry);
        page.problems.append(row.name, address, entry);
        qCInfo(lcMonitor).noquote() << "entry added" << row.name << row.status << address;
        if (page.showMessages)
            notifyStatusChange(row.name, page.problemKind, settings.scheme() + address, row.status);
        if (settings.flashesInTray)
            startTrayFlashing(false);
    }

    for (int entryIndex : changes.goneEntries) {
        const ProblemList::Entry& gone = page.problems.at(entryIndex);
        const QString name = gone.name;
        const QString address = gone.data;
        if (recoveryAnnounced(name)) {
            if (page.showMessages)
                notifyStatusChange(
                    name, page.recoveredKind, settings.scheme() + address, page.recoveredStatus);
            if (settings.flashesInTray)
                startTrayFlashing(true);
        }
        qCInfo(lcMonitor).noquote() << "entry removed" << name;
        auto* action = static_cast<QAction*>(page.problems.at(entryIndex).handle);
        page.menu.removeAction(action);
        delete action;
    }
    page.problems.removeEntries(changes.goneEntries);

    if (page.menu.actions().size() <= 2)
        page.menu.addAction(ui.actionEmpty);
    updateTrayToolTip(false, QString());
}

void Tarvix::removeAllProblemEntries(QMenu& menu, ProblemList& problems)
{
    for (const ProblemList::Entry& entry : problems.entries()) {
        auto* action = static_cast<QAction*>(entry.handle);
        menu.removeAction(action);
        delete action;
    }
    problems.clear();
}
