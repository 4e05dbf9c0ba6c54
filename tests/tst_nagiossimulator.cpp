#include "monitor/httpresponseparser.h"
#include "tools/nagiospage.h"
#include "tools/nagiossimulator.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

struct Fetched
{
    int status = 0;
    QByteArray body;
    QByteArray wwwAuthenticate;
    QByteArray contentEncoding;
    QByteArray setCookie;
};

Fetched fetch(const NagiosSimulator& sim, const QString& query, const QByteArray& name = {},
    const QByteArray& value = {})
{
    QNetworkAccessManager manager;
    QNetworkRequest request {
        QUrl(sim.baseUrl() + sim.cgiDirectory() + QStringLiteral("status.cgi?") + query)};
    request.setDecompressedSafetyCheckThreshold(-1);
    if (!name.isEmpty())
        request.setRawHeader(name, value);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(30000))
        return {};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
        reply->rawHeader("WWW-Authenticate"), reply->rawHeader("Content-Encoding"), {}};
}

// cmd.cgi?QUERY, or with a form a POST of it, with a Cookie header when one is given.
Fetched commandCgi(const NagiosSimulator& sim, const QByteArray& query, const QByteArray& cookie = {},
    const QByteArray& form = {})
{
    QNetworkAccessManager manager;
    QNetworkRequest request {
        QUrl(sim.baseUrl() + sim.cgiDirectory() + QStringLiteral("cmd.cgi?") + QString::fromLatin1(query))};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/x-www-form-urlencoded"));
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie);
    std::unique_ptr<QNetworkReply> reply(form.isEmpty() ? manager.get(request) : manager.post(request, form));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(30000))
        return {};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(), {}, {},
        reply->rawHeader("Set-Cookie")};
}

// Table row lines with what differs between two captures (clocks, durations, addresses) blanked.
QStringList rowLines(const QByteArray& page)
{
    static const QRegularExpression volatileParts(QStringLiteral(
        "\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d| *\\d+d +\\d+h +\\d+m +\\d+s|title='127[0-9.]*'"));
    static const QRegularExpression row(QStringLiteral("^<td .*class='status"));
    return QString::fromUtf8(page)
        .replace(volatileParts, QStringLiteral("X"))
        .split(QLatin1Char('\n'))
        .filter(row);
}

} // namespace

class TestNagiosSimulator : public QObject
{
    Q_OBJECT

private slots:
    void pagesMatchRealNagios_data();
    void pagesMatchRealNagios();
    void maskAndLimitSelectRows_data();
    void maskAndLimitSelectRows();
    void basicAuthentication();
    void largePageGzipsBetterThan40To1();
    void commands_data();
    void commands();
    void gzipBombInflatesToItsSize();
    void cutPageEndsCleanlyWithoutTotals();
    void commandPagesMatchRealNagios_data();
    void commandPagesMatchRealNagios();
    void commandCsrfCheck_data();
    void commandCsrfCheck();
};

void TestNagiosSimulator::pagesMatchRealNagios_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("query");
    QTest::newRow("hosts") << QStringLiteral("hosts.html")
                           << QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12");
    QTest::newRow("services") << QStringLiteral("services.html")
                              << QStringLiteral("host=all&servicestatustypes=28");
}

void TestNagiosSimulator::pagesMatchRealNagios()
{
    QFETCH(QString, file);
    QFETCH(QString, query);
    const QString dir = QStringLiteral(TARVIX_FIXTURES_DIR "/04-host-down-services-critical/");
    NagiosSimulator sim;
    QVERIFY(sim.loadScenario(dir + QStringLiteral("scenario.tsv")));
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QFile real(dir + file);
    QVERIFY(real.open(QIODevice::ReadOnly));
    const QStringList expected = rowLines(real.readAll());
    QVERIFY(!expected.isEmpty());
    QCOMPARE(rowLines(fetch(sim, query).body), expected);
}

