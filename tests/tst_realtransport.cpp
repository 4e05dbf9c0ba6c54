#include "monitor/httpclient.h"
#include "monitor/nagioscommand.h"
#include "monitor/transportoptions.h"
#include "realnagiosbed.h"
#include "realserversbed.h"
#include "tools/nagiossimulator.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

Q_DECLARE_METATYPE(TransportOptions)

// Polls and commands through the real squid, Kerberos and HTTPS servers of scripts/real-servers to
// the real Nagios of scripts/real-nagios (and, through squid, to the simulated one): the proxy
// comes from the environment or the setting, a password squid answers 407, a Kerberos ticket logs
// in without a password, a private CA, a client certificate and a pinned key are trusted.
class TestRealTransport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void poll_data();
    void poll();
    void acknowledge_data();
    void acknowledge();

private:
    // The server a row talks to.
    enum class Server { Nagios, Simulator, Kerberos, Tls, TlsClientCertificate, TlsOtherCertificate };
    // The environment's proxy of a row.
    enum class EnvironmentProxy { None, Open, Password };
    // What a row ends with.
    enum class Outcome { Page, ProxyRefused, LoginRefused, CertificateRefused, PinChanged, Failed };

    struct Address
    {
        QString host;
        quint16 port = 0;
        bool https = false;
        QString cgi;
        QString user;
        QString password;
    };

    Address addressOf(Server server) const;
    void setEnvironmentProxy(EnvironmentProxy proxy) const;
    qint64 proxyLogSize() const;
    // What squid logged from this offset of its access.log on.
    QByteArray proxyLogSince(qint64 offset) const;
    // Whether squid logged the request: by its marker, or by the tunnel to an HTTPS server, whose
    // path squid does not see.
    bool proxyLogged(qint64 offset, const Address& address, const QByteArray& marker) const;
    bool kinit(const QString& cache) const;
    // The comments that the real Nagios holds, as "author: text" lines.
    QString nagiosComments() const;

    TransportOptions manualProxy(bool password) const;
    TransportOptions kerberos() const;
    TransportOptions caFile() const;

    RealNagiosBed m_nagios;
    RealServersBed m_servers;
    NagiosSimulator m_simulator;
    QTemporaryDir m_tickets;
    QString m_ticketCache;
    QString m_emptyCache;
};

void TestRealTransport::initTestCase()
{
    REQUIRE_REAL_NAGIOS(m_nagios);
    REQUIRE_REAL_SERVERS(m_servers);
    QVERIFY(m_simulator.start());
    m_simulator.requireBasicAuth(QStringLiteral("sim"), QStringLiteral("sim-password"));
    m_simulator.setService(
        QStringLiteral("web-01"), QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Critical);

    // The test realm, never the machine's; curl's GSS-API reads the credential cache per request.
    qputenv("KRB5_CONFIG", m_servers.env("TARVIX_REAL_KERBEROS_KRB5_CONFIG").toLocal8Bit());
    QVERIFY(m_tickets.isValid());
    m_ticketCache = QStringLiteral("FILE:") + m_tickets.filePath(QStringLiteral("ticket"));
    m_emptyCache = QStringLiteral("FILE:") + m_tickets.filePath(QStringLiteral("none"));
    QVERIFY(kinit(m_ticketCache));

    // Problems to acknowledge, one per row of acknowledge().
    QVERIFY(m_nagios.runScript({"reset"}));
    for (const auto& [host, service] : {std::pair {"web01", "HTTP Check"}, {"web01", "PING"},
             {"db01", "Disk: /var"}, {"db01", "PING"}, {"lab printer", "PING"}})
        QVERIFY(m_nagios.runScript({"set", "service", host, service, "CRITICAL"}));
    QVERIFY(m_nagios.runScript({"set", "host", "db01", "DOWN"}));
}

void TestRealTransport::init()
{
    setEnvironmentProxy(EnvironmentProxy::None);
    qputenv("KRB5CCNAME", m_emptyCache.toLocal8Bit());
}

void TestRealTransport::cleanupTestCase()
{
    qunsetenv("http_proxy");
    qunsetenv("https_proxy");
}

