#include "monitor/httpclient.h"
#include "tools/nagiossimulator.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTest>
#include <QTimeZone>

#include <memory>

namespace {

const QString servicesQuery = QStringLiteral("host=all&servicestatustypes=28&limit=0");
const QDateTime pageTime(QDate(2024, 5, 17), QTime(10, 30), QTimeZone::utc());
const QString servicesPath = QStringLiteral("/nagios/cgi-bin/status.cgi?") + servicesQuery;

struct Finished
{
    bool errorFlag = false;
    HttpClient::Error error = HttpClient::NoError;
    QString errorString;
    int statusCode = 0;
    QByteArray body;
};

// Records every requestFinished with the results read inside the handler.
class Recorder : public QObject
{
public:
    explicit Recorder(HttpClient* client) : m_client(client)
    {
        connect(client, &HttpClient::requestFinished, this, [this](int id, bool error) {
            m_ids.append(id);
            m_byId.insert(id,
                {error, m_client->error(), m_client->errorString(), m_client->lastStatusCode(),
                    m_client->readAll()});
        });
    }
    int setHost(quint16 port, HttpClient::ConnectionMode mode = HttpClient::ConnectionModeHttp)
    {
        return m_client->setHost(QStringLiteral("127.0.0.1"), mode, port);
    }
    bool waitFor(int id, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return count(id) > 0; }, timeoutMs);
    }
    int count(int id) const { return int(m_ids.count(id)); }
    Finished result(int id) const { return m_byId.value(id); }
    QList<int> ids() const { return m_ids; }

private:
    HttpClient* m_client;
    QList<int> m_ids;
    QHash<int, Finished> m_byId;
};

} // namespace

// The client's contract with the poll cycle, and its bounds against broken or hostile servers.
class TestHttpClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void answers_data();
    void answers();
    void hostileServers_data();
    void hostileServers();
    void proxies_data();
    void proxies();
    void twoPollsShareOneTlsConnection();
    void certificates_data();
    void certificates();
    void pendingRequestsStayBounded();
    void abortAndCloseFinishEveryRequestOnce_data();
    void abortAndCloseFinishEveryRequestOnce();

private:
    std::unique_ptr<NagiosSimulator> m_sim;
    std::unique_ptr<HttpClient> m_client;
    std::unique_ptr<Recorder> m_rec;
};

void TestHttpClient::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
    m_sim = std::make_unique<NagiosSimulator>();
    m_sim->setService(
        QStringLiteral("web-01"), QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Critical);
    m_sim->setPageTime(pageTime); // pages served and pages built here must agree byte for byte
    QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
    m_client = std::make_unique<HttpClient>();
    m_rec = std::make_unique<Recorder>(m_client.get());
}

void TestHttpClient::cleanup()
{
    m_rec.reset();
    m_client.reset();
    m_sim.reset();
}

void TestHttpClient::answers_data()
{
    QTest::addColumn<int>("fixedStatus");
    QTest::addColumn<bool>("digest");
    QTest::addColumn<QString>("password"); // empty: none sent; the server wants "s3cret" when set
    QTest::addColumn<int>("method"); // TransportOptions::AuthMethod
    QTest::addColumn<QByteArray>("firstScheme"); // of the first request's Authorization
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    using M = TransportOptions::AuthMethod;
    const int basic = int(M::Basic);
    const int authError = int(HttpClient::AuthenticationRequiredError);
    const QString right = QStringLiteral("s3cret");
    const QString wrong = QStringLiteral("wrong");
    auto row = [](const char* name) { return &QTest::newRow(name); };
    *row("404 is not an error") << 404 << false << QString() << basic << QByteArray() << 0 << 404;
    *row("401 without credentials") << 0 << false << QString() << basic << QByteArray() << authError << 401;
    *row("401 with a wrong password")
        << 0 << false << wrong << basic << QByteArray("Basic") << authError << 401;
    *row("right password") << 0 << false << right << basic << QByteArray("Basic") << 0 << 200;
    *row("Digest: 401 with a wrong password")
        << 0 << true << wrong << basic << QByteArray("Basic") << authError << 401;
    *row("Digest: right password, the challenge reused")
        << 0 << true << right << basic << QByteArray("Basic") << 0 << 200;
    *row("Digest chosen: no Basic first, the challenge reused")
        << 0 << true << right << int(M::Digest) << QByteArray() << 0 << 200;
    *row("NTLM chosen: its handshake instead of Basic")
        << 0 << false << right << int(M::Ntlm) << QByteArray("NTLM") << authError << 401;
    *row("Kerberos chosen: the password is never sent")
        << 0 << false << right << int(M::Kerberos) << QByteArray() << authError << 401;
}

