#include "config/monitorsettings.h"
#include "monitor/httpclient.h"
#include "monitor/nagioscommand.h"
#include "monitor/statusrules.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <functional>
#include <optional>

// Against the real Nagios that scripts/real-nagios runs: its environment file says where. Without
// one the test skips, unless TARVIX_REQUIRE_REAL_NAGIOS=true demands it.
class TestRealNagios : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void statusPagesShowTheProblems_data();
    void statusPagesShowTheProblems();
    void acknowledgeService();
    void recheckHost();
    void refusals_data();
    void refusals();

private:
    QString env(const char* name) const { return m_env.value(QString::fromLatin1(name)); }
    bool runScript(const QStringList& arguments);
    QByteArray fetch(const QString& request, const QString& user, const QString& password);
    QJsonObject statusJson(const QString& query);
    NagiosCommand::Result run(
        const std::function<void(NagiosCommand&)>& send, const QString& user, const QString& password);

    QHash<QString, QString> m_env;
};

void TestRealNagios::initTestCase()
{
    const QString file
        = qEnvironmentVariable("TARVIX_REAL_NAGIOS_ENV", QStringLiteral("/tmp/tarvix-real-nagios/env"));
    QFile envFile(file);
    if (envFile.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : envFile.readAll().split('\n')) {
            const qsizetype equals = line.indexOf('=');
            if (equals > 0)
                m_env.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
        }
    }
    for (const QString& name : QProcess::systemEnvironment()) {
        if (name.startsWith(QLatin1String("TARVIX_REAL_NAGIOS_")))
            m_env.insert(name.section(QLatin1Char('='), 0, 0), name.section(QLatin1Char('='), 1));
    }
    if (env("TARVIX_REAL_NAGIOS_URL").isEmpty() || env("TARVIX_REAL_NAGIOS_SCRIPT").isEmpty()) {
        const QByteArray message = "No real Nagios test bed (no " + file.toUtf8()
            + "): start one with scripts/real-nagios start, or run scripts/test.";
        if (qEnvironmentVariable("TARVIX_REQUIRE_REAL_NAGIOS") == QLatin1String("true"))
            QFAIL(message.constData());
        QSKIP(message.constData());
    }
    // From a clean slate: a recovery also ends an acknowledgement of an earlier run.
    QVERIFY(runScript({QStringLiteral("reset")}));
    QVERIFY(runScript({QStringLiteral("set"), QStringLiteral("host"), QStringLiteral("web01"),
        QStringLiteral("DOWN"), QStringLiteral("No answer")}));
    QVERIFY(runScript({QStringLiteral("set"), QStringLiteral("host"), QStringLiteral("lab printer"),
        QStringLiteral("UNREACHABLE")}));
    QVERIFY(runScript({QStringLiteral("set"), QStringLiteral("service"), QStringLiteral("web01"),
        QStringLiteral("HTTP Check"), QStringLiteral("CRITICAL"), QStringLiteral("HTTP CRITICAL - 503")}));
    QVERIFY(runScript({QStringLiteral("set"), QStringLiteral("service"), QStringLiteral("db01"),
        QStringLiteral("Disk: /var"), QStringLiteral("WARNING")}));
    QVERIFY(runScript({QStringLiteral("set"), QStringLiteral("service"), QStringLiteral("lab printer"),
        QStringLiteral("PING"), QStringLiteral("UNKNOWN")}));
}

// "set" and "reset" write passive results to Nagios' command file and wait until Nagios shows them.
bool TestRealNagios::runScript(const QStringList& arguments)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The test bed's folder tells the script which of possibly several test beds to talk to.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TARVIX_REAL_NAGIOS_DIR"), env("TARVIX_REAL_NAGIOS_DIR"));
    script.setProcessEnvironment(environment);
    script.start(env("TARVIX_REAL_NAGIOS_SCRIPT"), arguments);
    const bool done = script.waitForFinished(60000) && script.exitStatus() == QProcess::NormalExit
        && script.exitCode() == 0;
    if (!done)
        qWarning() << "Failed:" << arguments;
    return done;
}