TestRealTransport::Address TestRealTransport::addressOf(Server server) const
{
    const auto tls = [this](const char* port) {
        return Address {m_servers.env("TARVIX_REAL_TLS_HOST"), quint16(m_servers.env(port).toUInt()), true,
            m_servers.env("TARVIX_REAL_TLS_CGI"), m_servers.env("TARVIX_REAL_TLS_USER"),
            m_servers.env("TARVIX_REAL_TLS_PASSWORD")};
    };
    switch (server) {
    case Server::Nagios:
        return {m_nagios.host(), m_nagios.port(), false, m_nagios.env("TARVIX_REAL_NAGIOS_CGI"),
            m_nagios.env("TARVIX_REAL_NAGIOS_USER"), m_nagios.env("TARVIX_REAL_NAGIOS_PASSWORD")};
    case Server::Simulator:
        return {QStringLiteral("127.0.0.1"), m_simulator.port(), false, m_simulator.cgiDirectory(),
            QStringLiteral("sim"), QStringLiteral("sim-password")};
    case Server::Kerberos:
        // No user and password: the ticket is the login.
        return {m_servers.env("TARVIX_REAL_KERBEROS_HOST"),
            quint16(m_servers.env("TARVIX_REAL_KERBEROS_PORT").toUInt()), false,
            m_servers.env("TARVIX_REAL_KERBEROS_CGI"), {}, {}};
    case Server::Tls:
        return tls("TARVIX_REAL_TLS_PORT");
    case Server::TlsClientCertificate:
        return tls("TARVIX_REAL_TLS_CLIENT_CERT_PORT");
    case Server::TlsOtherCertificate:
        return tls("TARVIX_REAL_TLS_OTHER_PORT");
    }
    return {};
}

// curl reads http_proxy for each transfer, so a row sets it just before its request.
void TestRealTransport::setEnvironmentProxy(EnvironmentProxy proxy) const
{
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    if (proxy == EnvironmentProxy::None) {
        qunsetenv("http_proxy");
        qunsetenv("https_proxy");
        return;
    }
    const QByteArray url
        = m_servers
              .env(proxy == EnvironmentProxy::Open ? "TARVIX_REAL_PROXY_URL" : "TARVIX_REAL_PROXY_AUTH_URL")
              .toLocal8Bit();
    qputenv("http_proxy", url);
    qputenv("https_proxy", url);
}

qint64 TestRealTransport::proxyLogSize() const
{
    return QFile(m_servers.env("TARVIX_REAL_PROXY_ACCESS_LOG")).size();
}

QByteArray TestRealTransport::proxyLogSince(qint64 offset) const
{
    QFile log(m_servers.env("TARVIX_REAL_PROXY_ACCESS_LOG"));
    if (!log.open(QIODevice::ReadOnly) || !log.seek(offset))
        return {};
    return log.readAll();
}

bool TestRealTransport::proxyLogged(qint64 offset, const Address& address, const QByteArray& marker) const
{
    const QByteArray logged = proxyLogSince(offset);
    if (address.https)
        return logged.contains(
            " CONNECT " + address.host.toLatin1() + ':' + QByteArray::number(address.port));
    return logged.contains(marker);
}

// MIT kinit reads the password from standard input when that is no terminal.
bool TestRealTransport::kinit(const QString& cache) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KRB5CCNAME"), cache);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("kinit"), {m_servers.env("TARVIX_REAL_KERBEROS_PRINCIPAL")});
    process.write(m_servers.env("TARVIX_REAL_KERBEROS_PASSWORD").toUtf8() + '\n');
    process.closeWriteChannel();
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

QString TestRealTransport::nagiosComments() const
{
    QString lines;
    const QJsonObject comments = m_nagios.statusJson(QStringLiteral("query=commentlist&details=true"))
                                     .value(QLatin1String("commentlist"))
                                     .toObject();
    for (const QJsonValue& comment : comments) {
        lines += comment.toObject().value(QLatin1String("author")).toString() + QLatin1String(": ")
            + comment.toObject().value(QLatin1String("comment_data")).toString() + QLatin1Char('\n');
    }
    return lines;
}

