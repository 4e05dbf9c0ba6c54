#include "notify/popupplacement.h"
#include "tarvixharness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

// What the user sees and hears of the running program: the menus that clicks on the tray icon
// open, the pages their entries open, popups, balloons, sounds and the flashing icon.
class TestTrayUi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clickOpensMenu_data();
    void clickOpensMenu();
    void combinedMenuFollowsChanges();
    void choosingEntryInOpenMenu();
    void menuChoiceOpensPage_data();
    void menuChoiceOpensPage();
    void popupsForChanges();
    void balloonsForChanges_data();
    void balloonsForChanges();
    void sounds_data();
    void sounds();
    void flashing();
};

namespace {

const QString hostsList = QStringLiteral("List of down hosts");
const QString servicesList = QStringLiteral("List of problem services");
const QString emptyEntry = QStringLiteral("         < empty >");

// The menu tests need no announcements, and a balloon that has just been shown under Xvfb makes
// the window system close a menu more often.
const QVariantMap quiet {{QStringLiteral("ShowHostsMessages"), false},
    {QStringLiteral("ShowSrvcsMessages"), false}, {QStringLiteral("FlashesInTray"), false}};

QVariantMap quietWith(const QString& key, const QVariant& value)
{
    QVariantMap settings = quiet;
    settings.insert(key, value);
    return settings;
}

struct OpenedMenu
{
    QMenu* menu = nullptr;
    QStringList texts; // without separators
};

// Runs `activate`, which may open one of the program's menus modally, and records the menu that
// opened with its entries as shown. `whileOpen` may act on the open menu; the menu is closed
// afterwards either way.
OpenedMenu menuOpenedBy(TarvixTestAccess& access, const std::function<void()>& activate,
    const std::function<void(QMenu*)>& whileOpen = {})
{
    OpenedMenu opened;
    QObject recorder;
    for (QMenu* menu : {&access.hostsMenu(), &access.servicesMenu(), &access.combinedMenu()}) {
        QObject::connect(menu, &QMenu::aboutToShow, &recorder, [&opened, menu] {
            if (opened.menu)
                return;
            opened.menu = menu;
            const QList<QAction*> actions = menu->actions();
            for (const QAction* action : actions) {
                if (!action->isSeparator())
                    opened.texts << action->text();
            }
        });
    }

    bool actedOn = false;
    QElapsedTimer waited;
    waited.start();
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, qApp, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            if (whileOpen && !actedOn) {
                actedOn = true;
                whileOpen(menu);
            }
            menu->hide();
            return;
        }
        // A menu that never became the active popup must not hang the test.
        if (waited.elapsed() > 5000) {
            const QWidgetList widgets = QApplication::topLevelWidgets();
            for (QWidget* widget : widgets) {
                if (qobject_cast<QMenu*>(widget) && widget->isVisible())
                    widget->hide();
            }
        }
    });
    watcher.start(10);
    activate();
    // Under Xvfb the window system now and then closes a menu as soon as it is shown; a user
    // would click again.
    for (int retry = 0; retry < 3 && whileOpen && !actedOn && opened.menu; ++retry)
        activate();
    return opened;
}

QString which(const OpenedMenu& opened, TarvixTestAccess& access)
{
    if (!opened.menu)
        return QStringLiteral("none");
    if (opened.menu == &access.hostsMenu())
        return QStringLiteral("hosts");
    if (opened.menu == &access.servicesMenu())
        return QStringLiteral("services");
    if (opened.menu == &access.combinedMenu())
        return QStringLiteral("combined");
    return QStringLiteral("another menu");
}

QLabel* label(QWidget* popup, const char* name)
{
    return popup->findChild<QLabel*>(QLatin1String(name));
}

} // namespace

void TestTrayUi::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestTrayUi::init()
{
    REQUIRE_SYSTEM_TRAY();
}

// Popups are top-level windows of their own and would outlive the test that made them.
void TestTrayUi::cleanup()
{
    const QList<QWidget*> popups = harness::topLevelsOfClass("InformationWindow");
    for (QWidget* popup : popups)
        popup->close();
    QTRY_VERIFY(harness::topLevelsOfClass("InformationWindow").isEmpty());
}