void TestHttpClient::answers()
{
    QFETCH(int, fixedStatus);
    QFETCH(bool, digest);
    QFETCH(QString, password);
    QFETCH(int, method);
    QFETCH(QByteArray, firstScheme);
    QFETCH(int, error);
    QFETCH(int, status);
    m_sim->setFixedStatus(fixedStatus);
    if (fixedStatus == 0 && digest)
        m_sim->requireDigestAuth(QStringLiteral("tarvix"), QStringLiteral("s3cret"));
    else if (fixedStatus == 0)
        m_sim->requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("s3cret"));
    TransportOptions transport;
    transport.authMethod = TransportOptions::AuthMethod(method);
    m_client->setTransport(transport);
    m_client->setUser(password.isEmpty() ? QString() : QStringLiteral("tarvix"), password);
    // Digest leaves the page without a user name: the page is known, and fits the cap exactly.
    const QByteArray page = m_sim->servicesPage(servicesQuery);
    if (digest)
        m_client->setMaxBodySize(page.size());
    m_rec->setHost(m_sim->port());
    const int id = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QCOMPARE(int(f.error), error);
    QCOMPARE(f.errorFlag, error != HttpClient::NoError);
    if (!f.errorFlag)
        QCOMPARE(f.statusCode, status);
    if (status == 200 && digest)
        QCOMPARE(f.body, page);
    QVERIFY(m_sim->requestCount() <= 2); // wrong credentials must not loop
    QCOMPARE(m_sim->requests().first().authorization.split(' ').first(), firstScheme);
    // The password goes in the clear only when Basic is the user's choice.
    for (const RecordedRequest& request : m_sim->requests())
        QVERIFY(!request.authorization.startsWith("Basic") || firstScheme == "Basic");
    if (status == 200 && !digest)
        QCOMPARE(m_sim->requests().last().authorization, "Basic " + QByteArray("tarvix:s3cret").toBase64());
    if (status == 200 && digest) {
        // The next request answers the known challenge at once.
        const int next = m_client->get(servicesPath);
        QVERIFY(m_rec->waitFor(next));
        QCOMPARE(m_rec->result(next).statusCode, 200);
        QCOMPARE(m_sim->requestCount(), 3);
    }
}