TransportOptions TestRealTransport::manualProxy(bool password) const
{
    TransportOptions options;
    options.proxyMode = TransportOptions::ProxyMode::Manual;
    options.proxyAddress = m_servers.env(password ? "TARVIX_REAL_PROXY_AUTH_URL" : "TARVIX_REAL_PROXY_URL");
    return options;
}

TransportOptions TestRealTransport::kerberos() const
{
    TransportOptions options;
    options.authMethod = TransportOptions::AuthMethod::Kerberos;
    return options;
}

TransportOptions TestRealTransport::caFile() const
{
    TransportOptions options;
    options.caFile = m_servers.env("TARVIX_REAL_TLS_CA_FILE");
    return options;
}

void TestRealTransport::poll_data()
{
    QTest::addColumn<int>("server");
    QTest::addColumn<TransportOptions>("transport");
    QTest::addColumn<int>("environmentProxy");
    QTest::addColumn<bool>("ticket");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("throughProxy");

    const auto row = [](const char* name, Server server, const TransportOptions& transport,
                         EnvironmentProxy environmentProxy, bool ticket, Outcome outcome, bool throughProxy) {
        QTest::newRow(name) << int(server) << transport << int(environmentProxy) << ticket << int(outcome)
                            << throughProxy;
    };
    const TransportOptions system;
    TransportOptions noProxy;
    noProxy.proxyMode = TransportOptions::ProxyMode::None;
    TransportOptions proxyWithPassword = manualProxy(true);
    proxyWithPassword.proxyUser = m_servers.env("TARVIX_REAL_PROXY_USER");
    proxyWithPassword.proxyPassword = m_servers.env("TARVIX_REAL_PROXY_PASSWORD");
    TransportOptions clientCertificate = caFile();
    clientCertificate.clientCertFile = m_servers.env("TARVIX_REAL_TLS_CLIENT_CERT_FILE");
    clientCertificate.clientKeyFile = m_servers.env("TARVIX_REAL_TLS_CLIENT_KEY_FILE");
    TransportOptions pinned;
    pinned.pinnedPublicKey = m_servers.env("TARVIX_REAL_TLS_SERVER_PIN");

    using P = EnvironmentProxy;
    using O = Outcome;
    row("system proxy from http_proxy", Server::Nagios, system, P::Open, false, O::Page, true);
    row("system proxy to the simulator", Server::Simulator, system, P::Open, false, O::Page, true);
    row("no proxy in the environment", Server::Nagios, system, P::None, false, O::Page, false);
    row("manual proxy", Server::Nagios, manualProxy(false), P::None, false, O::Page, true);
    row("manual proxy to the simulator", Server::Simulator, manualProxy(false), P::None, false, O::Page,
        true);
    row("manual proxy over http_proxy", Server::Nagios, manualProxy(false), P::Password, false, O::Page,
        true);
    row("proxy password missing: 407", Server::Nagios, manualProxy(true), P::None, false, O::ProxyRefused,
        true);
    row("system proxy wants a password: 407", Server::Nagios, system, P::Password, false, O::ProxyRefused,
        true);
    row("proxy password given", Server::Nagios, proxyWithPassword, P::None, false, O::Page, true);
    row("no proxy despite http_proxy", Server::Nagios, noProxy, P::Open, false, O::Page, false);
    row("kerberos with a ticket", Server::Kerberos, kerberos(), P::None, true, O::Page, false);
    row("kerberos without a ticket", Server::Kerberos, kerberos(), P::None, false, O::LoginRefused, false);
    row("private CA file", Server::Tls, caFile(), P::None, false, O::Page, false);
    row("private CA unknown", Server::Tls, system, P::None, false, O::CertificateRefused, false);
    row("private CA through the proxy", Server::Tls, caFile(), P::Open, false, O::Page, true);
    row("client certificate given", Server::TlsClientCertificate, clientCertificate, P::None, false, O::Page,
        false);
    row("client certificate missing", Server::TlsClientCertificate, caFile(), P::None, false, O::Failed,
        false);
    row("pinned key without CA", Server::Tls, pinned, P::None, false, O::Page, false);
    row("pinned key changed", Server::TlsOtherCertificate, pinned, P::None, false, O::PinChanged, false);
}