void TestNagiosSimulator::maskAndLimitSelectRows_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("totals");
    QTest::newRow("hosts 12: DOWN and UNREACHABLE")
        << QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12")
        << QStringLiteral("Results 1 - 2 of 2 Matching Hosts");
    QTest::newRow("hosts 8: UNREACHABLE only")
        << QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=8")
        << QStringLiteral("Results 1 - 1 of 1 Matching Hosts");
    QTest::newRow("services 28: WARNING UNKNOWN CRITICAL")
        << QStringLiteral("host=all&servicestatustypes=28&limit=0")
        << QStringLiteral("Results 1 - 152 of 152 Matching Services");
    QTest::newRow("services 4: WARNING only") << QStringLiteral("host=all&servicestatustypes=4&limit=0")
                                              << QStringLiteral("Results 1 - 1 of 1 Matching Services");
    QTest::newRow("limit and start pick a later page")
        << QStringLiteral("host=all&servicestatustypes=16&limit=50&start=100")
        << QStringLiteral("Results 100 - 150 of 150 Matching Services");
    QTest::newRow("default limit 100 cuts, zero-based like Nagios") << QStringLiteral(
        "host=all&servicestatustypes=16") << QStringLiteral("Results 0 - 100 of 150 Matching Services");
}

void TestNagiosSimulator::maskAndLimitSelectRows()
{
    QFETCH(QString, query);
    QFETCH(QString, totals);
    NagiosSimulator sim;
    sim.setHost(QStringLiteral("web-01"), NagiosSimulator::HostState::Down);
    sim.setHost(QStringLiteral("switch"), NagiosSimulator::HostState::Unreachable);
    sim.setHost(QStringLiteral("printer"), NagiosSimulator::HostState::Up);
    sim.setService(QStringLiteral("web-01"), QStringLiteral("Disk"), NagiosSimulator::ServiceState::Warning);
    sim.setService(QStringLiteral("web-01"), QStringLiteral("Agent"), NagiosSimulator::ServiceState::Unknown);
    sim.setService(QStringLiteral("web-01"), QStringLiteral("PING"), NagiosSimulator::ServiceState::Ok);
    sim.addGeneratedServices(15, 10, NagiosSimulator::ServiceState::Critical);
    QVERIFY(sim.start());
    const QByteArray body = fetch(sim, query).body;
    static const QRegularExpression title(QStringLiteral("<div class='itemTotalsTitle'>([^<]*)</div>"));
    QCOMPARE(title.match(QString::fromUtf8(body)).captured(1), totals);
}

void TestNagiosSimulator::basicAuthentication()
{
    NagiosSimulator sim;
    sim.requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("s3cret"));
    QVERIFY(sim.start());
    const QString query = QStringLiteral("host=all");
    const Fetched refused
        = fetch(sim, query, "Authorization", "Basic " + QByteArray("tarvix:wrong").toBase64());
    QCOMPARE(refused.status, 401);
    QVERIFY(refused.wwwAuthenticate.startsWith("Basic realm="));
    const Fetched page
        = fetch(sim, query, "Authorization", "Basic " + QByteArray("tarvix:s3cret").toBase64());
    QCOMPARE(page.status, 200);
}

void TestNagiosSimulator::largePageGzipsBetterThan40To1()
{
    NagiosSimulator sim;
    sim.addGeneratedServices(600, 11, NagiosSimulator::ServiceState::Critical);
    QVERIFY(sim.start());
    const QString query = QStringLiteral("host=all&servicestatustypes=28&limit=0");
    const qsizetype pageSize = sim.servicesPage(query).size();
    QVERIFY(pageSize > 10'000'000);
    // Asking for gzip ourselves makes Qt hand over the compressed bytes.
    const Fetched packed = fetch(sim, query, "Accept-Encoding", "gzip");
    QCOMPARE(packed.contentEncoding, QByteArray("gzip"));
    QVERIFY2(packed.body.size() * 40 < pageSize, QByteArray::number(packed.body.size()).constData());
}

