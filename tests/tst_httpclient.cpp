#include "monitor/httpclient.h"
#include "tools/nagiossimulator.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

const QString servicesPath
    = QStringLiteral("/nagios/cgi-bin/status.cgi?host=all&servicestatustypes=28&limit=0");
const QString hostsPath
    = QStringLiteral("/nagios/cgi-bin/status.cgi?hostgroup=all&style=hostdetail&hoststatustypes=12");

// What the client said about one request, read inside the requestFinished handler.
struct Finished
{
    int id = 0;
    bool errorFlag = false;
    HttpClient::Error error = HttpClient::NoError;
    QString errorString;
    int statusCode = 0;
    QByteArray body;
};

// Records every requestFinished with the results that belong to it, and checks that no
// notification comes from inside a queuing call.
class Recorder : public QObject
{
public:
    explicit Recorder(HttpClient* client) : m_client(client)
    {
        connect(client, &HttpClient::requestFinished, this, [this](int id, bool error) {
            if (m_insideCall)
                m_synchronous = true;
            Finished f;
            f.id = id;
            f.errorFlag = error;
            f.error = m_client->error();
            f.errorString = m_client->errorString();
            f.statusCode = m_client->lastStatusCode();
            f.body = m_client->readAll();
            m_finished.append(f);
            if (m_onFinished)
                m_onFinished(f);
        });
    }

    int setUser(const QString& user, const QString& password)
    {
        return call([&] { return m_client->setUser(user, password); });
    }
    int setHost(quint16 port, HttpClient::ConnectionMode mode = HttpClient::ConnectionModeHttp)
    {
        return call([&] { return m_client->setHost(QStringLiteral("127.0.0.1"), mode, port); });
    }
    int get(const QString& path = servicesPath)
    {
        return call([&] { return m_client->get(path); });
    }

    bool waitFor(int id, int timeoutMs = 10000)
    {
        return QTest::qWaitFor([&] { return count(id) > 0; }, timeoutMs);
    }
    int count(int id) const
    {
        return int(std::count_if(
            m_finished.begin(), m_finished.end(), [id](const Finished& f) { return f.id == id; }));
    }
    Finished result(int id) const
    {
        for (const Finished& f : m_finished) {
            if (f.id == id)
                return f;
        }
        return {};
    }
    QList<int> ids() const
    {
        QList<int> list;
        for (const Finished& f : m_finished)
            list.append(f.id);
        return list;
    }
    bool sawSynchronous() const { return m_synchronous; }
    void onFinished(std::function<void(const Finished&)> handler) { m_onFinished = std::move(handler); }

private:
    template <typename F> int call(F queue)
    {
        m_insideCall = true;
        const int id = queue();
        m_insideCall = false;
        return id;
    }

    HttpClient* m_client;
    QList<Finished> m_finished;
    bool m_insideCall = false;
    bool m_synchronous = false;
    std::function<void(const Finished&)> m_onFinished;
};

// A server for the answers the simulator does not give: it reads each request head and hands it
// with the socket to a handler that writes whatever the case needs.
class ScriptedServer : public QTcpServer
{
public:
    using Handler = std::function<void(QTcpSocket*, const QByteArray& head)>;

    explicit ScriptedServer(Handler handler) : m_handler(std::move(handler))
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    QByteArray& buffer = m_buffers[socket];
                    buffer += socket->readAll();
                    qsizetype end;
                    while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
                        const QByteArray head = buffer.left(end);
                        buffer.remove(0, end + 4);
                        m_heads.append(head);
                        m_handler(socket, head);
                    }
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    int requestCount() const { return int(m_heads.size()); }
    QList<QByteArray> heads() const { return m_heads; }

    static QByteArray header(const QByteArray& head, const QByteArray& name)
    {
        const QList<QByteArray> lines = head.split('\n');
        for (const QByteArray& line : lines) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == name)
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }

private:
    Handler m_handler;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<QByteArray> m_heads;
};

