#include "monitor/httpclient.h"

#include "monitor/curlmulti.h"
#include "monitor/httptransfer.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <deque>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcHttp, "tarvix.http", QtWarningMsg)

// Settings changes cost nothing to keep, but must not pile up without end behind a request that
// hangs either.
constexpr int settingsRequestsPerPageRequest = 4;

enum class Kind { SetUser, SetHost, Get };

struct Request
{
    int id = 0;
    Kind kind = Kind::Get;
    HttpClient::Target target;
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

bool sameTarget(const HttpClient::Target& a, const HttpClient::Target& b)
{
    return a.host == b.host && a.mode == b.mode && a.port == b.port && a.user == b.user
        && a.password == b.password && a.transport == b.transport;
}

} // namespace

struct HttpClient::Private
{
    explicit Private(HttpClient* client) : q(client) { }

    int enqueue(Kind kind, const QString& path = {});
    void trimQueue();
    void scheduleProcessing();
    void processQueue();
    void startGet(const Request& request);
    void pageFinished();
    void finishFront(Result result);
    void dropAll();
    void scheduleDelivery();
    void deliver();
    int queuedPageRequests() const;

    HttpClient* q;
    std::shared_ptr<CurlMulti> multi = std::make_shared<CurlMulti>();
    // The page requests' own transfer, kept while their target stays: it holds the
    // authentication state that lets the next request answer a Digest challenge at once.
    std::unique_ptr<HttpTransfer> pages;
    int lastId = 0;
    Target queuedTarget; // what setUser/setHost/setTransport made of the next page request
    Limits limits;
    int maxPendingRequests = defaultMaxPendingRequests;

    std::deque<Request> queue; // front is in flight while `active`
    std::deque<Result> outbox; // finished, requestFinished not yet emitted
    bool processingScheduled = false;
    bool deliveryScheduled = false;
    bool active = false;

    Result last;
    PeerCertificate peer;
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
    int waitingPages = queuedPageRequests();
    const size_t maxWaiting = size_t(maxPendingRequests) * (1 + settingsRequestsPerPageRequest);
    bool dropped = false;
    while (waitingPages > maxPendingRequests || queue.size() - inFlight > maxWaiting) {
        const auto oldest = queue.begin() + qsizetype(inFlight);
        Result result;
        result.id = oldest->id;
        if (oldest->kind == Kind::Get) {
            --waitingPages;
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
    if (!pages || !sameTarget(pages->target(), request.target)) {
        pages.reset(new HttpTransfer(multi, request.target, limits, false, nullptr));
        QObject::connect(pages.get(), &HttpTransfer::finished, q, [this] { pageFinished(); });
        QObject::connect(pages.get(), &HttpTransfer::sslErrors, q, [this](const QList<QSslError>& errors) {
            if (!active)
                return;
            peer = pages->peerCertificate();
            qCInfo(lcHttp) << "Request" << queue.front().id << "has" << errors.size()
                           << "certificate problems" << (peer.changed ? "and a changed certificate" : "");
            emit q->sslErrors(errors);
        });
    }
    pages->setLimits(limits);
    active = true;
    qCDebug(lcHttp) << "Request" << request.id << "GET" << request.path;
    pages->get(request.path);
}

void HttpClient::Private::pageFinished()
{
    if (!active)
        return;
    Result result;
    result.id = queue.front().id;
    result.error = pages->error();
    result.failure = pages->failure();
    result.errorString = pages->errorString();
    result.statusCode = pages->statusCode();
    result.body = pages->readAll();
    result.durationMs = pages->durationMs();
    if (result.error == NoError) {
        qCDebug(lcHttp) << "Request" << result.id << "answered" << result.statusCode << "with"
                        << result.body.size() << "bytes";
    } else {
        qCInfo(lcHttp).noquote() << "Request" << result.id << "failed:" << result.errorString;
    }
    finishFront(std::move(result));
}

void HttpClient::Private::finishFront(Result result)
{
    active = false;
    queue.pop_front();
    outbox.push_back(std::move(result));
    scheduleDelivery();
    scheduleProcessing();
}

void HttpClient::Private::dropAll()
{
    if (pages)
        pages->abort();
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
}

HttpClient::~HttpClient() = default;

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

void HttpClient::setTransport(const TransportOptions& transport)
{
    d->queuedTarget.transport = transport;
}

void HttpClient::setVerifyPeer(bool verify)
{
    d->queuedTarget.transport.verifyPeer = verify;
}

HttpTransfer* HttpClient::newTransfer(const Target& target, QObject* parent)
{
    return new HttpTransfer(d->multi, target, d->limits, true, parent);
}

HttpClient::State HttpClient::state() const
{
    if (d->active)
        return d->pages->isSent() ? Reading : Connecting;
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

PeerCertificate HttpClient::peerCertificate() const
{
    return d->peer;
}

int HttpClient::pendingRequestCount() const
{
    return int(d->queue.size() + d->outbox.size());
}

void HttpClient::setConnectTimeout(int milliseconds)
{
    d->limits.connectTimeoutMs = qMax(1, milliseconds);
}

void HttpClient::setSilenceTimeout(int milliseconds)
{
    d->limits.silenceTimeoutMs = qMax(1, milliseconds);
}

void HttpClient::setTotalTimeout(int milliseconds)
{
    d->limits.totalTimeoutMs = qMax(1, milliseconds);
}

void HttpClient::setMaxBodySize(qint64 bytes)
{
    d->limits.maxBodyBytes = qMax<qint64>(0, bytes);
}

void HttpClient::setMaxPendingRequests(int count)
{
    d->maxPendingRequests = qMax(1, count);
    d->trimQueue();
}
