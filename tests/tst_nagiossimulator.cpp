#include "tools/nagiossimulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

const QString kHostsQuery = QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12");
const QString kServicesQuery = QStringLiteral("host=all&servicestatustypes=28");

struct Fetched
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QHash<QByteArray, QByteArray> headers; // lower-case names
};

// One GET with a fresh manager; redirects are not followed and big pages are not refused.
Fetched fetch(const QString& url, const QList<std::pair<QByteArray, QByteArray>>& headers = {},
    bool ignoreSslErrors = false, int transferTimeoutMs = 0)
{
    QNetworkAccessManager manager;
    QNetworkRequest request {QUrl(url)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setDecompressedSafetyCheckThreshold(-1);
    if (transferTimeoutMs > 0)
        request.setTransferTimeout(transferTimeoutMs);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    std::unique_ptr<QNetworkReply> reply(manager.get(request));
    if (ignoreSslErrors)
        QObject::connect(reply.get(), &QNetworkReply::sslErrors, reply.get(),
            [reply = reply.get()] { reply->ignoreSslErrors(); });
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    Fetched fetched;
    if (!reply->isFinished() && !finished.wait(30000))
        return fetched;
    fetched.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    fetched.error = reply->error();
    fetched.body = reply->isOpen() ? reply->readAll() : QByteArray();
    for (const auto& [name, value] : reply->rawHeaderPairs())
        fetched.headers.insert(name.toLower(), value);
    return fetched;
}

// The name cells that a line-by-line reader picks, as "CLASS NAME LINK".
QStringList nameCells(const QByteArray& page)
{
    static const QRegularExpression cell(
        QStringLiteral("^<td align='?left'? valign=center class='status(\\w+)'><a "
                       "href='(extinfo\\.cgi\\?type=[12]&[^']*)'[^>]*>(.*)</a>"));
    QStringList cells;
    for (const QByteArray& line : page.split('\n')) {
        const QRegularExpressionMatch match = cell.match(QString::fromUtf8(line));
        if (match.hasMatch())
            cells << match.captured(1) + QLatin1Char(' ') + match.captured(3) + QLatin1Char(' ')
                    + match.captured(2);
    }
    return cells;
}

QString totalsLine(const QByteArray& page)
{
    static const QRegularExpression totals(QStringLiteral("<div class='itemTotalsTitle'>([^<]*)</div>"));
    return totals.match(QString::fromUtf8(page)).captured(1);
}

// What differs between two captures of the same installation: clocks, addresses, user, totals.
QString withoutVolatileParts(const QByteArray& page)
{
    QString text = QString::fromUtf8(page);
    const std::pair<const char*, const char*> replacements[] = {
        {"\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d", "TIME"},
        {" *\\d+d +\\d+h +\\d+m +\\d+s", "DURATION"},
        {"Last Updated: [^<]*", "Last Updated: X"},
        {"title='127[0-9.]*'", "title='ADDRESS'"},
        {"var user = '[^']*'", "var user = 'USER'"},
        {"Logged in as <i>[^<]*</i>", "Logged in as <i>USER</i>"},
        {"<td class='(host|service)Totals[A-Z]*'>\\d+</td>", "TOTAL"},
    };
    for (const auto& [pattern, replacement] : replacements)
        text.replace(QRegularExpression(QLatin1String(pattern)), QLatin1String(replacement));
    return text;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray basic(const char* credentials)
{
    return "Basic " + QByteArray(credentials).toBase64();
}

} // namespace

class TestNagiosSimulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pagesMatchRealNagios_data();
    void pagesMatchRealNagios();
    void hostMaskSelectsRows_data();
    void hostMaskSelectsRows();
    void serviceMaskSelectsRows_data();
    void serviceMaskSelectsRows();
    void resultLimit_data();
    void resultLimit();
    void namesAreEncodedLikeNagios_data();
    void namesAreEncodedLikeNagios();
    void answers_data();
    void answers();
    void bodyQuirks_data();
    void bodyQuirks();
    void largePageGzipsBetterThan40To1();
    void httpsAnswers();
    void silenceAndBrokenConnections();
    void connectsHangWhileNeverAccepting();
    void keepAlivePipeliningAndManyConnections();
    void badInputIsRefused();

private:
    QString statusUrl(const QString& query) const;
    std::unique_ptr<NagiosSimulator> m_sim;
};

