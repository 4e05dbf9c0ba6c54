#include "monitor/httpclient.h"

#include "monitor/httpresponseparser.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QHash>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <deque>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcHttp, "tarvix.http", QtWarningMsg)

// Settings changes cost nothing to keep, but must not pile up without end behind a request that
// hangs either.
constexpr int settingsRequestsPerPageRequest = 4;
// Bytes read from the socket at a time, and what Qt may buffer ahead of us.
constexpr qint64 readSlice = 256 * 1024;

// Where a page request goes and as whom: captured when the request is queued.
struct Target
{
    QString host;
    HttpClient::ConnectionMode mode = HttpClient::ConnectionModeHttp;
    quint16 port = 80;
    QString user;
    QString password;
};

enum class Kind { SetUser, SetHost, Get };

struct Request
{
    int id = 0;
    Kind kind = Kind::Get;
    Target target;
    QString path;
};

struct Result
{
    int id = 0;
    HttpClient::Error error = HttpClient::NoError;
    HttpClient::Failure failure = HttpClient::Failure::None;
    QString errorString;
    int statusCode = 0;
    QByteArray body;
    qint64 durationMs = 0;
};

// The path is used as given, split at the first '?' into path and query.
QUrl makeUrl(const Target& target, const QString& path)
{
    QUrl url;
    url.setScheme(
        target.mode == HttpClient::ConnectionModeHttps ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(target.host);
    url.setPort(target.port);
    const qsizetype question = path.indexOf(QLatin1Char('?'));
    QString pathPart = question < 0 ? path : path.left(question);
    if (!pathPart.startsWith(QLatin1Char('/')))
        pathPart.prepend(QLatin1Char('/'));
    url.setPath(pathPart, QUrl::TolerantMode);
    if (question >= 0)
        url.setQuery(path.mid(question + 1), QUrl::TolerantMode);
    return url;
}

QString seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'g', 4);
}

// A Digest challenge of WWW-Authenticate, when it is one that we can answer.
struct DigestChallenge
{
    QByteArray realm;
    QByteArray nonce;
    QByteArray opaque;
    QByteArray algorithm; // as the server named it
    QCryptographicHash::Algorithm hash = QCryptographicHash::Md5;
    bool session = false; // the -sess variants
    bool qopAuth = false; // false: RFC 2069 without qop
    bool valid = false;
};

DigestChallenge digestChallenge(const QList<QByteArray>& wwwAuthenticate)
{
    DigestChallenge challenge;
    for (const QByteArray& value : wwwAuthenticate) {
        if (!value.toLower().startsWith("digest "))
            continue;
        const auto parameters = authHeaderParameters(value.mid(7));
        challenge.realm = parameters.value("realm");
        challenge.nonce = parameters.value("nonce");
        challenge.opaque = parameters.value("opaque");
        challenge.algorithm = parameters.value("algorithm", "MD5");
        const QByteArray algorithm = challenge.algorithm.toUpper();
        challenge.session = algorithm.endsWith("-SESS");
        const QByteArray base = challenge.session ? algorithm.chopped(5) : algorithm;
        challenge.hash = base == "SHA-256" ? QCryptographicHash::Sha256 : QCryptographicHash::Md5;
        const bool knownHash = base == "MD5" || base == "SHA-256";
        bool qopOffered = parameters.contains("qop");
        for (const QByteArray& qop : parameters.value("qop").split(','))
            challenge.qopAuth = challenge.qopAuth || qop.trimmed().toLower() == "auth";
        challenge.valid = knownHash && !challenge.nonce.isEmpty() && (!qopOffered || challenge.qopAuth);
        if (challenge.valid)
            break;
    }
    return challenge;
}

QByteArray quoted(const QByteArray& text)
{
    QByteArray escaped = text;
    escaped.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + escaped + '"';
}

