#include "monitor/commandpage.h"
#include "monitor/httpclient.h"
#include "monitor/nagioscommand.h"
#include "tools/nagiospage.h"
#include "tools/nagiossimulator.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

// Names that only survive a correct encoding: a blank, and "+" that Nagios would read as a blank.
const QString host = QStringLiteral("lab printer");
const QString service = QStringLiteral("Disk: /var+");

NagiosCommand::Server serverOf(const NagiosSimulator& sim, bool verifyPeer = false)
{
    TransportOptions transport;
    transport.verifyPeer = verifyPeer;
    return {QStringLiteral("127.0.0.1"), sim.port(), sim.isHttps(), sim.cgiDirectory(),
        QStringLiteral("tarvix"), QStringLiteral("pw"), transport};
}

// "ack-host", "ack-service", "recheck-host", "recheck-service", "downtime-host" or
// "downtime-service"; waits for the one result, none when it came from inside the call, twice or
// never.
std::optional<NagiosCommand::Result> run(NagiosCommand& command, const QString& action)
{
    QList<NagiosCommand::Result> results;
    const auto connection = QObject::connect(&command, &NagiosCommand::finished, &command,
        [&results](const NagiosCommand::Result& result) { results.append(result); });
    const bool onHost = action.endsWith(QLatin1String("host"));
    using Ack = NagiosCommand::Acknowledgement;
    const Ack ack = onHost ? Ack {QStringLiteral("Ann"), QStringLiteral("x"), false, false, true}
                           : Ack {QStringLiteral("Ann Smith"), QStringLiteral("On it & more")};
    if (action.startsWith(QLatin1String("ack")))
        command.acknowledge(host, onHost ? QString() : service, ack);
    else if (action.startsWith(QLatin1String("downtime")))
        command.scheduleDowntime(host, onHost ? QString() : service,
            {QStringLiteral("Ann"), QStringLiteral("Maintenance"), {}, 90, onHost});
    else
        command.recheck(host, onHost ? QString() : service);
    const bool fromInside = !results.isEmpty();
    const bool came = QTest::qWaitFor([&results] { return !results.isEmpty(); }, 10000);
    QObject::disconnect(connection);
    return !came || fromInside || results.size() != 1 ? std::nullopt : std::optional(results.first());
}

QString describe(const TakenCommand& c)
{
    QStringList flags;
    for (const auto& [on, name] : {std::pair(c.sticky, "sticky"), std::pair(c.notify, "notify"),
             std::pair(c.persistent, "persistent"), std::pair(c.forceCheck, "force")}) {
        if (on)
            flags << QLatin1String(name);
    }
    if (c.type == NagiosCommand::ScheduleHostDowntime || c.type == NagiosCommand::ScheduleServiceDowntime) {
        // The window the times span, in the form's format.
        const QString format = QStringLiteral("MM-dd-yyyy hh:mm:ss");
        const qint64 window
            = QDateTime::fromString(c.startTime, format).secsTo(QDateTime::fromString(c.endTime, format));
        flags << (c.fixed ? QStringLiteral("fixed") : QStringLiteral("flexible"))
              << QString::number(c.durationMinutes) << QString::number(window / 60);
    }
    return QStringLiteral("%1;%2;%3;%4;%5;%6")
        .arg(c.type)
        .arg(c.host, c.service, c.author, c.comment, flags.join(QLatin1Char(' ')));
}

QByteArray fixture(const char* name)
{
    QFile file(QStringLiteral(TARVIX_FIXTURES_DIR "/cmd/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The default start time of a captured form.
QString formStart(const char* name)
{
    const QList<QPair<QString, QString>> fields = commandFormFields(fixture(name));
    for (const auto& [field, value] : fields) {
        if (field == QLatin1String("start_time"))
            return value;
    }
    return QString();
}

} // namespace

Q_DECLARE_METATYPE(NagiosCommand::Outcome)

class TestNagiosCommand : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }
    void command_data();
    void command();
    void answerPage_data();
    void answerPage();
    void downtimeTimes_data();
    void downtimeTimes();
    void silentServerTimesOut();
    void sharesThePollsClient();
};

