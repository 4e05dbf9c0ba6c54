#include "tarvixharness.h"

#include <QSignalSpy>
#include <QTest>

// The poll cycle, the handling of answers and the change detection, end to end: the real main
// object polls the simulated Nagios server through its own HTTP client.
class TestMonitoring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstPollRequests_data();
    void firstPollRequests();
    void portText_data();
    void portText();
    void connectTimeout_data();
    void connectTimeout();
    void hostStateChanges();
    void serviceStateChanges();
    void notAStatusPage_data();
    void notAStatusPage();
};

namespace {

const QString hostsRequest = QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0");
const QString servicesRequest = QStringLiteral("host=all&servicestatustypes=28&limit=0");
const QString emptyEntry = QStringLiteral("         < empty >");

QString announced(unsigned kind, const QString& name, const QString& status, const QString& url)
{
    return QStringLiteral("announce kind %1 name %2 status %3 url %4").arg(kind).arg(name, status, url);
}

const QString flashDown = QStringLiteral("flash down");
const QString flashUp = QStringLiteral("flash up");

// "Data obtained: " followed by a time stamp of this moment.
bool isDataObtainedLine(const QString& line)
{
    const QString prefix = QStringLiteral("Data obtained: ");
    if (!line.startsWith(prefix))
        return false;
    const QDateTime stamp
        = QDateTime::fromString(line.mid(prefix.size()), QStringLiteral("hh:mm:ss dd.MM.yyyy"));
    return stamp.isValid() && qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 60;
}

} // namespace

void TestMonitoring::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestMonitoring::init()
{
    REQUIRE_SYSTEM_TRAY();
}

void TestMonitoring::firstPollRequests_data()
{
    QTest::addColumn<QVariantMap>("overrides");
    QTest::addColumn<QString>("serverCgiDirectory");
    QTest::addColumn<QStringList>("expectedRequests");
    QTest::addColumn<QByteArray>("expectedAuthorization");

    const QString cgi = QStringLiteral("/nagios/cgi-bin/status.cgi?");
    QTest::newRow("both kinds, default requests")
        << QVariantMap() << QStringLiteral("/nagios/cgi-bin/")
        << QStringList {cgi + hostsRequest, cgi + servicesRequest} << QByteArray();
    QTest::newRow("hosts monitoring only")
        << QVariantMap {{QStringLiteral("EnableSrvcsMonitoring"), false}}
        << QStringLiteral("/nagios/cgi-bin/") << QStringList {cgi + hostsRequest} << QByteArray();
    QTest::newRow("services monitoring only")
        << QVariantMap {{QStringLiteral("EnableHostsMonitoring"), false}}
        << QStringLiteral("/nagios/cgi-bin/") << QStringList {cgi + servicesRequest} << QByteArray();
    QTest::newRow("user CGI directory without its slashes")
        << QVariantMap {{QStringLiteral("UseUserDefExecDir"), true},
               {QStringLiteral("UserDefNagiosExecDir"), QStringLiteral("nagios4/cgi-bin")}}
        << QStringLiteral("/nagios4/cgi-bin/")
        << QStringList {QStringLiteral("/nagios4/cgi-bin/status.cgi?") + hostsRequest,
               QStringLiteral("/nagios4/cgi-bin/status.cgi?") + servicesRequest}
        << QByteArray();
    QTest::newRow("user requests sent as written")
        << QVariantMap {{QStringLiteral("UseUserDefHostsRequest"), true},
               {QStringLiteral("UserDefHostsRequest"),
                   QStringLiteral("status.cgi?hostgroup=web&hoststatustypes=4")},
               {QStringLiteral("UseUserDefSrvcsRequest"), true},
               {QStringLiteral("UserDefServicesRequest"),
                   QStringLiteral("status.cgi?host=web1&servicestatustypes=16")}}
        << QStringLiteral("/nagios/cgi-bin/")
        << QStringList {cgi + QStringLiteral("hostgroup=web&hoststatustypes=4"),
               cgi + QStringLiteral("host=web1&servicestatustypes=16")}
        << QByteArray();
    QTest::newRow("basic credentials on both requests")
        << QVariantMap {{QStringLiteral("UseHTTPAuth"), true},
               {QStringLiteral("Login"), QStringLiteral("tarvix")},
               {QStringLiteral("Password"), QStringLiteral("s3cret:x")}}
        << QStringLiteral("/nagios/cgi-bin/") << QStringList {cgi + hostsRequest, cgi + servicesRequest}
        << QByteArray("Basic " + QByteArray("tarvix:s3cret:x").toBase64());
}

