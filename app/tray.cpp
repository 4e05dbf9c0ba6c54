#include "app/tarvix.h"

#include "app/resourcepaths.h"
#include "app/tooltiptext.h"
#include "monitor/serverlink.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QDesktopServices>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

Q_LOGGING_CATEGORY(lcTray, "tarvix.tray", QtWarningMsg)

namespace {

// A problem entry carries its page address as data; headers, separators and placeholders carry none.
bool isProblemEntry(const QAction* action)
{
    return action->data().toBool();
}

// QMenu::clear() takes the actions from the front, and Qt closes the gap behind each: quadratic
// in the entries, at every click. From the end nothing moves.
void clearMenu(QMenu& menu)
{
    const QList<QAction*> actions = menu.actions();
    for (auto it = actions.crbegin(); it != actions.crend(); ++it) {
        menu.removeAction(*it);
        if ((*it)->parent() == &menu) // a separator the menu made
            delete *it;
    }
}

// One server's tooltip as the program has always shown it.
ToolTipState singleServerTip(const ServerLink& link, int hostsDown, int servicesWithProblems)
{
    const MonitorSettings& server = link.settingsInForce();
    ToolTipState state;
    state.serverAddress = server.serverAddress;
    state.scheme = server.scheme();
    state.serverPort = server.serverPort;
    state.hostsMonitoring = server.enableHostsMonitoring;
    state.servicesMonitoring = server.enableSrvcsMonitoring;
    state.hostsDown = hostsDown;
    state.servicesWithProblems = servicesWithProblems;
    const ListHealth& health = link.listHealth();
    if (health.isStale(StatusList::Hosts))
        state.hostsStaleSince = health.staleSince(StatusList::Hosts);
    if (health.isStale(StatusList::Services))
        state.servicesStaleSince = health.staleSince(StatusList::Services);
    return state;
}

// A server's line when there are several: its counts, or its error since its oldest stale list.
ServerToolTip serverTipLine(const ServerLink& link, int hostsDown, int servicesWithProblems)
{
    const MonitorSettings& server = link.settingsInForce();
    ServerToolTip line;
    line.name = server.displayName();
    line.hostsMonitoring = server.enableHostsMonitoring;
    line.servicesMonitoring = server.enableSrvcsMonitoring;
    line.hostsDown = hostsDown;
    line.servicesWithProblems = servicesWithProblems;
    line.lastData = link.lastData();
    line.error = link.errorReported() ? link.errorMessage() : QString();
    const ListHealth& health = link.listHealth();
    for (const StatusList list : {StatusList::Hosts, StatusList::Services}) {
        if (health.isStale(list)
            && (!line.failingSince.isValid() || health.staleSince(list) < line.failingSince))
            line.failingSince = health.staleSince(list);
    }
    return line;
}

} // namespace

int Tarvix::systemTrayWaitSeconds = 30;

