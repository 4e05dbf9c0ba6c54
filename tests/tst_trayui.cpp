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
    void menuChoiceOpensPage_data();
    void menuChoiceOpensPage();
    void popupsForChanges();
    void balloonsForChanges_data();
    void balloonsForChanges();
    void flashingWithoutMessages();
    void floodSummarised();
};

namespace {

const QString web = QStringLiteral("WEB-01");

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
    QTest::newRow("mode 0, left: combined, its host entry opens the page") << 0 << left << "combined";
    QTest::newRow("mode 0, middle: nothing") << 0 << middle << "none";
    QTest::newRow("mode 1, left: hosts") << 1 << left << "hosts";
    QTest::newRow("mode 1, middle: services") << 1 << middle << "services";
    QTest::newRow("mode 2, left: services") << 2 << left << "services";
    QTest::newRow("mode 2, middle: hosts") << 2 << middle << "hosts";
}

// The click runs the menu modally; a watcher acts on it and closes it.
void TestTrayUi::clickOpensMenu()
{
    QFETCH(int, mode);
    QFETCH(int, reason);
    QFETCH(QString, expectedMenu);

    UrlCatcher catcher;
    TarvixRun run;
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    // A balloon just shown under Xvfb makes the window system close a menu more often.
    QVERIFY(
        run.startAndWait({{"NumMenuOnLMK", mode}, {"ShowHostsMessages", false}, {"FlashesInTray", false}}));

    const QHash<QWidget*, QString> names {{&run.access->hostsMenu(), QStringLiteral("hosts")},
        {&run.access->servicesMenu(), QStringLiteral("services")},
        {&run.access->combinedMenu(), QStringLiteral("combined")}};
    QString opened = QStringLiteral("none");
    const bool choose = expectedMenu == QLatin1String("combined");
    bool chosen = false;
    QElapsedTimer waited;
    waited.start();
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, qApp, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu && opened == QLatin1String("none"))
            opened = names.value(menu, QStringLiteral("another"));
        // The first key selects "List of down hosts", the second the entry.
        if (menu && choose && !chosen) {
            chosen = true;
            for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return})
                QTest::keyClick(menu, key);
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMenu*>(widget) && (widget == menu || waited.elapsed() > 5000))
                widget->hide();
        }
    });
    watcher.start(10);
    run.access->activate(QSystemTrayIcon::ActivationReason(reason));
    // Under Xvfb a menu is now and then closed as soon as it is shown; a user would click again.
    for (int retry = 0; retry < 3 && choose && !chosen; ++retry)
        run.access->activate(QSystemTrayIcon::ActivationReason(reason));
    QCOMPARE(opened, expectedMenu);
    QCOMPARE(catcher.urls, choose ? QList<QUrl> {QUrl(run.hostUrl(web))} : QList<QUrl>());
}

void TestTrayUi::menuChoiceOpensPage_data()
{
    QTest::addColumn<bool>("https");
    QTest::addColumn<QString>("actionText");
    QTest::addColumn<QString>("expectedPath");

    QTest::newRow("list of down hosts")
        << false << "List of down hosts"
        << "/nagios/cgi-bin/status.cgi?hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0";
    QTest::newRow("list of problem services")
        << false << "List of problem services"
        << "/nagios/cgi-bin/status.cgi?host=all&servicestatustypes=28&limit=0";
    QTest::newRow("service on a host with a space")
        << false << "Toner Level:lab printer"
        << "/nagios/cgi-bin/extinfo.cgi?type=2&host=lab+printer&service=Toner+Level";
    QTest::newRow("host over HTTPS")
        << true << "сервер-1"
        << "/nagios/cgi-bin/extinfo.cgi?type=1&host=%D1%81%D0%B5%D1%80%D0%B2%D0%B5%D1%80-1";
}

void TestTrayUi::menuChoiceOpensPage()
{
    QFETCH(bool, https);
    QFETCH(QString, actionText);
    QFETCH(QString, expectedPath);

    UrlCatcher catcher;
    TarvixRun run(https);
    run.sim.setHost(QStringLiteral("сервер-1"), NagiosSimulator::HostState::Down);
    run.sim.setService(QStringLiteral("lab printer"), QStringLiteral("Toner Level"),
        NagiosSimulator::ServiceState::Critical);
    QVERIFY2(run.startAndWait({{"DenySSLCert", false}}), qPrintable(run.sim.errorString()));

    const QList<QAction*> actions = run.access->hostsMenu().actions() + run.access->servicesMenu().actions();
    const auto chosen = std::find_if(actions.cbegin(), actions.cend(),
        [&actionText](QAction* action) { return action->text() == actionText; });
    QVERIFY(chosen != actions.cend());
    (*chosen)->trigger();
    QCOMPARE(catcher.urls, QList<QUrl> {QUrl(run.sim.baseUrl() + expectedPath)});
}