void TestMonitoring::firstPollRequests()
{
    QFETCH(QVariantMap, overrides);
    QFETCH(QString, serverCgiDirectory);
    QFETCH(QStringList, expectedRequests);
    QFETCH(QByteArray, expectedAuthorization);

    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setCgiDirectory(serverCgiDirectory);
    if (!expectedAuthorization.isEmpty())
        run.sim.requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("s3cret:x"));
    run.start(overrides);

    // The first requests do not wait for the timer's first period.
    QVERIFY(run.access->pollTimer().isActive());
    QCOMPARE(run.access->pollTimer().interval(), 600 * 1000);
    QVERIFY(run.waitIdle());

    QStringList seen;
    const QList<RecordedRequest> requests = run.sim.requests();
    for (const RecordedRequest& request : requests) {
        seen << request.path + QLatin1Char('?') + request.query;
        QCOMPARE(request.method, QStringLiteral("GET"));
        QCOMPARE(request.authorization, expectedAuthorization);
    }
    QCOMPARE(seen, expectedRequests);

    // A kind that is off keeps its id at 0, so no late answer can be taken for it.
    if (!overrides.value(QStringLiteral("EnableHostsMonitoring"), true).toBool())
        QCOMPARE(run.access->hostsRequestId(), 0);
    if (!overrides.value(QStringLiteral("EnableSrvcsMonitoring"), true).toBool())
        QCOMPARE(run.access->servicesRequestId(), 0);

    // Answered without problems: the window stays hidden, the icon normal, no error state.
    QVERIFY(!run.tarvix->isVisible());
    QVERIFY(!run.access->errorReported());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::normalIcon));
}

void TestMonitoring::portText_data()
{
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("expectedPort");

    QTest::newRow("8080 is port 8080") << QStringLiteral("8080") << 8080;
    QTest::newRow("70000 wraps to 4464") << QStringLiteral("70000") << 4464;
    QTest::newRow("a text that is no number is port 0") << QStringLiteral("abc") << 0;
}

void TestMonitoring::portText()
{
    QFETCH(QString, portText);
    QFETCH(int, expectedPort);

    NagiosSimulator target;
    if (expectedPort != 0 && !target.start(false, quint16(expectedPort)))
        QSKIP(qPrintable(
            QStringLiteral("port %1 is taken here: %2").arg(expectedPort).arg(target.errorString())));

    TarvixRun run;
    QVERIFY(run.startServer());
    run.start({{QStringLiteral("EnableSrvcsMonitoring"), false}});
    QVERIFY(run.waitIdle());
    const int before = run.sim.requestCount();

    // The window's port field cannot hold such texts; a settings file can.
    run.access->settings().serverPort = portText;
    QVERIFY(run.pollAndWait());

    QCOMPARE(run.sim.requestCount(), before);
    if (expectedPort != 0) {
        QCOMPARE(target.requestCount(), 1);
        QCOMPARE(run.access->httpErrorCount(), 0);
    } else {
        QCOMPARE(run.access->httpErrorCount(), 1);
    }
}