QByteArray md5Hex(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

// The value of one key of a Digest Authorization header.
QByteArray digestField(const QByteArray& authorization, const QByteArray& key)
{
    const QRegularExpression rx(QStringLiteral("(?:^|[ ,])%1=(\"([^\"]*)\"|[^, ]*)").arg(QLatin1String(key)));
    const QRegularExpressionMatch match = rx.match(QString::fromLatin1(authorization));
    if (!match.hasMatch())
        return {};
    QString value = match.captured(1);
    if (value.startsWith(QLatin1Char('"')))
        value = match.captured(2);
    return value.toLatin1();
}

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void idsIncreaseAndFinishInQueueOrder();
    void pageRequestsRunOneAtATime();
    void hostAndCredentialsAreTakenWhenQueued();
    void statusAnswersAreNotErrors_data();
    void statusAnswersAreNotErrors();
    void pathArrivesAsGiven_data();
    void pathArrivesAsGiven();
    void basicAuthentication_data();
    void basicAuthentication();
    void changedPasswordTakesEffectAtNextGet();
    void digestAuthentication_data();
    void digestAuthentication();
    void connectionRefused();
    void connectingWhileServerNeverAccepts();
    void silenceEndsAsNetworkError();
    void steadyTrickleIsNotSilence();
    void closeMidBodyIsNetworkError();
    void compressedLargePageArrivesWhole();
    void oversizedBodyIsRefused_data();
    void oversizedBodyIsRefused();
    void pendingRequestsStayBounded();
    void abortAndCloseFinishEveryRequestOnce_data();
    void abortAndCloseFinishEveryRequestOnce();
    void httpsWithoutVerification();
    void httpsCertificateErrorsBeforeFailure();
    void closeFromCertificateQuestion();
    void clientMayBeDeletedByItsReceiver();

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
    m_sim->setHost(QStringLiteral("db-01"), NagiosSimulator::HostState::Down);
    // Pages served and pages built here must agree byte for byte.
    m_sim->setPageTime(QDateTime(QDate(2024, 5, 17), QTime(10, 30), Qt::UTC));
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

void TestHttpClient::idsIncreaseAndFinishInQueueOrder()
{
    QList<int> ids;
    ids << m_rec->setUser(QString(), QString()) << m_rec->setHost(m_sim->port()) << m_rec->get(hostsPath)
        << m_rec->get(servicesPath) << m_rec->setUser(QString(), QString());
    QVERIFY(ids.first() > 0);
    for (int i = 1; i < ids.size(); ++i)
        QVERIFY(ids.at(i) > ids.at(i - 1));

    // A request queued from inside a notification is not reported from inside that call either.
    int lateId = 0;
    m_rec->onFinished([&](const Finished& f) {
        if (f.id == ids.at(2))
            lateId = m_rec->get(hostsPath);
    });
    QVERIFY(m_rec->ids().isEmpty());
    QVERIFY(m_rec->waitFor(ids.last()));
    QVERIFY(lateId > ids.last());
    QVERIFY(m_rec->waitFor(lateId));
    QCOMPARE(m_rec->ids(), ids + QList<int> {lateId});
    QVERIFY(!m_rec->sawSynchronous());
    QCOMPARE(m_client->pendingRequestCount(), 0);
    QCOMPARE(m_client->state(), HttpClient::Unconnected);
}

void TestHttpClient::pageRequestsRunOneAtATime()
{
    m_sim->setResponseDelay(150);
    m_rec->setHost(m_sim->port());
    QList<int> pages;
    QList<int> seenByServer;
    m_rec->onFinished([&](const Finished& f) {
        if (pages.contains(f.id))
            seenByServer.append(m_sim->requestCount());
    });
    pages << m_rec->get() << m_rec->get() << m_rec->get();
    QVERIFY(m_rec->waitFor(pages.last()));
    // Each page goes out only after the one before it was answered.
    QCOMPARE(seenByServer, (QList<int> {1, 2, 3}));
    const QList<RecordedRequest> requests = m_sim->requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests.at(2).connectionId, requests.at(0).connectionId);
}

void TestHttpClient::hostAndCredentialsAreTakenWhenQueued()
{
    NagiosSimulator other;
    QVERIFY(other.start());
    m_rec->setUser(QStringLiteral("first"), QStringLiteral("one"));
    m_rec->setHost(m_sim->port());
    const int toFirst = m_rec->get();
    m_rec->setUser(QStringLiteral("second"), QStringLiteral("two"));
    m_rec->setHost(other.port());
    const int toSecond = m_rec->get();
    QVERIFY(m_rec->waitFor(toSecond));
    QCOMPARE(m_rec->result(toFirst).statusCode, 200);
    QCOMPARE(m_rec->result(toSecond).statusCode, 200);
    QCOMPARE(m_sim->requestCount(), 1);
    QCOMPARE(other.requestCount(), 1);
    QCOMPARE(m_sim->requests().at(0).authorization, "Basic " + QByteArray("first:one").toBase64());
    QCOMPARE(other.requests().at(0).authorization, "Basic " + QByteArray("second:two").toBase64());
}