// A page through the program's own client, as a poll gets it.
QByteArray TestRealNagios::fetch(const QString& request, const QString& user, const QString& password)
{
    HttpClient client;
    QSignalSpy finished(&client, &HttpClient::requestFinished);
    client.setUser(user, password);
    client.setHost(env("TARVIX_REAL_NAGIOS_HOST"), HttpClient::ConnectionModeHttp,
        quint16(env("TARVIX_REAL_NAGIOS_PORT").toUInt()));
    const int id = client.get(env("TARVIX_REAL_NAGIOS_CGI") + request);
    if (!QTest::qWaitFor([&] { return !finished.isEmpty() && finished.last().at(0).toInt() == id; }, 30000))
        return {};
    if (finished.last().at(1).toBool() || client.lastStatusCode() != 200)
        return {};
    return client.readAll();
}

QJsonObject TestRealNagios::statusJson(const QString& query)
{
    const QByteArray body = fetch(QStringLiteral("statusjson.cgi?") + query, env("TARVIX_REAL_NAGIOS_USER"),
        env("TARVIX_REAL_NAGIOS_PASSWORD"));
    return QJsonDocument::fromJson(body).object().value(QLatin1String("data")).toObject();
}

NagiosCommand::Result TestRealNagios::run(
    const std::function<void(NagiosCommand&)>& send, const QString& user, const QString& password)
{
    NagiosCommand::Server server;
    server.host = env("TARVIX_REAL_NAGIOS_HOST");
    server.port = quint16(env("TARVIX_REAL_NAGIOS_PORT").toUInt());
    server.cgiDirectory = env("TARVIX_REAL_NAGIOS_CGI");
    server.user = user;
    server.password = password;
    NagiosCommand command(server);
    std::optional<NagiosCommand::Result> result;
    connect(&command, &NagiosCommand::finished, this, [&](const NagiosCommand::Result& r) { result = r; });
    send(command);
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 60000))
        return {NagiosCommand::Outcome::Failed, QStringLiteral("no result within 60 s"), 0};
    return *result;
}

void TestRealNagios::statusPagesShowTheProblems_data()
{
    QTest::addColumn<bool>("hosts");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("rows"); // name and status
    BasicStatusChoice all {true, true, true, true, true};
    QTest::newRow("hosts page, default expression")
        << true << defaultHostsRegExp
        << QStringList {QStringLiteral("lab printer HOSTUNREACHABLE"), QStringLiteral("web01 HOSTDOWN")};
    QTest::newRow("services page, default expression")
        << false << defaultSrvcsRegExp << QStringList {QStringLiteral("HTTP Check:web01 CRITICAL")};
    QTest::newRow("services page, basic expression with every status")
        << false << basicServicesRegExp(all)
        << QStringList {QStringLiteral("Disk: /var:db01 WARNING"),
               QStringLiteral("HTTP Check:web01 CRITICAL"), QStringLiteral("PING:lab printer UNKNOWN")};
}

void TestRealNagios::statusPagesShowTheProblems()
{
    QFETCH(bool, hosts);
    QFETCH(QString, pattern);
    QFETCH(QStringList, rows);
    const QByteArray body = fetch(hosts ? defaultHostsRequest : defaultServicesRequest,
        env("TARVIX_REAL_NAGIOS_USER"), env("TARVIX_REAL_NAGIOS_PASSWORD"));
    const QString text = pageText(body);
    QVERIFY(looksLikeStatusPage(text));
    QStringList found;
    const PageRule rule {pattern};
    for (const StatusRow& row : hosts ? extractHostRows(text, rule) : extractServiceRows(text, rule))
        found.append(row.name + QLatin1Char(' ') + row.status);
    found.sort();
    QCOMPARE(found, rows);
}