void TestNagiosSimulator::init()
{
    m_sim = std::make_unique<NagiosSimulator>();
}

void TestNagiosSimulator::cleanup()
{
    m_sim.reset();
}

QString TestNagiosSimulator::statusUrl(const QString& query) const
{
    return m_sim->baseUrl() + m_sim->cgiDirectory() + QStringLiteral("status.cgi?") + query;
}

void TestNagiosSimulator::pagesMatchRealNagios_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("hosts");
    const char* folders[] = {"01-all-ok", "02-hosts-down", "03-services-mixed",
        "04-host-down-services-critical", "06-ack-downtime"};
    for (const char* folder : folders) {
        QTest::addRow("%s hosts", folder) << QString::fromLatin1(folder) << true;
        QTest::addRow("%s services", folder) << QString::fromLatin1(folder) << false;
    }
}

// The served page equals the captured one line for line, apart from clocks, addresses and totals.
void TestNagiosSimulator::pagesMatchRealNagios()
{
    QFETCH(QString, folder);
    QFETCH(bool, hosts);
    const QString dir = QStringLiteral(TARVIX_FIXTURES_DIR "/") + folder;
    QVERIFY(m_sim->loadScenario(dir + QStringLiteral("/scenario.tsv")));
    QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));

    const Fetched served = fetch(statusUrl(hosts ? kHostsQuery : kServicesQuery));
    QCOMPARE(served.status, 200);
    QCOMPARE(served.headers.value("content-type"), QByteArray("text/html; charset=utf-8"));
    const QByteArray real
        = readFile(dir + (hosts ? QStringLiteral("/hosts.html") : QStringLiteral("/services.html")));
    QVERIFY(!real.isEmpty());
    QCOMPARE(nameCells(served.body).size(), nameCells(real).size());
    QCOMPARE(totalsLine(served.body), totalsLine(real));
    const QStringList servedLines = withoutVolatileParts(served.body).split(QLatin1Char('\n'));
    const QStringList realLines = withoutVolatileParts(real).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < std::min(servedLines.size(), realLines.size()); ++i)
        QCOMPARE(servedLines.at(i), realLines.at(i));
    QCOMPARE(servedLines.size(), realLines.size());
}

void TestNagiosSimulator::hostMaskSelectsRows_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("names");
    const QString down = QStringLiteral("WEB-01"), unreachable = QStringLiteral("branch-switch"),
                  up = QStringLiteral("lab printer"), pending = QStringLiteral("pending-host"),
                  cyrillic = QStringLiteral("сервер-1");
    QTest::newRow("12: DOWN and UNREACHABLE")
        << QStringLiteral("hoststatustypes=12") << QStringList {down, unreachable, cyrillic};
    QTest::newRow("4: DOWN only") << QStringLiteral("hoststatustypes=4") << QStringList {down, cyrillic};
    QTest::newRow("8: UNREACHABLE only") << QStringLiteral("hoststatustypes=8") << QStringList {unreachable};
    QTest::newRow("2: UP only") << QStringLiteral("hoststatustypes=2") << QStringList {up};
    QTest::newRow("1: PENDING only") << QStringLiteral("hoststatustypes=1") << QStringList {pending};
    QTest::newRow("no mask: every host in byte order")
        << QString() << QStringList {down, unreachable, up, pending, cyrillic};
}