void TestTrayUi::clickOpensMenu_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("hostDown");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("expectedMenu");
    QTest::addColumn<QStringList>("expectedTexts");

    const QStringList hosts {hostsList, QStringLiteral("WEB-01")};
    const QStringList services {servicesList, emptyEntry};
    const int left = QSystemTrayIcon::Trigger;
    const int middle = QSystemTrayIcon::MiddleClick;
    QTest::newRow("mode 0, left: hosts and services")
        << 0 << true << left << QStringLiteral("combined") << hosts + services;
    QTest::newRow("mode 0, left, no problems: one < empty > at the end")
        << 0 << false << left << QStringLiteral("combined")
        << QStringList {hostsList, servicesList, emptyEntry};
    QTest::newRow("mode 0, middle: nothing")
        << 0 << true << middle << QStringLiteral("none") << QStringList();
    QTest::newRow("mode 1, left: hosts") << 1 << true << left << QStringLiteral("hosts") << hosts;
    QTest::newRow("mode 1, middle: services")
        << 1 << true << middle << QStringLiteral("services") << services;
    QTest::newRow("mode 2, left: services") << 2 << true << left << QStringLiteral("services") << services;
    QTest::newRow("mode 2, middle: hosts") << 2 << true << middle << QStringLiteral("hosts") << hosts;
    QTest::newRow("mode 7, left: as mode 0")
        << 7 << true << left << QStringLiteral("combined") << hosts + services;
    QTest::newRow("mode 7, middle: nothing")
        << 7 << true << middle << QStringLiteral("none") << QStringList();
    QTest::newRow("double click: nothing")
        << 1 << true << int(QSystemTrayIcon::DoubleClick) << QStringLiteral("none") << QStringList();
    QTest::newRow("context click: left to the platform")
        << 1 << true << int(QSystemTrayIcon::Context) << QStringLiteral("none") << QStringList();
}

void TestTrayUi::clickOpensMenu()
{
    QFETCH(int, mode);
    QFETCH(bool, hostDown);
    QFETCH(int, reason);
    QFETCH(QString, expectedMenu);
    QFETCH(QStringList, expectedTexts);

    TarvixRun run;
    QVERIFY(run.startServer());
    if (hostDown)
        run.sim.setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    run.start(quietWith(QStringLiteral("NumMenuOnLMK"), mode));
    QVERIFY(run.waitIdle());

    const OpenedMenu opened
        = menuOpenedBy(*run.access, [&] { run.access->activate(QSystemTrayIcon::ActivationReason(reason)); });
    QCOMPARE(which(opened, *run.access), expectedMenu);
    QCOMPARE(opened.texts, expectedTexts);
}

void TestTrayUi::combinedMenuFollowsChanges()
{
    TarvixRun run;
    QVERIFY(run.startServer());
    run.start(quiet);
    QVERIFY(run.waitIdle());
    const auto leftClick = [&] { run.access->activate(QSystemTrayIcon::Trigger); };
    QCOMPARE(menuOpenedBy(*run.access, leftClick).texts, (QStringList {hostsList, servicesList, emptyEntry}));

    run.sim.setService(
        QStringLiteral("web1"), QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Critical);
    run.sim.setHost(QStringLiteral("db"), NagiosSimulator::HostState::Down);
    QVERIFY(run.pollAndWait());
    QCOMPARE(menuOpenedBy(*run.access, leftClick).texts,
        (QStringList {hostsList, QStringLiteral("db"), servicesList, QStringLiteral("HTTP:web1")}));

    // The entries still belong to their own menus.
    QCOMPARE(run.hostEntries(), QStringList {QStringLiteral("db")});
    QCOMPARE(run.serviceEntries(), QStringList {QStringLiteral("HTTP:web1")});
}

void TestTrayUi::choosingEntryInOpenMenu()
{
    UrlCatcher catcher;
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    run.start(quiet);
    QVERIFY(run.waitIdle());

    // The first key selects "List of down hosts", the second the entry.
    const OpenedMenu opened = menuOpenedBy(
        *run.access, [&] { run.access->activate(QSystemTrayIcon::Trigger); },
        [](QMenu* menu) {
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        });
    QCOMPARE(which(opened, *run.access), QStringLiteral("combined"));
    QCOMPARE(catcher.urls, QList<QUrl> {QUrl(run.hostUrl(QStringLiteral("WEB-01")))});
}

