#include "monitor/httpclient.h"
#include "monitor/statusjson.h"
#include "tools/nagiossimulator.h"

#include <QFile>
#include <QSignalSpy>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

// The reader of Nagios' JSON status on the answers of a real Nagios 4.4.6 (tests/data/statusjson).
class TestStatusJson : public QObject
{
    Q_OBJECT

private slots:
    void lists_data();
    void lists();
    void repair_data();
    void repair();
    void counts_data();
    void counts();
    void queries_data();
    void queries();
    void simulatedAnswers_data();
    void simulatedAnswers();
};

namespace {

QByteArray answer(const QString& name)
{
    QFile file(QStringLiteral(TARVIX_TEST_DATA_DIR "/statusjson/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(name));
    return file.readAll();
}

// "name|status|output|attempt/max|since (ms)|flags": S soft, A acknowledged, D in downtime,
// F flapping, N notifications off. Without the time when `withTime` is false.
QString rowText(const StatusRow& row, bool withTime = true)
{
    const ProblemDetails& details = row.details;
    QString flags;
    flags += details.softState ? QStringLiteral("S") : QString();
    flags += details.acknowledged ? QStringLiteral("A") : QString();
    flags += details.inDowntime ? QStringLiteral("D") : QString();
    flags += details.flapping ? QStringLiteral("F") : QString();
    flags += details.notificationsEnabled ? QString() : QStringLiteral("N");
    return QStringList {row.name, row.status, details.output,
        QStringLiteral("%1/%2").arg(details.attempt).arg(details.maxAttempts),
        withTime ? QString::number(
            details.lastStateChange.isValid() ? details.lastStateChange.toMSecsSinceEpoch() : -1)
                 : QString(),
        flags}
        .join(QLatin1Char('|'));
}

// Every control character but the line end, each followed by its number, as the capture sent them
// and Nagios wrote them: 0x05 as \u0004.
QString controlCharacters()
{
    QString text = QStringLiteral("CTL ");
    for (int code = 1; code < 32; ++code) {
        if (code != 10)
            text += QChar(code == 5 ? 4 : code) + QString::number(code) + QLatin1Char(' ');
    }
    return text.trimmed();
}

// Every member's path, the names of hosts and services as "*": the shape of an answer. The CGI's
// help after a refusal (data.options) is one member.
void collectPaths(const QJsonValue& value, const QString& path, QStringList& paths)
{
    if (!value.isObject() || value.toObject().isEmpty() || path == QLatin1String("answer.data.options")) {
        paths << path;
        return;
    }
    const QJsonObject object = value.toObject();
    const bool names = path.endsWith(QLatin1String("list")) || path.endsWith(QLatin1String("list.*"));
    for (auto member = object.constBegin(); member != object.constEnd(); ++member)
        collectPaths(
            member.value(), path + QLatin1Char('.') + (names ? QStringLiteral("*") : member.key()), paths);
}

QStringList shape(const QByteArray& body)
{
    QStringList paths;
    collectPaths(QJsonDocument::fromJson(repairedJson(body)).object(), QStringLiteral("answer"), paths);
    paths.removeDuplicates();
    paths.sort();
    return paths;
}

// The installation the captured answers were made from, partly through the control commands.
void captureScenario(NagiosSimulator& sim)
{
    using Host = NagiosSimulator::HostState;
    using Service = NagiosSimulator::ServiceState;
    sim.setHost("web01", Host::Down, {}, "CRITICAL - Host Unreachable (127.0.0.1)");
    sim.setHost("db01", Host::Down, {}, "CRITICAL - Time to live exceeded (10.0.0.7)");
    sim.setHost("lab printer", Host::Unreachable, {}, "UNREACHABLE - network path down");
    sim.setHost("app01", Host::Up);
    sim.setAcknowledged("db01", {}, true);
    sim.setInDowntime("lab printer", {}, true);
    sim.setService("web01", "HTTP Check", Service::Critical,
        "HTTP CRITICAL - Socket timeout after 10 seconds\nretried twice");
    sim.setService("web01", "PING", Service::Warning, "PING WARNING - Packet loss = 30%, RTA = 80.12 ms");
    sim.setAcknowledged("web01", "PING", true);
    sim.setService(
        "db01", "Disk: /var", Service::Critical, "DISK CRITICAL - free space: /var 212 MB (2% inode=88%)");
    sim.setInDowntime("db01", "Disk: /var", true);
    sim.setService("db01", "PING", Service::Unknown, "PING UNKNOWN - Invalid hostname");
    QVERIFY(sim.applyCommand(R"(notifications "db01|PING" off)"));
    sim.setService("db01", "Flapping Check", Service::Critical, "FLAP CRITICAL - the last one");
    QVERIFY(sim.applyCommand(R"(flapping "db01|Flapping Check" on)"));
    sim.setService("app01", "Retried Check", Service::Critical, "CHECK CRITICAL - retried by Nagios");
    QVERIFY(sim.applyCommand(R"(attempt "app01|Retried Check" 2 3)"));
    sim.setService("lab printer", "PING", Service::Ok);
}

} // namespace

void TestStatusJson::lists_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("services");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("repaired");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("firstLink");

    const int whole = int(JsonVerdict::Whole);
    const int notStatus = int(JsonVerdict::NotStatusAnswer);
    const auto row = [](const char* name, const QByteArray& body, bool services, int verdict,
                         const QStringList& rows = {}, const char* firstLink = "", bool repaired = false,
                         const QString& message = {}) {
        QTest::newRow(name) << body << services << verdict << message << repaired << rows
                            << QString::fromLatin1(firstLink);
    };
    const QByteArray problems = answer("servicelist-problems.json");
    const QString db01
        = "Disk: /var:db01|CRITICAL|DISK CRITICAL - free space: /var 212 MB (2% inode=88%)|1/1|"
          "1796693510000|D";
    const QStringList hosts {"db01|DOWN|CRITICAL - Time to live exceeded (10.0.0.7)|1/1|1796693506000|A",
        "lab printer|UNREACHABLE|UNREACHABLE - network path down|1/1|1796693507000|D",
        "web01|DOWN|CRITICAL - Host Unreachable (127.0.0.1)|1/1|1796693505000|"};
    const QStringList services {
        "Retried Check:app01|CRITICAL|CHECK CRITICAL - retried by Nagios|2/3|1796693512000|S", db01,
        "Flapping Check:db01|CRITICAL|FLAP CRITICAL - the last one|1/1|1796693517000|F",
        "PING:db01|UNKNOWN|PING UNKNOWN - Invalid hostname|1/1|1796693511000|N",
        "HTTP Check:web01|CRITICAL|HTTP CRITICAL - Socket timeout after 10 seconds|1/1|1796693508000|",
        "PING:web01|WARNING|PING WARNING - Packet loss = 30%, RTA = 80.12 ms|1/1|1796693509000|A"};
    const char* firstHost = "extinfo.cgi?type=1&host=db01";
    const char* firstService = "extinfo.cgi?type=2&host=app01&service=Retried+Check";

    row("hosts: down, acknowledged, unreachable in downtime", answer("hostlist-problems.json"), false, whole,
        hosts, firstHost);
    row("services: soft, downtime, flapping, notifications off, the first line, acknowledged", problems, true,
        whole, services, firstService);
    row("hosts: \\a and \\v mended, nothing lost", answer("hostlist-control-characters.json"), false, whole,
        hosts.first(2) + QStringList {"web01|DOWN|BELL \a and VT \v in a host output|1/1|1796693505000|"},
        firstHost, true);
    row("services: every control character; non-ASCII output emptied by the server",
        answer("servicelist-control-characters.json"), true, whole,
        services.first(4)
            + QStringList {"PING:lab printer|WARNING||1/1|1796693522000|",
                "HTTP Check:web01|CRITICAL|" + controlCharacters() + "|1/1|1796693508000|",
                "PING:web01|WARNING|plain ASCII beside it|1/1|1796693509000|A"},
        firstService, true);
    row("empty hosts", answer("hostlist-empty.json"), false, whole);
    row("a user without rights: empty as well", answer("servicelist-no-rights.json"), true, whole);
    row("Nagios stopped: a line end", answer("servicelist-nagios-stopped.json"), true, notStatus);
    row("Nagios refuses a parameter: its message", answer("unknown-parameter.json"), false, notStatus, {}, "",
        false, "Invalid option: 'limit'.");
    row("the answer of the other list", problems, false, notStatus);
    row("an HTML error page", "<html><body><P>Error: Could not read host and service status information!</P>",
        true, notStatus);
    row("cut in the middle: unreadable", problems.left(problems.size() / 2), true,
        int(JsonVerdict::Unreadable));
    QByteArray renamed = problems;
    renamed.replace("\"db01\": {", "\"R&D 1\": {").replace("\"Disk: /var\": {", "\"Disk: /var+ü\": {");
    QStringList renamedRows = services.mid(1, 3) + services.first(1) + services.mid(4);
    for (QString& line : renamedRows)
        line.replace(":db01|", ":R&D 1|").replace("Disk: /var:", "Disk: /var+ü:");
    row("links encoded as Nagios writes them", renamed, true, whole, renamedRows,
        "extinfo.cgi?type=2&host=R%26D+1&service=Disk%3A+%2Fvar%2B%C3%BC");
}

void TestStatusJson::lists()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, services);
    QFETCH(int, verdict);
    QFETCH(QString, message);
    QFETCH(bool, repaired);
    QFETCH(QStringList, rows);
    QFETCH(QString, firstLink);

    const JsonStatusList list = services ? readJsonServiceList(body) : readJsonHostList(body);
    QCOMPARE(int(list.result.verdict), verdict);
    QCOMPARE(list.result.message, message);
    QCOMPARE(list.result.repaired, repaired);
    QStringList actual;
    for (const StatusRow& row : list.rows)
        actual << rowText(row);
    QCOMPARE(actual, rows);
    if (!list.rows.isEmpty())
        QCOMPARE(list.rows.first().link, firstLink);
}