void TestNagiosSimulator::hostMaskSelectsRows()
{
    QFETCH(QString, query);
    QFETCH(QStringList, names);
    m_sim->setHost(QStringLiteral("сервер-1"), NagiosSimulator::HostState::Down);
    m_sim->setHost(QStringLiteral("lab printer"), NagiosSimulator::HostState::Up);
    m_sim->setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down, QStringLiteral("127.0.1.1"));
    m_sim->setHost(QStringLiteral("branch-switch"), NagiosSimulator::HostState::Unreachable);
    m_sim->setHost(QStringLiteral("pending-host"), NagiosSimulator::HostState::Pending);
    m_sim->setService(
        QStringLiteral("WEB-01"), QStringLiteral("PING"), NagiosSimulator::ServiceState::Critical);
    QVERIFY(m_sim->start());

    const Fetched served = fetch(statusUrl(QStringLiteral("hostgroup=all&style=hostdetail&") + query));
    QCOMPARE(served.status, 200);
    QStringList seen;
    for (const QString& cell : nameCells(served.body))
        seen << cell.section(QLatin1Char(' '), 1, -2);
    QCOMPARE(seen, names);
    QCOMPARE(
        totalsLine(served.body), QStringLiteral("Results 1 - %1 of %1 Matching Hosts").arg(names.size()));

    // The program's default hosts expression picks exactly the DOWN and UNREACHABLE rows.
    const QRegularExpression defaultHosts(
        QStringLiteral("^\\s*<td .*\\s?class=['\"](statusHOSTDOWN|statusHOSTUNREACHABLE)['\"]\\s?.*><a "
                       "href=['\"](\\S+)['\"].*>(.+)</a>"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList problems;
    for (const QByteArray& line : served.body.split('\n')) {
        const QRegularExpressionMatch match = defaultHosts.match(QString::fromUtf8(line));
        if (match.hasMatch())
            problems << match.captured(3);
    }
    QStringList expected;
    for (const QString& name : names) {
        if (name != QLatin1String("lab printer") && name != QLatin1String("pending-host"))
            expected << name;
    }
    QCOMPARE(problems, expected);
    if (names.contains(QStringLiteral("WEB-01")))
        QVERIFY(served.body.contains(
            "<td align=left valign=center class='statusHOSTDOWN'><a "
            "href='extinfo.cgi?type=1&host=WEB-01' title='127.0.1.1'>WEB-01</a>&nbsp;</td>\n"));
}

void TestNagiosSimulator::serviceMaskSelectsRows_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("rows");
    const QString http = QStringLiteral("BGCRITICAL HTTP Check@WEB-01");
    const QString disk = QStringLiteral("BGWARNING Disk: /var@WEB-01");
    const QString ping = QStringLiteral("Even PING@WEB-01"); // third row: rows alternate Even, Odd
    const QString agent = QStringLiteral("BGUNKNOWN C++ Build Agent@app-1");
    const QString cyrillic = QStringLiteral("BGCRITICAL Проверка диска@сервер-1");
    QTest::newRow("28: WARNING UNKNOWN CRITICAL")
        << QStringLiteral("servicestatustypes=28") << QStringList {disk, http, agent, cyrillic};
    QTest::newRow("16: CRITICAL only")
        << QStringLiteral("servicestatustypes=16") << QStringList {http, cyrillic};
    QTest::newRow("4: WARNING only") << QStringLiteral("servicestatustypes=4") << QStringList {disk};
    QTest::newRow("8: UNKNOWN only") << QStringLiteral("servicestatustypes=8") << QStringList {agent};
    QTest::newRow("2: OK only") << QStringLiteral("servicestatustypes=2")
                                << QStringList {QStringLiteral("Even PING@WEB-01")};
    QTest::newRow("no mask: all, sorted by host then service")
        << QString() << QStringList {disk, http, ping, agent, cyrillic};
}

