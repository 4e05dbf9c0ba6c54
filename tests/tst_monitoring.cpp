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

    void connectTimeout_data();
    void connectTimeout();
    void pageChangesReachTray();
    void unreadablePage_data();
    void unreadablePage();
};

namespace {

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
    run.sim.setNeverAccept(true);
    QVERIFY(run.start({{"RequestPeriod", period}}));
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
    QCOMPARE(balloons.balloons.size(), 1);

    run.sim.setNeverAccept(false);
    run.access->http()->abort();
    QVERIFY(run.waitIdle());
    QVERIFY(run.pollAndWait());
    QVERIFY(!run.access->errorReported());
    QCOMPARE(balloons.balloons.last().message, QStringLiteral("Connection with the server is established."));
}

// Which changes a page makes is the page walk's (tst_pagewalk); here the polls ask for both lists
// with the credentials at once, and a page's plan reaches the menus, the announcements with their
// kinds and addresses, the flashing and the tooltip.
void TestMonitoring::pageChangesReachTray()
{
    TarvixRun run;
    const QString web = QStringLiteral("WEB-01");
    // The host of a service comes URL-decoded from its link: "&" is shown literally, not as a mnemonic.
    const QString printer = QStringLiteral("R&D printer");
    const QString toner = QStringLiteral("Toner Level");
    const QString tonerEntry = toner + QLatin1Char(':') + printer;
    const QStringList tonerMenu {QStringLiteral("Toner Level:R&&D printer")};
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.sim.setService(printer, toner, NagiosSimulator::ServiceState::Critical);
    run.sim.requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("s3cret:x"));
    QVERIFY(run.startAndWait({{"UseHTTPAuth", true}, {"Login", "tarvix"}, {"Password", "s3cret:x"}}));

    QStringList requests;
    for (const RecordedRequest& request : run.sim.requests())
        requests << request.query + QLatin1Char(' ') + QString::fromLatin1(request.authorization);
    const QString authorization
        = QStringLiteral(" Basic ") + QString::fromLatin1(QByteArray("tarvix:s3cret:x").toBase64());
    QCOMPARE(requests,
        QStringList({"hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0" + authorization,
            "host=all&servicestatustypes=28&limit=0" + authorization}));
    QCOMPARE(run.hostEntries(), QStringList {web});
    QCOMPARE(run.serviceEntries(), tonerMenu);
    QCOMPARE(run.log.events,
        (QStringList {announced(HostProblem, web, QStringLiteral("HOSTDOWN"), run.hostUrl(web)), down,
            announced(ServiceProblem, tonerEntry, QStringLiteral("CRITICAL"), run.serviceUrl(printer, toner)),
            down}));
    QVERIFY(run.toolTip().startsWith(
        tipHead(run) + QStringLiteral("Hosts down count: 1\nProblem services: 1\nData obtained: ")));
    QVERIFY2(endsWithDataObtainedNow(run.toolTip()), qPrintable(run.toolTip()));

    // A new host; WEB-01 now filtered out, which leaves silently; the service recovers.
    run.log.events.clear();
    const QString app = QStringLiteral("app-02");
    run.sim.setHost(app, NagiosSimulator::HostState::Down);
    run.sim.setService(printer, toner, NagiosSimulator::ServiceState::Ok);
    run.access->settings().hostsList = QStringList {web};
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.log.events,
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
    QTest::addColumn<QString>("fault"); // a simulator command, or "limit" for a query without "limit=0"
    QTest::addColumn<QString>("mended");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("staleLists");

    const QString both = QStringLiteral("down hosts is stale since \\S+ \\S+\nThe list of problem services");
    QTest::newRow("Nagios not running") << "errorpage stopped"
                                        << "errorpage none"
                                        << "The server's answer is not a status page.\n"
                                        << both;
    QTest::newRow("a page cut mid-table") << "cutpage on"
                                          << "cutpage off"
                                          << "The server's status page arrived incomplete.\n"
                                          << both;
    QTest::newRow("a query without limit=0 past the server's result limit")
        << "limit" << QString()
        << "The server listed only 100 of 120 entries: add \"&limit=0\" to the query on \"General\".\n"
        << QStringLiteral("problem services");
}

// The entries stay as they were, nothing is announced, the tray says why; polling goes on and
// the error ends with the next whole page.
void TestMonitoring::unreadablePage()
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
            run.access->settings().servicesRequest
                = on ? QStringLiteral("status.cgi?host=all&servicestatustypes=28") : defaultServicesRequest;
        else
            QVERIFY(run.sim.applyCommand(on ? fault : mended));
    };
    setFault(true);
    const qsizetype before = balloons.balloons.size();
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

QTEST_MAIN(TestMonitoring)
#include "tst_monitoring.moc"