QByteArray digestAuthorization(
    const DigestChallenge& challenge, const Target& target, const QByteArray& uri, int count)
{
    auto hash = [&challenge](const QByteArray& text) {
        return QCryptographicHash::hash(text, challenge.hash).toHex();
    };
    const QByteArray user = target.user.toUtf8();
    const QByteArray cnonce = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    const QByteArray nc = QByteArray::number(count, 16).rightJustified(8, '0');
    QByteArray ha1 = hash(user + ':' + challenge.realm + ':' + target.password.toUtf8());
    if (challenge.session)
        ha1 = hash(ha1 + ':' + challenge.nonce + ':' + cnonce);
    const QByteArray ha2 = hash("GET:" + uri);
    const QByteArray response = challenge.qopAuth
        ? hash(ha1 + ':' + challenge.nonce + ':' + nc + ':' + cnonce + ":auth:" + ha2)
        : hash(ha1 + ':' + challenge.nonce + ':' + ha2);
    QByteArray header = "Digest username=" + quoted(user) + ", realm=" + quoted(challenge.realm)
        + ", nonce=" + quoted(challenge.nonce) + ", uri=" + quoted(uri) + ", algorithm=" + challenge.algorithm
        + ", response=" + quoted(response);
    if (!challenge.opaque.isEmpty())
        header += ", opaque=" + quoted(challenge.opaque);
    if (challenge.qopAuth)
        header += ", qop=auth, nc=" + nc + ", cnonce=" + quoted(cnonce);
    return header;
}

} // namespace

struct HttpClient::Private
{
    explicit Private(HttpClient* client) : q(client)
    {
        for (QTimer* timer : {&connectTimer, &silenceTimer, &totalTimer})
            timer->setSingleShot(true);
    }

    int enqueue(Kind kind, const QString& path = {});
    void trimQueue();
    void scheduleProcessing();
    void processQueue();
    void startGet(const Request& request);
    void openConnection();
    void sendRequest();
    void readAnswer();
    bool answerProgressed();
    bool handleAuthentication();
    void connectionEnded();
    void socketFailed(QAbstractSocket::SocketError socketError);
    void finishAnswer();
    void failCurrent(Error error, Failure failure, const QString& text, bool keepBody = false);
    void releaseSocket();
    void finishFront(Result result);
    void dropAll();
    void scheduleDelivery();
    void deliver();
    int queuedPageRequests() const;

    HttpClient* q;
    int lastId = 0;
    Target queuedTarget; // what setUser/setHost made of the next page request
    bool verifyPeer = true;
    int connectTimeoutMs = defaultConnectTimeoutMs;
    int silenceTimeoutMs = defaultSilenceTimeoutMs;
    int totalTimeoutMs = defaultTotalTimeoutMs;
    qint64 maxBodyBytes = defaultMaxBodyBytes;
    int maxPendingRequests = defaultMaxPendingRequests;

    std::deque<Request> queue; // front is in flight while `active`
    std::deque<Result> outbox; // finished, requestFinished not yet emitted
    bool processingScheduled = false;
    bool deliveryScheduled = false;

    // The page request in flight.
    bool active = false;
    QAbstractSocket* socket = nullptr;
    std::unique_ptr<HttpResponseParser> parser;
    QByteArray requestTarget; // path and query as they go in the request line
    QByteArray hostHeader;
    bool requestSent = false;
    bool headerHandled = false;
    bool digestSent = false;
    int attempt = 0;
    QElapsedTimer getClock; // from the start of the page request, for the log
    QTimer connectTimer;
    QTimer silenceTimer;
    QTimer totalTimer;

    // The last Digest challenge, answered again without a round trip while host and user stay.
    DigestChallenge digest;
    QString digestHost;
    QString digestUser;
    int digestCount = 0;

    Result last;
};

int HttpClient::Private::enqueue(Kind kind, const QString& path)
{
    Request request;
    request.id = ++lastId;
    request.kind = kind;
    request.target = queuedTarget;
    request.path = path;
    queue.push_back(request);
    trimQueue();
    scheduleProcessing();
    return request.id;
}

int HttpClient::Private::queuedPageRequests() const
{
    const auto first = queue.begin() + (active ? 1 : 0);
    return int(std::count_if(first, queue.end(), [](const Request& r) { return r.kind == Kind::Get; }));
}