void TestNagiosCommand::command_data()
{
    QTest::addColumn<QStringList>("setup"); // simulator commands; "https", "verify" the certificate
    QTest::addColumn<QString>("action");
    QTest::addColumn<NagiosCommand::Outcome>("outcome");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("taken"); // what the simulator took, as describe() puts it
    QTest::addColumn<bool>("posted");

    using O = NagiosCommand::Outcome;
    const auto row = [](const char* name, const QStringList& setup, const char* action, O outcome,
                         const QString& reason, const char* taken, bool posted = true) {
        QTest::newRow(name) << setup << QString::fromLatin1(action) << outcome << reason
                            << QString::fromLatin1(taken) << posted;
    };
    const QString ok
        = QStringLiteral("Your command request was successfully submitted to Nagios for processing.");
    row("CSRF form: its cookie and field go back; the service is acknowledged", {}, "ack-service",
        O::Submitted, ok, "34;lab printer;Disk: /var+;Ann Smith;On it & more;sticky notify");
    row("no CSRF field (older Nagios): neither goes back; check time from the form", {"csrf off"},
        "recheck-service", O::Submitted, ok, "7;lab printer;Disk: /var+;;;force");
    row("host acknowledgement: only the ticked boxes", {}, "ack-host", O::Submitted, ok,
        "33;lab printer;;Ann;x;persistent");
    row("Digest authentication, as Debian protects cmd.cgi", {"auth tarvix pw digest"}, "recheck-host",
        O::Submitted, ok, "96;lab printer;;;;force");
    row("service downtime: start now by the form's clock, its end 90 minutes later", {}, "downtime-service",
        O::Submitted, ok, "56;lab printer;Disk: /var+;Ann;Maintenance;flexible 90 90");
    row("host downtime, fixed", {"csrf off"}, "downtime-host", O::Submitted, ok,
        "55;lab printer;;Ann;Maintenance;fixed 90 90");
    row("no command rights: the form, then Nagios' refusal", {"cmdrights none"}, "ack-service", O::Refused,
        "Sorry, but you are not authorized to commit the specified command.", "");
    row("read-only user: refused at the form, nothing posted", {"cmdrights readonly"}, "ack-service",
        O::Refused, "It appears as though you do not have permission to submit the command you requested...",
        "", false);
    row("wrong password: 401, nothing posted", {"auth tarvix other"}, "ack-service", O::Failed,
        "HTTP status 401", "", false);
    row("HTTPS, certificates with errors accepted", {"https"}, "recheck-host", O::Submitted, ok,
        "96;lab printer;;;;force");
    row("HTTPS verified: the self-signed certificate is refused", {"https", "verify"}, "recheck-host",
        O::Failed, {}, "", false);
}