void TestHttpClient::statusAnswersAreNotErrors_data()
{
    QTest::addColumn<int>("fixedStatus");
    QTest::addColumn<int>("expectedStatus");

    QTest::newRow("200 status page") << 0 << 200;
    QTest::newRow("404 not found") << 404 << 404;
    QTest::newRow("500 server error") << 500 << 500;
    QTest::newRow("503 unavailable") << 503 << 503;
    QTest::newRow("302 redirect is not followed") << 302 << 302;
    QTest::newRow("403 forbidden") << 403 << 403;
}

void TestHttpClient::statusAnswersAreNotErrors()
{
    QFETCH(int, fixedStatus);
    QFETCH(int, expectedStatus);
    m_sim->setFixedStatus(fixedStatus);
    m_rec->setHost(m_sim->port());
    const int id = m_rec->get(hostsPath);
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QVERIFY2(!f.errorFlag, qPrintable(f.errorString));
    QCOMPARE(f.error, HttpClient::NoError);
    QCOMPARE(f.statusCode, expectedStatus);
    QVERIFY(!f.body.isEmpty());
    if (expectedStatus == 200)
        QCOMPARE(
            f.body, m_sim->hostsPage(QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12")));
    QCOMPARE(m_sim->requestCount(), 1);
}

void TestHttpClient::pathArrivesAsGiven_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expectedPath");
    QTest::addColumn<QString>("expectedQuery");

    QTest::newRow("services request") << servicesPath << QStringLiteral("/nagios/cgi-bin/status.cgi")
                                      << QStringLiteral("host=all&servicestatustypes=28&limit=0");
    QTest::newRow("encoded link stays encoded")
        << QStringLiteral("/nagios/cgi-bin/extinfo.cgi?type=2&host=lab+printer&service=HTTP%20Check%2B")
        << QStringLiteral("/nagios/cgi-bin/extinfo.cgi")
        << QStringLiteral("type=2&host=lab+printer&service=HTTP%20Check%2B");
    QTest::newRow("no query") << QStringLiteral("/nagios/cgi-bin/status.cgi")
                              << QStringLiteral("/nagios/cgi-bin/status.cgi") << QString();
}

void TestHttpClient::pathArrivesAsGiven()
{
    QFETCH(QString, path);
    QFETCH(QString, expectedPath);
    QFETCH(QString, expectedQuery);
    m_rec->setHost(m_sim->port());
    QVERIFY(m_rec->waitFor(m_rec->get(path)));
    QCOMPARE(m_sim->requestCount(), 1);
    const RecordedRequest request = m_sim->requests().at(0);
    QCOMPARE(request.method, QStringLiteral("GET"));
    QCOMPARE(request.path, expectedPath);
    QCOMPARE(request.query, expectedQuery);
}

void TestHttpClient::basicAuthentication_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("no credentials") << QString() << QString() << false;
    QTest::newRow("wrong password") << QStringLiteral("tarvix") << QStringLiteral("wrong") << false;
    QTest::newRow("unknown user") << QStringLiteral("nobody") << QStringLiteral("s3cret") << false;
    QTest::newRow("right credentials") << QStringLiteral("tarvix") << QStringLiteral("s3cret") << true;
}

void TestHttpClient::basicAuthentication()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    m_sim->requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("s3cret"));
    m_rec->setUser(user, password);
    m_rec->setHost(m_sim->port());
    const int id = m_rec->get();
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    if (accepted) {
        QVERIFY2(!f.errorFlag, qPrintable(f.errorString));
        QCOMPARE(f.statusCode, 200);
        QCOMPARE(m_sim->requestCount(), 1);
        QCOMPARE(m_sim->requests().at(0).authorization, "Basic " + QByteArray("tarvix:s3cret").toBase64());
    } else {
        QVERIFY(f.errorFlag);
        QCOMPARE(f.error, HttpClient::AuthenticationRequiredError);
        QVERIFY(!f.errorString.isEmpty());
        // One retry at most: wrong credentials must not loop.
        QVERIFY(m_sim->requestCount() >= 1);
        QVERIFY(m_sim->requestCount() <= 2);
        if (user.isEmpty())
            QVERIFY(m_sim->requests().at(0).authorization.isEmpty());
    }
}