// A server that hangs must not make the queue grow with every poll. The oldest waiting requests
// go first; their requestFinished comes before that of the request in flight.
void HttpClient::Private::trimQueue()
{
    const size_t inFlight = active ? 1 : 0;
    int pages = queuedPageRequests();
    const size_t maxWaiting = size_t(maxPendingRequests) * (1 + settingsRequestsPerPageRequest);
    bool dropped = false;
    while (pages > maxPendingRequests || queue.size() - inFlight > maxWaiting) {
        const auto oldest = queue.begin() + qsizetype(inFlight);
        Result result;
        result.id = oldest->id;
        if (oldest->kind == Kind::Get) {
            --pages;
            result.error = Aborted;
            result.failure = Failure::Other;
            result.errorString = tr("Request aborted");
            qCInfo(lcHttp) << "Request" << oldest->id << "dropped: too many requests are waiting";
        }
        queue.erase(oldest);
        outbox.push_back(std::move(result));
        dropped = true;
    }
    if (dropped)
        scheduleDelivery();
}

void HttpClient::Private::scheduleProcessing()
{
    if (processingScheduled)
        return;
    processingScheduled = true;
    QMetaObject::invokeMethod(
        q,
        [this] {
            processingScheduled = false;
            processQueue();
        },
        Qt::QueuedConnection);
}

void HttpClient::Private::processQueue()
{
    while (!active && !queue.empty()) {
        const Request& front = queue.front();
        if (front.kind == Kind::Get) {
            startGet(front);
            break;
        }
        // The settings were taken over when the request was queued.
        Result result;
        result.id = front.id;
        queue.pop_front();
        outbox.push_back(std::move(result));
    }
    if (!outbox.empty())
        scheduleDelivery();
}

void HttpClient::Private::startGet(const Request& request)
{
    getClock.start();
    const Target& target = request.target;
    const QUrl url = makeUrl(target, request.path);
    if (!url.isValid() || target.host.isEmpty()) {
        Result result;
        result.id = request.id;
        result.error = HostNotFound;
        result.failure = Failure::Other;
        result.errorString = tr("Host %1 not found").arg(target.host);
        qCInfo(lcHttp) << "Request" << request.id << "has no usable address:" << url.errorString();
        finishFront(std::move(result));
        return;
    }
    requestTarget = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
    QUrl authority = url;
    if (target.port == (target.mode == ConnectionModeHttps ? 443 : 80))
        authority.setPort(-1); // a default port is left out of Host, as browsers do
    hostHeader = authority.authority(QUrl::FullyEncoded).toLatin1();
    if (digestHost != target.host || digestUser != target.user)
        digest = DigestChallenge();
    active = true;
    attempt = 0;
    totalTimer.start(totalTimeoutMs);
    qCDebug(lcHttp) << "Request" << request.id << "GET" << url.toDisplayString();
    openConnection();
}

// Every attempt gets a connection of its own: nothing of an earlier answer can leak into it.
void HttpClient::Private::openConnection()
{
    const Target& target = queue.front().target;
    ++attempt;
    parser = std::make_unique<HttpResponseParser>(maxBodyBytes);
    requestSent = false;
    headerHandled = false;
    silenceTimer.stop();
    connectTimer.start(connectTimeoutMs);
    if (target.mode == ConnectionModeHttps) {
        auto* ssl = new QSslSocket(q);
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        if (!verifyPeer)
            configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        ssl->setSslConfiguration(configuration);
        QObject::connect(ssl, &QSslSocket::encrypted, q, [this] { sendRequest(); });
        QObject::connect(ssl, &QSslSocket::sslErrors, q, [this](const QList<QSslError>& errors) {
            qCInfo(lcHttp) << "Request" << queue.front().id << "has" << errors.size()
                           << "certificate problems";
            emit q->sslErrors(errors);
        });
        socket = ssl;
    } else {
        socket = new QTcpSocket(q);
        QObject::connect(socket, &QTcpSocket::connected, q, [this] { sendRequest(); });
    }
    socket->setReadBufferSize(readSlice);
    QObject::connect(socket, &QAbstractSocket::readyRead, q, [this] { readAnswer(); });
    QObject::connect(socket, &QAbstractSocket::disconnected, q, [this] { connectionEnded(); });
    QObject::connect(socket, &QAbstractSocket::errorOccurred, q,
        [this](QAbstractSocket::SocketError socketError) { socketFailed(socketError); });
    if (target.mode == ConnectionModeHttps)
        static_cast<QSslSocket*>(socket)->connectToHostEncrypted(target.host, target.port);
    else
        socket->connectToHost(target.host, target.port);
}

