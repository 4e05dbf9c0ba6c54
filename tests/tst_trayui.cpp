#include "notify/popupplacement.h"
#include "tarvixharness.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

// What the user sees and hears: the menus that clicks open, the pages their entries open, popups,
// balloons, sounds and the flashing icon; and how the poll cycle's answers reach them.
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
    void balloonsForChanges_data();
    void balloonsForChanges();
    void flashingWithoutMessages();
    void floodSummarised();
    void connectTimeout();
    void pageChangesReachTray();
    void unreadablePage_data();
    void unreadablePage();
};

namespace {

const QString web = QStringLiteral("WEB-01");
const QStringList empty {QStringLiteral("         < empty >")};

QString label(QWidget* popup, const char* name)
{
    return popup->findChild<QLabel*>(QLatin1String(name))->text();
}

// The open popups, each as "x,y object: link status colour", in that order.
QStringList shownPopups()
{
    QStringList popups;
    for (QWidget* popup : harness::popups())
        popups << QStringLiteral("%1,%2 %3 %4 %5 %6")
                      .arg(popup->x())
                      .arg(popup->y())
                      .arg(label(popup, "lbObjectName").trimmed(), label(popup, "lbHostLink"),
                          label(popup, "lbStatus"),
                          popup->styleSheet()
                              .section(QLatin1String("background: "), 1)
                              .section(QLatin1Char(' '), 0, 0));
    popups.sort();
    return popups;
}

QString tipHead(const TarvixRun& run)
{
    return QStringLiteral("Tarvix (http://127.0.0.1:%1)\n").arg(run.sim.port());
}

bool endsWithDataObtainedNow(const QString& toolTip)
{
    const QString stamp = toolTip.section(QStringLiteral("Data obtained: "), 1);
    const QDateTime time = QDateTime::fromString(stamp, QStringLiteral("hh:mm:ss dd.MM.yyyy"));
    return time.isValid() && qAbs(time.secsTo(QDateTime::currentDateTime())) < 60;
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
    QVERIFY2(run.startAndWait({{"DenySSLCert", false}}), qPrintable(run.sim.errorString()));

    const QList<QAction*> actions = run.access->hostsMenu().actions() + run.access->servicesMenu().actions();
    const auto chosen = std::find_if(actions.cbegin(), actions.cend(),
        [&actionText](QAction* action) { return action->text() == actionText; });
    QVERIFY(chosen != actions.cend());
    (*chosen)->trigger();
    QCOMPARE(catcher.urls, QList<QUrl> {QUrl(run.sim.baseUrl() + expectedPath)});
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
    const QTimer& flashTimer = run.access->flashTimer();
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

// Which poll reports a connect that never ends is the link machine's (tst_linkmachine); here the
// tray shows it once while the error state lasts.
void TestTrayUi::connectTimeout()
{
    const int period = 10;
    const int reportedAtPoll = 3;
    BalloonWatcher balloons;
    TarvixRun run;
    run.sim.setNeverAccept(true);
    QVERIFY(run.start({{"RequestPeriod", period}}));
    run.access->link().stopPolling();

    for (int poll = 1; poll <= reportedAtPoll; ++poll) {
        QVERIFY2(!run.access->errorReported(), qPrintable(QStringLiteral("before poll %1").arg(poll)));
        run.access->poll();
    }
    QVERIFY(run.access->errorReported());
    QCOMPARE(run.toolTip(),
        tipHead(run)
            + QStringLiteral("HTTP error ocurred:\nConnection is timed out.\nMonitoring is impossible."));
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));
    QTRY_COMPARE(balloons.titles(), QStringList {QStringLiteral("Tarvix: HTTP error")});
    QCOMPARE(balloons.balloons.at(0).message,
        QStringLiteral("Timeout while connecting to server\nfor obtaining monitoring information."));

    // Reported once while the error state lasts.
    for (int poll = 0; poll < 2 * reportedAtPoll + 1; ++poll)
        run.access->poll();
    QCOMPARE(balloons.balloons.size(), 1);