void TestNagiosCommand::command()
{
    QFETCH(QStringList, setup);
    QFETCH(QString, action);
    QFETCH(NagiosCommand::Outcome, outcome);
    QFETCH(QString, reason);
    QFETCH(QString, taken);
    QFETCH(bool, posted);

    NagiosSimulator sim;
    sim.setCgiDirectory(QStringLiteral("/cgi-bin/nagios4/"));
    sim.setHost(host, NagiosSimulator::HostState::Down);
    sim.setService(host, service, NagiosSimulator::ServiceState::Critical);
    sim.requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("pw"));
    for (const QString& line : std::as_const(setup))
        QVERIFY(line == QLatin1String("https") || line == QLatin1String("verify") || sim.applyCommand(line));
    QVERIFY2(sim.start(setup.contains(QStringLiteral("https"))), qPrintable(sim.errorString()));
    HttpClient client;
    NagiosCommand command(&client, serverOf(sim, setup.contains(QStringLiteral("verify"))));
    const std::optional<NagiosCommand::Result> result = run(command, action);
    QVERIFY(result);
    QCOMPARE(result->outcome, outcome);
    QVERIFY2(result->reason.contains(reason), qPrintable(result->reason));
    const QList<TakenCommand> commands = sim.takenCommands();
    QCOMPARE(commands.isEmpty() ? QString() : describe(commands.first()), taken);
    QVERIFY(commands.size() <= 1);

    const QList<RecordedRequest> requests = sim.requests();
    const auto post = std::find_if(requests.cbegin(), requests.cend(),
        [](const RecordedRequest& r) { return r.method == QLatin1String("POST"); });
    QCOMPARE(post != requests.cend(), posted);
    if (posted) {
        // Both of the form's CSRF cookie and field, or neither: a field alone is accepted too.
        const bool csrf = !setup.contains(QStringLiteral("csrf off"));
        QCOMPARE(post->headers.value("cookie"), csrf ? "NagFormId=" + sim.csrfFormId() : QByteArray());
        QCOMPARE(post->body.contains("nagFormId=" + sim.csrfFormId()), csrf);
    }
    if (outcome == NagiosCommand::Outcome::Submitted && action.startsWith(QLatin1String("ack")))
        QVERIFY((sim.hostsPage() + sim.servicesPage()).contains("problem has been acknowledged"));
    else if (outcome == NagiosCommand::Outcome::Submitted && action.startsWith(QLatin1String("downtime")))
        QVERIFY(sim.statusJson(QStringLiteral("query=hostlist&details=true"))
                    .contains("\"scheduled_downtime_depth\": 1")
            || sim.statusJson(QStringLiteral("query=servicelist&details=true"))
                   .contains("\"scheduled_downtime_depth\": 1"));
    else if (outcome == NagiosCommand::Outcome::Submitted)
        QCOMPARE(sim.checkCount(host, action.endsWith(QLatin1String("host")) ? QString() : service), 1);
}

void TestNagiosCommand::answerPage_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("reason"); // every one is a refusal
    QTest::newRow("error box: its text only, markup and entities undone") << QByteArray(
        "<DIV CLASS='errorMessage'>Author <b>was</b> not entered &amp; &#1044;</DIV>\n"
        "<DIV CLASS='errorMessage'>Sorry</DIV>") << QStringLiteral("Author was not entered & \u0414");
    QTest::newRow("an error beside a confirmation wins")
        << QByteArray(
               "<DIV CLASS='infoMessage'>Your command request was successfully submitted to Nagios for "
               "processing.<BR><BR>\n<p>Error: Could not open command file for update!</p>")
        << QStringLiteral("Error: Could not open command file for update!");
    QTest::newRow("CSRF refusal") << NagiosPage::commandAnswerPage(NagiosPage::CommandAnswer::CsrfFailed, {})
                                  << QStringLiteral("Error: Invalid or missing CSRF cookie!");
    QTest::newRow("real downtime refusal: the end before the start")
        << fixture("downtime-bad-times.html") << QStringLiteral("Start or end time not valid");
    QTest::newRow("a page that says nothing is no confirmation")
        << QByteArray("<html><body>Results 1 - 0 of 0 Matching Services</body></html>")
        << QStringLiteral("Nagios did not confirm the command.");
}

void TestNagiosCommand::answerPage()
{
    QFETCH(QByteArray, page);
    QFETCH(QString, reason);
    const NagiosCommand::Result result = NagiosCommand::readAnswer(page);
    QCOMPARE(result.outcome, NagiosCommand::Outcome::Refused);
    QCOMPARE(result.reason, reason);
}

void TestNagiosCommand::downtimeTimes_data()
{
    QTest::addColumn<QString>("formStart");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    // Our clock: 8 December 2026, 03:00 UTC; the server's may be hours apart.
    QTest::newRow("us, the real form's")
        << formStart("downtime-service-form.html") << qint64(0) << 90 << "12-08-2026 03:00:56"
        << "12-08-2026 04:30:56";
    QTest::newRow("us past midnight, read as December, not as 12 August")
        << "12-08-2026 23:30:00" << qint64(0) << 60 << "12-08-2026 23:30:00"
        << "12-09-2026 00:30:00";
    QTest::newRow("euro past midnight, read as 8 December")
        << "08-12-2026 23:30:00" << qint64(0) << 60 << "08-12-2026 23:30:00"
        << "09-12-2026 00:30:00";
    QTest::newRow("iso8601, a start an hour on")
        << "2026-12-08 10:00:00" << qint64(3600) << 30 << "2026-12-08 11:00:00"
        << "2026-12-08 11:30:00";
    QTest::newRow("strict-iso8601 keeps its T")
        << "2026-12-31T23:00:00" << qint64(0) << 120 << "2026-12-31T23:00:00"
        << "2027-01-01T01:00:00";
    QTest::newRow("no date in the form: nothing") << "now" << qint64(0) << 60 << QString() << QString();
    QTest::newRow("a day 31 that no month 31 has as month: the one reading")
        << "31-12-2026 01:00:00" << qint64(0) << 60 << "31-12-2026 01:00:00"
        << "31-12-2026 02:00:00";
}