void HttpClient::Private::sendRequest()
{
    const Target& target = queue.front().target;
    QByteArray request = "GET " + requestTarget + " HTTP/1.1\r\nHost: " + hostHeader
        + "\r\nUser-Agent: Tarvix\r\nAccept: */*\r\nAccept-Encoding: gzip, deflate\r\nConnection: close\r\n";
    digestSent = false;
    if (!target.user.isEmpty() && digest.valid) {
        request
            += "Authorization: " + digestAuthorization(digest, target, requestTarget, ++digestCount) + "\r\n";
        digestSent = true;
    } else if (!target.user.isEmpty()) {
        const QByteArray credentials = (target.user + QLatin1Char(':') + target.password).toUtf8();
        request += "Authorization: Basic " + credentials.toBase64() + "\r\n";
    }
    request += "\r\n";
    socket->write(request);
    requestSent = true;
    connectTimer.stop();
    silenceTimer.start(silenceTimeoutMs);
}

void HttpClient::Private::readAnswer()
{
    while (socket && socket->bytesAvailable() > 0) {
        const QByteArray data = socket->read(readSlice);
        if (data.isEmpty())
            break;
        silenceTimer.start(silenceTimeoutMs);
        parser->feed(data.constData(), data.size());
        if (!answerProgressed())
            return;
    }
}

// After new bytes were taken: false when the request has ended (or moved to a new connection).
bool HttpClient::Private::answerProgressed()
{
    if (parser->headerComplete() && !headerHandled) {
        headerHandled = true;
        if (handleAuthentication())
            return false;
    }
    switch (parser->status()) {
    case HttpResponseParser::Status::NeedMore:
        return true;
    case HttpResponseParser::Status::Done:
        finishAnswer();
        return false;
    case HttpResponseParser::Status::Failed:
        break;
    }
    switch (parser->problem()) {
    case HttpResponseParser::Problem::HeaderTooLarge:
        failCurrent(InvalidResponseHeader, Failure::TooLarge,
            tr("The answer is too large: its header exceeds %1 KiB.")
                .arg(HttpResponseParser::maxHeaderBytes / 1024));
        break;
    case HttpResponseParser::Problem::BodyTooLarge:
        failCurrent(WrongContentLength, Failure::TooLarge,
            tr("The answer is too large: more than %1 MiB.")
                .arg(QString::number(maxBodyBytes / 1048576.0, 'g', 4)));
        break;
    case HttpResponseParser::Problem::CutShort:
        failCurrent(UnexpectedClose, Failure::CutShort,
            tr("The server closed the connection before the whole answer arrived."), true);
        break;
    case HttpResponseParser::Problem::InvalidHeader:
    case HttpResponseParser::Problem::InvalidBody:
    case HttpResponseParser::Problem::None:
        failCurrent(InvalidResponseHeader, Failure::Other, tr("The server's answer is not valid HTTP."));
        break;
    }
    return false;
}

// 401 and 407 end the request, unless a Digest challenge can be answered once on a new connection.
bool HttpClient::Private::handleAuthentication()
{
    const int status = parser->statusCode();
    if (status == 407) {
        failCurrent(ProxyAuthenticationRequiredError, Failure::Other, tr("Proxy authentication required"));
        return true;
    }
    if (status != 401)
        return false;
    const Target& target = queue.front().target;
    const DigestChallenge challenge = digestChallenge(parser->headerValues("www-authenticate"));
    if (!target.user.isEmpty() && challenge.valid && attempt == 1) {
        digest = challenge;
        digestHost = target.host;
        digestUser = target.user;
        digestCount = 0;
        qCDebug(lcHttp) << "Request" << queue.front().id << "answers a Digest challenge";
        releaseSocket();
        openConnection();
        return true;
    }
    if (digestSent)
        digest = DigestChallenge(); // refused: start over with the next challenge
    failCurrent(AuthenticationRequiredError, Failure::Other,
        target.user.isEmpty() ? tr("The server asks for a user name and password.")
                              : tr("The server refused the user name or password."));
    return true;
}