    run.sim.setNeverAccept(false);
    run.access->http()->abort();
    QVERIFY(run.waitIdle());
    QVERIFY(run.pollAndWait());
    QVERIFY(!run.access->errorReported());
    QCOMPARE(balloons.balloons.last().message, QStringLiteral("Connection with the server is established."));
}

// Which changes a page makes is the page walk's (tst_pagewalk); here the polls ask for both lists
// with the credentials at once, and a page's plan reaches the menus, the popups with their kinds
// and addresses (cascading, red for a problem, green for a recovery), the sounds from the data
// directory where start-up copied them, the flashing and the tooltip.
void TestTrayUi::pageChangesReachTray()
{
    TarvixRun run;
    // The host of a service comes URL-decoded from its link: "&" is shown literally, not as a mnemonic.
    const QString printer = QStringLiteral("R&D printer");
    const QString toner = QStringLiteral("Toner Level");
    const QString tonerEntry = toner + QLatin1Char(':') + printer;
    const QString tonerUrl
        = run.sim.baseUrl() + "/nagios/cgi-bin/extinfo.cgi?type=2&host=R%26D+printer&service=Toner+Level";
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.sim.setService(printer, toner, NagiosSimulator::ServiceState::Critical);
    run.sim.requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("s3cret:x"));
    QVERIFY(run.startAndWait(
        {{"UseHTTPAuth", true}, {"Login", "tarvix"}, {"Password", "s3cret:x"}, {"UseTrayMessages", false}}));

    QStringList requests;
    for (const RecordedRequest& request : run.sim.requests())
        requests << request.query + QLatin1Char(' ') + QString::fromLatin1(request.authorization);
    const QString authorization
        = QStringLiteral(" Basic ") + QString::fromLatin1(QByteArray("tarvix:s3cret:x").toBase64());
    QCOMPARE(requests,
        QStringList({"hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0" + authorization,
            "host=all&servicestatustypes=28&limit=0" + authorization}));
    QCOMPARE(run.hostEntries(), QStringList {web});
    QCOMPARE(run.serviceEntries(), QStringList {QStringLiteral("Toner Level:R&&D printer")});
    QVERIFY(run.toolTip().startsWith(
        tipHead(run) + QStringLiteral("Hosts down count: 1\nProblem services: 1\nData obtained: ")));
    QVERIFY2(endsWithDataObtainedNow(run.toolTip()), qPrintable(run.toolTip()));
    const QString webPopup = "115,115 Hostname: " + popupLinkText(run.hostUrl(web), web) + " HOSTDOWN red";
    const QString tonerPopup
        = "130,130 Name of service: " + popupLinkText(tonerUrl, tonerEntry) + " CRITICAL red";
    QCOMPARE(shownPopups(), QStringList({webPopup, tonerPopup}));
    QVERIFY(!run.access->flashUp());

    // A new host; WEB-01 now filtered out, which leaves silently; the service recovers.
    const QString app = QStringLiteral("app-02");
    run.sim.setHost(app, NagiosSimulator::HostState::Down);
    run.sim.setService(printer, toner, NagiosSimulator::ServiceState::Ok);
    run.access->saveHostFilter(web);
    QVERIFY(run.sim.applyCommand(QStringLiteral("badutf8 on"))); // bytes that are no UTF-8 change nothing
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.hostEntries(), QStringList {app});
    QCOMPARE(run.serviceEntries(), empty);
    QVERIFY(run.toolTip().startsWith(tipHead(run) + QStringLiteral("Hosts down count: 1\nData obtained: ")));
    QCOMPARE(shownPopups(),
        QStringList({webPopup, tonerPopup,
            "145,145 Hostname: " + popupLinkText(run.hostUrl(app), app) + " HOSTDOWN red",
            "160,160 Name of service: " + popupLinkText(tonerUrl, tonerEntry) + " Service Up LimeGreen"}));
    // The last change is a recovery: the icon flashes the recovery's images.
    QVERIFY(run.access->flashUp());
    const QString problem = run.profile.dataDir() + QStringLiteral("/HostUp.wav");
    const QString recovery = run.profile.dataDir() + QStringLiteral("/HostDown.wav");
    QVERIFY(QFile::exists(problem) && QFile::exists(recovery));
    QCOMPARE(*run.sounds, QStringList({problem, problem, problem, recovery}));

    run.access->widget<QAction>("actionCloseAll")->trigger();
    QTRY_VERIFY(harness::popups().isEmpty());
}