void TestTrayUi::menuChoiceOpensPage_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("actionText");
    QTest::addColumn<QString>("expectedPath"); // after the server's base address

    QTest::newRow("list of down hosts")
        << false << hostsList
        << QStringLiteral(
               "/nagios/cgi-bin/status.cgi?hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0");
    QTest::newRow("list of problem services")
        << false << servicesList
        << QStringLiteral("/nagios/cgi-bin/status.cgi?host=all&servicestatustypes=28&limit=0");
    QTest::newRow("host entry with a Cyrillic name")
        << false << QStringLiteral("сервер-1")
        << QStringLiteral("/nagios/cgi-bin/extinfo.cgi?type=1&host=%D1%81%D0%B5%D1%80%D0%B2%D0%B5%D1%80-1");
    QTest::newRow("service entry on a host with a space")
        << false << QStringLiteral("Toner Level:lab printer")
        << QStringLiteral("/nagios/cgi-bin/extinfo.cgi?type=2&host=lab+printer&service=Toner+Level");
    QTest::newRow("host entry over HTTPS")
        << true << QStringLiteral("сервер-1")
        << QStringLiteral("/nagios/cgi-bin/extinfo.cgi?type=1&host=%D1%81%D0%B5%D1%80%D0%B2%D0%B5%D1%80-1");
    QTest::newRow("list of problem services over HTTPS")
        << true << servicesList
        << QStringLiteral("/nagios/cgi-bin/status.cgi?host=all&servicestatustypes=28&limit=0");
}

void TestTrayUi::menuChoiceOpensPage()
{
    QFETCH(bool, https);
    QFETCH(QString, actionText);
    QFETCH(QString, expectedPath);

    UrlCatcher catcher;
    TarvixRun run;
    QVERIFY2(run.startServer(https), qPrintable(run.sim.errorString()));
    run.sim.setHost(QStringLiteral("сервер-1"), NagiosSimulator::HostState::Down);
    run.sim.setService(QStringLiteral("lab printer"), QStringLiteral("Toner Level"),
        NagiosSimulator::ServiceState::Critical);
    run.start({{QStringLiteral("DenySSLCert"), false}});
    QVERIFY(run.waitIdle());

    QAction* chosen = nullptr;
    const QList<QAction*> actions = run.access->hostsMenu().actions() + run.access->servicesMenu().actions();
    for (QAction* action : actions) {
        if (action->text() == actionText)
            chosen = action;
    }
    QVERIFY2(chosen, qPrintable(QStringLiteral("no menu entry '%1'").arg(actionText)));

    // Triggered as the menu does: the menu's signal reaches the handler.
    chosen->trigger();
    QCOMPARE(catcher.urls, QList<QUrl> {QUrl(run.sim.baseUrl() + expectedPath)});
}

void TestTrayUi::popupsForChanges()
{
    BalloonWatcher balloons;
    TarvixRun run;
    QVERIFY(run.startServer());
    const QString web = QStringLiteral("WEB-01");
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.start({{QStringLiteral("UseTrayMessages"), false}, {QStringLiteral("FlashesInTray"), false}});
    QVERIFY(run.waitIdle());

    QList<QWidget*> popups = harness::topLevelsOfClass("InformationWindow");
    QCOMPARE(popups.size(), 1);
    QWidget* first = popups.at(0);
    QCOMPARE(label(first, "lbHostLink")->text(), popupLinkText(run.hostUrl(web), web));
    QCOMPARE(label(first, "lbStatus")->text(), QStringLiteral("HOSTDOWN"));
    QCOMPARE(label(first, "lbObjectName")->text(), QStringLiteral(" Hostname:"));
    QVERIFY2(first->styleSheet().contains(QLatin1String("background: red")), qPrintable(first->styleSheet()));
    QCOMPARE(first->pos(), QPoint(115, 115));
    QCOMPARE(run.access->popupPosition(), QPoint(115, 115));

    // The next change cascades; a recovery is green; a service names its kind.
    const QString db = QStringLiteral("db-02");
    run.sim.setHost(db, NagiosSimulator::HostState::Down);
    QVERIFY(run.pollAndWait());
    run.sim.setHost(web, NagiosSimulator::HostState::Up);
    run.sim.setService(db, QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Critical);
    QVERIFY(run.pollAndWait());

    popups = harness::topLevelsOfClass("InformationWindow");
    QCOMPARE(popups.size(), 4);
    QWidget* second = nullptr;
    QWidget* recovered = nullptr;
    QWidget* service = nullptr;
    for (QWidget* popup : std::as_const(popups)) {
        const QString link = label(popup, "lbHostLink")->text();
        if (link == popupLinkText(run.hostUrl(db), db))
            second = popup;
        else if (link == popupLinkText(run.hostUrl(web), web) && popup != first)
            recovered = popup;
        else if (link
            == popupLinkText(run.serviceUrl(db, QStringLiteral("HTTP")), QStringLiteral("HTTP:db-02")))
            service = popup;
    }
    QVERIFY(second && recovered && service);
    QCOMPARE(second->pos(), QPoint(130, 130));
    QCOMPARE(label(recovered, "lbStatus")->text(), QStringLiteral("Host UP"));
    QVERIFY2(recovered->styleSheet().contains(QLatin1String("background: LimeGreen")),
        qPrintable(recovered->styleSheet()));
    QCOMPARE(label(service, "lbObjectName")->text(), QStringLiteral(" Name of service:"));
    QCOMPARE(label(service, "lbStatus")->text(), QStringLiteral("CRITICAL"));
    QCOMPARE(run.access->popupPosition(), QPoint(160, 160));
    QVERIFY(balloons.balloons.isEmpty());

    // "Close all messages" closes and frees every popup.
    QList<QPointer<QWidget>> guarded;
    for (QWidget* popup : std::as_const(popups))
        guarded << popup;
    run.access->ui().actionCloseAll->trigger();
    QTRY_VERIFY(
        std::all_of(guarded.cbegin(), guarded.cend(), [](const QPointer<QWidget>& p) { return p.isNull(); }));
    // Nothing left to close is no problem either.
    run.access->ui().actionCloseAll->trigger();
}

