#include "monitor/httptransfer.h"

#include "monitor/certificateprobe.h"
#include "monitor/curlmulti.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <cstring>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcTransfer, "tarvix.http.transfer", QtWarningMsg)

// The path is used as given, split at the first '?' into path and query.
QUrl makeUrl(const HttpClient::Target& target, const QString& path)
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

long firstScheme(TransportOptions::AuthMethod method)
{
    switch (method) {
    case TransportOptions::AuthMethod::Digest:
        return CURLAUTH_DIGEST;
    case TransportOptions::AuthMethod::Kerberos:
        return CURLAUTH_NEGOTIATE;
    case TransportOptions::AuthMethod::Ntlm:
        return CURLAUTH_NTLM;
    case TransportOptions::AuthMethod::Basic:
        break;
    }
    return CURLAUTH_BASIC;
}

} // namespace

struct HttpTransfer::Private
{
    Private(HttpTransfer* transfer, std::shared_ptr<CurlMulti> curlMulti, const HttpClient::Target& to,
        const HttpClient::Limits& bounds, bool keepCookies);
    ~Private();
    Private(const Private&) = delete;
    Private& operator=(const Private&) = delete;

    void configure(bool keepCookies);
    void start(const QString& path, bool post, const QByteArray& postForm);
    void launch();
    void heard();
    void done(CURLcode code);
    bool askAgainInOtherScheme(long offered);
    void checkCertificate(CURLcode code, const QString& curlText);
    void fail(HttpClient::Error kind, HttpClient::Failure why, const QString& text, bool keepBody = false);
    void succeed();
    void report(bool withSslErrors = false, const QList<QSslError>& sslErrors = {});
    void stop();

    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    static size_t onBody(char* data, size_t size, size_t count, void* self);
    static int onRequestSent(void* self, char* remoteIp, char* localIp, int remotePort, int localPort);

    HttpTransfer* q;
    std::shared_ptr<CurlMulti> multi; // outlives the handle, which uses its share object
    CURL* easy = nullptr;
    curl_slist* postHeaders = nullptr;
    HttpClient::Target target;
    HttpClient::Limits limits;
    long scheme = CURLAUTH_BASIC;
    bool askedAgain = false;

    // The request in flight.
    QUrl url;
    bool isPost = false;
    QByteArray form;
    bool running = false;
    bool sent = false;
    qsizetype headerBytes = 0;
    bool headerTooLarge = false;
    bool bodyTooLarge = false;
    QByteArray body;
    QElapsedTimer clock;
    QElapsedTimer sinceLastByte;
    // Not curl's low-speed check, which averages the rate (less than a byte a second over the
    // time) and so would end an answer that trickles a byte every few seconds as silent.
    QTimer silenceTimer;
    std::unique_ptr<CertificateProbe> probe;
    // Counts aborts: a result whose report is still to come is dropped by one.
    quint64 generation = 0;
    char errorBuffer[CURL_ERROR_SIZE] {};

    // Results of the last request.
    int statusCode = 0;
    HttpClient::Error error = HttpClient::NoError;
    HttpClient::Failure failure = HttpClient::Failure::None;
    QString errorString;
    QByteArray answer;
    qint64 durationMs = 0;
    PeerCertificate peer;
};

HttpTransfer::Private::Private(HttpTransfer* transfer, std::shared_ptr<CurlMulti> curlMulti,
    const HttpClient::Target& to, const HttpClient::Limits& bounds, bool keepCookies)
    : q(transfer),
      multi(std::move(curlMulti)),
      target(to),
      limits(bounds),
      scheme(firstScheme(to.transport.authMethod))
{
    silenceTimer.setSingleShot(true);
    QObject::connect(&silenceTimer, &QTimer::timeout, q, [this] {
        if (!running || !sent)
            return;
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        statusCode = int(status);
        stop();
        fail(HttpClient::UnexpectedClose, HttpClient::Failure::TimedOut,
            HttpClient::tr("Connection is timed out: the server sent nothing for %1 s.")
                .arg(seconds(limits.silenceTimeoutMs)),
            true);
    });
    configure(keepCookies);
}

HttpTransfer::Private::~Private()
{
    stop();
    curl_easy_cleanup(easy);
    curl_slist_free_all(postHeaders);
}