void TestStatusJson::repair_data()
{
    QTest::addColumn<QByteArray>("value"); // the bytes between the quotes of a JSON string
    QTest::addColumn<QString>("read");

    QTest::newRow("valid escapes stay")
        << QByteArray(R"(a\\b\"c\/d\b\f\n\r\t\u00e9)") << "a\\b\"c/d\b\f\n\r\t\u00e9";
    QTest::newRow("Nagios' \\a and \\v") << QByteArray(R"(bell \a tab \v)") << "bell \a tab \v";
    QTest::newRow("raw control characters") << QByteArray("x\x01y\x1fz\tq") << "x\x01y\x1fz\tq";
    QTest::newRow("an unknown escape is a backslash")
        << QByteArray(R"(C:\temp\q \x41)") << "C:\temp\\q \\x41";
    QTest::newRow("\\u without four hex digits") << QByteArray(R"(\u12 \uZZZZ)") << "\\u12 \\uZZZZ";
    QTest::newRow("bytes that are no UTF-8")
        << QByteArray("caf\xe9 ok") << QString::fromUtf8("caf\xef\xbf\xbd ok");
    QTest::newRow("a lone backslash") << QByteArray("a \\ b") << "a \\ b";
}

void TestStatusJson::repair()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, read);

    const QByteArray body = "{\"k\": \"" + value + "\", \"n\": 1}";
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(repairedJson(body), &error);
    QCOMPARE(error.errorString(), QJsonParseError().errorString());
    QCOMPARE(document.object().value(QLatin1String("k")).toString(), read);
    QCOMPARE(document.object().value(QLatin1String("n")).toInt(), 1);
}