void TestMonitoring::connectTimeout_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("reportedAtPoll");

    QTest::newRow("period 10: the third poll") << 10 << 3;
    QTest::newRow("period 15: the second poll") << 15 << 2;
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
    // The test counts the polls itself.
    run.access->pollTimer().stop();
    QCOMPARE(run.access->http()->state(), HttpClient::Connecting);
    const int hostsId = run.access->hostsRequestId();
    const int servicesId = run.access->servicesRequestId();
    QVERIFY(hostsId > 0 && servicesId > 0);

    for (int poll = 1; poll <= reportedAtPoll; ++poll) {
        QVERIFY2(
            !run.access->errorReported(), qPrintable(QStringLiteral("reported before poll %1").arg(poll)));
        const int pending = run.access->http()->pendingRequestCount();
        run.access->poll();
        // Only the credentials are queued while the client is still connecting.
        QCOMPARE(run.access->http()->pendingRequestCount(), pending + 1);
        QCOMPARE(run.access->hostsRequestId(), hostsId);
        QCOMPARE(run.access->servicesRequestId(), servicesId);
    }

    QVERIFY(run.access->errorReported());
    QCOMPARE(run.log.lines(QStringLiteral("error state:")),
        QStringList {QStringLiteral(
            "error state: HTTP error ocurred: Connection is timed out. Monitoring is impossible.")});
    QCOMPARE(run.access->trayIcon().toolTip(),
        QStringLiteral(
            "Tarvix (http://127.0.0.1:%1)\nHTTP error ocurred:\nConnection is timed out.\nMonitoring is "
            "impossible.")
            .arg(run.sim.port()));
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));
    QTRY_COMPARE(balloons.balloons.size(), 1);
    QCOMPARE(balloons.balloons.at(0).title, QStringLiteral("Tarvix: HTTP error"));
    QCOMPARE(balloons.balloons.at(0).message,
        QStringLiteral("Timeout while connecting to server\nfor obtaining monitoring information."));
    QVERIFY(run.access->lastMessageUrl().isEmpty());
    QCOMPARE(run.sim.requestCount(), 0);

    // Not repeated while the error state lasts.
    for (int poll = 0; poll < 2 * reportedAtPoll + 1; ++poll)
        run.access->poll();
    QCOMPARE(run.log.lines(QStringLiteral("error state:")).size(), 1);
    QCOMPARE(balloons.balloons.size(), 1);

    // The server accepts again: the first good answer ends the error state.
    run.sim.setNeverAccept(false);
    run.access->http()->abort();
    QVERIFY(run.waitIdle());
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.sim.requestCount(), 2);
    QVERIFY(!run.access->errorReported());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::normalIcon));
    QCOMPARE(
        balloons.titles(), (QStringList {QStringLiteral("Tarvix: HTTP error"), QStringLiteral("Tarvix")}));
    QCOMPARE(balloons.balloons.last().message, QStringLiteral("Connection with the server is established."));
}