// What stays the same for every request of the transfer.
void HttpTransfer::Private::configure(bool keepCookies)
{
    easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Tarvix");
    // Whatever curl can decode; the body cap counts the decoded bytes.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Private::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Private::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Private::onRequestSent);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(easy, CURLOPT_SHARE, multi->share());
    // A 100 Continue round trip is of no use for a small form.
    postHeaders = curl_slist_append(nullptr, "Expect:");
    if (keepCookies)
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");

    const TransportOptions& transport = target.transport;
    if (transport.authMethod == TransportOptions::AuthMethod::Kerberos) {
        // The ticket names the user; curl 7.88 sends no Negotiate token without some user name.
        curl_easy_setopt(easy, CURLOPT_USERPWD, ":");
    } else if (!target.user.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, target.user.toUtf8().constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, target.password.toUtf8().constData());
    }

    switch (transport.proxyMode) {
    case TransportOptions::ProxyMode::System:
        break; // curl reads http_proxy, https_proxy and no_proxy
    case TransportOptions::ProxyMode::None:
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
        break;
    case TransportOptions::ProxyMode::Manual:
        curl_easy_setopt(easy, CURLOPT_PROXY, transport.proxyAddress.toUtf8().constData());
        if (!transport.proxyUser.isEmpty()) {
            curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, transport.proxyUser.toUtf8().constData());
            curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, transport.proxyPassword.toUtf8().constData());
        }
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
        break;
    }

    // A pinned key is the trust the user chose: the certificate authorities are not asked.
    const bool pinned = !transport.pinnedPublicKey.isEmpty();
    const bool verify = transport.verifyPeer && !pinned;
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
    if (pinned)
        curl_easy_setopt(easy, CURLOPT_PINNEDPUBLICKEY, transport.pinnedPublicKey.toUtf8().constData());
    if (!transport.caFile.isEmpty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, transport.caFile.toLocal8Bit().constData());
    if (!transport.clientCertFile.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_SSLCERT, transport.clientCertFile.toLocal8Bit().constData());
        curl_easy_setopt(easy, CURLOPT_SSLCERTTYPE, "PEM");
    }
    if (!transport.clientKeyFile.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_SSLKEY, transport.clientKeyFile.toLocal8Bit().constData());
        curl_easy_setopt(easy, CURLOPT_SSLKEYTYPE, "PEM");
    }
}

void HttpTransfer::Private::start(const QString& path, bool post, const QByteArray& postForm)
{
    if (running)
        return;
    running = true;
    clock.start();
    askedAgain = false;
    statusCode = 0;
    peer = PeerCertificate();
    url = makeUrl(target, path);
    isPost = post;
    form = postForm;
    if (!url.isValid() || target.host.isEmpty()) {
        qCInfo(lcTransfer) << "No usable address:" << url.errorString();
        fail(HttpClient::HostNotFound, HttpClient::Failure::Other,
            HttpClient::tr("Host %1 not found").arg(target.host));
        return;
    }
    launch();
}

// Also for the same request asked again in another scheme: the bounds count from the start.
void HttpTransfer::Private::launch()
{
    const qint64 left = qMax<qint64>(1, limits.totalTimeoutMs - clock.elapsed());
    curl_easy_setopt(easy, CURLOPT_URL, url.toEncoded().constData());
    if (isPost) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(form.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, form.constData());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, postHeaders);
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    }
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, scheme);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(qMin<qint64>(limits.connectTimeoutMs, left)));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, long(left));
    sent = false;
    headerBytes = 0;
    headerTooLarge = false;
    bodyTooLarge = false;
    body.clear();
    errorBuffer[0] = '\0';
    silenceTimer.stop();
    if (!multi->add(easy, [this](CURLcode code) { done(code); }))
        fail(HttpClient::UnknownError, HttpClient::Failure::Other, HttpClient::tr("Unknown error"));
}

void HttpTransfer::Private::heard()
{
    sinceLastByte.start();
    if (sent)
        silenceTimer.start(limits.silenceTimeoutMs);
}

size_t HttpTransfer::Private::onHeader(char* data, size_t size, size_t count, void* self)
{
    auto* d = static_cast<Private*>(self);
    const size_t bytes = size * count;
    d->headerBytes += qsizetype(bytes);
    if (d->headerBytes > HttpClient::maxHeaderBytes) {
        d->headerTooLarge = true;
        return 0;
    }
    // A new answer, after an interim one or an authentication round, brings a body of its own.
    if (bytes >= 5 && std::memcmp(data, "HTTP/", 5) == 0)
        d->body.clear();
    d->heard();
    return bytes;
}

size_t HttpTransfer::Private::onBody(char* data, size_t size, size_t count, void* self)
{
    auto* d = static_cast<Private*>(self);
    const size_t bytes = size * count;
    if (qint64(d->body.size()) + qint64(bytes) > d->limits.maxBodyBytes) {
        d->bodyTooLarge = true;
        return 0;
    }
    // Grown here rather than by append(), which copies the whole body at every step: reserve()
    // lets the allocator move the pages instead, and the cap bounds the last step.
    const qint64 needed = qint64(d->body.size()) + qint64(bytes);
    if (needed > d->body.capacity())
        d->body.reserve(
            qsizetype(qMin(d->limits.maxBodyBytes, qMax(needed, 2 * qint64(d->body.capacity())))));
    d->body.append(data, qsizetype(bytes));
    d->heard();
    return bytes;
}