void TestStatusJson::counts_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("total");

    QTest::newRow("hosts") << "hostcount.json" << int(JsonVerdict::Whole) << "tarvix" << 4;
    QTest::newRow("services") << "servicecount.json" << int(JsonVerdict::Whole) << "tarvix" << 7;
    QTest::newRow("a user who may see nothing: no host")
        << "hostcount-no-rights.json" << int(JsonVerdict::Whole) << "nobody" << 0;
    QTest::newRow("a user who may see nothing: no service")
        << "servicecount-no-rights.json" << int(JsonVerdict::Whole) << "nobody" << 0;
    QTest::newRow("Nagios stopped") << "hostcount-nagios-stopped.json" << int(JsonVerdict::NotStatusAnswer)
                                    << QString() << 0;
    QTest::newRow("a list is no count")
        << "hostlist-problems.json" << int(JsonVerdict::NotStatusAnswer) << "tarvix" << 0;
}

void TestStatusJson::counts()
{
    QFETCH(QString, file);
    QFETCH(int, verdict);
    QFETCH(QString, user);
    QFETCH(int, total);

    const JsonStatusCounts counts = readJsonCounts(answer(file));
    QCOMPARE(int(counts.result.verdict), verdict);
    QCOMPARE(counts.result.user, user);
    QCOMPARE(counts.total, total);
}

void TestStatusJson::queries_data()
{
    QTest::addColumn<QList<bool>>("choice"); // down, unreachable, warning, critical, unknown
    QTest::addColumn<QString>("hosts");
    QTest::addColumn<QString>("services");

    const QString hosts = QStringLiteral("statusjson.cgi?query=hostlist&details=true&hoststatus=");
    const QString services = QStringLiteral("statusjson.cgi?query=servicelist&details=true&servicestatus=");
    QTest::newRow("every status") << QList<bool> {true, true, true, true, true} << hosts + "down+unreachable"
                                  << services + "warning+critical+unknown";
    QTest::newRow("one of each") << QList<bool> {false, true, false, false, true} << hosts + "unreachable"
                                 << services + "unknown";
    QTest::newRow("none: every problem status") << QList<bool> {false, false, false, false,
        false} << hosts + "down+unreachable" << services + "warning+critical+unknown";
}