void TestNagiosSimulator::serviceMaskSelectsRows()
{
    QFETCH(QString, query);
    QFETCH(QStringList, rows);
    m_sim->setService(QStringLiteral("сервер-1"), QStringLiteral("Проверка диска"),
        NagiosSimulator::ServiceState::Critical);
    m_sim->setService(QStringLiteral("WEB-01"), QStringLiteral("PING"), NagiosSimulator::ServiceState::Ok);
    m_sim->setService(
        QStringLiteral("WEB-01"), QStringLiteral("HTTP Check"), NagiosSimulator::ServiceState::Critical);
    m_sim->setService(
        QStringLiteral("WEB-01"), QStringLiteral("Disk: /var"), NagiosSimulator::ServiceState::Warning);
    m_sim->setService(
        QStringLiteral("app-1"), QStringLiteral("C++ Build Agent"), NagiosSimulator::ServiceState::Unknown);
    QVERIFY(m_sim->start());

    const Fetched served = fetch(statusUrl(QStringLiteral("host=all&") + query));
    QCOMPARE(served.status, 200);
    QStringList seen;
    QStringList hostCells;
    for (const QString& cell : nameCells(served.body)) {
        const QString link = cell.section(QLatin1Char(' '), -1);
        if (link.startsWith(QLatin1String("extinfo.cgi?type=1&"))) {
            hostCells << cell.section(QLatin1Char(' '), 1, -2);
            continue;
        }
        const QString host = link.section(QLatin1String("host="), 1).section(QLatin1Char('&'), 0, 0);
        seen << cell.section(QLatin1Char(' '), 0, -2) + QLatin1Char('@')
                + QUrl::fromPercentEncoding(host.toUtf8());
    }
    QCOMPARE(seen, rows);
    // The host cell stands only on the first service row of each host.
    QStringList hosts;
    for (const QString& row : rows) {
        const QString host = row.section(QLatin1Char('@'), 1);
        if (!hosts.contains(host))
            hosts << host;
    }
    QCOMPARE(hostCells, hosts);
    QCOMPARE(
        totalsLine(served.body), QStringLiteral("Results 1 - %1 of %1 Matching Services").arg(rows.size()));
}

void TestNagiosSimulator::resultLimit_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("totals");
    QTest::newRow("default limit 100 cuts, zero-based like Nagios")
        << QString() << 100 << QStringLiteral("Results 0 - 100 of 150 Matching Hosts");
    QTest::newRow("limit=0 lists all")
        << QStringLiteral("&limit=0") << 150 << QStringLiteral("Results 1 - 150 of 150 Matching Hosts");
    QTest::newRow("limit above the count lists all")
        << QStringLiteral("&limit=250") << 150 << QStringLiteral("Results 1 - 150 of 150 Matching Hosts");
    QTest::newRow("second page") << QStringLiteral("&limit=50&start=100") << 50
                                 << QStringLiteral("Results 100 - 150 of 150 Matching Hosts");
}

void TestNagiosSimulator::resultLimit()
{
    QFETCH(QString, suffix);
    QFETCH(int, rows);
    QFETCH(QString, totals);
    m_sim->addGeneratedHosts(150, NagiosSimulator::HostState::Down);
    m_sim->setHost(QStringLiteral("aaa-up"), NagiosSimulator::HostState::Up); // not counted under mask 12
    QVERIFY(m_sim->start());

    const Fetched served = fetch(statusUrl(kHostsQuery + suffix));
    QCOMPARE(nameCells(served.body).size(), rows);
    QCOMPARE(totalsLine(served.body), totals);
}

void TestNagiosSimulator::namesAreEncodedLikeNagios_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("link");
    QTest::addColumn<QByteArray>("cell");
    QTest::newRow("space as +") << QStringLiteral("lab printer") << QByteArray("lab+printer")
                                << QByteArray("lab printer");
    QTest::newRow("':' '/' '+' as %XX")
        << QStringLiteral("Disk: /var C++") << QByteArray("Disk%3A+%2Fvar+C%2B%2B")
        << QByteArray("Disk: /var C++");
    QTest::newRow("UTF-8 bytes as %XX")
        << QStringLiteral("сервер-1") << QByteArray("%D1%81%D0%B5%D1%80%D0%B2%D0%B5%D1%80-1")
        << QStringLiteral("сервер-1").toUtf8();
    QTest::newRow("'.' '-' '_' stay")
        << QStringLiteral("a.b-c_d") << QByteArray("a.b-c_d") << QByteArray("a.b-c_d");
    QTest::newRow("markup escaped in the cell")
        << QStringLiteral("R&D <lab> 'x'") << QByteArray("R%26D+%3Clab%3E+%27x%27")
        << QByteArray("R&amp;D &lt;lab&gt; &#39;x&#39;");
}