void TestTrayUi::balloonsForChanges_data()
{
    QTest::addColumn<bool>("openUrlFromTray");

    QTest::newRow("a click opens the page") << true;
    QTest::newRow("opening from the tray switched off") << false;
}

void TestTrayUi::balloonsForChanges()
{
    QFETCH(bool, openUrlFromTray);

    UrlCatcher catcher;
    BalloonWatcher balloons;
    TarvixRun run;
    QVERIFY(run.startServer());
    const QString web = QStringLiteral("WEB-01");
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.start(
        {{QStringLiteral("UseTrayMessages"), true}, {QStringLiteral("OpenUrlFromTray"), openUrlFromTray}});
    QVERIFY(run.waitIdle());

    QVERIFY(harness::topLevelsOfClass("InformationWindow").isEmpty());
    QCOMPARE(run.access->popupPosition(), QPoint(100, 100));
    QCOMPARE(balloons.balloons.size(), 1);
    QCOMPARE(balloons.balloons.at(0).title, QStringLiteral("Change status of host"));
    QCOMPARE(balloons.balloons.at(0).message, QStringLiteral("Name: WEB-01\nStatus: HOSTDOWN"));
    QCOMPARE(run.access->lastMessageUrl(), run.hostUrl(web));

    QWidget* shown = balloons.visible();
    QVERIFY(shown);
    QTest::mousePress(shown, Qt::LeftButton);
    const QList<QUrl> expected = openUrlFromTray ? QList<QUrl> {QUrl(run.hostUrl(web))} : QList<QUrl>();
    QCOMPARE(catcher.urls, expected);

    // A service that recovers.
    run.sim.setService(web, QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Critical);
    QVERIFY(run.pollAndWait());
    run.sim.setService(web, QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Ok);
    QVERIFY(run.pollAndWait());
    QCOMPARE(balloons.balloons.size(), 3);
    QCOMPARE(balloons.balloons.at(1).title, QStringLiteral("Change status of service"));
    QCOMPARE(balloons.balloons.at(1).message, QStringLiteral("Name: HTTP:WEB-01\nStatus: CRITICAL"));
    QCOMPARE(balloons.balloons.at(2).title, QStringLiteral("Change status of service"));
    QCOMPARE(balloons.balloons.at(2).message, QStringLiteral("Name: HTTP:WEB-01\nStatus: Service Up"));

    // A click on an error balloon opens nothing.
    run.sim.setErrorPage(NagiosSimulator::ErrorPage::NagiosStopped);
    QVERIFY(run.pollAndWait());
    QCOMPARE(balloons.balloons.last().title, QStringLiteral("Tarvix: HTTP error"));
    QVERIFY(run.access->lastMessageUrl().isEmpty());
    shown = balloons.visible();
    QVERIFY(shown);
    QTest::mousePress(shown, Qt::LeftButton);
    QCOMPARE(catcher.urls, expected);
}

