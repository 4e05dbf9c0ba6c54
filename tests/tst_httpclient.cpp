#include "monitor/httpclient.h"
#include "tools/nagiossimulator.h"

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <memory>

namespace {

const QString servicesQuery = QStringLiteral("host=all&servicestatustypes=28&limit=0");
const QDateTime pageTime(QDate(2024, 5, 17), QTime(10, 30), Qt::UTC);
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
            if (m_onFinished)
                m_onFinished(id);
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
    std::function<void(int id)> m_onFinished;

private:
    HttpClient* m_client;
    QList<int> m_ids;
    QHash<int, Finished> m_byId;
};

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void idsFinishInQueueOrderNeverSynchronously();
    void answers_data();
    void answers();
    void networkFailures_data();
    void networkFailures();
    void connectingWhileServerNeverAccepts();
    void compressedLargePageArrivesWhole();
    void oversizedBodyIsRefused_data();
    void oversizedBodyIsRefused();
    void pendingRequestsStayBounded();
    void abortAndCloseFinishEveryRequestOnce_data();
    void abortAndCloseFinishEveryRequestOnce();
    void https_data();
    void https();
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

void TestHttpClient::idsFinishInQueueOrderNeverSynchronously()
{
    QList<int> ids;
    ids << m_client->setUser({}, {}) << m_rec->setHost(m_sim->port()) << m_client->get(servicesPath)
        << m_client->get(servicesPath) << m_client->setUser({}, {});
    for (int i = 1; i < ids.size(); ++i)
        QVERIFY(ids.at(i) > ids.at(i - 1));
    // A request queued from inside a notification is not reported from inside that call either.
    int lateId = 0;
    bool lateSynchronous = false;
    m_rec->m_onFinished = [&](int id) {
        if (id == ids.at(2)) {
            lateId = m_client->get(servicesPath);
            lateSynchronous = m_rec->count(lateId) > 0;
        }
    };
    QVERIFY(m_rec->ids().isEmpty());
    QVERIFY(m_rec->waitFor(ids.last()));
    QVERIFY(m_rec->waitFor(lateId));
    QCOMPARE(m_rec->ids(), ids + QList<int> {lateId});
    QVERIFY(!lateSynchronous);
    QCOMPARE(m_client->pendingRequestCount(), 0);
}

void TestHttpClient::answers_data()
{
    QTest::addColumn<int>("fixedStatus");
    QTest::addColumn<QString>("password"); // empty: none sent; the server wants "s3cret" when set
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::newRow("404 is not an error") << 404 << QString() << int(HttpClient::NoError) << 404;
    QTest::newRow("500 is not an error") << 500 << QString() << int(HttpClient::NoError) << 500;
    QTest::newRow("302 is not followed") << 302 << QString() << int(HttpClient::NoError) << 302;
    QTest::newRow("401 without credentials")
        << 0 << QString() << int(HttpClient::AuthenticationRequiredError) << 401;
    QTest::newRow("401 with a wrong password")
        << 0 << QStringLiteral("wrong") << int(HttpClient::AuthenticationRequiredError) << 401;
    QTest::newRow("right password") << 0 << QStringLiteral("s3cret") << int(HttpClient::NoError) << 200;
}

void TestHttpClient::answers()
{
    QFETCH(int, fixedStatus);
    QFETCH(QString, password);
    QFETCH(int, error);
    QFETCH(int, status);
    m_sim->setFixedStatus(fixedStatus);
    if (fixedStatus == 0)
        m_sim->requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("s3cret"));
    m_client->setUser(password.isEmpty() ? QString() : QStringLiteral("tarvix"), password);
    m_rec->setHost(m_sim->port());
    const int id = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QCOMPARE(int(f.error), error);
    QCOMPARE(f.errorFlag, error != HttpClient::NoError);
    if (!f.errorFlag)
        QCOMPARE(f.statusCode, status);
    QVERIFY(m_sim->requestCount() <= 2); // wrong credentials must not loop
    if (status == 200)
        QCOMPARE(m_sim->requests().last().authorization, "Basic " + QByteArray("tarvix:s3cret").toBase64());
}