void TestNagiosSimulator::namesAreEncodedLikeNagios()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, link);
    QFETCH(QByteArray, cell);
    QCOMPARE(NagiosSimulator::urlEncode(name), link);
    m_sim->setService(name, name, NagiosSimulator::ServiceState::Critical);
    const QByteArray page = m_sim->servicesPage(kServicesQuery);
    QVERIFY(page.contains(
        "<td align='left' valign=center class='statusBGCRITICAL'><a href='extinfo.cgi?type=2&host=" + link
        + "&service=" + link + "'>" + cell + "</a></td></tr>\n"));
}

void TestNagiosSimulator::answers_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("bodyPart");
    QTest::addColumn<bool>("totals");
    const QString status = QStringLiteral("/nagios/cgi-bin/status.cgi?") + kHostsQuery;
    QTest::newRow("normal page") << QString() << status << QByteArray() << 200
                                 << QByteArray("Cache-Control: no-store") << QByteArray("statusHOSTDOWN")
                                 << true;
    QTest::newRow("chunked like Apache")
        << QStringLiteral("chunked on") << status << QByteArray() << 200
        << QByteArray("Transfer-Encoding: chunked") << QByteArray("statusHOSTDOWN") << true;
    QTest::newRow("auth without credentials: 401 Basic")
        << QStringLiteral("auth tarvix s3cret") << status << QByteArray() << 401
        << QByteArray("WWW-Authenticate: Basic realm=\"Nagios Access\"")
        << QByteArray("<title>401 Unauthorized</title>") << false;
    QTest::newRow("auth with a wrong password: 401")
        << QStringLiteral("auth tarvix s3cret") << status << basic("tarvix:wrong") << 401 << QByteArray()
        << QByteArray("This server could not verify") << false;
    QTest::newRow("auth with the right password: page")
        << QStringLiteral("auth tarvix s3cret") << status << basic("tarvix:s3cret") << 200 << QByteArray()
        << QByteArray("Logged in as <i>tarvix</i>") << true;
    QTest::newRow("fixed 500") << QStringLiteral("status 500") << status << QByteArray() << 500
                               << QByteArray() << QByteArray("500 Internal Server Error") << false;
    QTest::newRow("fixed 404") << QStringLiteral("status 404") << status << QByteArray() << 404
                               << QByteArray() << QByteArray("<title>404 Not Found</title>") << false;
    QTest::newRow("fixed 302 with Location")
        << QStringLiteral("status 302") << status << QByteArray() << 302 << QByteArray("Location: http")
        << QByteArray("302 Found") << false;
    QTest::newRow("unknown CGI: 404")
        << QString() << QStringLiteral("/nagios/cgi-bin/nothing.cgi") << QByteArray() << 404 << QByteArray()
        << QByteArray("was not found on this server") << false;
    QTest::newRow("other CGI directory: 404")
        << QStringLiteral("cgidir /cgi-bin/nagios4") << status << QByteArray() << 404 << QByteArray()
        << QByteArray("Not Found") << false;
    QTest::newRow("other CGI directory: page there")
        << QStringLiteral("cgidir cgi-bin/nagios4")
        << QStringLiteral("/cgi-bin/nagios4/status.cgi?") + kHostsQuery << QByteArray() << 200 << QByteArray()
        << QByteArray("statusHOSTDOWN") << true;
    QTest::newRow("Nagios stopped: 200 without status")
        << QStringLiteral("errorpage stopped") << status << QByteArray() << 200 << QByteArray()
        << QByteArray("Error: Could not read host and service status information!") << false;
    QTest::newRow("no rights: 200 without status")
        << QStringLiteral("errorpage norights") << status << QByteArray() << 200 << QByteArray()
        << QByteArray(
               "It appears as though you do not have permission to view information for any of the hosts")
        << false;
}