void TestNagiosCommand::downtimeTimes()
{
    QFETCH(QString, formStart);
    QFETCH(qint64, offset);
    QFETCH(int, minutes);
    QFETCH(QString, start);
    QFETCH(QString, end);
    const DowntimeTimes times = ::downtimeTimes(
        formStart, offset, minutes, QDateTime(QDate(2026, 12, 8), QTime(3, 0), QTimeZone::utc()));
    QCOMPARE(times.start, start);
    QCOMPARE(times.end, end);
}

// A server that reads the request and never answers; destroying a command in flight ends it
// without a signal.
void TestNagiosCommand::silentServerTimesOut()
{
    NagiosSimulator sim;
    sim.setNeverAnswer(true);
    QVERIFY(sim.start());
    HttpClient client;
    auto destroyed = std::make_unique<NagiosCommand>(&client, serverOf(sim));
    bool destroyedFinished = false;
    connect(
        destroyed.get(), &NagiosCommand::finished, this, [&destroyedFinished] { destroyedFinished = true; });
    destroyed->recheck(host, {});
    QTRY_COMPARE(sim.requestCount(), 1);
    destroyed.reset();
    NagiosCommand command(&client, serverOf(sim));
    command.setTimeout(300);
    const std::optional<NagiosCommand::Result> result = run(command, QStringLiteral("recheck-host"));
    QVERIFY(result);
    QCOMPARE(result->outcome, NagiosCommand::Outcome::Failed);
    QVERIFY2(result->reason.contains(QLatin1String("did not answer")), qPrintable(result->reason));
    QVERIFY(!destroyedFinished);
}

// A command takes the connection that a poll left open, and one that hangs holds up no poll.
void TestNagiosCommand::sharesThePollsClient()
{
    NagiosSimulator sim;
    sim.setHost(host, NagiosSimulator::HostState::Down);
    QVERIFY(sim.start());
    NagiosSimulator silent;
    silent.setNeverAnswer(true);
    QVERIFY(silent.start());
    HttpClient client;
    QSignalSpy finished(&client, &HttpClient::requestFinished);
    const QString page = sim.cgiDirectory() + QLatin1String("status.cgi?hostgroup=all&style=hostdetail");
    client.setHost(QStringLiteral("127.0.0.1"), HttpClient::ConnectionModeHttp, sim.port());
    const int poll = client.get(page);
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(finished.last().first().toInt(), poll);

    NagiosCommand command(&client, serverOf(sim));
    const std::optional<NagiosCommand::Result> result = run(command, QStringLiteral("recheck-host"));
    QVERIFY(result);
    QCOMPARE(result->outcome, NagiosCommand::Outcome::Submitted);
    const QList<RecordedRequest> requests = sim.requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests.last().connectionId, requests.first().connectionId);

    NagiosCommand hanging(&client, serverOf(silent));
    hanging.recheck(host, {});
    QTRY_COMPARE(silent.requestCount(), 1);
    const int next = client.get(page);
    QTRY_COMPARE(finished.size(), 3);
    QCOMPARE(finished.last(), (QList<QVariant> {next, false}));
    QCOMPARE(client.lastStatusCode(), 200);
    QVERIFY(hanging.isRunning());
}

QTEST_GUILESS_MAIN(TestNagiosCommand)
#include "tst_nagioscommand.moc"
