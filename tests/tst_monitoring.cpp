#include "tarvixharness.h"

#include <QDateTime>
#include <QTest>

// The poll cycle, the handling of answers and the change detection of the real main object.
class TestMonitoring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() { REQUIRE_SYSTEM_TRAY(); }

    void firstPollRequests_data();
    void firstPollRequests();
    void connectTimeout_data();
    void connectTimeout();
    void pageChangesReachTray();
    void unreadablePage_data();
    void unreadablePage();
};

namespace {

const QString cgi = QStringLiteral("/nagios/cgi-bin/status.cgi?");
const QString hostsRequest = QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0");
const QString servicesRequest = QStringLiteral("host=all&servicestatustypes=28&limit=0");
const QStringList empty {QStringLiteral("         < empty >")};
const QString down = QStringLiteral("flash down");
const QString up = QStringLiteral("flash up");

QString announced(unsigned kind, const QString& name, const QString& status, const QString& url)
{
    return QStringLiteral("announce kind %1 name %2 status %3 url %4").arg(kind).arg(name, status, url);
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

void TestMonitoring::firstPollRequests_data()
{
    QTest::addColumn<QVariantMap>("overrides");
    QTest::addColumn<QStringList>("expectedRequests");
    QTest::addColumn<QByteArray>("expectedAuthorization");

    QTest::newRow("both kinds") << QVariantMap() << QStringList {cgi + hostsRequest, cgi + servicesRequest}
                                << QByteArray();
    QTest::newRow("hosts only") << QVariantMap {{QStringLiteral("EnableSrvcsMonitoring"), false}}
                                << QStringList {cgi + hostsRequest} << QByteArray();
    QTest::newRow("services only") << QVariantMap {{QStringLiteral("EnableHostsMonitoring"), false}}
                                   << QStringList {cgi + servicesRequest} << QByteArray();
    QTest::newRow("basic credentials on both requests")
        << QVariantMap {{QStringLiteral("UseHTTPAuth"), true},
               {QStringLiteral("Login"), QStringLiteral("tarvix")},
               {QStringLiteral("Password"), QStringLiteral("s3cret:x")}}
        << QStringList {cgi + hostsRequest, cgi + servicesRequest}
        << QByteArray("Basic " + QByteArray("tarvix:s3cret:x").toBase64());
}

void TestMonitoring::firstPollRequests()
{
    QFETCH(QVariantMap, overrides);
    QFETCH(QStringList, expectedRequests);
    QFETCH(QByteArray, expectedAuthorization);

    TarvixRun run;
    QVERIFY(run.startServer());
    if (!expectedAuthorization.isEmpty())
        run.sim.requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("s3cret:x"));
    run.start(overrides);
    // Polled at once, not after the first period.
    QVERIFY(run.waitIdle());

    QStringList seen;
    const QList<RecordedRequest> requests = run.sim.requests();
    for (const RecordedRequest& request : requests) {
        seen << request.path + QLatin1Char('?') + request.query;
        QCOMPARE(request.authorization, expectedAuthorization);
    }
    QCOMPARE(seen, expectedRequests);
    QCOMPARE(run.access->pollTimer().interval(), 600 * 1000);
    QVERIFY(!run.access->errorReported());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::normalIcon));
}

void TestMonitoring::connectTimeout_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("reportedAtPoll");

    QTest::newRow("period 10: the third poll") << 10 << 3;
    QTest::newRow("period 29: the second poll") << 29 << 2;
    QTest::newRow("period 30: the first poll") << 30 << 1;
}

void TestMonitoring::connectTimeout()
{
    QFETCH(int, period);
    QFETCH(int, reportedAtPoll);

    BalloonWatcher balloons;
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setNeverAccept(true);
    run.start({{QStringLiteral("RequestPeriod"), period}});
    run.access->pollTimer().stop();

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
    QCOMPARE(run.log.lines(QStringLiteral("error state:")).size(), 1);
    QCOMPARE(balloons.balloons.size(), 1);

    run.sim.setNeverAccept(false);
    run.access->http()->abort();
    QVERIFY(run.waitIdle());
    QVERIFY(run.pollAndWait());
    QVERIFY(!run.access->errorReported());
    QCOMPARE(balloons.balloons.last().message, QStringLiteral("Connection with the server is established."));
}

