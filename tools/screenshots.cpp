// Renders Tarvix's windows, in English and in Russian, to PNG files for the documentation:
// every page of the configuration window, the About window, the tray menu with problems, a problem
// popup with its commands (as it opens, refused, acknowledged), the acknowledgement dialog, a
// recovery popup, the problems window with two servers' problems and, when the display has a
// system tray, a tray balloon and the real program's menu with two servers. scripts/screenshots
// runs it under Xvfb.
#include "app/about.h"
#include "app/problemswindow.h"
#include "app/tarvix.h"
#include "monitor/serverlink.h"
#include "tools/nagiossimulator.h"
#include "config/monitorsettings.h"
#include "monitor/problemsmodel.h"
#include "notify/acknowledgedialog.h"
#include "notify/announcements.h"
#include "notify/informationwindow.h"
#include "notify/popupplacement.h"
#include "ui_tarvix.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QSettings>
#include <QStyleFactory>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

#include <cstdio>

namespace {

const char* const pageNames[] = {"general", "hosts", "services", "statuses", "misc", "connection"};

// Lets the window system map and paint what was just shown.
void settle(QWidget* window)
{
    QElapsedTimer waited;
    waited.start();
    while ((!window->windowHandle() || !window->windowHandle()->isExposed()) && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget* window, const QString& path)
{
    settle(window);
    QImage image = window->grab().toImage();
    // A shaped window (the balloon) leaves the pixels outside its shape undefined.
    if (!window->mask().isEmpty()) {
        QImage shaped(image.size(), QImage::Format_ARGB32_Premultiplied);
        shaped.fill(Qt::transparent);
        QPainter painter(&shaped);
        painter.setClipRegion(window->mask());
        painter.drawImage(0, 0, image);
        painter.end();
        image = shaped;
    }
    const bool saved = image.save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

// The values a freshly configured program shows, so the pages look as a user sees them.
void fillLikeAFreshConfiguration(Ui::TarvixClass& ui)
{
    ui.edServerAddress->setText(QStringLiteral("nagios.example.org"));
    ui.edServerPort->setText(defaultHttpPort);
    ui.spinBoxPeriod->setValue(15);
    ui.cbAutoClose->setChecked(true);
    ui.spinBoxClose->setValue(10);
    ui.edExecDir->setText(defaultNagiosExecDir);
    ui.edHostsRequest->setText(defaultHostsRequest);
    ui.edServicesRequest->setText(defaultServicesRequest);
    ui.listHosts->addItems({QStringLiteral("db01"), QStringLiteral("web01"), QStringLiteral("web02")});
    ui.listServices->addItems({QStringLiteral("Disk Space"), QStringLiteral("HTTP")});
    ui.rbBaseRegExpConfig->setChecked(true);
    ui.cbHostDownStat->setChecked(true);
    ui.cbHostUnreachStat->setChecked(true);
    ui.cbServiceCritStat->setChecked(true);
    ui.cbServiceWarnStat->setChecked(true);
    ui.edHostsRegExp->setText(defaultHostsRegExp);
    ui.edSrvcsRegExp->setText(defaultSrvcsRegExp);
    ui.cbEnableHosts->setChecked(true);
    ui.cbShowHosts->setChecked(true);
    ui.cbEnableSrvcs->setChecked(true);
    ui.cbShowSrvcs->setChecked(true);
    ui.cbFlashInTray->setChecked(true);
    ui.rbHostsAndSrvcsOnLMK->setChecked(true);
    ui.rbDenyInvalidCert->setChecked(true);
    ui.grBoxSsl->setEnabled(false);
}

bool renderConfigurationWindow(const QString& dir, const QString& language)
{
    QWidget window;
    Ui::TarvixClass ui;
    ui.setupUi(&window);
    fillLikeAFreshConfiguration(ui);
    // The size the program gives the window when it opens it.
    window.resize(507, 370);
    window.show();
    bool ok = true;
    for (int page = 0; page < ui.tabConfig->count(); ++page) {
        ui.tabConfig->setCurrentIndex(page);
        ok &= save(&window,
            QStringLiteral("%1/config-%2-%3-%4.png")
                .arg(dir, language)
                .arg(page + 1)
                .arg(QLatin1String(pageNames[page])));
    }
    return ok;
}

bool renderPopups(const QString& dir, const QString& language)
{
    const QString address
        = QStringLiteral("http://nagios.example.org/nagios/cgi-bin/extinfo.cgi?type=1&host=web01");
    const QDateTime now = QDateTime::currentDateTime();
    const auto problemPopup = [&](ChangeEventKind kind, const char* name, const char* status,
                                  const char* output = "") {
        auto* popup = new InformationWindow(nullptr, kind, popupLinkText(address, QString::fromUtf8(name)),
            QString::fromUtf8(status), 10, 100, 100, false);
        // As the JSON status gives it: the plugin's output and since when.
        if (*output)
            popup->showDetails(
                QString::fromUtf8(output), problemDuration(now.addSecs(-(2 * 3600 + 5 * 60)), now));
        popup->offerCommands();
        return popup;
    };
    auto* problem = problemPopup(HostProblem, "web01", "DOWN", "PING CRITICAL - Packet loss = 100%");
    auto* refused = problemPopup(ServiceProblem, "Disk: /var:db01", "WARNING");
    // What Nagios answers a user who may only look.
    refused->showCommandFailed(
        QStringLiteral("Sorry, but you are not authorized to commit the specified command."));
    auto* acknowledged = problemPopup(ServiceProblem, "HTTP Check:web01", "CRITICAL");
    acknowledged->showCommandSubmitted(InformationWindow::Command::Acknowledge);
    auto* recovery = new InformationWindow(nullptr, ServiceRecovered,
        popupLinkText(address, QStringLiteral("HTTP:web01")), QStringLiteral("Service Up"), 0, 400, 100,
        false);
    AcknowledgeDialog dialog(nullptr, QStringLiteral("HTTP Check:web01"), QStringLiteral("CRITICAL"), {});
    dialog.show();
    const bool ok = save(problem, QStringLiteral("%1/popup-%2-problem.png").arg(dir, language))
        & save(refused, QStringLiteral("%1/popup-%2-refused.png").arg(dir, language))
        & save(acknowledged, QStringLiteral("%1/popup-%2-acknowledged.png").arg(dir, language))
        & save(recovery, QStringLiteral("%1/popup-%2-recovery.png").arg(dir, language))
        & save(&dialog, QStringLiteral("%1/acknowledge-%2.png").arg(dir, language));
    qDeleteAll(QList<QWidget*> {problem, refused, acknowledged, recovery});
    return ok;
}

// The menu a left click opens: the down hosts and the problem services, as the program lists them.
bool renderTrayMenu(const QString& dir, const QString& language)
{
    QWidget owner;
    Ui::TarvixClass ui;
    ui.setupUi(&owner);
    QMenu menu;
    menu.addAction(ui.actionHostsDownList);
    menu.addSeparator();
    for (const char* host : {"db.example.lan", "core-router"})
        menu.addAction(QString::fromUtf8(host));
    menu.addSeparator();
    menu.addAction(ui.actionSrvcsProblemsList);
    menu.addSeparator();
    for (const char* service :
        {"HTTP Check:WEB-01", "MySQL:db.example.lan", "Toner Level:lab printer", "Проверка диска:сервер-1"})
        menu.addAction(QString::fromUtf8(service));
    menu.popup(QPoint(40, 40));
    settle(&menu);
    const bool ok = save(&menu, QStringLiteral("%1/traymenu-%2.png").arg(dir, language));
    menu.hide();
    return ok;
}

// One problem of the pictures: "name|status|output|minutes|attempt/max|flags", flags as letters
// a(cknowledged) d(owntime) s(oft) f(lapping) n(otifications off).
ProblemList::Entry problem(const QDateTime& now, const char* line)
{
    const QStringList f = QString::fromUtf8(line).split(QLatin1Char('|'));
    ProblemList::Entry entry;
    entry.name = f.at(0);
    const qsizetype colon = entry.name.indexOf(QLatin1Char(':'));
    if (colon > 0) {
        entry.serviceName = entry.name.left(colon);
        entry.hostName = entry.name.mid(colon + 1);
    }
    entry.data = QStringLiteral("nagios.example.org/nagios/cgi-bin/extinfo.cgi");
    entry.status = f.at(1);
    entry.details.output = f.at(2);
    entry.details.lastStateChange = now.addSecs(-60 * f.at(3).toLongLong());
    const QStringList attempts = f.at(4).split(QLatin1Char('/'));
    entry.details.attempt = attempts.at(0).toInt();
    entry.details.maxAttempts = attempts.at(1).toInt();
    const QString flags = f.at(5);
    entry.details.acknowledged = flags.contains(QLatin1Char('a'));
    entry.details.inDowntime = flags.contains(QLatin1Char('d'));
    entry.details.softState = flags.contains(QLatin1Char('s'));
    entry.details.flapping = flags.contains(QLatin1Char('f'));
    entry.details.notificationsEnabled = !flags.contains(QLatin1Char('n'));
    return entry;
}

ProblemList problems(const QDateTime& now, std::initializer_list<const char*> lines)
{
    ProblemList list;
    for (const char* line : lines)
        list.append(problem(now, line));
    return list;
}

// Two servers' problems as their JSON status gives them; the last poll brought two that are new.
bool renderProblemsWindow(const QString& dir, const QString& language)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ProblemsModel model;
    model.setReferenceTime(now);
    const QString http = QStringLiteral("http://");
    const auto feed = [&](const char* id, const char* name, StatusList list, const ProblemList& rows) {
        model.setServerProblems(QLatin1String(id), QLatin1String(name), http, list, rows);
    };
    feed("default", "prod", StatusList::Hosts,
        problems(now, {"core-router|DOWN|PING CRITICAL - Packet loss = 100%|125|3/3|"}));
    feed("default", "prod", StatusList::Services,
        problems(now,
            {"HTTP Check:web-01|CRITICAL|HTTP CRITICAL - Socket timeout after 10 seconds|45|3/3|a",
                "Disk /var:db.example.lan|CRITICAL|DISK CRITICAL - free space: /var 312 MB (2%)|4560|3/3|d",
                "MySQL:db.example.lan|WARNING|Slow queries: 12 per second|12|2/4|s"}));
    feed("lab7", "lab", StatusList::Services,
        problems(now, {"Toner Level:lab printer|WARNING|Toner low: 8 %|1500|1/1|n"}));
    model.markAllSeen();
    feed("lab7", "lab", StatusList::Hosts,
        problems(now, {"build-07|UNREACHABLE|Host unreachable via switch-2|5|1/1|"}));
    feed("lab7", "lab", StatusList::Services,
        problems(now,
            {"Toner Level:lab printer|WARNING|Toner low: 8 %|1500|1/1|n",
                "Проверка диска:сервер-1|UNKNOWN|Нет ответа от агента|20|2/3|sf"}));

    ProblemsWindow window(&model, nullptr);
    window.resize(1090, 292);
    window.show();
    QTableView* view = window.table();
    view->selectRow(2);
    return save(&window, QStringLiteral("%1/problems-%2.png").arg(dir, language));
}

bool renderAbout(const QString& dir, const QString& language)
{
    About about(nullptr);
    about.show();
    return save(&about, QStringLiteral("%1/about-%2.png").arg(dir, language));
}

// Qt draws the balloon itself as a top-level widget of its own next to the docked icon.
bool renderBalloon(const QString& dir, const QString& language)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        std::printf("skipped the tray balloon: no system tray on this display\n");
        return true;
    }
    QSystemTrayIcon icon(QIcon(QStringLiteral(":/icons/icon16x16-problem.png")));
    icon.show();
    QElapsedTimer waited;
    waited.start();
    while (icon.geometry().isEmpty() && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);

