#include "notify/popupplacement.h"
#include "tarvixharness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

// What the user sees and hears: the menus that clicks open, the pages their entries open, popups,
// balloons, sounds and the flashing icon.
class TestTrayUi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() { REQUIRE_SYSTEM_TRAY(); }
    void cleanup();

    void clickOpensMenu_data();
    void clickOpensMenu();
    void choosingEntryInOpenMenu();
    void menuChoiceOpensPage_data();
    void menuChoiceOpensPage();
    void popupsForChanges();
    void balloonsForChanges_data();
    void balloonsForChanges();
    void sounds_data();
    void sounds();
    void flashing();
    void floodSummarised_data();
    void floodSummarised();
};

namespace {

const QString hostsList = QStringLiteral("List of down hosts");
const QString servicesList = QStringLiteral("List of problem services");
const QString web = QStringLiteral("WEB-01");

// A balloon just shown under Xvfb makes the window system close a menu more often.
QVariantMap quietWith(const QString& key, const QVariant& value)
{
    return {{QStringLiteral("ShowHostsMessages"), false}, {QStringLiteral("ShowSrvcsMessages"), false},
        {QStringLiteral("FlashesInTray"), false}, {key, value}};
}

// Runs `activate`, which may open one of the program's menus modally, and returns which opened;
// `whileOpen` acts on the open menu, which is closed afterwards either way.
QString menuOpenedBy(TarvixTestAccess& access, const std::function<void()>& activate,
    const std::function<void(QMenu*)>& whileOpen = {})
{
    QString opened = QStringLiteral("none");
    QObject recorder;
    const QList<QPair<QMenu*, QString>> menus {{&access.hostsMenu(), QStringLiteral("hosts")},
        {&access.servicesMenu(), QStringLiteral("services")},
        {&access.combinedMenu(), QStringLiteral("combined")}};
    for (const auto& [menu, name] : menus) {
        QObject::connect(menu, &QMenu::aboutToShow, &recorder, [&opened, name = name] {
            if (opened == QLatin1String("none"))
                opened = name;
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
        } else if (waited.elapsed() > 5000) {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (qobject_cast<QMenu*>(widget))
                    widget->hide();
            }
        }
    });
    watcher.start(10);
    activate();
    // Under Xvfb a menu is now and then closed as soon as it is shown; a user would click again.
    for (int retry = 0; retry < 3 && whileOpen && !actedOn && opened != QLatin1String("none"); ++retry)
        activate();
    return opened;
}

QString label(QWidget* popup, const char* name)
{
    return popup->findChild<QLabel*>(QLatin1String(name))->text();
}

} // namespace

// Popups are top-level windows and would outlive the test that made them.
void TestTrayUi::cleanup()
{
    for (QWidget* popup : harness::popups())
        popup->close();
    QTRY_VERIFY(harness::popups().isEmpty());
}

void TestTrayUi::clickOpensMenu_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("expectedMenu");

    const int left = QSystemTrayIcon::Trigger;
    const int middle = QSystemTrayIcon::MiddleClick;
    QTest::newRow("mode 0, left: combined") << 0 << left << QStringLiteral("combined");
    QTest::newRow("mode 0, middle: nothing") << 0 << middle << QStringLiteral("none");
    QTest::newRow("mode 1, left: hosts") << 1 << left << QStringLiteral("hosts");
    QTest::newRow("mode 1, middle: services") << 1 << middle << QStringLiteral("services");
    QTest::newRow("mode 2, left: services") << 2 << left << QStringLiteral("services");
    QTest::newRow("mode 2, middle: hosts") << 2 << middle << QStringLiteral("hosts");
}

void TestTrayUi::clickOpensMenu()
{
    QFETCH(int, mode);
    QFETCH(int, reason);
    QFETCH(QString, expectedMenu);

    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.start(quietWith(QStringLiteral("NumMenuOnLMK"), mode));
    QVERIFY(run.waitIdle());

    QCOMPARE(
        menuOpenedBy(*run.access, [&] { run.access->activate(QSystemTrayIcon::ActivationReason(reason)); }),
        expectedMenu);
}

void TestTrayUi::choosingEntryInOpenMenu()
{
    UrlCatcher catcher;
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.start(quietWith(QStringLiteral("NumMenuOnLMK"), 0));
    QVERIFY(run.waitIdle());

    // The first key selects "List of down hosts", the second the entry.
    const QString opened = menuOpenedBy(
        *run.access, [&] { run.access->activate(QSystemTrayIcon::Trigger); },
        [](QMenu* menu) {
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        });
    QCOMPARE(opened, QStringLiteral("combined"));
    QCOMPARE(catcher.urls, QList<QUrl> {QUrl(run.hostUrl(web))});
}