// A popup for each change, cascading, red for a problem and green for a recovery, each with its
// sound from the data directory, where start-up copied them; "Close all messages" closes them.
void TestTrayUi::popupsForChanges()
{
    BalloonWatcher balloons;
    TarvixRun run;
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    QVERIFY(run.startAndWait({{"UseTrayMessages", false}, {"FlashesInTray", false}}));

    QCOMPARE(harness::popups().size(), 1);
    QWidget* first = harness::popups().at(0);
    QCOMPARE(label(first, "lbHostLink"), popupLinkText(run.hostUrl(web), web));
    QCOMPARE(label(first, "lbStatus"), QStringLiteral("HOSTDOWN"));
    QVERIFY(first->styleSheet().contains(QLatin1String("background: red")));
    QCOMPARE(first->pos(), QPoint(115, 115));

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
    const QString problem = run.profile.dataDir() + QStringLiteral("/HostUp.wav");
    const QString recovery = run.profile.dataDir() + QStringLiteral("/HostDown.wav");
    QVERIFY(QFile::exists(problem) && QFile::exists(recovery));
    QCOMPARE(*run.sounds, QStringList({problem, problem, recovery}));

    QList<QPointer<QWidget>> guarded(popups.cbegin(), popups.cend());
    run.access->ui().actionCloseAll->trigger();
    QTRY_VERIFY(
        std::all_of(guarded.cbegin(), guarded.cend(), [](const QPointer<QWidget>& p) { return p.isNull(); }));
}

void TestTrayUi::balloonsForChanges_data()
{
    QTest::addColumn<bool>("openUrlFromTray");

    QTest::newRow("a click opens the page") << true;
    QTest::newRow("opening from the tray and sounds switched off") << false;
}

void TestTrayUi::balloonsForChanges()
{
    QFETCH(bool, openUrlFromTray);

    UrlCatcher catcher;
    BalloonWatcher balloons;
    TarvixRun run;
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    QVERIFY(run.startAndWait({{"OpenUrlFromTray", openUrlFromTray}, {"DisableSounds", !openUrlFromTray}}));

    QVERIFY(harness::popups().isEmpty());
    QCOMPARE(balloons.titles(), QStringList {QStringLiteral("Change status of host")});
    QCOMPARE(balloons.balloons.at(0).message, QStringLiteral("Name: WEB-01\nStatus: HOSTDOWN"));
    QCOMPARE(run.sounds->size(), openUrlFromTray ? 1 : 0);
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

// With the host messages off a new problem shows and plays nothing; the icon flashes all the same:
// the first image, eleven switches, the plain icon.
void TestTrayUi::flashingWithoutMessages()
{
    BalloonWatcher balloons;
    TarvixRun run;
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    QVERIFY(run.start({{"ShowHostsMessages", false}}));
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
    QVERIFY(ticks.at(11).isNull());
    QVERIFY(!flashTimer.isActive());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::normalIcon));
    QVERIFY(harness::popups().isEmpty() && balloons.balloons.isEmpty() && run.sounds->isEmpty());
}

// A first start at a large site, then everything recovers: each walk announces at most ten
// changes of a kind, the tenth standing for the rest with the list page as its link, and plays
// one sound per kind; the menus hold every entry.
void TestTrayUi::floodSummarised()
{
    TarvixRun run;
    run.sim.addGeneratedSite(40, 200, 30);
    QVERIFY(run.startAndWait({{"UseTrayMessages", false}}));
    const QString cgi = run.sim.baseUrl() + QStringLiteral("/nagios/cgi-bin/status.cgi?");
    const QString hostsPage
        = cgi + QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0");
    const QString servicesPage = cgi + QStringLiteral("host=all&servicestatustypes=28&limit=0");

    QCOMPARE(run.hostEntries().size(), 30);
    QCOMPARE(run.serviceEntries().size(), 200);
    QCOMPARE(run.sounds->size(), 2);
    run.sim.clear();
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.hostEntries(), QStringList {QStringLiteral("         < empty >")});
    QCOMPARE(run.serviceEntries(), QStringList {QStringLiteral("         < empty >")});
    QCOMPARE(run.sounds->size(), 4);

    QStringList shown;
    for (QWidget* popup : harness::popups())
        shown << label(popup, "lbHostLink") + QLatin1Char(' ') + label(popup, "lbStatus");
    QCOMPARE(shown.size(), 40);
    QStringList summaries = shown.filter(QStringLiteral("… and"));
    QStringList expected {popupLinkText(hostsPage, "… and 21 more problems") + " HOSTDOWN",
        popupLinkText(servicesPage, "… and 191 more problems") + " CRITICAL",
        popupLinkText(hostsPage, "… and 21 more recoveries") + " Host UP",
        popupLinkText(servicesPage, "… and 191 more recoveries") + " Service Up"};
    // Windows come in no particular order.
    summaries.sort();
    expected.sort();
    QCOMPARE(summaries, expected);
}

QTEST_MAIN(TestTrayUi)
#include "tst_trayui.moc"