int HttpTransfer::Private::onRequestSent(void* self, char*, char*, int, int)
{
    auto* d = static_cast<Private*>(self);
    d->sent = true;
    d->heard();
    return CURL_PREREQFUNC_OK;
}

void HttpTransfer::Private::done(CURLcode code)
{
    silenceTimer.stop();
    long status = 0;
    long connectStatus = 0;
    long offered = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectStatus);
    curl_easy_getinfo(easy, CURLINFO_HTTPAUTH_AVAIL, &offered);
    statusCode = int(status != 0 ? status : connectStatus);
    const QString curlText = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
    if (code != CURLE_OK)
        qCDebug(lcTransfer) << "curl error" << int(code) << curlText;

    using E = HttpClient::Error;
    using F = HttpClient::Failure;
    if (connectStatus == 407 || (code == CURLE_OK && status == 407))
        return fail(
            E::ProxyAuthenticationRequiredError, F::Other, HttpClient::tr("Proxy authentication required"));
    switch (code) {
    case CURLE_OK:
        if (status != 401)
            return succeed();
        if (askAgainInOtherScheme(offered))
            return;
        return fail(E::AuthenticationRequiredError, F::Other,
            target.user.isEmpty() && target.transport.authMethod != TransportOptions::AuthMethod::Kerberos
                ? HttpClient::tr("The server asks for a user name and password.")
                : HttpClient::tr("The server refused the user name or password."));
    case CURLE_WRITE_ERROR:
        if (headerTooLarge) {
            return fail(E::InvalidResponseHeader, F::TooLarge,
                HttpClient::tr("The answer is too large: its header exceeds %1 KiB.")
                    .arg(HttpClient::maxHeaderBytes / 1024));
        }
        if (!bodyTooLarge)
            break;
        Q_FALLTHROUGH();
    case CURLE_FILESIZE_EXCEEDED:
        return fail(E::WrongContentLength, F::TooLarge,
            HttpClient::tr("The answer is too large: more than %1 MiB.")
                .arg(QString::number(limits.maxBodyBytes / 1048576.0, 'g', 4)));
    case CURLE_OPERATION_TIMEDOUT:
        if (!sent && clock.elapsed() < limits.totalTimeoutMs) {
            return fail(E::UnexpectedClose, F::TimedOut,
                HttpClient::tr("Connection is timed out: no connection to the server within %1 s.")
                    .arg(seconds(limits.connectTimeoutMs)));
        }
        if (sent && sinceLastByte.elapsed() >= limits.silenceTimeoutMs) {
            return fail(E::UnexpectedClose, F::TimedOut,
                HttpClient::tr("Connection is timed out: the server sent nothing for %1 s.")
                    .arg(seconds(limits.silenceTimeoutMs)),
                true);
        }
        return fail(E::UnexpectedClose, F::TimedOut,
            HttpClient::tr("Connection is timed out: the answer did not arrive within %1 s.")
                .arg(seconds(limits.totalTimeoutMs)),
            true);
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_HOST:
        return fail(E::HostNotFound, F::Other, HttpClient::tr("Host %1 not found").arg(target.host));
    case CURLE_COULDNT_RESOLVE_PROXY:
        return fail(E::HostNotFound, F::Other,
            HttpClient::tr("Host %1 not found").arg(target.transport.proxyAddress));
    case CURLE_COULDNT_CONNECT:
        return fail(E::ConnectionRefused, F::Other, HttpClient::tr("Connection refused"));
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
        return fail(E::UnexpectedClose, F::CutShort,
            HttpClient::tr("The server closed the connection before the whole answer arrived."), true);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return checkCertificate(code, curlText);
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
        return fail(E::UnexpectedClose, F::Other, curlText);
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL: // an HTTP/0.9 answer
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return fail(
            E::InvalidResponseHeader, F::Other, HttpClient::tr("The server's answer is not valid HTTP."));
    default:
        break;
    }
    fail(E::UnknownError, F::Other, curlText);
}

// Basic went with the request and was refused: a server that asks for Digest or NTLM instead is
// asked once more in that scheme, and the transfer keeps it for its later requests.
bool HttpTransfer::Private::askAgainInOtherScheme(long offered)
{
    if (scheme != CURLAUTH_BASIC || askedAgain || target.user.isEmpty())
        return false;
    const long other = (offered & CURLAUTH_DIGEST) ? CURLAUTH_DIGEST
        : (offered & CURLAUTH_NTLM)                ? CURLAUTH_NTLM
                                                   : 0;
    if (other == 0)
        return false;
    qCDebug(lcTransfer) << "The server asks for scheme" << other << "instead of Basic";
    scheme = other;
    askedAgain = true;
    launch();
    return true;
}