void HttpClient::Private::connectionEnded()
{
    if (!socket)
        return;
    readAnswer(); // what arrived just before the end
    if (!socket)
        return;
    parser->finish();
    answerProgressed();
}

void HttpClient::Private::socketFailed(QAbstractSocket::SocketError socketError)
{
    if (!socket)
        return;
    const Target& target = queue.front().target;
    switch (socketError) {
    case QAbstractSocket::RemoteHostClosedError:
        if (requestSent) {
            connectionEnded();
            return;
        }
        failCurrent(UnexpectedClose, Failure::Other, socket->errorString());
        return;
    case QAbstractSocket::HostNotFoundError:
        failCurrent(HostNotFound, Failure::Other, tr("Host %1 not found").arg(target.host));
        return;
    case QAbstractSocket::ConnectionRefusedError:
        failCurrent(ConnectionRefused, Failure::Other, tr("Connection refused"));
        return;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        failCurrent(UnexpectedClose, Failure::Other, socket->errorString());
        return;
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        failCurrent(ProxyAuthenticationRequiredError, Failure::Other, socket->errorString());
        return;
    default:
        failCurrent(UnknownError, Failure::Other, socket->errorString());
        return;
    }
}

void HttpClient::Private::finishAnswer()
{
    Result result;
    result.id = queue.front().id;
    result.statusCode = parser->statusCode();
    result.body = parser->takeBody();
    qCDebug(lcHttp) << "Request" << result.id << "answered" << result.statusCode << "with"
                    << result.body.size() << "bytes";
    releaseSocket();
    finishFront(std::move(result));
}

void HttpClient::Private::failCurrent(Error error, Failure failure, const QString& text, bool keepBody)
{
    Result result;
    result.id = queue.front().id;
    result.error = error;
    result.failure = failure;
    result.errorString = text;
    if (parser) {
        result.statusCode = parser->statusCode();
        if (keepBody)
            result.body = parser->takeBody();
    }
    qCInfo(lcHttp) << "Request" << result.id << "failed:" << text;
    releaseSocket();
    finishFront(std::move(result));
}

// Also called from inside the socket's own signals: it is deleted later, and closes then.
void HttpClient::Private::releaseSocket()
{
    connectTimer.stop();
    silenceTimer.stop();
    if (!socket)
        return;
    QAbstractSocket* finished = std::exchange(socket, nullptr);
    QObject::disconnect(finished, nullptr, q, nullptr);
    finished->deleteLater();
    parser.reset();
    requestSent = false;
}

void HttpClient::Private::finishFront(Result result)
{
    totalTimer.stop();
    active = false;
    if (getClock.isValid()) {
        result.durationMs = getClock.elapsed();
        getClock.invalidate();
    }
    queue.pop_front();
    outbox.push_back(std::move(result));
    scheduleDelivery();
    scheduleProcessing();
}

void HttpClient::Private::dropAll()
{
    releaseSocket();
    totalTimer.stop();
    active = false;
    while (!queue.empty()) {
        Result result;
        result.id = queue.front().id;
        result.error = Aborted;
        result.failure = Failure::Other;
        result.errorString = tr("Request aborted");
        queue.pop_front();
        outbox.push_back(std::move(result));
    }
    if (!outbox.empty())
        scheduleDelivery();
}

void HttpClient::Private::scheduleDelivery()
{
    if (deliveryScheduled)
        return;
    deliveryScheduled = true;
    QMetaObject::invokeMethod(
        q, [this] { deliver(); }, Qt::QueuedConnection);
}

// A receiver may open a modal dialog (a nested event loop) or even delete the client.
void HttpClient::Private::deliver()
{
    deliveryScheduled = false;
    const QPointer<HttpClient> alive(q);
    while (alive && !outbox.empty()) {
        last = std::move(outbox.front());
        outbox.pop_front();
        emit q->requestFinished(last.id, last.error != NoError);
    }
}