void TestHttpClient::hostileServers_data()
{
    QTest::addColumn<QString>("on"); // simulator commands
    QTest::addColumn<QString>("off");
    QTest::addColumn<bool>("https");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("reason"); // part of errorString()

    using F = HttpClient::Failure;
    const int timedOut = int(F::TimedOut);
    const int closed = int(HttpClient::UnexpectedClose);
    auto row = [](const char* name) { return &QTest::newRow(name); };
    *row("connection refused") << QString() << QString() << false << int(HttpClient::ConnectionRefused)
                               << int(F::Other) << QStringLiteral("refused");
    *row("TCP connect hangs: connect limit")
        << QStringLiteral("neveraccept on") << QStringLiteral("neveraccept off") << false << closed
        << timedOut << QStringLiteral("no connection");
    *row("TLS handshake stalls: connect limit")
        << QStringLiteral("tlsstall on") << QStringLiteral("tlsstall off") << true << closed << timedOut
        << QStringLiteral("no connection");
    *row("never answers: silence limit")
        << QStringLiteral("neveranswer on") << QStringLiteral("neveranswer off") << false << closed
        << timedOut << QStringLiteral("sent nothing");
    *row("a byte at a time: total limit") << QStringLiteral("trickle 20") << QStringLiteral("trickle 0")
                                          << false << closed << timedOut << QStringLiteral("did not arrive");
    *row("gzip bomb: cap on unpacked bytes")
        << QStringLiteral("gzipbomb 1G") << QStringLiteral("gzipbomb 0") << false
        << int(HttpClient::WrongContentLength) << int(F::TooLarge) << QStringLiteral("more than 4 MiB");
    *row("endless chunked body: cap")
        << QStringLiteral("endless on") << QStringLiteral("endless off") << false
        << int(HttpClient::WrongContentLength) << int(F::TooLarge) << QStringLiteral("more than 4 MiB");
    *row("100,000 header lines: header limit")
        << QStringLiteral("headers 100000") << QStringLiteral("headers 0") << false
        << int(HttpClient::InvalidResponseHeader) << int(F::TooLarge) << QStringLiteral("header exceeds");
    *row("body shorter than its Content-Length")
        << QStringLiteral("closemidbody on") << QStringLiteral("closemidbody off") << false << closed
        << int(F::CutShort) << QStringLiteral("before the whole answer");
}

// Each ends as a network error (never Aborted) within its limit; the client lets go of the
// connection at once and works again when the server does.
void TestHttpClient::hostileServers()
{
    QFETCH(QString, on);
    QFETCH(QString, off);
    QFETCH(bool, https);
    QFETCH(int, error);
    QFETCH(int, failure);
    QFETCH(QString, reason);
    NagiosSimulator secure;
    NagiosSimulator& sim = https ? secure : *m_sim;
    if (https)
        QVERIFY2(secure.start(true), qPrintable(secure.errorString()));
    quint16 port = sim.port();
    QTcpServer closed;
    if (on.isEmpty()) {
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort();
        closed.close();
    }
    QString problem;
    QVERIFY2(on.isEmpty() || sim.applyCommand(on, &problem), qPrintable(problem));
    const qint64 cap = 4 * 1024 * 1024;
    m_client->setVerifyPeer(false);
    m_client->setConnectTimeout(300);
    m_client->setSilenceTimeout(300);
    m_client->setTotalTimeout(1500);
    m_client->setMaxBodySize(cap);
    const auto mode = https ? HttpClient::ConnectionModeHttps : HttpClient::ConnectionModeHttp;
    const int hostId = m_rec->setHost(port, mode);
    const int id = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(hostId));
    if (reason == QLatin1String("no connection"))
        QCOMPARE(m_client->state(), HttpClient::Connecting); // what the poll cycle's own rule reads
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QVERIFY(f.errorFlag);
    QCOMPARE(int(f.error), error);
    QCOMPARE(int(m_client->failure()), failure);
    QVERIFY2(f.errorString.contains(reason), qPrintable(f.errorString));
    QVERIFY2(
        m_client->lastDurationMs() < 1500 + 1000, qPrintable(QString::number(m_client->lastDurationMs())));
    // It stopped reading: the connection is gone before much more than the cap was sent.
    QTRY_COMPARE(sim.openConnectionCount(), 0);
    QVERIFY2(sim.bytesSent() < 8 * cap, qPrintable(QString::number(sim.bytesSent())));

    QVERIFY(off.isEmpty() || sim.applyCommand(off));
    m_rec->setHost(sim.port(), mode);
    const int next = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(next));
    QVERIFY2(!m_rec->result(next).errorFlag, qPrintable(m_rec->result(next).errorString));
    QCOMPARE(m_rec->result(next).statusCode, 200);
}