    // The texts the program builds for a host that went down.
    const QString title = QCoreApplication::translate("Tarvix", "Change status of ")
        + QCoreApplication::translate("Tarvix", "host");
    const QString body = QCoreApplication::translate("Tarvix", "Name: ") + QStringLiteral("web01\n")
        + QCoreApplication::translate("Tarvix", "Status: ") + QStringLiteral("DOWN");
    icon.showMessage(title, body, QSystemTrayIcon::Critical, 10000);

    QWidget* balloon = nullptr;
    waited.restart();
    while (!balloon && waited.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows) {
            if (window->isVisible() && window->inherits("QBalloonTip"))
                balloon = window;
        }
    }
    if (!balloon) {
        std::printf("FAILED no tray balloon appeared\n");
        return false;
    }
    const bool ok = save(balloon, QStringLiteral("%1/balloon-%2.png").arg(dir, language));
    balloon->close();
    return ok;
}

} // namespace

// The real program watching two simulated servers, its left-click menu open: a section for each.
bool renderServersMenu(const QString& dir)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        std::printf("skipped the menu of two servers: no system tray on this display\n");
        return true;
    }
    NagiosSimulator prod;
    NagiosSimulator lab;
    prod.setHost(QStringLiteral("core-router"), NagiosSimulator::HostState::Down);
    prod.setService(QStringLiteral("web-01"), QStringLiteral("HTTP Check"),
        NagiosSimulator::ServiceState::Critical,
        QStringLiteral("HTTP CRITICAL - Socket timeout after 10 seconds"));
    prod.setService(
        QStringLiteral("db.example.lan"), QStringLiteral("MySQL"), NagiosSimulator::ServiceState::Critical);
    lab.setService(
        QStringLiteral("lab printer"), QStringLiteral("Toner Level"), NagiosSimulator::ServiceState::Warning);
    if (!prod.start() || !lab.start())
        return false;
    QTemporaryDir profile;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());
    {
        QSettings store(settingsOrganization, settingsApplication);
        const QList<std::pair<QString, const NagiosSimulator*>> servers {
            {QString(), &prod}, {QStringLiteral("Servers/lab/"), &lab}};
        for (const auto& [group, sim] : servers) {
            store.setValue(group + QStringLiteral("Name"),
                group.isEmpty() ? QStringLiteral("prod") : QStringLiteral("lab"));
            store.setValue(group + QStringLiteral("ServerAddress"), QStringLiteral("127.0.0.1"));
            store.setValue(group + QStringLiteral("HTTPPort"), QString::number(sim->port()));
            store.setValue(group + QStringLiteral("StatusSource"), statusSourceJson);
            store.setValue(group + QStringLiteral("UseSrvWarnStat"), true);
        }
        store.setValue(QStringLiteral("Servers/Order"), QStringLiteral("default,lab"));
        for (const char* key : {"UseTrayMessages", "DisableSounds", "DisableLocalization"})
            store.setValue(QLatin1String(key), true);
        store.setValue(QStringLiteral("FlashesInTray"), false);
    }
    Tarvix::systemTrayWaitSeconds = 5;
    Tarvix tarvix;
    const bool answered = QTest::qWaitFor(
        [&] {
            for (const ServerLink* link : tarvix.serverLinks()) {
                if (link->pendingRequests() > 0 || !link->lastData().isValid())
                    return false;
            }
            return true;
        },
        10000);
    bool saved = false;
    QMenu& menu = tarvix.combinedMenuView();
    // The left click opens the menu with exec(), which returns only when it closes.
    QTimer::singleShot(300, &menu, [&] {
        saved = answered && save(&menu, QStringLiteral("%1/traymenu-servers-en.png").arg(dir));
        menu.hide();
    });
    emit tarvix.trayIconView().activated(QSystemTrayIcon::Trigger);
    return saved;
}

