#include "monitor/httpclient.h"

#include <QAuthenticator>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>
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

// Where a page request goes and as whom: captured when the request is queued.
struct Target
{
    QString host;
    HttpClient::ConnectionMode mode = HttpClient::ConnectionModeHttp;
    quint16 port = 80;
    QString user;
    QString password;

    bool operator==(const Target& other) const
    {
        return host == other.host && mode == other.mode && port == other.port && user == other.user
            && password == other.password;
    }
    bool operator!=(const Target& other) const { return !(*this == other); }
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
    QString errorString;
    int statusCode = 0;
    QByteArray body;
    qint64 durationMs = 0;
};

HttpClient::Error errorFromReply(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::NoError:
        return HttpClient::NoError;
    case QNetworkReply::HostNotFoundError:
        return HttpClient::HostNotFound;
    case QNetworkReply::ConnectionRefusedError:
        return HttpClient::ConnectionRefused;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::SslHandshakeFailedError:
        return HttpClient::UnexpectedClose;
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::UnknownContentError: // only when no status answer: e.g. a body that does not
                                             // decompress
        return HttpClient::InvalidResponseHeader;
    case QNetworkReply::AuthenticationRequiredError:
        return HttpClient::AuthenticationRequiredError;
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return HttpClient::ProxyAuthenticationRequiredError;
    default:
        return HttpClient::UnknownError;
    }
}

// The codes QNetworkAccessManager gives to a completely received answer with a status of 400 or
// more. Such an answer is a finished request for us: the caller reads its status code.
bool isStatusAnswerError(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
    case QNetworkReply::ContentNotFoundError:
    case QNetworkReply::ContentConflictError:
    case QNetworkReply::ContentGoneError:
    case QNetworkReply::UnknownContentError:
    case QNetworkReply::ProtocolInvalidOperationError:
    case QNetworkReply::InternalServerError:
    case QNetworkReply::OperationNotImplementedError:
    case QNetworkReply::ServiceUnavailableError:
    case QNetworkReply::UnknownServerError:
        return true;
    default:
        return false;
    }
}

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

} // namespace

struct HttpClient::Private
{
    explicit Private(HttpClient* client) : q(client)
    {
        silenceTimer.setSingleShot(true);
        silenceTimer.setInterval(defaultSilenceTimeoutMs);
    }

    int enqueue(Kind kind, const QString& path = {});
    void trimQueue();
    void scheduleProcessing();
    void processQueue();
    void startGet(const Request& request);
    QNetworkAccessManager* managerFor(const Target& target);
    void dropManager();
    void readBody();
    void restartSilenceTimer();
    void onAuthenticationRequired(QNetworkReply* forReply, QAuthenticator* authenticator);
    void onReplyFinished();
    void failCurrent(Error error, const QString& text, bool keepBody);
    void releaseReply();
    void finishFront(Result result);
    void dropAll();
    void scheduleDelivery();
    void deliver();
    int queuedPageRequests() const;

    HttpClient* q;
    int lastId = 0;
    Target queuedTarget; // what setUser/setHost made of the next page request
    bool verifyPeer = true;
    int silenceTimeoutMs = defaultSilenceTimeoutMs;
    qint64 maxBodyBytes = defaultMaxBodyBytes;
    int maxPendingRequests = defaultMaxPendingRequests;

    std::deque<Request> queue; // front is in flight while reply is set
    std::deque<Result> outbox; // finished, requestFinished not yet emitted
    bool processingScheduled = false;
    bool deliveryScheduled = false;

    QNetworkAccessManager* manager = nullptr;
    Target managerTarget;
    bool managerVerifyPeer = true;

    QNetworkReply* reply = nullptr;
    bool requestSent = false;
    // From the start of the page request in flight, for the log.
    QElapsedTimer getClock;
    bool credentialsOffered = false;
    QByteArray body;
    QTimer silenceTimer;

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
    const auto first = queue.begin() + (reply ? 1 : 0);
    return int(std::count_if(first, queue.end(), [](const Request& r) { return r.kind == Kind::Get; }));
}