// Which changes a page makes is the page walk's (tst_pagewalk); here its plan reaches the menus,
// the announcements with their kinds and addresses, the flashing and the tooltip.
void TestMonitoring::pageChangesReachTray()
{
    TarvixRun run;
    QVERIFY(run.startServer());
    const QString web = QStringLiteral("WEB-01");
    // The host of a service comes URL-decoded from its link: "&" is shown literally, not as a mnemonic.
    const QString printer = QStringLiteral("R&D printer");
    const QString toner = QStringLiteral("Toner Level");
    const QString tonerEntry = toner + QLatin1Char(':') + printer;
    const QStringList tonerMenu {QStringLiteral("Toner Level:R&&D printer")};
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.sim.setService(printer, toner, NagiosSimulator::ServiceState::Critical);
    run.start();
    QVERIFY(run.waitIdle());

    QCOMPARE(run.hostEntries(), QStringList {web});
    QCOMPARE(run.serviceEntries(), tonerMenu);
    QCOMPARE(run.log.events(),
        (QStringList {announced(HostProblem, web, QStringLiteral("HOSTDOWN"), run.hostUrl(web)), down,
            announced(ServiceProblem, tonerEntry, QStringLiteral("CRITICAL"), run.serviceUrl(printer, toner)),
            down}));
    QVERIFY(run.toolTip().startsWith(
        tipHead(run) + QStringLiteral("Hosts down count: 1\nProblem services: 1\nData obtained: ")));
    QVERIFY2(endsWithDataObtainedNow(run.toolTip()), qPrintable(run.toolTip()));

    // A new host; WEB-01 now filtered out, which leaves silently; the service recovers.
    run.log.clear();
    const QString app = QStringLiteral("app-02");
    run.sim.setHost(app, NagiosSimulator::HostState::Down);
    run.sim.setService(printer, toner, NagiosSimulator::ServiceState::Ok);
    run.access->settings().hostsList = QStringList {web};
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.log.events(),
        (QStringList {announced(HostProblem, app, QStringLiteral("HOSTDOWN"), run.hostUrl(app)), down,
            announced(
                ServiceRecovered, tonerEntry, QStringLiteral("Service Up"), run.serviceUrl(printer, toner)),
            up}));
    QCOMPARE(run.hostEntries(), QStringList {app});
    QCOMPARE(run.serviceEntries(), empty);
    QVERIFY(run.toolTip().startsWith(tipHead(run) + QStringLiteral("Hosts down count: 1\nData obtained: ")));
}

void TestMonitoring::unreadablePage_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("staleLists");

    const QString both = QStringLiteral("down hosts is stale since \\S+ \\S+\nThe list of problem services");
    QTest::newRow("Nagios not running") << "stopped"
                                        << "The server's answer is not a status page.\n"
                                        << both;
    QTest::newRow("a login page") << "login"
                                  << "The server's answer is not a status page.\n"
                                  << both;
    QTest::newRow("a page cut mid-table") << "cut"
                                          << "The server's status page arrived incomplete.\n"
                                          << both;
    QTest::newRow("a query without limit=0 past the server's result limit")
        << "limit"
        << "The server listed only 100 of 120 entries: add \"&limit=0\" to the query on \"General\".\n"
        << QStringLiteral("problem services");
}

// The entries stay as they were, nothing is announced, the tray says why; polling goes on and
// the error ends with the next whole page.
void TestMonitoring::unreadablePage()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    QFETCH(QString, staleLists);

    BalloonWatcher balloons;
    TarvixRun run;
    QVERIFY(run.startServer());
    const QStringList hosts {QStringLiteral("db-1"), QStringLiteral("db-2"), QStringLiteral("db-3")};
    for (const QString& host : hosts)
        run.sim.setHost(host, NagiosSimulator::HostState::Down);
    run.sim.addGeneratedServices(20, 4, NagiosSimulator::ServiceState::Critical);
    // Flashing would put the normal icon back over the error state's.
    run.start({{QStringLiteral("FlashesInTray"), false}, {QStringLiteral("UseUserDefSrvcsRequest"), true},
        {QStringLiteral("UserDefServicesRequest"),
            QStringLiteral("status.cgi?host=all&servicestatustypes=28")}});
    QVERIFY(run.waitIdle());
    QCOMPARE(run.serviceEntries().size(), 80);

    const auto setFault = [&run, &fault](bool on) {
        if (fault == QLatin1String("stopped"))
            run.sim.setErrorPage(
                on ? NagiosSimulator::ErrorPage::NagiosStopped : NagiosSimulator::ErrorPage::None);
        else if (fault == QLatin1String("login"))
            run.sim.setRawBody(on
                    ? QByteArray("<html><body><form action='/login'>Log in</form></body></html>\n")
                    : QByteArray());
        else if (fault == QLatin1String("cut"))
            run.sim.setCutPage(on);
        for (int i = 1; fault == QLatin1String("limit") && i <= 40; ++i) {
            const QString host = QStringLiteral("web-%1").arg(i);
            if (on)
                run.sim.setService(host, QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Warning);
            else
                run.sim.removeHost(host);
        }
    };
    setFault(true);
    run.log.clear();
    const qsizetype before = balloons.balloons.size();
    QVERIFY(run.pollAndWait());
    QVERIFY(run.pollAndWait());

    QCOMPARE(run.log.events(), QStringList());
    QCOMPARE(run.hostEntries(), hosts);
    QCOMPARE(run.serviceEntries().size(), 80);
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
    QCOMPARE(run.log.events(), QStringList());
    QCOMPARE(run.hostEntries(), hosts);
    QCOMPARE(run.serviceEntries().size(), 80);
}

QTEST_MAIN(TestMonitoring)
#include "tst_monitoring.moc"