void TestHttpClient::changedPasswordTakesEffectAtNextGet()
{
    m_sim->requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("s3cret"));
    m_rec->setUser(QStringLiteral("tarvix"), QStringLiteral("old"));
    m_rec->setHost(m_sim->port());
    const int refused = m_rec->get();
    QVERIFY(m_rec->waitFor(refused));
    QCOMPARE(m_rec->result(refused).error, HttpClient::AuthenticationRequiredError);

    m_rec->setUser(QStringLiteral("tarvix"), QStringLiteral("s3cret"));
    m_rec->setHost(m_sim->port());
    const int accepted = m_rec->get();
    QVERIFY(m_rec->waitFor(accepted));
    QCOMPARE(m_rec->result(accepted).error, HttpClient::NoError);
    QCOMPARE(m_rec->result(accepted).statusCode, 200);

    // And back: the accepted password is not kept by a cache.
    m_rec->setUser(QStringLiteral("tarvix"), QStringLiteral("changed"));
    const int refusedAgain = m_rec->get();
    QVERIFY(m_rec->waitFor(refusedAgain));
    QCOMPARE(m_rec->result(refusedAgain).error, HttpClient::AuthenticationRequiredError);
}

void TestHttpClient::digestAuthentication_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right password") << QStringLiteral("s3cret") << true;
    QTest::newRow("wrong password") << QStringLiteral("wrong") << false;
}

// A server that asks for Digest: the credentials are offered once, and wrong ones end the
// request instead of being tried again and again.
void TestHttpClient::digestAuthentication()
{
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    const QByteArray realm = "Nagios Access";
    const QByteArray nonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
    ScriptedServer server([&](QTcpSocket* socket, const QByteArray& head) {
        const QByteArray authorization = ScriptedServer::header(head, "authorization");
        bool ok = false;
        if (authorization.startsWith("Digest ")) {
            const QByteArray ha1 = md5Hex("tarvix:" + realm + ":s3cret");
            const QByteArray ha2 = md5Hex("GET:" + digestField(authorization, "uri"));
            const QByteArray expected = md5Hex(ha1 + ':' + nonce + ':' + digestField(authorization, "nc")
                + ':' + digestField(authorization, "cnonce") + ":auth:" + ha2);
            ok = digestField(authorization, "response") == expected;
        }
        if (ok) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nwelcome");
        } else {
            socket->write("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"" + realm
                + "\", nonce=\"" + nonce
                + "\", qop=\"auth\", algorithm=MD5\r\nContent-Length: 6\r\n\r\ndenied");
        }
    });
    QVERIFY(server.listen(QHostAddress::LocalHost));
    m_rec->setUser(QStringLiteral("tarvix"), password);
    m_rec->setHost(server.serverPort());
    const int id = m_rec->get(hostsPath);
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    if (accepted) {
        QVERIFY2(!f.errorFlag, qPrintable(f.errorString));
        QCOMPARE(f.statusCode, 200);
        QCOMPARE(f.body, QByteArray("welcome"));
    } else {
        QVERIFY(f.errorFlag);
        QCOMPARE(f.error, HttpClient::AuthenticationRequiredError);
    }
    QVERIFY2(server.requestCount() <= 3, QByteArray::number(server.requestCount()).constData());
}

void TestHttpClient::connectionRefused()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    m_rec->setHost(port);
    const int id = m_rec->get();
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QVERIFY(f.errorFlag);
    QCOMPARE(f.error, HttpClient::ConnectionRefused);
    QCOMPARE(f.statusCode, 0);
}

// The poll cycle's connect time-out relies on Connecting; the silence limit must not cut the
// connect phase, which has its own rule.
void TestHttpClient::connectingWhileServerNeverAccepts()
{
    m_sim->setNeverAccept(true);
    m_client->setSilenceTimeout(100);
    m_rec->setHost(m_sim->port());
    const int id = m_rec->get();
    QCOMPARE(m_client->state(), HttpClient::Connecting);

    QSignalSpy finished(m_client.get(), &HttpClient::requestFinished);
    QVERIFY(finished.wait(1000)); // setHost
    QVERIFY(!finished.wait(800));
    QCOMPARE(m_client->state(), HttpClient::Connecting);
    QCOMPARE(m_rec->count(id), 0);
    QCOMPARE(m_sim->requestCount(), 0);

    m_client->abort();
    QVERIFY(m_rec->waitFor(id));
    QCOMPARE(m_rec->result(id).error, HttpClient::Aborted);
    QCOMPARE(m_client->state(), HttpClient::Unconnected);
}