int main(int argc, char** argv)
{
    // The problems window keeps its size and columns in the settings: not in the user's.
    QTemporaryDir settingsHome;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settingsHome.path()));
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dir));
        return 1;
    }

    bool ok = true;
    for (const QString& language : {QStringLiteral("en"), QStringLiteral("ru")}) {
        QTranslator appTranslator;
        QTranslator qtTranslator;
        if (language != QLatin1String("en")) {
            if (!appTranslator.load(QStringLiteral(":/translators/TarvixLang_") + language)
                || !qtTranslator.load(QStringLiteral(":/translators/qt_") + language)) {
                std::fprintf(stderr, "no embedded translation for %s\n", qPrintable(language));
                return 1;
            }
            QCoreApplication::installTranslator(&appTranslator);
            QCoreApplication::installTranslator(&qtTranslator);
        }
        ok &= renderConfigurationWindow(dir, language);
        ok &= renderAbout(dir, language);
        ok &= renderTrayMenu(dir, language);
        ok &= renderPopups(dir, language);
        ok &= renderProblemsWindow(dir, language);
        ok &= renderBalloon(dir, language);
        QCoreApplication::removeTranslator(&appTranslator);
        QCoreApplication::removeTranslator(&qtTranslator);
    }
    // The program installs translations of its own: last, and in English.
    ok &= renderServersMenu(dir);
    return ok ? 0 : 1;
}