void TestNagiosSimulator::answers()
{
    QFETCH(QString, command);
    QFETCH(QString, path);
    QFETCH(QByteArray, authorization);
    QFETCH(int, status);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, bodyPart);
    QFETCH(bool, totals);
    m_sim->setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    QString error;
    QVERIFY2(m_sim->applyCommand(command, &error), qPrintable(error));
    QVERIFY(m_sim->start());

    QList<std::pair<QByteArray, QByteArray>> headers;
    if (!authorization.isEmpty())
        headers.append({"Authorization", authorization});
    const Fetched served = fetch(m_sim->baseUrl() + path, headers);
    QCOMPARE(served.status, status);
    if (!header.isEmpty()) {
        const QByteArray name = header.left(header.indexOf(':')).toLower();
        QVERIFY2(
            served.headers.value(name).startsWith(header.mid(header.indexOf(':') + 2)), name.constData());
    }
    QVERIFY2(served.body.contains(bodyPart), served.body.left(600).constData());
    QCOMPARE(served.body.contains("<div class='itemTotalsTitle'>"), totals);
    QCOMPARE(m_sim->requestCount(), 1);
    QCOMPARE(m_sim->requests().at(0).authorization, authorization);
}

void TestNagiosSimulator::bodyQuirks_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("beforeTable");
    QTest::addColumn<qint64>("minimumSize");
    QTest::addColumn<bool>("validUtf8");
    QTest::newRow("NUL byte before the table")
        << QStringLiteral("nul on") << QByteArray(1, '\0') << qint64(0) << true;
    QTest::newRow("invalid UTF-8 before the table")
        << QStringLiteral("badutf8 on") << QByteArray("\xff\xfe") << qint64(0) << false;
    QTest::newRow("padding of 2 MB before the table")
        << QStringLiteral("padding 2000000") << QByteArray("<!-- padding: ") << qint64(2000000) << true;
}

void TestNagiosSimulator::bodyQuirks()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, beforeTable);
    QFETCH(qint64, minimumSize);
    QFETCH(bool, validUtf8);
    m_sim->setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    QVERIFY(m_sim->applyCommand(command));
    QVERIFY(m_sim->start());

    const Fetched served = fetch(statusUrl(kHostsQuery));
    QCOMPARE(served.status, 200);
    const qsizetype table = served.body.indexOf("<table border=0 class='status'");
    const qsizetype quirk = served.body.indexOf(beforeTable);
    QVERIFY(quirk > 0);
    QVERIFY(quirk < table);
    QVERIFY(served.body.size() >= minimumSize);
    QCOMPARE(nameCells(served.body).size(), 1);
    QStringDecoder decoder(QStringDecoder::Utf8);
    [[maybe_unused]] const QString text = decoder(served.body);
    QCOMPARE(!decoder.hasError(), validUtf8);
}

void TestNagiosSimulator::largePageGzipsBetterThan40To1()
{
    m_sim->addGeneratedServices(600, 11, NagiosSimulator::ServiceState::Critical);
    m_sim->setPageTime(QDateTime::currentDateTimeUtc());
    QVERIFY(m_sim->start());
    const QString query = kServicesQuery + QStringLiteral("&limit=0");
    const QByteArray page = m_sim->servicesPage(query);
    QVERIFY2(page.size() > 10'000'000, QByteArray::number(page.size()).constData());

    // Asking for gzip ourselves makes Qt hand over the compressed bytes.
    const Fetched packed = fetch(statusUrl(query), {{"Accept-Encoding", "gzip"}});
    QCOMPARE(packed.headers.value("content-encoding"), QByteArray("gzip"));
    QVERIFY2(packed.body.size() * 40 < page.size(),
        QByteArray::number(page.size() / std::max<qsizetype>(1, packed.body.size())).constData());

    // Qt's own request asks for gzip and unpacks it to the same page.
    const Fetched unpacked = fetch(statusUrl(query));
    QVERIFY(m_sim->requests().last().acceptEncoding.contains("gzip"));
    QCOMPARE(unpacked.error, QNetworkReply::NoError);
    QCOMPARE(unpacked.body.size(), page.size());
    QVERIFY(unpacked.body == page);

    m_sim->setGzipWhenAsked(false);
    const Fetched plain = fetch(statusUrl(query), {{"Accept-Encoding", "gzip"}});
    QVERIFY(!plain.headers.contains("content-encoding"));
    QCOMPARE(plain.body.size(), page.size());
}

