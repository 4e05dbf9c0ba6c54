#include "app/tarvix.h"

#include "app/resourcepaths.h"
#include "app/tooltiptext.h"

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

int problemEntryCount(const QMenu& menu, const QAction* emptyPlaceholder)
{
    const QList<QAction*> actions = menu.actions();
    if (actions.size() <= 2 || actions.last() == emptyPlaceholder)
        return 0;
    return int(actions.size()) - 2;
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
    trayMenu.addAction(ui.actionConfig);
    trayMenu.addAction(ui.actionCloseAll);
    trayMenu.addSeparator();
    trayMenu.addAction(ui.actionAbout);
    trayMenu.addSeparator();
    trayMenu.addAction(ui.actionQuit);

    ui.actionEmpty->setEnabled(false);
    ui.actionUnmonitored->setEnabled(false);

    hostsMenu.addAction(ui.actionHostsDownList);
    hostsMenu.addSeparator();
    hostsMenu.addAction(settings.enableHostsMonitoring ? ui.actionEmpty : ui.actionUnmonitored);
    servicesMenu.addAction(ui.actionSrvcsProblemsList);
    servicesMenu.addSeparator();
    servicesMenu.addAction(settings.enableSrvcsMonitoring ? ui.actionEmpty : ui.actionUnmonitored);

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

void Tarvix::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    const QPoint cursor = QCursor::pos();
    QMenu* menu = nullptr;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
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
    if (action == ui.actionHostsDownList)
        QDesktopServices::openUrl(QUrl(pageAddress(settings.hostsRequest)));
    else if (action == ui.actionSrvcsProblemsList)
        QDesktopServices::openUrl(QUrl(pageAddress(settings.servicesRequest)));
    if (isProblemEntry(action))
        QDesktopServices::openUrl(QUrl(settings.scheme() + action->data().toString()));
}

// Scheme, server (with the port when it is not the scheme's default), CGI directory and request.
QString Tarvix::pageAddress(const QString& request) const
{
    return settings.scheme() + settings.serverAuthority() + settings.nagiosExecDir + request;
}

void Tarvix::updateMonitoringMenus()
{
    const auto update = [this](QMenu& menu, ProblemList& problems, bool monitoring) {
        if (monitoring) {
            menu.removeAction(ui.actionUnmonitored);
            if (menu.actions().size() <= 2)
                menu.addAction(ui.actionEmpty);
            return;
        }
        removeAllProblemEntries(menu, problems);
        menu.removeAction(ui.actionEmpty);
        menu.addAction(ui.actionUnmonitored);
    };
    update(hostsMenu, hostProblems, settings.enableHostsMonitoring);
    update(servicesMenu, serviceProblems, settings.enableSrvcsMonitoring);
}

void Tarvix::updateTrayToolTip(bool messageMode, const QString& message)
{
    ToolTipState state;
    state.serverAddress = settings.serverAddress;
    state.scheme = settings.scheme();
    state.serverPort = settings.serverPort;
    state.hostsMonitoring = settings.enableHostsMonitoring;
    state.hostsDown = problemEntryCount(hostsMenu, ui.actionEmpty);
    state.servicesMonitoring = settings.enableSrvcsMonitoring;
    state.servicesWithProblems = problemEntryCount(servicesMenu, ui.actionEmpty);
    if (listHealth.isStale(StatusList::Hosts))
        state.hostsStaleSince = listHealth.staleSince(StatusList::Hosts);
    if (listHealth.isStale(StatusList::Services))
        state.servicesStaleSince = listHealth.staleSince(StatusList::Services);
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