void TestNagiosSimulator::commands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("quoted name, output of several words")
        << QStringLiteral("host \"lab printer\" DOWN CRITICAL - gone") << true;
    QTest::newRow("service without HOST|DESC") << QStringLiteral("service web-01 CRITICAL") << false;
    QTest::newRow("unknown state") << QStringLiteral("host web-01 SLEEPING") << false;
    QTest::newRow("Digest authentication") << QStringLiteral("auth tarvix s3cret digest") << true;
    QTest::newRow("authentication off") << QStringLiteral("auth off") << true;
    QTest::newRow("sizes in K, M or G") << QStringLiteral("gzipbomb 2G") << true;
    QTest::newRow("a number that is none") << QStringLiteral("trickle soon") << false;
    QTest::newRow("a switch that is none") << QStringLiteral("endless maybe") << false;
    QTest::newRow("too many arguments") << QStringLiteral("clear now") << false;
    QTest::newRow("unknown command") << QStringLiteral("reboot") << false;
    QTest::newRow("comment") << QStringLiteral("# neveranswer on") << true;
}

void TestNagiosSimulator::commands()
{
    QFETCH(QString, line);
    QFETCH(bool, accepted);
    NagiosSimulator sim;
    QString error;
    QCOMPARE(sim.applyCommand(line, &error), accepted);
    QCOMPARE(error.isEmpty(), accepted);
    if (accepted && !line.startsWith(QLatin1Char('#')))
        QVERIFY(NagiosSimulator::commandUsage().contains(
            QLatin1String("  ") + line.section(QLatin1Char(' '), 0, 0)));
}

// A few KiB that inflate to exactly the size asked for, with a valid gzip trailer.
void TestNagiosSimulator::gzipBombInflatesToItsSize()
{
    const qint64 size = 3 * 1024 * 1024 + 5;
    NagiosSimulator sim;
    sim.setGzipBomb(size);
    QVERIFY(sim.start());
    const Fetched packed = fetch(sim, QStringLiteral("host=all"), "Accept-Encoding", "gzip");
    QCOMPARE(packed.contentEncoding, QByteArray("gzip"));
    QVERIFY(packed.body.size() < 8192);
    HttpResponseParser parser(size);
    const QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + packed.body;
    parser.feed(answer.constData(), answer.size());
    QCOMPARE(parser.finish(), HttpResponseParser::Status::Done);
    QVERIFY(parser.takeBody() == QByteArray(size, ' '));
}

void TestNagiosSimulator::cutPageEndsCleanlyWithoutTotals()
{
    NagiosSimulator sim;
    sim.addGeneratedServices(5, 10, NagiosSimulator::ServiceState::Critical);
    sim.setPageTime(QDateTime(QDate(2024, 5, 17), QTime(10, 30), Qt::UTC));
    sim.setCutPage(true);
    QVERIFY(sim.start());
    const QString query = QStringLiteral("host=all&servicestatustypes=28");
    const Fetched cut = fetch(sim, query);
    QCOMPARE(cut.status, 200);
    const QByteArray whole = sim.servicesPage(query);
    QVERIFY(cut.body.size() > whole.size() / 2);
    QVERIFY(whole.startsWith(cut.body));
    QVERIFY(cut.body.endsWith('\n'));
    QVERIFY(!cut.body.contains("itemTotalsTitle"));
    QVERIFY(cut.body.contains("statusBGCRITICAL"));
}