// curl says only that the check failed; a handshake of Qt's own names the problems and brings the
// certificate, which the user may choose to trust.
void HttpTransfer::Private::checkCertificate(CURLcode code, const QString& curlText)
{
    const bool pinMismatch = code == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
    probe = std::make_unique<CertificateProbe>();
    QObject::connect(probe.get(), &CertificateProbe::finished, q,
        [this, pinMismatch, curlText](const QList<QSslError>& errors, const QSslCertificate& certificate) {
            probe.release()->deleteLater(); // from inside its own signal
            peer.certificate = certificate;
            peer.sha256Fingerprint
                = QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
            peer.publicKeyPin = publicKeyPin(certificate);
            peer.changed = pinMismatch;
            QString text = curlText;
            if (pinMismatch)
                text = HttpClient::tr(
                    "The server's certificate changed: its public key is not the one trusted.");
            else if (!errors.isEmpty())
                text = errors.first().errorString();
            running = false;
            statusCode = 0;
            error = HttpClient::UnexpectedClose;
            failure = HttpClient::Failure::Other;
            errorString = text;
            answer.clear();
            durationMs = clock.elapsed();
            qCInfo(lcTransfer) << "Certificate check failed:" << text << errors.size() << "errors";
            report(!certificate.isNull() && (pinMismatch || !errors.isEmpty()), errors);
        });
    probe->start(target.host, target.port, target.transport, limits.connectTimeoutMs);
}

void HttpTransfer::Private::fail(
    HttpClient::Error kind, HttpClient::Failure why, const QString& text, bool keepBody)
{
    running = false;
    error = kind;
    failure = why;
    errorString = text;
    answer = keepBody ? std::exchange(body, QByteArray()) : QByteArray();
    body = QByteArray();
    durationMs = clock.elapsed();
    report();
}

void HttpTransfer::Private::succeed()
{
    running = false;
    error = HttpClient::NoError;
    failure = HttpClient::Failure::None;
    errorString.clear();
    answer = std::exchange(body, QByteArray());
    durationMs = clock.elapsed();
    report();
}

// Never from inside the call that started the request, nor from inside curl.
void HttpTransfer::Private::report(bool withSslErrors, const QList<QSslError>& sslErrors)
{
    const quint64 reported = generation;
    const bool failed = error != HttpClient::NoError;
    QMetaObject::invokeMethod(
        q,
        [this, reported, failed, withSslErrors, sslErrors] {
            if (reported != generation)
                return;
            const QPointer<HttpTransfer> alive(q);
            if (withSslErrors) {
                emit q->sslErrors(sslErrors);
                if (!alive || reported != generation)
                    return; // the receiver closed the client
            }
            emit q->finished(failed);
        },
        Qt::QueuedConnection);
}

void HttpTransfer::Private::stop()
{
    silenceTimer.stop();
    probe.reset();
    if (running)
        multi->remove(easy);
}

HttpTransfer::HttpTransfer(std::shared_ptr<CurlMulti> multi, const HttpClient::Target& target,
    const HttpClient::Limits& limits, bool keepCookies, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(this, std::move(multi), target, limits, keepCookies))
{ }

HttpTransfer::~HttpTransfer() = default;

void HttpTransfer::get(const QString& path)
{
    d->start(path, false, {});
}

void HttpTransfer::post(const QString& path, const QByteArray& form)
{
    d->start(path, true, form);
}

void HttpTransfer::abort()
{
    ++d->generation;
    d->stop();
    d->running = false;
}

bool HttpTransfer::isRunning() const
{
    return d->running;
}

bool HttpTransfer::isSent() const
{
    return d->running && d->sent;
}

const HttpClient::Target& HttpTransfer::target() const
{
    return d->target;
}

void HttpTransfer::setLimits(const HttpClient::Limits& limits)
{
    d->limits = limits;
}

HttpClient::Limits HttpTransfer::limits() const
{
    return d->limits;
}

int HttpTransfer::statusCode() const
{
    return d->statusCode;
}

QByteArray HttpTransfer::readAll()
{
    return std::exchange(d->answer, QByteArray());
}

HttpClient::Error HttpTransfer::error() const
{
    return d->error;
}

HttpClient::Failure HttpTransfer::failure() const
{
    return d->failure;
}

QString HttpTransfer::errorString() const
{
    return d->errorString;
}

qint64 HttpTransfer::durationMs() const
{
    return d->durationMs;
}

PeerCertificate HttpTransfer::peerCertificate() const
{
    return d->peer;
}