void TestTrayUi::menuChoiceOpensPage_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("actionText");
    QTest::addColumn<QString>("expectedPath");

    const QString cyrillicPath
        = QStringLiteral("/nagios/cgi-bin/extinfo.cgi?type=1&host=%D1%81%D0%B5%D1%80%D0%B2%D0%B5%D1%80-1");
    QTest::newRow("list of down hosts")
        << false << hostsList
        << QStringLiteral(
               "/nagios/cgi-bin/status.cgi?hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0");
    QTest::newRow("list of problem services")
        << false << servicesList
        << QStringLiteral("/nagios/cgi-bin/status.cgi?host=all&servicestatustypes=28&limit=0");
    QTest::newRow("service on a host with a space")
        << false << QStringLiteral("Toner Level:lab printer")
        << QStringLiteral("/nagios/cgi-bin/extinfo.cgi?type=2&host=lab+printer&service=Toner+Level");
    QTest::newRow("host over HTTPS") << true << QStringLiteral("сервер-1") << cyrillicPath;
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
    for (QAction* action : run.access->hostsMenu().actions() + run.access->servicesMenu().actions()) {
        if (action->text() == actionText)
            chosen = action;
    }
    QVERIFY(chosen);
    chosen->trigger();
    QCOMPARE(catcher.urls, QList<QUrl> {QUrl(run.sim.baseUrl() + expectedPath)});
}

void TestTrayUi::popupsForChanges()
{
    BalloonWatcher balloons;
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.start({{QStringLiteral("UseTrayMessages"), false}, {QStringLiteral("FlashesInTray"), false}});
    QVERIFY(run.waitIdle());

    QCOMPARE(harness::popups().size(), 1);
    QWidget* first = harness::popups().at(0);
    QCOMPARE(label(first, "lbHostLink"), popupLinkText(run.hostUrl(web), web));
    QCOMPARE(label(first, "lbStatus"), QStringLiteral("HOSTDOWN"));
    QVERIFY(first->styleSheet().contains(QLatin1String("background: red")));
    QCOMPARE(first->pos(), QPoint(115, 115));

    // The next popup cascades; a recovery is green.
    const QString db = QStringLiteral("db-02");
    run.sim.setHost(db, NagiosSimulator::HostState::Down);
    QVERIFY(run.pollAndWait());
    run.sim.setHost(web, NagiosSimulator::HostState::Up);
    QVERIFY(run.pollAndWait());

    const QList<QWidget*> popups = harness::popups();
    QCOMPARE(popups.size(), 3);
    for (QWidget* popup : popups) {
        if (label(popup, "lbHostLink") == popupLinkText(run.hostUrl(db), db)) {
            QCOMPARE(popup->pos(), QPoint(130, 130));
        } else if (popup != first) {
            QCOMPARE(label(popup, "lbStatus"), QStringLiteral("Host UP"));
            QVERIFY(popup->styleSheet().contains(QLatin1String("background: LimeGreen")));
        }
    }
    QVERIFY(balloons.balloons.isEmpty());

    QList<QPointer<QWidget>> guarded(popups.cbegin(), popups.cend());
    run.access->ui().actionCloseAll->trigger();
    QTRY_VERIFY(
        std::all_of(guarded.cbegin(), guarded.cend(), [](const QPointer<QWidget>& p) { return p.isNull(); }));
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
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.start({{QStringLiteral("OpenUrlFromTray"), openUrlFromTray}});
    QVERIFY(run.waitIdle());

    QVERIFY(harness::popups().isEmpty());
    QCOMPARE(balloons.titles(), QStringList {QStringLiteral("Change status of host")});
    QCOMPARE(balloons.balloons.at(0).message, QStringLiteral("Name: WEB-01\nStatus: HOSTDOWN"));
    QVERIFY(balloons.visible());
    QTest::mousePress(balloons.visible(), Qt::LeftButton);
    const QList<QUrl> expected = openUrlFromTray ? QList<QUrl> {QUrl(run.hostUrl(web))} : QList<QUrl>();
    QCOMPARE(catcher.urls, expected);

    run.sim.setService(web, QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Critical);
    QVERIFY(run.pollAndWait());
    QCOMPARE(balloons.balloons.last().title, QStringLiteral("Change status of service"));
    QCOMPARE(balloons.balloons.last().message, QStringLiteral("Name: HTTP:WEB-01\nStatus: CRITICAL"));

    // A click on an error balloon opens nothing.
    run.sim.setErrorPage(NagiosSimulator::ErrorPage::NagiosStopped);
    QVERIFY(run.pollAndWait());
    QCOMPARE(balloons.balloons.last().title, QStringLiteral("Tarvix: HTTP error"));
    QVERIFY(balloons.visible());
    QTest::mousePress(balloons.visible(), Qt::LeftButton);
    QCOMPARE(catcher.urls, expected);
}

void TestTrayUi::sounds_data()
{
    QTest::addColumn<QVariantMap>("overrides");
    QTest::addColumn<QStringList>("expectedSounds");

    QTest::newRow("problem HostUp.wav, recovery HostDown.wav")
        << QVariantMap() << QStringList {QStringLiteral("HostUp.wav"), QStringLiteral("HostDown.wav")};
    QTest::newRow("sounds disabled") << QVariantMap {{QStringLiteral("DisableSounds"), true}}
                                     << QStringList();
    QTest::newRow("host messages off")
        << QVariantMap {{QStringLiteral("ShowHostsMessages"), false}} << QStringList();
}