void TestStatusJson::queries()
{
    QFETCH(QList<bool>, choice);
    QFETCH(QString, hosts);
    QFETCH(QString, services);

    MonitorSettings settings;
    settings.useHostDownStat = choice.at(0);
    settings.useHostUnreachStat = choice.at(1);
    settings.useSrvWarnStat = choice.at(2);
    settings.useSrvCritStat = choice.at(3);
    settings.useSrvUnknStat = choice.at(4);
    QCOMPARE(jsonHostsQuery(settings), hosts);
    QCOMPARE(jsonServicesQuery(settings), services);
}

void TestStatusJson::simulatedAnswers_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("captured");
    QTest::addColumn<int>("errorPage");

    const QString hosts = QStringLiteral("query=hostlist&details=true&hoststatus=down+unreachable");
    const QString services
        = QStringLiteral("query=servicelist&details=true&servicestatus=warning+critical+unknown");
    const int none = int(NagiosSimulator::ErrorPage::None);
    const int noRights = int(NagiosSimulator::ErrorPage::NoRights);
    QTest::newRow("hosts") << hosts << "hostlist-problems.json" << none;
    QTest::newRow("services") << services << "servicelist-problems.json" << none;
    QTest::newRow("host counts") << "query=hostcount"
                                 << "hostcount.json" << none;
    QTest::newRow("service counts") << "query=servicecount"
                                    << "servicecount.json" << none;
    QTest::newRow("no rights: hosts") << hosts << "hostlist-no-rights.json" << noRights;
    QTest::newRow("no rights: service counts") << "query=servicecount"
                                               << "servicecount-no-rights.json" << noRights;
    QTest::newRow("Nagios stopped") << services << "servicelist-nagios-stopped.json"
                                    << int(NagiosSimulator::ErrorPage::NagiosStopped);
    QTest::newRow("an unknown parameter") << hosts + "&limit=0"
                                          << "unknown-parameter.json" << none;
}

// The simulated statusjson.cgi over HTTP against the real one's answers: the same shape and what
// the reader makes of it.
void TestStatusJson::simulatedAnswers()
{
    QFETCH(QString, query);
    QFETCH(QString, captured);
    QFETCH(int, errorPage);

    NagiosSimulator sim;
    QVERIFY(sim.start());
    captureScenario(sim);
    sim.setErrorPage(NagiosSimulator::ErrorPage(errorPage));
    const QString user = errorPage == int(NagiosSimulator::ErrorPage::NoRights) ? "nobody" : "tarvix";
    sim.requireBasicAuth(user, "secret");
    HttpClient client;
    QSignalSpy finished(&client, &HttpClient::requestFinished);
    client.setUser(user, "secret");
    client.setHost("127.0.0.1", HttpClient::ConnectionModeHttp, sim.port());
    const int id = client.get(sim.cgiDirectory() + "statusjson.cgi?" + query);
    QTRY_VERIFY(!finished.isEmpty() && finished.last().at(0).toInt() == id);
    QCOMPARE(client.lastStatusCode(), 200);
    const QByteArray simulated = client.readAll();
    const QByteArray real = answer(captured);

    QCOMPARE(shape(simulated), shape(real));
    const bool services = query.contains("servicelist");
    const JsonStatusList simulatedList
        = services ? readJsonServiceList(simulated) : readJsonHostList(simulated);
    const JsonStatusList realList = services ? readJsonServiceList(real) : readJsonHostList(real);
    QCOMPARE(simulatedList.result.verdict, realList.result.verdict);
    QCOMPARE(simulatedList.result.message, realList.result.message);
    QStringList simulatedRows;
    for (const StatusRow& row : simulatedList.rows)
        simulatedRows << rowText(row, false) + QLatin1Char('|') + row.link;
    QStringList realRows;
    for (const StatusRow& row : realList.rows)
        realRows << rowText(row, false) + QLatin1Char('|') + row.link;
    QCOMPARE(simulatedRows, realRows);
    const JsonStatusCounts simulatedCounts = readJsonCounts(simulated);
    const JsonStatusCounts realCounts = readJsonCounts(real);
    QCOMPARE(QStringList({simulatedCounts.result.user, QString::number(simulatedCounts.total)}),
        QStringList({realCounts.result.user, QString::number(realCounts.total)}));
}

QTEST_GUILESS_MAIN(TestStatusJson)
#include "tst_statusjson.moc"
