#include "app/tarvix.h"

#include "monitor/pagewalk.h"
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
    const ProblemPage page {hostsMenu, hostProblems, settings.showHostsMessages, HostProblem, HostRecovered,
        QStringLiteral("Host UP")};
    applyPage(page, planPage(PageKind::Hosts, hostsPageText, hostsPageRule(), settings, hostProblems));
}

void Tarvix::parseServicesPage()
{
    if (servicesPageText.isEmpty())
        return;
    const ProblemPage page {servicesMenu, serviceProblems, settings.showSrvcsMessages, ServiceProblem,
        ServiceRecovered, QStringLiteral("Service Up")};
    applyPage(
        page, planPage(PageKind::Services, servicesPageText, servicesPageRule(), settings, serviceProblems));
}

// Each change is announced and then flashed, in the plan's order; the tooltip comes last.
void Tarvix::applyPage(const ProblemPage& page, PagePlan plan)
{
    QList<QObject*> handles;
    for (const NewProblem& problem : plan.added) {
        page.menu.removeAction(ui.actionEmpty);
        auto* entry = new QAction(problem.name, this);
        entry->setData(problem.address);
        page.menu.addAction(entry);
        handles.append(entry);
        qCInfo(lcMonitor).noquote() << "entry added" << problem.name << problem.status << problem.address;
        if (page.showMessages)
            notifyStatusChange(
                problem.name, page.problemKind, settings.scheme() + problem.address, problem.status);
        if (settings.flashesInTray)
            startTrayFlashing(false);
    }

    for (const GoneProblem& gone : plan.gone) {
        if (gone.announced) {
            if (page.showMessages)
                notifyStatusChange(
                    gone.name, page.recoveredKind, settings.scheme() + gone.address, page.recoveredStatus);
            if (settings.flashesInTray)
                startTrayFlashing(true);
        }
        qCInfo(lcMonitor).noquote() << "entry removed" << gone.name;
        auto* action = static_cast<QAction*>(page.problems.at(gone.entry).handle);
        page.menu.removeAction(action);
        delete action;
    }
    applyPlan(std::move(plan), page.problems, handles);

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