// The poll cycle's connect time-out relies on Connecting; the silence limit must not cut it.
void TestHttpClient::connectingWhileServerNeverAccepts()
{
    m_sim->setNeverAccept(true);
    m_client->setSilenceTimeout(100);
    m_rec->setHost(m_sim->port());
    const int id = m_client->get(servicesPath);
    QSignalSpy finished(m_client.get(), &HttpClient::requestFinished);
    QVERIFY(finished.wait(1000)); // setHost
    QVERIFY(!finished.wait(800));
    QCOMPARE(m_client->state(), HttpClient::Connecting);
    m_client->abort();
    QVERIFY(m_rec->waitFor(id));
    QCOMPARE(m_rec->result(id).error, HttpClient::Aborted);
}

void TestHttpClient::networkFailures_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("error");
    QTest::newRow("connection refused") << QStringLiteral("refused") << int(HttpClient::ConnectionRefused);
    QTest::newRow("silence times out: not Aborted")
        << QStringLiteral("silence") << int(HttpClient::UnexpectedClose);
    QTest::newRow("body cut short") << QStringLiteral("cut") << int(HttpClient::UnexpectedClose);
}

void TestHttpClient::networkFailures()
{
    QFETCH(QString, failure);
    QFETCH(int, error);
    quint16 port = m_sim->port();
    QTcpServer closed;
    if (failure == QLatin1String("refused")) {
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort();
        closed.close();
    }
    m_sim->setNeverAnswer(failure == QLatin1String("silence"));
    m_client->setSilenceTimeout(300);
    m_sim->setGzipWhenAsked(false);
    m_sim->setPadding(200000);
    m_sim->setCloseMidBody(failure == QLatin1String("cut"));
    m_rec->setHost(port);
    const int id = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(id));
    QVERIFY(m_rec->result(id).errorFlag);
    QCOMPARE(int(m_rec->result(id).error), error);
    // The client is usable again afterwards.
    m_sim->setNeverAnswer(false);
    m_sim->setCloseMidBody(false);
    m_rec->setHost(m_sim->port());
    const int next = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(next));
    QCOMPARE(m_rec->result(next).statusCode, 200);
}

// A real 10.8 MB services page travels gzipped 47:1; Qt's own bomb check would refuse it.
void TestHttpClient::compressedLargePageArrivesWhole()
{
    m_sim->addGeneratedServices(700, 10, NagiosSimulator::ServiceState::Critical);
    const QByteArray page = m_sim->servicesPage(servicesQuery);
    QVERIFY(page.size() > 10 * 1000 * 1000);
    QVERIFY(page.size() / qCompress(page, 6).size() > 40);
    m_rec->setHost(m_sim->port());
    const int id = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(id, 20000));
    const Finished f = m_rec->result(id);
    QVERIFY2(!f.errorFlag, qPrintable(f.errorString));
    QVERIFY(f.body == page);
    QVERIFY(m_sim->requests().at(0).acceptEncoding.contains("gzip"));
}

void TestHttpClient::oversizedBodyIsRefused_data()
{
    QTest::addColumn<bool>("compressed");
    QTest::newRow("plain body") << false;
    QTest::newRow("deflated body counted after decompression") << true;
}