HttpClient::HttpClient(QObject* parent) : QObject(parent), d(std::make_unique<Private>(this))
{
    d->last.errorString = tr("Unknown error");
    connect(&d->connectTimer, &QTimer::timeout, this, [this] {
        if (!d->active)
            return;
        d->failCurrent(UnexpectedClose, Failure::TimedOut,
            tr("Connection is timed out: no connection to the server within %1 s.")
                .arg(seconds(d->connectTimeoutMs)));
    });
    connect(&d->silenceTimer, &QTimer::timeout, this, [this] {
        if (!d->active)
            return;
        d->failCurrent(UnexpectedClose, Failure::TimedOut,
            tr("Connection is timed out: the server sent nothing for %1 s.")
                .arg(seconds(d->silenceTimeoutMs)),
            true);
    });
    connect(&d->totalTimer, &QTimer::timeout, this, [this] {
        if (!d->active)
            return;
        d->failCurrent(UnexpectedClose, Failure::TimedOut,
            tr("Connection is timed out: the answer did not arrive within %1 s.")
                .arg(seconds(d->totalTimeoutMs)),
            true);
    });
}

HttpClient::~HttpClient()
{
    if (d->socket) {
        QObject::disconnect(d->socket, nullptr, this, nullptr);
        delete d->socket;
        d->socket = nullptr;
    }
}

int HttpClient::setUser(const QString& user, const QString& password)
{
    d->queuedTarget.user = user;
    d->queuedTarget.password = password;
    return d->enqueue(Kind::SetUser);
}

int HttpClient::setHost(const QString& host, ConnectionMode mode, quint16 port)
{
    d->queuedTarget.host = host;
    d->queuedTarget.mode = mode;
    d->queuedTarget.port = port;
    return d->enqueue(Kind::SetHost);
}

int HttpClient::get(const QString& path)
{
    return d->enqueue(Kind::Get, path);
}

void HttpClient::setVerifyPeer(bool verify)
{
    d->verifyPeer = verify;
}

HttpClient::State HttpClient::state() const
{
    if (d->active)
        return d->requestSent ? Reading : Connecting;
    if (d->queuedPageRequests() > 0)
        return Connecting;
    return Unconnected;
}

void HttpClient::close()
{
    if (!d->queue.empty())
        qCInfo(lcHttp) << "Connection closed with" << d->queue.size() << "requests pending";
    d->dropAll();
}

void HttpClient::abort()
{
    if (!d->queue.empty())
        qCInfo(lcHttp) << "Aborted with" << d->queue.size() << "requests pending";
    d->dropAll();
}

qint64 HttpClient::lastDurationMs() const
{
    return d->last.durationMs;
}

int HttpClient::lastStatusCode() const
{
    return d->last.statusCode;
}

QByteArray HttpClient::readAll()
{
    return std::exchange(d->last.body, QByteArray());
}

HttpClient::Error HttpClient::error() const
{
    return d->last.error;
}

QString HttpClient::errorString() const
{
    return d->last.error == NoError ? tr("Unknown error") : d->last.errorString;
}

HttpClient::Failure HttpClient::failure() const
{
    return d->last.failure;
}

int HttpClient::pendingRequestCount() const
{
    return int(d->queue.size() + d->outbox.size());
}

void HttpClient::setConnectTimeout(int milliseconds)
{
    d->connectTimeoutMs = qMax(1, milliseconds);
}

void HttpClient::setSilenceTimeout(int milliseconds)
{
    d->silenceTimeoutMs = qMax(1, milliseconds);
}

void HttpClient::setTotalTimeout(int milliseconds)
{
    d->totalTimeoutMs = qMax(1, milliseconds);
}

void HttpClient::setMaxBodySize(qint64 bytes)
{
    d->maxBodyBytes = qMax<qint64>(0, bytes);
}

void HttpClient::setMaxPendingRequests(int count)
{
    d->maxPendingRequests = qMax(1, count);
    d->trimQueue();
}