void TestHttpClient::silenceEndsAsNetworkError()
{
    m_sim->setNeverAnswer(true);
    m_client->setSilenceTimeout(300);
    m_rec->setHost(m_sim->port());
    const int id = m_rec->get();
    QTRY_COMPARE(m_client->state(), HttpClient::Reading);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_rec->waitFor(id));
    QVERIFY(clock.elapsed() >= 250);
    const Finished f = m_rec->result(id);
    QVERIFY(f.errorFlag);
    QCOMPARE(f.error, HttpClient::UnexpectedClose);
    QCOMPARE(f.errorString, QStringLiteral("Connection is timed out."));

    // The client is usable again afterwards.
    m_sim->setNeverAnswer(false);
    const int next = m_rec->get();
    QVERIFY(m_rec->waitFor(next));
    QCOMPARE(m_rec->result(next).statusCode, 200);
}

void TestHttpClient::steadyTrickleIsNotSilence()
{
    // Eight pieces 120 ms apart: 960 ms in all, each pause well under the 400 ms limit.
    const int pieces = 8;
    ScriptedServer server([&](QTcpSocket* socket, const QByteArray&) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: "
            + QByteArray::number(pieces * 100) + "\r\nConnection: close\r\n\r\n");
        auto* timer = new QTimer(socket);
        timer->setInterval(120);
        connect(timer, &QTimer::timeout, socket, [socket, timer, pieces, sent = 0]() mutable {
            socket->write(QByteArray(100, 'x'));
            if (++sent == pieces)
                timer->stop();
        });
        timer->start();
    });
    QVERIFY(server.listen(QHostAddress::LocalHost));
    m_client->setSilenceTimeout(400);
    m_rec->setHost(server.serverPort());
    const int id = m_rec->get();
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QVERIFY2(!f.errorFlag, qPrintable(f.errorString));
    QCOMPARE(f.statusCode, 200);
    QCOMPARE(f.body, QByteArray(pieces * 100, 'x'));
}

void TestHttpClient::closeMidBodyIsNetworkError()
{
    m_sim->setGzipWhenAsked(false);
    m_sim->setPadding(200000);
    m_sim->setCloseMidBody(true);
    m_rec->setHost(m_sim->port());
    const int id = m_rec->get();
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QVERIFY(f.errorFlag);
    QCOMPARE(f.error, HttpClient::UnexpectedClose);
}

// A real 10.8 MB services page travels gzipped 47:1; Qt's own bomb check would refuse it.
void TestHttpClient::compressedLargePageArrivesWhole()
{
    m_sim->addGeneratedServices(700, 10, NagiosSimulator::ServiceState::Critical);
    const QByteArray page = m_sim->servicesPage(QStringLiteral("host=all&servicestatustypes=28&limit=0"));
    QVERIFY2(page.size() > 10 * 1000 * 1000, QByteArray::number(page.size()).constData());
    QVERIFY(page.size() / qCompress(page, 6).size() > 40);

    m_rec->setHost(m_sim->port());
    const int id = m_rec->get();
    QVERIFY(m_rec->waitFor(id, 20000));
    const Finished f = m_rec->result(id);
    QVERIFY2(!f.errorFlag, qPrintable(f.errorString));
    QCOMPARE(f.statusCode, 200);
    QCOMPARE(f.body.size(), page.size());
    QVERIFY(f.body == page);
    QVERIFY(m_sim->requests().at(0).acceptEncoding.contains("gzip"));
}

void TestHttpClient::oversizedBodyIsRefused_data()
{
    QTest::addColumn<bool>("compressed");
    QTest::newRow("plain body") << false;
    QTest::newRow("deflated body counted after decompression") << true;
}