bool Tarvix::waitForSystemTray()
{
    QElapsedTimer waited;
    waited.start();
    while (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (waited.elapsed() >= qint64(systemTrayWaitSeconds) * 1000)
            return false;
        // The tray appears through X events, so they must be handled while waiting.
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void Tarvix::createTrayIcon()
{
    trayMenu.addAction(ui.actionProblems);
    trayMenu.addAction(ui.actionConfig);
    trayMenu.addAction(ui.actionCloseAll);
    trayMenu.addSeparator();
    trayMenu.addAction(ui.actionAbout);
    trayMenu.addSeparator();
    trayMenu.addAction(ui.actionQuit);

    ui.actionEmpty->setEnabled(false);
    ui.actionUnmonitored->setEnabled(false);
    // An entry's tooltip tells the problem's status, output and since when.
    for (QMenu* menu : {&hostsMenu, &servicesMenu, &combinedMenu})
        menu->setToolTipsVisible(true);

    rebuildProblemMenus();

    if (!waitForSystemTray()) {
        QMessageBox::critical(this, QObject::tr("Systray"),
            QObject::tr("I couldn't detect any system tray on this system."), QMessageBox::Ok);
        ::exit(-1);
    }

    trayIcon.setIcon(QIcon(ResourcePaths::normalIcon));
    trayIcon.setToolTip(programName);
    trayIcon.setVisible(true);
    trayIcon.setContextMenu(&trayMenu);
    connect(&trayIcon, &QSystemTrayIcon::activated, this, &Tarvix::iconActivated);
}

// The header and separator, then a section per server: with one server its entries or the shared
// placeholder, with several the server's name, then its entries or its own placeholder.
void Tarvix::rebuildProblemMenus()
{
    for (const StatusList list : {StatusList::Hosts, StatusList::Services}) {
        QMenu& menu = problemsMenu(list);
        clearMenu(menu);
        for (const auto& view : servers) {
            const int index = static_cast<int>(list);
            qDeleteAll(std::exchange(view->entries[index], {}));
            delete std::exchange(view->header[index], nullptr);
            delete std::exchange(view->placeholder[index], nullptr);
        }
        menu.addAction(list == StatusList::Hosts ? ui.actionHostsDownList : ui.actionSrvcsProblemsList);
        menu.addSeparator();
        for (const auto& view : servers)
            addServerSection(*view, list);
        if (servers.empty())
            menu.addAction(ui.actionEmpty);
    }
}

void Tarvix::addServerSection(ServerView& view, StatusList list)
{
    const int index = static_cast<int>(list);
    QMenu& menu = problemsMenu(list);
    const MonitorSettings& server = view.link->settingsInForce();
    if (severalServers()) {
        // The server's name leads its section and opens its list page.
        auto* header = new QAction(menuEntryText(server.displayName()), this);
        QFont bold = header->font();
        bold.setBold(true);
        header->setFont(bold);
        header->setProperty("serverId", view.link->id());
        header->setProperty("listPage",
            pageAddress(server, list == StatusList::Hosts ? server.hostsRequest : server.servicesRequest));
        view.header[index] = header;
        menu.addAction(header);
        view.placeholder[index] = new QAction(this);
        view.placeholder[index]->setEnabled(false);
    }
    QList<QAction*>& entries = view.entries[index];
    const ProblemList& problems = view.link->problems(list);
    entries.reserve(problems.size());
    for (const ProblemList::Entry& problem : problems.entries()) {
        auto* entry = new QAction(menuEntryText(problem.name), this);
        entry->setData(problem.data);
        entry->setProperty("serverId", view.link->id());
        entry->setToolTip(problemSummary(problem.status, problem.details, QDateTime::currentDateTime()));
        entries.append(entry);
    }
    menu.addActions(entries);
    updatePlaceholder(view, list);
}

// A server without entries shows why: no problems, monitoring off, or not reachable.
void Tarvix::updatePlaceholder(ServerView& view, StatusList list)
{
    const int index = static_cast<int>(list);
    QMenu& menu = problemsMenu(list);
    const bool monitored = view.link->isMonitored(list);
    if (!severalServers()) {
        if (!view.entries[index].isEmpty()) {
            menu.removeAction(ui.actionEmpty);
            menu.removeAction(ui.actionUnmonitored);
            return;
        }
        menu.removeAction(monitored ? ui.actionUnmonitored : ui.actionEmpty);
        menu.addAction(monitored ? ui.actionEmpty : ui.actionUnmonitored);
        return;
    }
    QAction* placeholder = view.placeholder[index];
    if (!view.entries[index].isEmpty()) {
        menu.removeAction(placeholder);
        return;
    }
    placeholder->setText(!monitored      ? ui.actionUnmonitored->text()
            : view.link->errorReported() ? tr("< not reachable >")
                                         : ui.actionEmpty->text());
    if (menu.actions().contains(placeholder))
        return;
    menu.insertAction(sectionEnd(view, list), placeholder);
}

void Tarvix::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    const QPoint cursor = QCursor::pos();
    QMenu* menu = nullptr;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (settings.numMenuOnLMK == 3) {
            showProblemsWindow();
            return;
        }
        if (settings.numMenuOnLMK == 1) {
            menu = &hostsMenu;
        } else if (settings.numMenuOnLMK == 2) {
            menu = &servicesMenu;
        } else {
            clearMenu(combinedMenu);
            combinedMenu.addActions(hostsMenu.actions());
            combinedMenu.addSeparator();
            combinedMenu.addActions(servicesMenu.actions());
            menu = &combinedMenu;
        }
        break;
    case QSystemTrayIcon::MiddleClick:
        activateWindow();
        if (settings.numMenuOnLMK == 1)
            menu = &servicesMenu;
        else if (settings.numMenuOnLMK == 2)
            menu = &hostsMenu;
        else
            return;
        break;
    default:
        return;
    }

    activateWindow();
    const QRect screenRect = screen()->geometry();
    menu->exec(trayMenuPosition(cursor, menu->sizeHint(), screenRect.size()));
}