void TestTrayUi::sounds()
{
    QFETCH(QVariantMap, overrides);
    QFETCH(QStringList, expectedSounds);

    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.start(overrides);
    QVERIFY(run.waitIdle());
    run.sim.setHost(web, NagiosSimulator::HostState::Up);
    QVERIFY(run.pollAndWait());

    // Played from the data directory, where start-up copied them.
    QStringList expectedPaths;
    for (const QString& file : std::as_const(expectedSounds)) {
        expectedPaths << run.profile.dataDir() + QLatin1Char('/') + file;
        QVERIFY(QFile::exists(expectedPaths.last()));
    }
    QCOMPARE(*run.sounds, expectedPaths);
}

void TestTrayUi::flashing()
{
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.start();
    QList<QImage> ticks;
    QObject recorder;
    QTimer& flashTimer = run.access->flashTimer();
    // Connected after the main object's own slot: each record is the tick's result.
    QObject::connect(&flashTimer, &QTimer::timeout, &recorder, [&] {
        ticks << (flashTimer.isActive() ? harness::iconImage(run.access->trayIcon().icon()) : QImage());
    });
    QVERIFY(run.waitIdle());
    QCOMPARE(flashTimer.interval(), 400);

    QTRY_COMPARE_WITH_TIMEOUT(ticks.size(), 12, 8000);
    for (int tick = 1; tick <= 11; ++tick) {
        const QString expected = tick % 2 ? ResourcePaths::hostDownIcon2 : ResourcePaths::hostDownIcon1;
        QVERIFY2(
            ticks.at(tick - 1) == harness::iconImage(QIcon(expected)), qPrintable(QString::number(tick)));
    }
    // The last tick stops the timer and shows the normal icon.
    QVERIFY(ticks.at(11).isNull());
    QVERIFY(!flashTimer.isActive());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::normalIcon));
}

void TestTrayUi::floodSummarised_data()
{
    QTest::addColumn<bool>("useBalloons");

    QTest::newRow("popups") << false;
    QTest::newRow("balloons") << true;
}

// A first start at a large site, then everything recovers: each walk announces at most ten
// changes of a kind, the tenth standing for the rest with the list page as its link, and plays
// one sound per kind; the menus hold every entry.
void TestTrayUi::floodSummarised()
{
    QFETCH(bool, useBalloons);

    BalloonWatcher balloons;
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.addGeneratedSite(40, 200, 30);
    run.start({{QStringLiteral("UseTrayMessages"), useBalloons}});
    QVERIFY(run.waitIdle());
    const QString cgi = run.sim.baseUrl() + QStringLiteral("/nagios/cgi-bin/status.cgi?");
    const QString hostsPage
        = cgi + QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0");
    const QString servicesPage = cgi + QStringLiteral("host=all&servicestatustypes=28&limit=0");

    QCOMPARE(run.hostEntries().size(), 30);
    QCOMPARE(run.serviceEntries().size(), 200);
    QCOMPARE(run.serviceEntries().last(), QStringLiteral("Service 005:node-00040.gen.example.lan"));
    const QString problem = run.profile.dataDir() + QStringLiteral("/HostUp.wav");
    QCOMPARE(*run.sounds, (QStringList {problem, problem}));

    run.sim.clear();
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.hostEntries(), QStringList {QStringLiteral("         < empty >")});
    QCOMPARE(run.serviceEntries(), QStringList {QStringLiteral("         < empty >")});
    const QString recovery = run.profile.dataDir() + QStringLiteral("/HostDown.wav");
    QCOMPARE(*run.sounds, (QStringList {problem, problem, recovery, recovery}));

    // Shown as name, status and link: hosts, then services, each walk.
    QStringList shown;
    if (useBalloons) {
        QVERIFY(harness::popups().isEmpty());
        for (const BalloonWatcher::Balloon& balloon : std::as_const(balloons.balloons))
            shown << balloon.message.section(QLatin1Char('\n'), 0, 0).mid(6);
        QCOMPARE(run.access->lastMessageUrl(), servicesPage);
    } else {
        QVERIFY(balloons.balloons.isEmpty());
        for (QWidget* popup : harness::popups())
            shown << label(popup, "lbHostLink") + QLatin1Char(' ') + label(popup, "lbStatus");
    }
    QCOMPARE(shown.size(), 40);
    QStringList summaries = shown.filter(QStringLiteral("… and"));
    if (useBalloons) {
        QCOMPARE(summaries,
            (QStringList {"… and 21 more problems", "… and 191 more problems", "… and 21 more recoveries",
                "… and 191 more recoveries"}));
    } else {
        QStringList expected {popupLinkText(hostsPage, "… and 21 more problems") + " HOSTDOWN",
            popupLinkText(servicesPage, "… and 191 more problems") + " CRITICAL",
            popupLinkText(hostsPage, "… and 21 more recoveries") + " Host UP",
            popupLinkText(servicesPage, "… and 191 more recoveries") + " Service Up"};
        // Windows come in no particular order.
        summaries.sort();
        expected.sort();
        QCOMPARE(summaries, expected);
    }
}

QTEST_MAIN(TestTrayUi)
#include "tst_trayui.moc"