void TestTrayUi::sounds_data()
{
    QTest::addColumn<QVariantMap>("overrides");
    QTest::addColumn<QStringList>("expectedSounds");
    QTest::addColumn<int>("expectedAnnouncements");

    const QStringList problemThenRecovery {QStringLiteral("HostUp.wav"), QStringLiteral("HostDown.wav")};
    QTest::newRow("popups: problem HostUp.wav, recovery HostDown.wav")
        << QVariantMap {{QStringLiteral("UseTrayMessages"), false}} << problemThenRecovery << 2;
    QTest::newRow("balloons: the same sounds")
        << QVariantMap {{QStringLiteral("UseTrayMessages"), true}} << problemThenRecovery << 2;
    QTest::newRow("sounds disabled") << QVariantMap {{QStringLiteral("DisableSounds"), true}} << QStringList()
                                     << 2;
    QTest::newRow("host messages off: silent, the icon still flashes")
        << QVariantMap {{QStringLiteral("ShowHostsMessages"), false}} << QStringList() << 0;
}

void TestTrayUi::sounds()
{
    QFETCH(QVariantMap, overrides);
    QFETCH(QStringList, expectedSounds);
    QFETCH(int, expectedAnnouncements);

    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    run.start(overrides);
    QVERIFY(run.waitIdle());
    QVERIFY(run.access->flashTimer().isActive());
    QVERIFY(run.access->flashIconPath().startsWith(QLatin1String(":/icons/icon16x16-host-down-")));

    run.sim.setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Up);
    QVERIFY(run.pollAndWait());
    QVERIFY(run.access->flashTimer().isActive());
    QVERIFY(run.access->flashIconPath().startsWith(QLatin1String(":/icons/icon16x16-host-up-")));
    QCOMPARE(run.log.lines(QStringLiteral("announce ")).size(), expectedAnnouncements);

    // The sounds play from the data directory, where start-up copied them.
    QStringList expectedPaths;
    for (const QString& file : std::as_const(expectedSounds)) {
        const QString path = run.profile.dataDir() + QLatin1Char('/') + file;
        QVERIFY2(QFile::exists(path), qPrintable(path));
        expectedPaths << path;
    }
    QCOMPARE(*run.sounds, expectedPaths);
}

void TestTrayUi::flashing()
{
    struct Tick
    {
        QString path;
        QImage image;
        bool running;
    };

    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    run.start();
    QList<Tick> ticks;
    QObject recorder;
    QSystemTrayIcon& tray = run.access->trayIcon();
    QTimer& flashTimer = run.access->flashTimer();
    // Connected after the main object's own slot, so each record shows the tick's result.
    QObject::connect(&flashTimer, &QTimer::timeout, &recorder, [&] {
        ticks << Tick {run.access->flashIconPath(), harness::iconImage(tray.icon()), flashTimer.isActive()};
    });
    QVERIFY(run.waitIdle());
    QCOMPARE(flashTimer.interval(), 400);
    if (ticks.isEmpty())
        QVERIFY(harness::showsIcon(tray, ResourcePaths::hostDownIcon1));

    const auto checkSequence = [&](const QString& first, const QString& second) {
        QTRY_COMPARE_WITH_TIMEOUT(ticks.size(), 12, 8000);
        for (int tick = 1; tick <= 11; ++tick) {
            const QString expected = tick % 2 ? second : first;
            QCOMPARE(ticks.at(tick - 1).path, expected);
            QVERIFY2(ticks.at(tick - 1).image == harness::iconImage(QIcon(expected)),
                qPrintable(QStringLiteral("tick %1 does not show %2").arg(tick).arg(expected)));
            QVERIFY(ticks.at(tick - 1).running);
        }
        QVERIFY(!ticks.at(11).running);
        QVERIFY(ticks.at(11).image == harness::iconImage(QIcon(ResourcePaths::normalIcon)));
    };
    checkSequence(ResourcePaths::hostDownIcon1, ResourcePaths::hostDownIcon2);
    QVERIFY(!flashTimer.isActive());

    // A new problem and a recovery on one page: the flashing restarts with the latest, the
    // recovery's pair.
    ticks.clear();
    run.log.clear();
    run.sim.setHost(QStringLiteral("db-02"), NagiosSimulator::HostState::Down);
    run.sim.setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Up);
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.log.lines(QStringLiteral("flash ")),
        (QStringList {QStringLiteral("flash down"), QStringLiteral("flash up")}));
    if (ticks.isEmpty()) {
        QCOMPARE(run.access->flashIconPath(), ResourcePaths::hostUpIcon1);
        QCOMPARE(run.access->flashTicksLeft(), 12);
    }
    checkSequence(ResourcePaths::hostUpIcon1, ResourcePaths::hostUpIcon2);
}

QTEST_MAIN(TestTrayUi)
#include "tst_trayui.moc"