// One status page request as a poll makes it, marked so that squid's log tells whether it passed.
void TestRealTransport::poll()
{
    QFETCH(int, server);
    QFETCH(TransportOptions, transport);
    QFETCH(int, environmentProxy);
    QFETCH(bool, ticket);
    QFETCH(int, outcome);
    QFETCH(bool, throughProxy);

    setEnvironmentProxy(EnvironmentProxy(environmentProxy));
    qputenv("KRB5CCNAME", (ticket ? m_ticketCache : m_emptyCache).toLocal8Bit());
    const QByteArray marker = "tarvix-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    const Address address = addressOf(Server(server));

    const qint64 proxyLogStart = proxyLogSize();

    HttpClient client;
    QSignalSpy finished(&client, &HttpClient::requestFinished);
    QSignalSpy sslErrors(&client, &HttpClient::sslErrors);
    client.setTransport(transport);
    client.setUser(address.user, address.password);
    client.setHost(address.host,
        address.https ? HttpClient::ConnectionModeHttps : HttpClient::ConnectionModeHttp, address.port);
    const int id = client.get(
        address.cgi + QStringLiteral("status.cgi?host=all&marker=") + QString::fromLatin1(marker));
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty() && finished.last().at(0).toInt() == id, 30000);
    const bool failed = finished.last().at(1).toBool();

    switch (Outcome(outcome)) {
    case Outcome::Page:
        QVERIFY2(!failed, qPrintable(client.errorString()));
        QCOMPARE(client.lastStatusCode(), 200);
        QVERIFY(client.readAll().contains("Service Status Details"));
        QCOMPARE(sslErrors.count(), 0);
        break;
    case Outcome::ProxyRefused:
        QVERIFY(failed);
        QCOMPARE(client.error(), HttpClient::ProxyAuthenticationRequiredError);
        break;
    case Outcome::LoginRefused:
        QVERIFY(failed);
        QCOMPARE(client.error(), HttpClient::AuthenticationRequiredError);
        break;
    case Outcome::CertificateRefused:
        QVERIFY(failed);
        QVERIFY(sslErrors.count() > 0);
        QVERIFY(!client.peerCertificate().changed);
        break;
    case Outcome::PinChanged:
        QVERIFY(failed);
        QVERIFY(sslErrors.count() > 0);
        QVERIFY(client.peerCertificate().changed);
        QCOMPARE(client.peerCertificate().publicKeyPin, m_servers.env("TARVIX_REAL_TLS_OTHER_PIN"));
        break;
    case Outcome::Failed:
        QVERIFY(failed);
        QVERIFY(client.lastStatusCode() != 200);
        break;
    }

    // squid logs a request when it ends, which may be after the client has the answer.
    if (throughProxy)
        QTRY_VERIFY_WITH_TIMEOUT(proxyLogged(proxyLogStart, address, marker), 5000);
    else
        QCOMPARE(proxyLogSize(), proxyLogStart);
}

