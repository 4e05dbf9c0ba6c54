#include "config/monitorsettings.h"
#include "monitor/nagioscommand.h"
#include "monitor/statusrules.h"
#include "realnagiosbed.h"

#include <QDateTime>
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
    NagiosCommand::Result run(
        const std::function<void(NagiosCommand&)>& send, const QString& user, const QString& password);

    RealNagiosBed m_bed;
};

void TestRealNagios::initTestCase()
{
    REQUIRE_REAL_NAGIOS(m_bed);
    // From a clean slate: a recovery also ends an acknowledgement of an earlier run.
    QVERIFY(m_bed.runScript({QStringLiteral("reset")}));
    QVERIFY(m_bed.runScript({QStringLiteral("set"), QStringLiteral("host"), QStringLiteral("web01"),
        QStringLiteral("DOWN"), QStringLiteral("No answer")}));
    QVERIFY(m_bed.runScript({QStringLiteral("set"), QStringLiteral("host"), QStringLiteral("lab printer"),
        QStringLiteral("UNREACHABLE")}));
    QVERIFY(m_bed.runScript({QStringLiteral("set"), QStringLiteral("service"), QStringLiteral("web01"),
        QStringLiteral("HTTP Check"), QStringLiteral("CRITICAL"), QStringLiteral("HTTP CRITICAL - 503")}));
    QVERIFY(m_bed.runScript({QStringLiteral("set"), QStringLiteral("service"), QStringLiteral("db01"),
        QStringLiteral("Disk: /var"), QStringLiteral("WARNING")}));
    QVERIFY(m_bed.runScript({QStringLiteral("set"), QStringLiteral("service"), QStringLiteral("lab printer"),
        QStringLiteral("PING"), QStringLiteral("UNKNOWN")}));
}

NagiosCommand::Result TestRealNagios::run(
    const std::function<void(NagiosCommand&)>& send, const QString& user, const QString& password)
{
    NagiosCommand::Server server;
    server.host = m_bed.host();
    server.port = m_bed.port();
    server.cgiDirectory = m_bed.env("TARVIX_REAL_NAGIOS_CGI");
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
    const QByteArray body = m_bed.fetch(hosts ? defaultHostsRequest : defaultServicesRequest,
        m_bed.env("TARVIX_REAL_NAGIOS_USER"), m_bed.env("TARVIX_REAL_NAGIOS_PASSWORD"));
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
        m_bed.env("TARVIX_REAL_NAGIOS_USER"), m_bed.env("TARVIX_REAL_NAGIOS_PASSWORD"));
    QCOMPARE(result.outcome, NagiosCommand::Outcome::Submitted);
    QCOMPARE(result.reason,
        QStringLiteral("Your command request was successfully submitted to Nagios for processing."));
    QTRY_VERIFY_WITH_TIMEOUT(
        m_bed.field(QStringLiteral("web01"), QStringLiteral("HTTP Check"), "problem_has_been_acknowledged")
            .toBool(),
        30000);
    // Author and comment arrive as given.
    QCOMPARE(m_bed.commentAuthor(QStringLiteral("web01"), comment), QStringLiteral("Ann Smith"));
}

// The passive result of initTestCase was the last check; a forced check is an active one.
void TestRealNagios::recheckHost()
{
    const QString web01 = QStringLiteral("web01");
    const double before = m_bed.field(web01, {}, "last_check").toDouble();
    QVERIFY(before > 0);
    const NagiosCommand::Result result
        = run([](NagiosCommand& command) { command.recheck(QStringLiteral("web01"), {}); },
            m_bed.env("TARVIX_REAL_NAGIOS_USER"), m_bed.env("TARVIX_REAL_NAGIOS_PASSWORD"));
    QCOMPARE(result.outcome, NagiosCommand::Outcome::Submitted);
    QTRY_VERIFY_WITH_TIMEOUT(m_bed.field(web01, {}, "check_type").toInt() == 0, 30000);
    QVERIFY(m_bed.field(web01, {}, "last_check").toDouble() >= before);
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
    const QString user = m_bed.env(viewer ? "TARVIX_REAL_NAGIOS_VIEWER" : "TARVIX_REAL_NAGIOS_USER");
    if (password.isEmpty())
        password = m_bed.env(viewer ? "TARVIX_REAL_NAGIOS_VIEWER_PASSWORD" : "TARVIX_REAL_NAGIOS_PASSWORD");
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