// The server sends more than the cap and then holds the connection open without finishing the
// answer: only a client that counts as the bytes arrive can end the request.
void TestHttpClient::oversizedBodyIsRefused()
{
    QFETCH(bool, compressed);
    const qint64 cap = 1024 * 1024;
    QByteArray answer;
    if (compressed) {
        // qCompress gives a zlib stream behind a four-byte length: what "deflate" means in HTTP.
        const QByteArray deflated = qCompress(QByteArray(32 * cap, ' ')).mid(4);
        answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: deflate\r\nContent-Length: "
            + QByteArray::number(deflated.size() * 4) + "\r\n\r\n" + deflated;
    } else {
        answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
            + QByteArray::number(100 * cap) + "\r\n\r\n" + QByteArray(2 * cap, 'x');
    }
    ScriptedServer server([&](QTcpSocket* socket, const QByteArray&) { socket->write(answer); });
    QVERIFY(server.listen(QHostAddress::LocalHost));
    m_client->setMaxBodySize(cap);
    m_rec->setHost(server.serverPort());
    const int id = m_rec->get();
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QVERIFY(f.errorFlag);
    QCOMPARE(f.error, HttpClient::WrongContentLength);
    QCOMPARE(f.errorString, QStringLiteral("The answer is too large."));
    QVERIFY(f.body.isEmpty());

    // A page under the cap still passes.
    m_rec->setHost(m_sim->port());
    const int small = m_rec->get();
    QVERIFY(m_rec->waitFor(small));
    QCOMPARE(m_rec->result(small).statusCode, 200);
}

void TestHttpClient::pendingRequestsStayBounded()
{
    m_sim->setNeverAnswer(true);
    m_client->setMaxPendingRequests(4);
    m_rec->setHost(m_sim->port());
    const int first = m_rec->get();
    QTRY_COMPARE(m_client->state(), HttpClient::Reading);

    QList<int> later;
    for (int i = 0; i < 20; ++i) {
        m_rec->setUser(QString(), QString());
        later.append(m_rec->get());
    }
    // The oldest waiting pages are dropped in order; the one in flight and the newest four stay.
    const QList<int> dropped = later.mid(0, 16);
    QVERIFY(m_rec->waitFor(dropped.last()));
    QList<int> droppedSeen;
    for (int id : m_rec->ids()) {
        if (later.contains(id))
            droppedSeen.append(id);
    }
    QCOMPARE(droppedSeen, dropped);
    for (int id : dropped)
        QCOMPARE(m_rec->result(id).error, HttpClient::Aborted);
    QCOMPARE(m_rec->count(first), 0);
    for (int id : later.mid(16))
        QCOMPARE(m_rec->count(id), 0);
    QVERIFY(m_client->pendingRequestCount() <= 1 + 4 * 5);

    // Settings changes alone do not pile up behind the hanging request either.
    int lastSetUser = 0;
    for (int i = 0; i < 200; ++i)
        lastSetUser = m_rec->setUser(QString(), QString());
    QTRY_VERIFY(m_client->pendingRequestCount() <= 1 + 4 * 5);
    QCOMPARE(m_rec->count(lastSetUser), 0);
    QCOMPARE(m_rec->count(first), 0);
    QCOMPARE(m_sim->requestCount(), 1);
    QVERIFY(!m_rec->sawSynchronous());
}

void TestHttpClient::abortAndCloseFinishEveryRequestOnce_data()
{
    QTest::addColumn<bool>("close");
    QTest::newRow("abort drops the queue") << false;
    QTest::newRow("close ends the connection") << true;
}

void TestHttpClient::abortAndCloseFinishEveryRequestOnce()
{
    QFETCH(bool, close);
    m_sim->setNeverAnswer(true);
    QList<int> ids;
    ids << m_rec->setUser(QString(), QString()) << m_rec->setHost(m_sim->port());
    const int inFlight = m_rec->get();
    ids << inFlight;
    QTRY_COMPARE(m_client->state(), HttpClient::Reading);
    ids << m_rec->setUser(QString(), QString()) << m_rec->get() << m_rec->get();

    if (close)
        m_client->close();
    else
        m_client->abort();
    QCOMPARE(m_client->state(), HttpClient::Unconnected);
    QVERIFY(m_rec->waitFor(ids.last()));
    QCOMPARE(m_rec->ids(), ids);
    for (int id : ids.mid(2)) {
        QCOMPARE(m_rec->result(id).errorFlag, true);
        QCOMPARE(m_rec->result(id).error, HttpClient::Aborted);
    }
    QCOMPARE(m_client->pendingRequestCount(), 0);

    // Nothing more arrives for them, and the client works on.
    m_sim->setNeverAnswer(false);
    const int next = m_rec->get();
    QVERIFY(m_rec->waitFor(next));
    QCOMPARE(m_rec->result(next).statusCode, 200);
    QCOMPARE(m_rec->ids(), ids + QList<int> {next});
}