// A server that hangs must not make the queue grow with every poll. The oldest waiting requests
// go first; their requestFinished comes before that of the request in flight.
void HttpClient::Private::trimQueue()
{
    const size_t inFlight = reply ? 1 : 0;
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
    while (!reply && !queue.empty()) {
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

// Each set of credentials, host and verification gets a manager of its own, so that neither its
// credential cache nor a kept-alive connection carries old settings over.
QNetworkAccessManager* HttpClient::Private::managerFor(const Target& target)
{
    if (manager && managerTarget == target && managerVerifyPeer == verifyPeer)
        return manager;
    dropManager();
    manager = new QNetworkAccessManager(q);
    manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    managerTarget = target;
    managerVerifyPeer = verifyPeer;
    QObject::connect(manager, &QNetworkAccessManager::authenticationRequired, q,
        [this](QNetworkReply* forReply, QAuthenticator* authenticator) {
            onAuthenticationRequired(forReply, authenticator);
        });
    return manager;
}

void HttpClient::Private::dropManager()
{
    if (!manager)
        return;
    QObject::disconnect(manager, nullptr, q, nullptr);
    manager->deleteLater();
    manager = nullptr;
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
        result.errorString = tr("Host %1 not found").arg(target.host);
        qCInfo(lcHttp) << "Request" << request.id << "has no usable address:" << url.errorString();
        finishFront(std::move(result));
        return;
    }

    QNetworkRequest networkRequest(url);
    networkRequest.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    networkRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // One HTTP/1.1 connection, as QHttp had: requestSent then marks the end of the connect phase.
    networkRequest.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // Status pages of big installations compress 47:1 and more; the body cap guards instead.
    networkRequest.setDecompressedSafetyCheckThreshold(-1);
    if (!target.user.isEmpty()) {
        const QByteArray credentials = (target.user + QLatin1Char(':') + target.password).toUtf8();
        networkRequest.setRawHeader("Authorization", "Basic " + credentials.toBase64());
    }
    if (target.mode == ConnectionModeHttps) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        if (!verifyPeer)
            ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
        networkRequest.setSslConfiguration(ssl);
    }

    body.clear();
    requestSent = false;
    credentialsOffered = false;
    silenceTimer.setInterval(silenceTimeoutMs);
    reply = managerFor(target)->get(networkRequest);
    qCDebug(lcHttp) << "Request" << request.id << "GET" << url.toDisplayString();

    QObject::connect(reply, &QNetworkReply::requestSent, q, [this] {
        requestSent = true;
        silenceTimer.start();
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, q, [this] { restartSilenceTimer(); });
    QObject::connect(reply, &QNetworkReply::downloadProgress, q, [this](qint64 received) {
        if (received > 0)
            restartSilenceTimer();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, q, [this] { readBody(); });
    QObject::connect(reply, &QNetworkReply::sslErrors, q, [this](const QList<QSslError>& errors) {
        qCInfo(lcHttp) << "Request" << queue.front().id << "has" << errors.size() << "certificate problems";
        emit q->sslErrors(errors);
    });
    QObject::connect(reply, &QNetworkReply::finished, q, [this] { onReplyFinished(); });
}

// Data arriving before requestSent is seen still proves the request went out.
void HttpClient::Private::restartSilenceTimer()
{
    if (!reply)
        return;
    requestSent = true;
    silenceTimer.start();
}

void HttpClient::Private::readBody()
{
    if (!reply)
        return;
    restartSilenceTimer();
    const QByteArray chunk = reply->readAll();
    if (body.size() + chunk.size() > maxBodyBytes) {
        qCInfo(lcHttp) << "Request" << queue.front().id << "ended: the answer exceeds" << maxBodyBytes
                       << "bytes";
        failCurrent(WrongContentLength, tr("The answer is too large."), false);
        return;
    }
    body.append(chunk);
}

// Digest, or a Basic realm that refused the credentials sent up front: offer them once, so that
// wrong credentials end the request instead of asking again and again.
void HttpClient::Private::onAuthenticationRequired(QNetworkReply* forReply, QAuthenticator* authenticator)
{
    if (forReply != reply || credentialsOffered)
        return;
    const Target& target = queue.front().target;
    if (target.user.isEmpty())
        return;
    credentialsOffered = true;
    authenticator->setUser(target.user);
    authenticator->setPassword(target.password);
}

// Only a plain body can be compared with Content-Length: a compressed one arrives unpacked.
static bool isCutShort(const QNetworkReply* reply, qint64 received)
{
    if (!reply->hasRawHeader("Content-Length") || reply->hasRawHeader("Content-Encoding"))
        return false;
    bool ok = false;
    const qint64 announced = reply->rawHeader("Content-Length").trimmed().toLongLong(&ok);
    return ok && received < announced;
}

void HttpClient::Private::onReplyFinished()
{
    if (!reply)
        return;
    readBody();
    if (!reply)
        return;

    Result result;
    result.id = queue.front().id;
    result.statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError networkError = reply->error();
    const bool statusAnswer = result.statusCode >= 400 && isStatusAnswerError(networkError);
    if (networkError != QNetworkReply::NoError && !statusAnswer) {
        result.error = errorFromReply(networkError);
        result.errorString = reply->errorString();
        qCInfo(lcHttp) << "Request" << result.id << "failed:" << networkError << reply->errorString();
    } else if (isCutShort(reply, body.size())) {
        // Under load Qt 6.4 sometimes finishes an answer that the server cut off without an
        // error; half a status page would look like a wave of recoveries.
        result.error = UnexpectedClose;
        result.errorString = tr("The server closed the connection before the whole answer arrived.");
        qCInfo(lcHttp) << "Request" << result.id << "cut short:" << body.size() << "bytes";
    } else {
        qCDebug(lcHttp) << "Request" << result.id << "answered" << result.statusCode << "with" << body.size()
                        << "bytes";
    }
    result.body = std::move(body);
    body = QByteArray();
    releaseReply();
    finishFront(std::move(result));
}

void HttpClient::Private::failCurrent(Error error, const QString& text, bool keepBody)
{
    Result result;
    result.id = queue.front().id;
    result.error = error;
    result.errorString = text;
    result.statusCode = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (keepBody)
        result.body = std::move(body);
    body = QByteArray();
    releaseReply();
    finishFront(std::move(result));
}

// Our own ends of a reply are reported by us, not by its finished signal.
void HttpClient::Private::releaseReply()
{
    silenceTimer.stop();
    if (!reply)
        return;
    QNetworkReply* finished = reply;
    reply = nullptr;
    requestSent = false;
    QObject::disconnect(finished, nullptr, q, nullptr);
    if (finished->isRunning())
        finished->abort();
    finished->deleteLater();
}

void HttpClient::Private::finishFront(Result result)
{
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
    body = QByteArray();
    releaseReply();
    while (!queue.empty()) {
        Result result;
        result.id = queue.front().id;
        result.error = Aborted;
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
    connect(&d->silenceTimer, &QTimer::timeout, this, [this] {
        if (!d->reply)
            return;
        qCInfo(lcHttp) << "Request" << d->queue.front().id << "ended: no data for" << d->silenceTimeoutMs
                       << "ms";
        d->failCurrent(UnexpectedClose, tr("Connection is timed out."), true);
    });
}

HttpClient::~HttpClient()
{
    if (d->reply) {
        QObject::disconnect(d->reply, nullptr, this, nullptr);
        d->reply->abort();
        d->reply = nullptr;
    }
    delete d->manager;
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
    if (d->reply)
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
    d->dropManager();
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

int HttpClient::pendingRequestCount() const
{
    return int(d->queue.size() + d->outbox.size());
}

void HttpClient::setSilenceTimeout(int milliseconds)
{
    d->silenceTimeoutMs = qMax(1, milliseconds);
    d->silenceTimer.setInterval(d->silenceTimeoutMs);
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