void TestMonitoring::hostStateChanges()
{
    TarvixRun run;
    QVERIFY(run.startServer());
    // The page lists hosts in byte order of their names: upper case before lower case, Cyrillic last.
    const QString web = QStringLiteral("WEB-01");
    const QString router = QStringLiteral("core-router");
    const QString cyrillic = QStringLiteral("сервер-1");
    run.sim.setHost(QStringLiteral("db"), NagiosSimulator::HostState::Up);
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    run.sim.setHost(router, NagiosSimulator::HostState::Unreachable);
    run.sim.setHost(cyrillic, NagiosSimulator::HostState::Down);
    run.start();
    QVERIFY(run.waitIdle());

    // First page: every problem is new, announced in page order, each followed by its flash.
    QCOMPARE(run.hostEntries(), (QStringList {web, router, cyrillic}));
    QCOMPARE(run.log.events(),
        (QStringList {announced(HostProblem, web, QStringLiteral("HOSTDOWN"), run.hostUrl(web)), flashDown,
            announced(HostProblem, router, QStringLiteral("HOSTUNREACHABLE"), run.hostUrl(router)), flashDown,
            announced(HostProblem, cyrillic, QStringLiteral("HOSTDOWN"), run.hostUrl(cyrillic)), flashDown}));
    // An entry's data is its page address without the scheme.
    QCOMPARE(run.access->hostsMenu().actions().at(4)->data().toString(), run.hostUrl(cyrillic).mid(7));
    QCOMPARE(run.serviceEntries(), QStringList {emptyEntry});
    QStringList tip = run.toolTipLines();
    QCOMPARE(tip.size(), 3);
    QCOMPARE(tip.at(0), QStringLiteral("Tarvix (http://127.0.0.1:%1)").arg(run.sim.port()));
    QCOMPARE(tip.at(1), QStringLiteral("Hosts down count: 3"));
    QVERIFY2(isDataObtainedLine(tip.at(2)), qPrintable(tip.at(2)));

    // The same page again changes nothing.
    run.log.clear();
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.log.events(), QStringList());
    QCOMPARE(run.hostEntries(), (QStringList {web, router, cyrillic}));

    // Another status class, or the name in other letter case, is still the known problem.
    run.sim.setHost(router, NagiosSimulator::HostState::Down);
    run.sim.removeHost(web);
    run.sim.setHost(QStringLiteral("web-01"), NagiosSimulator::HostState::Down);
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.log.events(), QStringList());
    QCOMPARE(run.hostEntries(), (QStringList {web, router, cyrillic}));

    // A new problem and a recovery on one page: the new one first, appended after the known ones;
    // then the recovery, whose entry goes.
    const QString app = QStringLiteral("app-02");
    run.sim.setHost(app, NagiosSimulator::HostState::Down);
    run.sim.setHost(router, NagiosSimulator::HostState::Up);
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.log.events(),
        (QStringList {announced(HostProblem, app, QStringLiteral("HOSTDOWN"), run.hostUrl(app)), flashDown,
            announced(HostRecovered, router, QStringLiteral("Host UP"), run.hostUrl(router)), flashUp}));
    QVERIFY(
        run.log.lines(QStringLiteral("entry removed")).contains(QStringLiteral("entry removed ") + router));
    QCOMPARE(run.hostEntries(), (QStringList {web, cyrillic, app}));
    QCOMPARE(run.toolTipLines().at(1), QStringLiteral("Hosts down count: 3"));

    // All gone: recoveries in menu order, the entry keeps the address it was found with.
    run.log.clear();
    run.sim.setHost(QStringLiteral("web-01"), NagiosSimulator::HostState::Up);
    run.sim.setHost(cyrillic, NagiosSimulator::HostState::Up);
    run.sim.setHost(app, NagiosSimulator::HostState::Up);
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.log.events(),
        (QStringList {announced(HostRecovered, web, QStringLiteral("Host UP"), run.hostUrl(web)), flashUp,
            announced(HostRecovered, cyrillic, QStringLiteral("Host UP"), run.hostUrl(cyrillic)), flashUp,
            announced(HostRecovered, app, QStringLiteral("Host UP"), run.hostUrl(app)), flashUp}));
    QCOMPARE(run.hostEntries(), QStringList {emptyEntry});
    tip = run.toolTipLines();
    QCOMPARE(tip.size(), 2);
    QVERIFY2(isDataObtainedLine(tip.at(1)), qPrintable(tip.at(1)));
}

void TestMonitoring::serviceStateChanges()
{
    TarvixRun run;
    QVERIFY(run.startServer());
    const QString printer = QStringLiteral("lab printer");
    const QString cyrillicHost = QStringLiteral("сервер-1");
    const QString disk = QStringLiteral("Диск /");
    run.sim.setService(printer, QStringLiteral("Toner Level"), NagiosSimulator::ServiceState::Critical);
    run.sim.setService(printer, QStringLiteral("PING"), NagiosSimulator::ServiceState::Ok);
    run.sim.setService(cyrillicHost, disk, NagiosSimulator::ServiceState::Warning);
    run.sim.setService(
        QStringLiteral("web1"), QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Unknown);
    run.start();
    QVERIFY(run.waitIdle());

    const QString toner = QStringLiteral("Toner Level:lab printer");
    const QString diskEntry = disk + QLatin1Char(':') + cyrillicHost;
    QCOMPARE(run.serviceEntries(), (QStringList {toner, QStringLiteral("HTTP:web1"), diskEntry}));
    QCOMPARE(run.log.events(),
        (QStringList {announced(ServiceProblem, toner, QStringLiteral("CRITICAL"),
                          run.serviceUrl(printer, QStringLiteral("Toner Level"))),
            flashDown,
            announced(ServiceProblem, QStringLiteral("HTTP:web1"), QStringLiteral("UNKNOWN"),
                run.serviceUrl(QStringLiteral("web1"), QStringLiteral("HTTP"))),
            flashDown,
            announced(
                ServiceProblem, diskEntry, QStringLiteral("WARNING"), run.serviceUrl(cyrillicHost, disk)),
            flashDown}));
    QCOMPARE(run.hostEntries(), QStringList {emptyEntry});
    QStringList tip = run.toolTipLines();
    QCOMPARE(tip.size(), 3);
    QCOMPARE(tip.at(1), QStringLiteral("Problem services: 3"));

    run.log.clear();
    run.sim.setService(printer, QStringLiteral("Toner Level"), NagiosSimulator::ServiceState::Ok);
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.log.events(),
        (QStringList {announced(ServiceRecovered, toner, QStringLiteral("Service Up"),
                          run.serviceUrl(printer, QStringLiteral("Toner Level"))),
            flashUp}));
    QCOMPARE(run.serviceEntries(), (QStringList {QStringLiteral("HTTP:web1"), diskEntry}));
    QCOMPARE(run.toolTipLines().at(1), QStringLiteral("Problem services: 2"));
}