void TestHttpClient::httpsWithoutVerification()
{
    NagiosSimulator secure;
    secure.setPageTime(QDateTime(QDate(2024, 5, 17), QTime(10, 30), Qt::UTC));
    QVERIFY2(secure.start(true), qPrintable(secure.errorString()));
    QSignalSpy sslErrors(m_client.get(), &HttpClient::sslErrors);
    m_client->setVerifyPeer(false);
    m_rec->setHost(secure.port(), HttpClient::ConnectionModeHttps);
    const int id = m_rec->get();
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QVERIFY2(!f.errorFlag, qPrintable(f.errorString));
    QCOMPARE(f.statusCode, 200);
    QCOMPARE(f.body, secure.servicesPage(QStringLiteral("host=all&servicestatustypes=28&limit=0")));
    QCOMPARE(sslErrors.count(), 0);
}

void TestHttpClient::httpsCertificateErrorsBeforeFailure()
{
    NagiosSimulator secure;
    QVERIFY2(secure.start(true), qPrintable(secure.errorString()));
    m_client->setVerifyPeer(true);
    int sslErrorCount = 0;
    int finishedBeforeSslErrors = -1;
    connect(m_client.get(), &HttpClient::sslErrors, this, [&](const QList<QSslError>& errors) {
        sslErrorCount = int(errors.size());
        finishedBeforeSslErrors = int(m_rec->ids().size());
    });
    m_rec->setHost(secure.port(), HttpClient::ConnectionModeHttps);
    const int id = m_rec->get();
    QVERIFY(m_rec->waitFor(id));
    QVERIFY(sslErrorCount > 0);
    QCOMPARE(finishedBeforeSslErrors, 1); // only the setHost
    const Finished f = m_rec->result(id);
    QVERIFY(f.errorFlag);
    QCOMPARE(f.error, HttpClient::UnexpectedClose);
    QCOMPARE(secure.requestCount(), 0);
}

// The program closes the client from its sslErrors slot and then asks the user in a modal box
// (a nested event loop) while the client goes on reporting.
void TestHttpClient::closeFromCertificateQuestion()
{
    NagiosSimulator secure;
    QVERIFY2(secure.start(true), qPrintable(secure.errorString()));
    m_client->setVerifyPeer(true);
    m_rec->setHost(secure.port(), HttpClient::ConnectionModeHttps);
    const int id = m_rec->get();
    const int queuedBehind = m_rec->get();
    bool reportedInsideQuestion = false;
    connect(m_client.get(), &HttpClient::sslErrors, this, [&] {
        m_client->close();
        reportedInsideQuestion = QTest::qWaitFor([&] { return m_rec->count(queuedBehind) == 1; }, 5000);
    });
    QVERIFY(m_rec->waitFor(queuedBehind));
    QVERIFY(reportedInsideQuestion);
    QCOMPARE(m_rec->count(id), 1);
    QCOMPARE(m_rec->result(id).error, HttpClient::Aborted);
    QCOMPARE(m_rec->result(queuedBehind).error, HttpClient::Aborted);

    // After the user allows such certificates the next poll gets through.
    m_client->setVerifyPeer(false);
    const int next = m_rec->get();
    QVERIFY(m_rec->waitFor(next));
    QCOMPARE(m_rec->result(next).statusCode, 200);
    QCOMPARE(m_rec->count(id), 1);
}

// Replacing the client from inside its own notification must not touch the deleted object.
void TestHttpClient::clientMayBeDeletedByItsReceiver()
{
    m_rec->setHost(m_sim->port());
    const int first = m_rec->get();
    m_rec->get();
    m_rec->setUser(QString(), QString());
    QPointer<HttpClient> watched(m_client.get());
    m_rec->onFinished([&](const Finished& f) {
        if (f.id == first)
            m_client.reset();
    });
    QVERIFY(m_rec->waitFor(first));
    QVERIFY(watched.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCOMPARE(m_rec->ids().last(), first);
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