void TestHttpClient::proxies_data()
{
    QTest::addColumn<int>("mode"); // TransportOptions::ProxyMode
    QTest::addColumn<QString>("proxy"); // "closed", "simulator", "407": a closed port or a simulator
    QTest::addColumn<bool>("https");
    QTest::addColumn<int>("error");
    using P = TransportOptions::ProxyMode;
    const int refused = int(HttpClient::ConnectionRefused);
    const int proxyAuth = int(HttpClient::ProxyAuthenticationRequiredError);
    QTest::newRow("system: the environment's proxy") << int(P::System) << "closed" << false << refused;
    QTest::newRow("no proxy: the environment's is passed by") << int(P::None) << "closed" << false << 0;
    QTest::newRow("manual: the request goes through it") << int(P::Manual) << "simulator" << false << 0;
    QTest::newRow("407 from the proxy") << int(P::Manual) << "407" << false << proxyAuth;
    QTest::newRow("407 to the HTTPS tunnel") << int(P::Manual) << "407" << true << proxyAuth;
}

// The environment names a proxy at a closed port, as curl reads it; a manual proxy is a closed
// port or a second simulator, which serves the request itself.
void TestHttpClient::proxies()
{
    QFETCH(int, mode);
    QFETCH(QString, proxy);
    QFETCH(bool, https);
    QFETCH(int, error);
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString closedAddress = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    NagiosSimulator proxySim;
    proxySim.setFixedStatus(proxy == QLatin1String("407") ? 407 : 0);
    QVERIFY(proxySim.start());
    const QByteArray environment[] = {"http_proxy", "https_proxy", "no_proxy", "NO_PROXY", "all_proxy"};
    for (const QByteArray& name : environment)
        qunsetenv(name.constData());
    const auto restore = qScopeGuard([] { qunsetenv("http_proxy"); });
    qputenv("http_proxy", "http://" + closedAddress.toLatin1());

    TransportOptions transport;
    transport.proxyMode = TransportOptions::ProxyMode(mode);
    transport.proxyAddress = proxy == QLatin1String("closed")
        ? closedAddress
        : QStringLiteral("127.0.0.1:%1").arg(proxySim.port());
    transport.verifyPeer = false;
    m_client->setTransport(transport);
    m_rec->setHost(m_sim->port(), https ? HttpClient::ConnectionModeHttps : HttpClient::ConnectionModeHttp);
    const int id = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QCOMPARE(int(f.error), error);
    QVERIFY2(error != 0 || f.statusCode == 200, qPrintable(f.errorString));
    const bool throughProxy = proxy != QLatin1String("closed");
    QCOMPARE(proxySim.requestCount(), throughProxy ? 1 : 0);
    QCOMPARE(m_sim->requestCount(), !throughProxy && error == 0 ? 1 : 0);
}

// Both page requests of a poll and the next poll's find the connection open.
void TestHttpClient::twoPollsShareOneTlsConnection()
{
    NagiosSimulator secure;
    QVERIFY2(secure.start(true), qPrintable(secure.errorString()));
    m_client->setVerifyPeer(false);
    QList<int> pages;
    for (int poll = 0; poll < 2; ++poll) {
        m_client->setUser({}, {});
        m_rec->setHost(secure.port(), HttpClient::ConnectionModeHttps);
        pages << m_client->get(servicesPath) << m_client->get(servicesPath);
        QVERIFY(m_rec->waitFor(pages.last()));
    }
    for (int id : std::as_const(pages))
        QCOMPARE(m_rec->result(id).statusCode, 200);
    QCOMPARE(secure.requestCount(), 4);
    QCOMPARE(secure.connectionCount(), 1);
}

void TestHttpClient::certificates_data()
{
    QTest::addColumn<QString>("trust"); // "verify", "pin", "other pin", "ca file"
    QTest::addColumn<bool>("sslErrors");
    QTest::addColumn<bool>("changed");
    QTest::newRow("verified: the self-signed certificate fails with its errors") << "verify" << true << false;
    QTest::newRow("its key pinned: trusted without verification") << "pin" << false << false;
    QTest::newRow("another key pinned: the certificate changed") << "other pin" << true << true;
    QTest::newRow("its CA file: verified") << "ca file" << false << false;
}