// More than the cap, then the connection held open: only counting as bytes arrive ends it.
void TestHttpClient::oversizedBodyIsRefused()
{
    QFETCH(bool, compressed);
    const qint64 cap = 1024 * 1024;
    QByteArray answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
    if (compressed) {
        const QByteArray deflated = qCompress(QByteArray(32 * cap, ' ')).mid(4); // zlib stream
        answer += "Content-Encoding: deflate\r\nContent-Length: " + QByteArray::number(deflated.size() * 4)
            + "\r\n\r\n" + deflated;
    } else {
        answer += "Content-Length: " + QByteArray::number(100 * cap) + "\r\n\r\n" + QByteArray(2 * cap, 'x');
    }
    QTcpServer server;
    connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection())
            connect(socket, &QTcpSocket::readyRead, socket, [socket, &answer] {
                if (socket->readAll().contains("\r\n\r\n"))
                    socket->write(answer);
            });
    });
    QVERIFY(server.listen(QHostAddress::LocalHost));
    m_client->setMaxBodySize(cap);
    m_rec->setHost(server.serverPort());
    const int id = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    QVERIFY(f.errorFlag);
    QCOMPARE(f.error, HttpClient::WrongContentLength);
    QVERIFY(f.body.isEmpty());
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
        m_client->setUser({}, {});
        later.append(m_client->get(servicesPath));
    }
    QCOMPARE(m_rec->ids().size(), 1); // only the setHost: drops are not reported from inside get()
    // The oldest waiting pages are dropped in order; the one in flight and the newest four stay.
    const QList<int> dropped = later.mid(0, 16);
    QVERIFY(m_rec->waitFor(dropped.last()));
    QList<int> droppedSeen = m_rec->ids();
    droppedSeen.removeIf([&](int id) { return !later.contains(id); });
    QCOMPARE(droppedSeen, dropped);
    QCOMPARE(m_rec->result(dropped.first()).error, HttpClient::Aborted);
    QCOMPARE(m_rec->count(first), 0);
    // Settings changes alone do not pile up behind the hanging request either.
    for (int i = 0; i < 200; ++i)
        m_client->setUser({}, {});
    QTRY_VERIFY(m_client->pendingRequestCount() <= 1 + 4 * 5);
    QCOMPARE(m_rec->count(first), 0);
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

void TestHttpClient::https_data()
{
    QTest::addColumn<bool>("verify");
    QTest::newRow("without verification the page arrives") << false;
    QTest::newRow("verified: sslErrors before the failure") << true;
}

void TestHttpClient::https()
{
    QFETCH(bool, verify);
    NagiosSimulator secure;
    QVERIFY2(secure.start(true), qPrintable(secure.errorString()));
    m_client->setVerifyPeer(verify);
    int sslErrors = 0;
    int finishedBeforeSslErrors = -1;
    connect(m_client.get(), &HttpClient::sslErrors, this, [&](const QList<QSslError>& errors) {
        sslErrors = int(errors.size());
        finishedBeforeSslErrors = int(m_rec->ids().size());
    });
    m_rec->setHost(secure.port(), HttpClient::ConnectionModeHttps);
    const int id = m_client->get(servicesPath);
    QVERIFY(m_rec->waitFor(id));
    const Finished f = m_rec->result(id);
    if (verify) {
        QVERIFY(sslErrors > 0);
        QCOMPARE(finishedBeforeSslErrors, 1); // only the setHost
        QVERIFY(f.errorFlag);
        QCOMPARE(secure.requestCount(), 0);
    } else {
        QVERIFY2(!f.errorFlag, qPrintable(f.errorString));
        QCOMPARE(f.statusCode, 200);
        QCOMPARE(sslErrors, 0);
    }
}

// Replacing the client from inside its own notification must not touch the deleted object.
void TestHttpClient::clientMayBeDeletedByItsReceiver()
{
    m_rec->setHost(m_sim->port());
    const int first = m_client->get(servicesPath);
    m_client->get(servicesPath);
    m_client->setUser({}, {});
    QPointer<HttpClient> watched(m_client.get());
    m_rec->m_onFinished = [&](int id) {
        if (id == first)
            m_client.reset();
    };
    QVERIFY(m_rec->waitFor(first));
    QVERIFY(watched.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    QCOMPARE(m_rec->ids().last(), first);
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