void TestNagiosSimulator::httpsAnswers()
{
    m_sim->setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    QVERIFY2(m_sim->start(true), qPrintable(m_sim->errorString()));
    QVERIFY(m_sim->baseUrl().startsWith(QLatin1String("https://127.0.0.1:")));
    QVERIFY(!m_sim->certificate().isNull());

    const Fetched trusted = fetch(statusUrl(kHostsQuery), {}, true);
    QCOMPARE(trusted.status, 200);
    QCOMPARE(nameCells(trusted.body).size(), 1);

    const Fetched verified = fetch(statusUrl(kHostsQuery));
    QCOMPARE(verified.error, QNetworkReply::SslHandshakeFailedError);
}

void TestNagiosSimulator::silenceAndBrokenConnections()
{
    m_sim->setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    QVERIFY(m_sim->start());

    // Never answer: the request is read and the connection stays open.
    m_sim->setNeverAnswer(true);
    QSignalSpy received(m_sim.get(), &NagiosSimulator::requestReceived);
    const Fetched silent = fetch(statusUrl(kHostsQuery), {}, false, 1500);
    QCOMPARE(silent.error, QNetworkReply::OperationCanceledError);
    QCOMPARE(received.size(), 1);
    QCOMPARE(received.at(0).at(0).value<RecordedRequest>().query, kHostsQuery);
    m_sim->setNeverAnswer(false);

    // A delay holds the answer back.
    m_sim->setResponseDelay(400);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(fetch(statusUrl(kHostsQuery)).status, 200);
    QVERIFY(clock.elapsed() >= 400);
    m_sim->setResponseDelay(0);

    // Closed in the middle of the body. Read on a bare socket: Qt's manager, when it has opened a
    // spare connection under load, at times finishes such a reply without an error, and what is
    // checked here is what goes over the wire: a promised length, part of it, then the close.
    m_sim->setCloseMidBody(true);
    m_sim->setPadding(300000);
    QTcpSocket socket;
    QByteArray answer;
    connect(&socket, &QTcpSocket::readyRead, &socket, [&socket, &answer] { answer += socket.readAll(); });
    QSignalSpy closed(&socket, &QTcpSocket::disconnected);
    socket.connectToHost(QHostAddress::LocalHost, m_sim->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write("GET " + m_sim->cgiDirectory().toUtf8() + "status.cgi?" + kHostsQuery.toUtf8()
        + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept-Encoding: identity\r\n\r\n");
    QVERIFY(closed.wait(30000));
    answer += socket.readAll();
    QVERIFY(answer.startsWith("HTTP/1.1 200 OK\r\n"));
    const qsizetype headEnd = answer.indexOf("\r\n\r\n");
    QVERIFY(headEnd > 0);
    static const QRegularExpression lengthHeader(QStringLiteral("\r\nContent-Length: (\\d+)\r\n"));
    const QRegularExpressionMatch length = lengthHeader.match(QString::fromLatin1(answer.left(headEnd + 2)));
    QVERIFY(length.hasMatch());
    const qsizetype promised = length.captured(1).toLongLong();
    const qsizetype bodyBytes = answer.size() - headEnd - 4;
    QVERIFY2(promised > 300000, QByteArray::number(promised).constData());
    QVERIFY2(bodyBytes > 0 && bodyBytes < promised,
        (QByteArray::number(bodyBytes) + " of " + QByteArray::number(promised)).constData());
    m_sim->setCloseMidBody(false);
    QCOMPARE(fetch(statusUrl(kHostsQuery)).error, QNetworkReply::NoError);
}

void TestNagiosSimulator::connectsHangWhileNeverAccepting()
{
    QVERIFY(m_sim->start());
    m_sim->setNeverAccept(true);
    QTcpSocket socket;
    QSignalSpy connected(&socket, &QTcpSocket::connected);
    QSignalSpy failed(&socket, &QTcpSocket::errorOccurred);
    socket.connectToHost(QHostAddress::LocalHost, m_sim->port());
    QVERIFY(!connected.wait(1500));
    QCOMPARE(socket.state(), QAbstractSocket::ConnectingState);
    QCOMPARE(failed.size(), 0);
    QCOMPARE(m_sim->requestCount(), 0);
    socket.abort();

    m_sim->setNeverAccept(false);
    QCOMPARE(fetch(statusUrl(kHostsQuery)).status, 200);
}

void TestNagiosSimulator::keepAlivePipeliningAndManyConnections()
{
    m_sim->setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    QVERIFY(m_sim->start());

    // Qt's manager reuses one connection for requests one after another.
    QNetworkAccessManager manager;
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(QUrl(statusUrl(kHostsQuery)))));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
    }
    QCOMPARE(m_sim->connectionCount(), 1);
    QCOMPARE(m_sim->requests().at(2).connectionId, m_sim->requests().at(0).connectionId);

    // Many clients at once, each request arriving in pieces, one of them pipelining two.
    const QByteArray request = "GET " + m_sim->cgiDirectory().toUtf8() + "status.cgi?" + kHostsQuery.toUtf8()
        + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    constexpr int clients = 40;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    std::vector<QByteArray> answers(clients);
    for (int i = 0; i < clients; ++i) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket* socket = sockets.back().get();
        connect(socket, &QTcpSocket::readyRead, socket,
            [socket, &answers, i] { answers[size_t(i)] += socket->readAll(); });
        socket->connectToHost(QHostAddress::LocalHost, m_sim->port());
        QVERIFY(socket->waitForConnected(5000));
        socket->write(request.left(7 + i));
        socket->flush();
    }
    for (int i = 0; i < clients; ++i) {
        sockets[size_t(i)]->write(request.mid(7 + i));
        if (i == 0)
            sockets[size_t(i)]->write(request);
    }
    auto answered = [](const QByteArray& data) { return int(data.count("Matching Hosts</div>")); };
    QTRY_COMPARE_WITH_TIMEOUT(answered(answers[0]), 2, 20000);
    for (int i = 1; i < clients; ++i)
        QTRY_COMPARE_WITH_TIMEOUT(answered(answers[size_t(i)]), 1, 20000);
    QVERIFY(answers[0].startsWith("HTTP/1.1 200 OK\r\n"));
    QCOMPARE(answers[0].count("HTTP/1.1 200 OK\r\n"), 2);
    QCOMPARE(m_sim->requestCount(), 3 + clients + 1);
}