void TestRealTransport::acknowledge_data()
{
    QTest::addColumn<int>("server");
    QTest::addColumn<TransportOptions>("transport");
    QTest::addColumn<int>("environmentProxy");
    QTest::addColumn<bool>("ticket");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("service");
    QTest::addColumn<bool>("submitted");
    QTest::addColumn<bool>("throughProxy");

    const auto row = [](const char* name, Server server, const TransportOptions& transport,
                         EnvironmentProxy environmentProxy, bool ticket, const char* host,
                         const char* service, bool submitted, bool throughProxy) {
        QTest::newRow(name) << int(server) << transport << int(environmentProxy) << ticket
                            << QString::fromUtf8(host) << QString::fromUtf8(service) << submitted
                            << throughProxy;
    };
    TransportOptions proxyWithPassword = manualProxy(true);
    proxyWithPassword.proxyUser = m_servers.env("TARVIX_REAL_PROXY_USER");
    proxyWithPassword.proxyPassword = m_servers.env("TARVIX_REAL_PROXY_PASSWORD");
    TransportOptions clientCertificate = caFile();
    clientCertificate.clientCertFile = m_servers.env("TARVIX_REAL_TLS_CLIENT_CERT_FILE");
    clientCertificate.clientKeyFile = m_servers.env("TARVIX_REAL_TLS_CLIENT_KEY_FILE");

    using P = EnvironmentProxy;
    row("system proxy from http_proxy", Server::Nagios, {}, P::Open, false, "web01", "HTTP Check", true,
        true);
    row("manual proxy with password", Server::Nagios, proxyWithPassword, P::None, false, "web01", "PING",
        true, true);
    row("simulator through the manual proxy", Server::Simulator, manualProxy(false), P::None, false, "web-01",
        "HTTP", true, true);
    row("kerberos with a ticket", Server::Kerberos, kerberos(), P::None, true, "db01", "Disk: /var", true,
        false);
    row("kerberos without a ticket", Server::Kerberos, kerberos(), P::None, false, "db01", "", false, false);
    row("private CA file", Server::Tls, caFile(), P::None, false, "db01", "PING", true, false);
    row("client certificate", Server::TlsClientCertificate, clientCertificate, P::None, false, "lab printer",
        "PING", true, false);
}

// The whole command (form, cookie, POST) on the polls' transport; Nagios shows the acknowledgement.
void TestRealTransport::acknowledge()
{
    QFETCH(int, server);
    QFETCH(TransportOptions, transport);
    QFETCH(int, environmentProxy);
    QFETCH(bool, ticket);
    QFETCH(QString, host);
    QFETCH(QString, service);
    QFETCH(bool, submitted);
    QFETCH(bool, throughProxy);

    setEnvironmentProxy(EnvironmentProxy(environmentProxy));
    qputenv("KRB5CCNAME", (ticket ? m_ticketCache : m_emptyCache).toLocal8Bit());
    const Address address = addressOf(Server(server));
    const qint64 proxyLogStart = proxyLogSize();

    NagiosCommand::Server target;
    target.host = address.host;
    target.port = address.port;
    target.useHttps = address.https;
    target.cgiDirectory = address.cgi;
    target.user = address.user;
    target.password = address.password;
    target.transport = transport;
    NagiosCommand::Acknowledgement ack;
    ack.author = QStringLiteral("Ann Smith");
    ack.comment = QStringLiteral("%1 (%2)").arg(
        QString::fromUtf8(QTest::currentDataTag()), QString::number(QDateTime::currentMSecsSinceEpoch()));

    HttpClient client;
    NagiosCommand command(&client, target);
    QSignalSpy finished(&command, &NagiosCommand::finished);
    command.acknowledge(host, service, ack);
    QVERIFY(finished.wait(30000));
    const auto result = finished.first().first().value<NagiosCommand::Result>();

    if (!submitted) {
        QCOMPARE(result.outcome, NagiosCommand::Outcome::Failed);
        QCOMPARE(result.statusCode, 401);
        QVERIFY(!m_nagios.field(host, service, "problem_has_been_acknowledged").toBool());
    } else if (Server(server) == Server::Simulator) {
        QCOMPARE(result.outcome, NagiosCommand::Outcome::Submitted);
        QVERIFY(!m_simulator.takenCommands().isEmpty());
        QCOMPARE(m_simulator.takenCommands().last().comment, ack.comment);
    } else {
        QVERIFY2(result.outcome == NagiosCommand::Outcome::Submitted, qPrintable(result.reason));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_nagios.field(host, service, "problem_has_been_acknowledged").toBool(), 30000);
        QVERIFY(nagiosComments().contains(ack.author + QLatin1String(": ") + ack.comment));
    }

    // squid sees the form's GET and the POST, or the tunnel to an HTTPS server.
    if (throughProxy)
        QTRY_VERIFY_WITH_TIMEOUT(proxyLogSince(proxyLogStart).contains("POST http://"), 5000);
    else
        QCOMPARE(proxyLogSize(), proxyLogStart);
}

QTEST_GUILESS_MAIN(TestRealTransport)
#include "tst_realtransport.moc"