void TestRealNagios::acknowledgeService()
{
    const QString comment = QStringLiteral("Looking into it (%1)").arg(QDateTime::currentMSecsSinceEpoch());
    const NagiosCommand::Result result = run(
        [&](NagiosCommand& command) {
            command.acknowledge(QStringLiteral("web01"), QStringLiteral("HTTP Check"),
                {QStringLiteral("Ann Smith"), comment, true, false, false});
        },
        env("TARVIX_REAL_NAGIOS_USER"), env("TARVIX_REAL_NAGIOS_PASSWORD"));
    QCOMPARE(result.outcome, NagiosCommand::Outcome::Submitted);
    QCOMPARE(result.reason,
        QStringLiteral("Your command request was successfully submitted to Nagios for processing."));
    QTRY_VERIFY_WITH_TIMEOUT(
        statusJson(QStringLiteral("query=service&hostname=web01&servicedescription=HTTP%20Check"))
            .value(QLatin1String("service"))
            .toObject()
            .value(QLatin1String("problem_has_been_acknowledged"))
            .toBool(),
        30000);
    // Author and comment arrive as given.
    const QJsonObject comments = statusJson(QStringLiteral("query=commentlist&details=true&hostname=web01"))
                                     .value(QLatin1String("commentlist"))
                                     .toObject();
    bool seen = false;
    for (const QJsonValue& entry : comments) {
        const QJsonObject c = entry.toObject();
        seen = seen
            || (c.value(QLatin1String("comment_data")).toString() == comment
                && c.value(QLatin1String("author")).toString() == QLatin1String("Ann Smith"));
    }
    QVERIFY2(seen, QJsonDocument(comments).toJson().constData());
}

// The passive result of initTestCase was the last check; a forced check is an active one.
void TestRealNagios::recheckHost()
{
    const QString query = QStringLiteral("query=host&hostname=web01");
    const qint64 before = statusJson(query)
                              .value(QLatin1String("host"))
                              .toObject()
                              .value(QLatin1String("last_check"))
                              .toDouble();
    QVERIFY(before > 0);
    const NagiosCommand::Result result
        = run([](NagiosCommand& command) { command.recheck(QStringLiteral("web01"), {}); },
            env("TARVIX_REAL_NAGIOS_USER"), env("TARVIX_REAL_NAGIOS_PASSWORD"));
    QCOMPARE(result.outcome, NagiosCommand::Outcome::Submitted);
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QJsonObject host = statusJson(query).value(QLatin1String("host")).toObject();
            return host.value(QLatin1String("check_type")).toInt() == 0
                && host.value(QLatin1String("last_check")).toDouble() >= before;
        }(),
        30000);
}

void TestRealNagios::refusals_data()
{
    QTest::addColumn<bool>("viewer");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("reason");
    QTest::newRow("viewer may not run commands")
        << true << QString() << int(NagiosCommand::Outcome::Refused)
        << QStringLiteral("Sorry, but you are not authorized to commit the specified command.");
    QTest::newRow("wrong password") << false << QStringLiteral("wrong") << int(NagiosCommand::Outcome::Failed)
                                    << QStringLiteral("HTTP status 401");
}

void TestRealNagios::refusals()
{
    QFETCH(bool, viewer);
    QFETCH(QString, password);
    QFETCH(int, outcome);
    QFETCH(QString, reason);
    const QString user = env(viewer ? "TARVIX_REAL_NAGIOS_VIEWER" : "TARVIX_REAL_NAGIOS_USER");
    if (password.isEmpty())
        password = env(viewer ? "TARVIX_REAL_NAGIOS_VIEWER_PASSWORD" : "TARVIX_REAL_NAGIOS_PASSWORD");
    const NagiosCommand::Result result = run(
        [](NagiosCommand& command) {
            command.acknowledge(QStringLiteral("db01"), QStringLiteral("Disk: /var"),
                {QStringLiteral("Viewer"), QStringLiteral("Not allowed")});
        },
        user, password);
    QCOMPARE(int(result.outcome), outcome);
    QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
}

QTEST_GUILESS_MAIN(TestRealNagios)
#include "tst_realnagios.moc"