void TestTrayUi::unreadablePage_data()
{
    QTest::addColumn<QString>("fault"); // a simulator command, or "limit" for a query without "limit=0"
    QTest::addColumn<QString>("mended");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("staleLists");

    const QString both = QStringLiteral("down hosts is stale since \\S+ \\S+\nThe list of problem services");
    const QString notStatusPage = QStringLiteral("The server's answer is not a status page.\n");
    const auto row = [](const char* name, const char* fault, const char* mended, const QString& reason,
                         const QString& stale) { QTest::newRow(name) << fault << mended << reason << stale; };
    row("Nagios not running", "errorpage stopped", "errorpage none", notStatusPage, both);
    row("a query without limit=0 past the server's result limit", "limit", "",
        "The server listed only 100 of 120 entries: add \"&limit=0\" to the query on \"General\".\n",
        QStringLiteral("problem services"));
}

// The entries stay as they were, nothing is announced, the tray says why; polling goes on and
// the error ends with the next whole page.
void TestTrayUi::unreadablePage()
{
    QFETCH(QString, fault);
    QFETCH(QString, mended);
    QFETCH(QString, reason);
    QFETCH(QString, staleLists);

    BalloonWatcher balloons;
    TarvixRun run;
    const QStringList hosts {QStringLiteral("db-1"), QStringLiteral("db-2"), QStringLiteral("db-3")};
    for (const QString& host : hosts)
        run.sim.setHost(host, NagiosSimulator::HostState::Down);
    run.sim.addGeneratedServices(30, 4, NagiosSimulator::ServiceState::Critical);
    // Flashing would put the normal icon back over the error state's.
    QVERIFY(run.startAndWait({{"FlashesInTray", false}}));
    QCOMPARE(run.serviceEntries().size(), 120);

    const auto setFault = [&](bool on) {
        if (fault == QLatin1String("limit"))
            QVERIFY(run.access->saveInWindow({{"cbServicesRequest", on},
                        {"edServicesRequest",
                            on ? QStringLiteral("status.cgi?host=all&servicestatustypes=28")
                               : defaultServicesRequest}})
                && run.waitIdle());
        else
            QVERIFY(run.sim.applyCommand(on ? fault : mended));
    };
    const qsizetype before = balloons.balloons.size();
    setFault(true);
    QVERIFY(run.pollAndWait());
    QVERIFY(run.pollAndWait());

    QCOMPARE(run.hostEntries(), hosts);
    QCOMPARE(run.serviceEntries().size(), 120);
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));
    const QRegularExpression toolTip(
        QRegularExpression::anchoredPattern(QRegularExpression::escape(tipHead(run) + "HTTP error ocurred:\n"
                                                + reason + "Monitoring is impossible.\nThe list of ")
            + staleLists + " is stale since \\S+ \\S+"));
    QVERIFY2(toolTip.match(run.toolTip()).hasMatch(), qPrintable(run.toolTip()));
    QCOMPARE(balloons.balloons.size(), before + 1);
    QCOMPARE(balloons.balloons.last().message, reason);

    setFault(false);
    QVERIFY(run.pollAndWait());
    QVERIFY(!run.access->errorReported());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::normalIcon));
    QCOMPARE(balloons.balloons.last().message, QStringLiteral("Connection with the server is established."));
    QCOMPARE(run.hostEntries(), hosts);
    QCOMPARE(run.serviceEntries().size(), 120);
}

QTEST_MAIN(TestTrayUi)
#include "tst_trayui.moc"