void TestMonitoring::notAStatusPage_data()
{
    QTest::addColumn<int>("errorPage");
    QTest::addColumn<QByteArray>("rawBody");

    QTest::newRow("Nagios not running") << int(NagiosSimulator::ErrorPage::NagiosStopped) << QByteArray();
    QTest::newRow("no permission to see anything")
        << int(NagiosSimulator::ErrorPage::NoRights) << QByteArray();
    QTest::newRow("a login page")
        << int(NagiosSimulator::ErrorPage::None)
        << QByteArray("<html><body><form action='/login'>Please log in</form></body></html>\n");
}

void TestMonitoring::notAStatusPage()
{
    QFETCH(int, errorPage);
    QFETCH(QByteArray, rawBody);

    BalloonWatcher balloons;
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    run.sim.setService(
        QStringLiteral("WEB-01"), QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Critical);
    // Flashing would put the normal icon back over the error state's.
    run.start({{QStringLiteral("FlashesInTray"), false}});
    QVERIFY(run.waitIdle());
    QCOMPARE(run.hostEntries(), QStringList {QStringLiteral("WEB-01")});
    QCOMPARE(run.serviceEntries(), QStringList {QStringLiteral("HTTP:WEB-01")});

    run.sim.setErrorPage(NagiosSimulator::ErrorPage(errorPage));
    run.sim.setRawBody(rawBody);
    run.log.clear();
    const qsizetype before = balloons.balloons.size();
    QVERIFY(run.pollAndWait());
    QVERIFY(run.pollAndWait());

    // Taken for an empty status list, it would announce every problem as recovered.
    QCOMPARE(run.log.events(), QStringList());
    QCOMPARE(run.hostEntries(), QStringList {QStringLiteral("WEB-01")});
    QCOMPARE(run.serviceEntries(), QStringList {QStringLiteral("HTTP:WEB-01")});
    QVERIFY(run.access->errorReported());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));
    QCOMPARE(run.access->trayIcon().toolTip(),
        QStringLiteral(
            "Tarvix (http://127.0.0.1:%1)\nHTTP error ocurred:\nThe server's answer is not a status "
            "page.\nMonitoring is impossible.")
            .arg(run.sim.port()));
    // Four such answers, one balloon; monitoring goes on.
    QCOMPARE(balloons.balloons.size(), before + 1);
    QCOMPARE(balloons.balloons.last().title, QStringLiteral("Tarvix: HTTP error"));
    QCOMPARE(balloons.balloons.last().message, QStringLiteral("The server's answer is not a status page.\n"));
    QVERIFY(run.access->lastMessageUrl().isEmpty());
    QVERIFY(run.access->pollTimer().isActive());

    // The next real status page ends the error state; the problems are still the known ones.
    run.sim.setErrorPage(NagiosSimulator::ErrorPage::None);
    run.sim.setRawBody({});
    QVERIFY(run.pollAndWait());
    QVERIFY(!run.access->errorReported());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::normalIcon));
    QCOMPARE(balloons.balloons.size(), before + 2);
    QCOMPARE(balloons.balloons.last().title, QStringLiteral("Tarvix"));
    QCOMPARE(balloons.balloons.last().message, QStringLiteral("Connection with the server is established."));
    QCOMPARE(run.log.events(), QStringList());
    QCOMPARE(run.hostEntries(), QStringList {QStringLiteral("WEB-01")});
}

QTEST_MAIN(TestMonitoring)
#include "tst_monitoring.moc"