void Tarvix::hostsSrvcsMenuHandler(QAction* action)
{
    // With several servers the list entries open the list page of each.
    if (action == ui.actionHostsDownList || action == ui.actionSrvcsProblemsList) {
        for (const auto& view : servers) {
            const MonitorSettings& server = view->link->settingsInForce();
            QDesktopServices::openUrl(QUrl(pageAddress(
                server, action == ui.actionHostsDownList ? server.hostsRequest : server.servicesRequest)));
        }
    }
    const QString listPage = action->property("listPage").toString();
    if (!listPage.isEmpty())
        QDesktopServices::openUrl(QUrl(listPage));
    if (isProblemEntry(action)) {
        const ServerView* view = viewOf(action->property("serverId").toString());
        const MonitorSettings& server = view ? view->link->settingsInForce() : settings;
        QDesktopServices::openUrl(QUrl(server.scheme() + action->data().toString()));
    }
}

// Scheme, server (with the port when it is not the scheme's default), CGI directory and request.
QString Tarvix::pageAddress(const MonitorSettings& server, const QString& request) const
{
    return server.scheme() + server.serverAuthority() + server.nagiosExecDir + request;
}

// A list switched off loses its entries; one switched on shows "< empty >" until its next page.
void Tarvix::updateMonitoringMenus()
{
    for (const auto& view : servers) {
        for (const StatusList list : {StatusList::Hosts, StatusList::Services}) {
            if (!view->link->isMonitored(list) && !view->link->problems(list).entries().isEmpty())
                view->link->clearProblems(list);
            else
                updatePlaceholder(*view, list);
        }
    }
}

void Tarvix::updateTrayToolTip(bool messageMode, const QString& message)
{
    if (severalServers()) {
        QList<ServerToolTip> lines;
        for (const auto& view : servers)
            lines.append(
                serverTipLine(*view->link, int(view->entries[0].size()), int(view->entries[1].size())));
        trayIcon.setToolTip(serversToolTipText(lines, messageMode ? message : QString()));
        return;
    }
    ToolTipState state;
    if (servers.empty()) {
        state.serverAddress = settings.serverAddress;
        state.scheme = settings.scheme();
        state.serverPort = settings.serverPort;
        state.hostsMonitoring = settings.enableHostsMonitoring;
        state.servicesMonitoring = settings.enableSrvcsMonitoring;
    } else {
        const ServerView& view = *servers.front();
        state = singleServerTip(*view.link, int(view.entries[0].size()), int(view.entries[1].size()));
    }
    trayIcon.setToolTip(trayToolTipText(state, messageMode, message));
}

void Tarvix::showErrorState(const QString& message)
{
    qCInfo(lcTray).noquote() << "error state:"
                             << QString(message).replace(QLatin1Char('\n'), QLatin1Char(' '));
    trayIcon.setIcon(QIcon(ResourcePaths::problemIcon));
    updateTrayToolTip(true, message);
}

// Error balloons open nothing when clicked, so they forget the last status change's address.
void Tarvix::showErrorBalloon(const QString& text)
{
    trayIcon.showMessage(tr("Tarvix: HTTP error"), text, QSystemTrayIcon::Critical, balloonMs);
    lastMessageUrl.clear();
}