void TestNagiosSimulator::commandPagesMatchRealNagios_data()
{
    using Answer = NagiosPage::CommandAnswer;
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("type"); // the form of this cmd_typ, 0: the answer
    QTest::addColumn<int>("answer");
    QTest::newRow("acknowledgement form of a service") << QStringLiteral("ack-service-form.html") << 34 << 0;
    QTest::newRow("check form of a host") << QStringLiteral("check-host-form.html") << 96 << 0;
    QTest::newRow("submitted") << QStringLiteral("submitted.html") << 0 << int(Answer::Submitted);
    QTest::newRow("not authorized") << QStringLiteral("not-authorized.html") << 0
                                    << int(Answer::NotAuthorized);
    QTest::newRow("CSRF refusal") << QStringLiteral("csrf-error.html") << 0 << int(Answer::CsrfFailed);
}

void TestNagiosSimulator::commandPagesMatchRealNagios()
{
    QFETCH(QString, file);
    QFETCH(int, type);
    QFETCH(int, answer);
    static const QRegularExpression volatileParts(QStringLiteral(
        "Last Updated: [^<]*|Logged in as <i>[^<]*|\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d"));
    auto lines = [](const QByteArray& page) {
        return QString::fromUtf8(page).replace(volatileParts, QStringLiteral("X")).split(QLatin1Char('\n'));
    };
    QFile real(QStringLiteral(TARVIX_FIXTURES_DIR "/cmd/") + file);
    QVERIFY(real.open(QIODevice::ReadOnly));
    NagiosPage::Options options;
    options.user = "tarvix";
    const QByteArray page = type != 0
        ? NagiosPage::commandFormPage(type, "web01", "HTTP Check", "216231b1f16e9e8", options)
        : NagiosPage::commandAnswerPage(NagiosPage::CommandAnswer(answer), options);
    QCOMPARE(lines(page), lines(real.readAll()));
}

void TestNagiosSimulator::commandCsrfCheck_data()
{
    QTest::addColumn<bool>("csrf");
    QTest::addColumn<bool>("cookie"); // the form's cookie goes back
    QTest::addColumn<bool>("field"); // the form's nagFormId goes back
    QTest::addColumn<bool>("taken");
    QTest::newRow("CSRF on: the form's cookie and field are taken") << true << true << true << true;
    QTest::newRow("CSRF on: neither is refused") << true << false << false << false;
    QTest::newRow("CSRF on: the cookie without the field is refused") << true << true << false << false;
    QTest::newRow("CSRF off (older Nagios): taken without either") << false << false << false << true;
}

void TestNagiosSimulator::commandCsrfCheck()
{
    QFETCH(bool, csrf);
    QFETCH(bool, cookie);
    QFETCH(bool, field);
    QFETCH(bool, taken);
    NagiosSimulator sim;
    sim.setCsrfCheck(csrf);
    sim.setHost(QStringLiteral("web01"), NagiosSimulator::HostState::Down);
    QVERIFY(sim.start());
    const QByteArray id = sim.csrfFormId();
    const Fetched form = commandCgi(sim, "cmd_typ=96&host=web01");
    QCOMPARE(form.setCookie, csrf ? "NagFormId=" + id + "; SameSite=Strict; HttpOnly" : QByteArray());
    QCOMPARE(form.body.contains("<INPUT TYPE='hidden' NAME='nagFormId' VALUE='" + id + "'\n"), csrf);
    const QByteArray time
        = QDateTime::currentDateTimeUtc().toString(QStringLiteral("MM-dd-yyyy+hh:mm:ss")).toLatin1();
    const QByteArray post
        = "cmd_typ=96&cmd_mod=2&host=web01&start_time=" + time + (field ? "&nagFormId=" + id : QByteArray());
    const Fetched answer = commandCgi(sim, {}, cookie ? "NagFormId=" + id : QByteArray(), post);
    QCOMPARE(answer.body.contains("Your command request was successfully submitted"), taken);
    QCOMPARE(answer.body.contains("<p>Error: Invalid or missing CSRF cookie!</p>"), !taken);
    QCOMPARE(sim.checkCount(QStringLiteral("web01")), taken ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestNagiosSimulator)
#include "tst_nagiossimulator.moc"