void TestHttpClient::certificates()
{
    QFETCH(QString, trust);
    QFETCH(bool, sslErrors);
    QFETCH(bool, changed);
    NagiosSimulator secure;
    QVERIFY2(secure.start(true), qPrintable(secure.errorString()));
    const QSslCertificate certificate = secure.certificate();
    TransportOptions transport;
    if (trust == QLatin1String("pin"))
        transport.pinnedPublicKey = publicKeyPin(certificate);
    else if (trust == QLatin1String("other pin"))
        transport.pinnedPublicKey
            = QLatin1String("sha256//") + QString::fromLatin1(QByteArray(32, '\0').toBase64());
    QTemporaryFile caFile;
    if (trust == QLatin1String("ca file")) {
        QVERIFY(caFile.open());
        caFile.write(certificate.toPem());
        caFile.flush();
        transport.caFile = caFile.fileName();
    }
    m_client->setTransport(transport);
    QSignalSpy errors(m_client.get(), &HttpClient::sslErrors);
    m_rec->setHost(secure.port(), HttpClient::ConnectionModeHttps);
    const int id = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QCOMPARE(f.errorFlag, sslErrors);
    QCOMPARE(errors.size(), sslErrors ? 1 : 0);
    if (!sslErrors) {
        QCOMPARE(f.statusCode, 200);
        return;
    }
    QCOMPARE(int(f.error), int(HttpClient::UnexpectedClose));
    const PeerCertificate peer = m_client->peerCertificate();
    QCOMPARE(peer.certificate, certificate);
    QCOMPARE(peer.publicKeyPin, publicKeyPin(certificate));
    QCOMPARE(peer.changed, changed);
    QVERIFY(!errors.first().first().value<QList<QSslError>>().isEmpty()); // self-signed
}

void TestHttpClient::pendingRequestsStayBounded()
{
    m_sim->setNeverAnswer(true);
    m_client->setMaxPendingRequests(4);
    m_rec->setHost(m_sim->port());
    const int first = m_client->get(servicesPath);
    QTRY_COMPARE(m_client->state(), HttpClient::Reading);
    QList<int> later;
    for (int i = 0; i < 20; ++i) {
        m_client->setUser({}, {}); // settings changes do not pile up either
        later.append(m_client->get(servicesPath));
    }
    QCOMPARE(m_rec->ids().size(), 1); // only the setHost: drops are not reported from inside get()
    // The oldest waiting pages are dropped in order; the one in flight and the newest four stay.
    QVERIFY(m_rec->waitFor(later.at(15)));
    QList<int> dropped = m_rec->ids();
    dropped.removeIf([&](int id) { return !later.contains(id); });
    QCOMPARE(dropped, later.mid(0, 16));
    QCOMPARE(m_rec->result(later.first()).error, HttpClient::Aborted);
    QCOMPARE(m_rec->count(first), 0);
    QVERIFY(m_client->pendingRequestCount() <= 1 + 4 * 5);
    QCOMPARE(m_sim->requestCount(), 1);
}

void TestHttpClient::abortAndCloseFinishEveryRequestOnce_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("abort") << false;
    QTest::newRow("close") << true;
}

void TestHttpClient::abortAndCloseFinishEveryRequestOnce()
{
    QFETCH(bool, close);
    m_sim->setNeverAnswer(true);
    QList<int> ids;
    ids << m_client->setUser({}, {}) << m_rec->setHost(m_sim->port()) << m_client->get(servicesPath);
    QTRY_COMPARE(m_client->state(), HttpClient::Reading);
    ids << m_client->setUser({}, {}) << m_client->get(servicesPath);
    if (close)
        m_client->close();
    else
        m_client->abort();
    QVERIFY(m_rec->waitFor(ids.last()));
    QCOMPARE(m_rec->ids(), ids);
    for (int id : ids.mid(2))
        QCOMPARE(m_rec->result(id).error, HttpClient::Aborted);
    // Nothing more arrives for them, and the client works on.
    m_sim->setNeverAnswer(false);
    const int next = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(next));
    QCOMPARE(m_rec->result(next).statusCode, 200);
    QCOMPARE(m_rec->ids(), ids + QList<int> {next});
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