void TestNagiosSimulator::badInputIsRefused()
{
    QString error;
    QVERIFY(!m_sim->applyCommand(QStringLiteral("host WEB-01 SIDEWAYS"), &error));
    QVERIFY(error.contains(QLatin1String("SIDEWAYS")));
    QVERIFY(!m_sim->applyCommand(QStringLiteral("frobnicate now"), &error));
    QVERIFY(m_sim->applyCommand(QStringLiteral("service \"lab printer|Toner Level\" WARNING toner at 9%")));
    QCOMPARE(m_sim->serviceCount(), 1);
    QVERIFY(m_sim->servicesPage(kServicesQuery).contains(">toner at 9%&nbsp;</td>"));

    // A broken scenario leaves the installation as it was.
    QVERIFY(!m_sim->loadScenario(QStringLiteral(TARVIX_FIXTURES_DIR "/no-such-folder/scenario.tsv")));
    QVERIFY(!m_sim->loadScenario(QStringLiteral(TARVIX_FIXTURES_DIR "/README.md")));
    QCOMPARE(m_sim->hostCount(), 1);

    // A request line that is not HTTP gets 400 and the connection closes.
    QVERIFY(m_sim->start());
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_sim->port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write("\x01\x02\x03\r\n\r\n");
    QSignalSpy closed(&socket, &QTcpSocket::disconnected);
    QVERIFY(closed.wait(5000));
    QVERIFY(socket.readAll().startsWith("HTTP/1.1 400 Bad Request\r\n"));
}

QTEST_GUILESS_MAIN(TestNagiosSimulator)
#include "tst_nagiossimulator.moc"
