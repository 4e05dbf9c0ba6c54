#include "tools/nagiossimulator.h"
#include "tools/simulatorcommands.h"

#include "tools/nagiosjson.h"
#include "tools/nagiospage.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <QSslCertificate>
#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#endif

#include <zlib.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace {

using HostState = NagiosSimulator::HostState;
using ServiceState = NagiosSimulator::ServiceState;

constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
constexpr qint64 kMaxRequestBody = 1024 * 1024;
// Bytes handed to the socket at a time, so a large page is not copied whole into its buffer.
constexpr qint64 kWriteSlice = 256 * 1024;

// The parameters of a Digest Authorization header after its scheme: key=value or key="quoted
// value" pairs separated by commas; keys in lower case.
QHash<QByteArray, QByteArray> authHeaderParameters(const QByteArray& text)
{
    QHash<QByteArray, QByteArray> parameters;
    qsizetype at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text.at(at) == ' ' || text.at(at) == ','))
            ++at;
        const qsizetype equals = text.indexOf('=', at);
        if (equals < 0)
            break;
        const QByteArray key = text.mid(at, equals - at).trimmed().toLower();
        at = equals + 1;
        while (at < text.size() && text.at(at) == ' ')
            ++at;
        QByteArray value;
        if (at < text.size() && text.at(at) == '"') {
            for (++at; at < text.size() && text.at(at) != '"'; ++at) {
                if (text.at(at) == '\\' && at + 1 < text.size())
                    ++at;
                value += text.at(at);
            }
            ++at;
        } else {
            const qsizetype comma = text.indexOf(',', at);
            value = text.mid(at, comma < 0 ? -1 : comma - at).trimmed();
            at = comma < 0 ? text.size() : comma;
        }
        parameters.insert(key, value);
    }
    return parameters;
}

QByteArray httpDate(const QDateTime& time)
{
    return QLocale::c().toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toLatin1();
}

struct Certificate
{
    QByteArray certificatePem;
    QByteArray keyPem;
    QString error;
};

// One self-signed certificate per process: making an RSA key takes a noticeable moment.
const Certificate& selfSignedCertificate()
{
    static const Certificate certificate = [] {
        Certificate made;
        QTemporaryDir dir;
        if (!dir.isValid()) {
            made.error = QStringLiteral("no temporary directory for the certificate");
            return made;
        }
        const QString keyPath = dir.filePath(QStringLiteral("key.pem"));
        const QString certPath = dir.filePath(QStringLiteral("cert.pem"));
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"),
            {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                QStringLiteral("-keyout"), keyPath, QStringLiteral("-out"), certPath});
        if (!openssl.waitForFinished(120000) || openssl.exitStatus() != QProcess::NormalExit
            || openssl.exitCode() != 0) {
            made.error = QStringLiteral("openssl req failed: %1 %2")
                             .arg(openssl.errorString(), QString::fromLocal8Bit(openssl.readAll()));
            return made;
        }
        QFile key(keyPath);
        QFile cert(certPath);
        if (!key.open(QIODevice::ReadOnly) || !cert.open(QIODevice::ReadOnly)) {
            made.error = QStringLiteral("cannot read the certificate made by openssl");
            return made;
        }
        made.keyPem = key.readAll();
        made.certificatePem = cert.readAll();
        return made;
    }();
    return certificate;
}

// A request parsed from the connection's input, or how the parse failed.
struct ParsedRequest
{
    enum Result { Incomplete, Complete, Bad };
    Result result = Incomplete;
    RecordedRequest recorded;
    bool keepAlive = true;
    qsizetype consumed = 0;
};

ParsedRequest parseRequest(const QByteArray& input)
{
    ParsedRequest parsed;
    qsizetype begin = 0;
    while (begin < input.size() && (input.at(begin) == '\r' || input.at(begin) == '\n'))
        ++begin; // stray line ends between requests
    qsizetype headerEnd = input.indexOf("\r\n\r\n", begin);
    qsizetype separator = 4;
    const qsizetype bareEnd = input.indexOf("\n\n", begin);
    if (bareEnd >= 0 && (headerEnd < 0 || bareEnd < headerEnd)) {
        headerEnd = bareEnd;
        separator = 2;
    }
    if (headerEnd < 0) {
        parsed.result
            = input.size() - begin > kMaxHeaderBytes ? ParsedRequest::Bad : ParsedRequest::Incomplete;
        return parsed;
    }
    const QList<QByteArray> lines = input.mid(begin, headerEnd - begin).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() < 2 || requestLine.at(0).isEmpty()) {
        parsed.result = ParsedRequest::Bad;
        return parsed;
    }
    const QByteArray version = requestLine.size() > 2 ? requestLine.at(2).toUpper() : QByteArray("HTTP/1.0");
    RecordedRequest& request = parsed.recorded;
    request.method = QString::fromLatin1(requestLine.at(0));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        QByteArray& slot = request.headers[name];
        slot = slot.isEmpty() ? value : slot + ", " + value;
    }
    request.authorization = request.headers.value("authorization");
    request.acceptEncoding = request.headers.value("accept-encoding");

    QByteArray target = requestLine.at(1);
    if (target.startsWith("http://") || target.startsWith("https://")) {
        const qsizetype pathStart = target.indexOf('/', target.indexOf("//") + 2);
        target = pathStart < 0 ? QByteArray("/") : target.mid(pathStart);
    }
    const qsizetype hash = target.indexOf('#');
    if (hash >= 0)
        target.truncate(hash);
    const qsizetype question = target.indexOf('?');
    request.path = QUrl::fromPercentEncoding(question < 0 ? target : target.left(question));
    request.query = question < 0 ? QString() : QString::fromUtf8(target.mid(question + 1));

    const QByteArray connection = request.headers.value("connection").toLower();
    parsed.keepAlive
        = version == "HTTP/1.1" ? !connection.contains("close") : connection.contains("keep-alive");

    if (request.headers.contains("transfer-encoding")) {
        parsed.result = ParsedRequest::Bad; // no client of ours sends chunked requests
        return parsed;
    }
    bool lengthOk = true;
    const qint64 length = request.headers.contains("content-length")
        ? request.headers.value("content-length").toLongLong(&lengthOk)
        : 0;
    if (!lengthOk || length < 0 || length > kMaxRequestBody) {
        parsed.result = ParsedRequest::Bad;
        return parsed;
    }
    const qsizetype total = headerEnd + separator + qsizetype(length);
    if (input.size() < total)
        return parsed;
    request.body = input.mid(headerEnd + separator, qsizetype(length));
    parsed.consumed = total;
    parsed.result = ParsedRequest::Complete;
    return parsed;
}

bool acceptsGzip(const QByteArray& acceptEncoding)
{
    for (const QByteArray& item : acceptEncoding.split(',')) {
        const QList<QByteArray> parts = item.split(';');
        const QByteArray coding = parts.first().trimmed().toLower();
        if (coding != "gzip" && coding != "x-gzip")
            continue;
        bool refused = false;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray parameter = parts.at(i).trimmed().toLower();
            if (parameter.startsWith("q=") && parameter.mid(2).toDouble() <= 0.0)
                refused = true;
        }
        if (!refused)
            return true;
    }
    return false;
}

QByteArray defaultHostOutput(HostState state, const QByteArray& address)
{
    switch (state) {
    case HostState::Up:
        return "PING OK - Packet loss = 0%, RTA = 0.05 ms";
    case HostState::Down:
        return "CRITICAL - Host Unreachable (" + address + ")";
    case HostState::Unreachable:
        return "UNREACHABLE - a parent host is DOWN";
    case HostState::Pending:
        break;
    }
    return "Host check scheduled";
}

QByteArray defaultServiceOutput(ServiceState state)
{
    switch (state) {
    case ServiceState::Ok:
        return "OK - all fine";
    case ServiceState::Warning:
        return "WARNING - above the warning threshold";
    case ServiceState::Critical:
        return "CRITICAL - above the critical threshold";
    case ServiceState::Unknown:
        return "UNKNOWN - the plugin could not tell";
    case ServiceState::Pending:
        break;
    }
    return "Service check scheduled";
}

// Nagios reads '+' in a query as a space; QUrlQuery does not.
QUrlQuery cgiQuery(QString query)
{
    query.replace(QLatin1Char('+'), QLatin1String("%20"));
    return QUrlQuery(query);
}

// Generated body pieces, handed out one at a time; an empty piece ends the body.
using BodySource = std::function<QByteArray()>;

// A gzip stream of `size` spaces: one deflated MiB of spaces from a fresh raw stream, ended by a
// full flush so that it refers to nothing before it, repeated; then the rest, an empty final block
// and the trailer. A few KiB per GiB, and nothing is ever held inflated.
BodySource gzipBombSource(qint64 size, qint64* compressedSize)
{
    constexpr qint64 block = 1024 * 1024;
    auto deflated = [](qint64 length) {
        z_stream stream {};
        deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
        const QByteArray spaces(length, ' ');
        QByteArray out(qsizetype(deflateBound(&stream, uLong(length))) + 64, Qt::Uninitialized);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(spaces.constData()));
        stream.avail_in = uInt(length);
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = uInt(out.size());
        deflate(&stream, Z_FULL_FLUSH);
        out.truncate(qsizetype(stream.total_out));
        deflateEnd(&stream);
        return out;
    };
    auto spacesCrc = [](qint64 length) {
        const QByteArray spaces(length, ' ');
        return crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(spaces.constData()), uInt(length));
    };
    const qint64 blocks = size / block;
    const qint64 rest = size % block;
    const QByteArray blockData = deflated(block);
    const QByteArray restData = rest > 0 ? deflated(rest) : QByteArray();
    uLong crc = crc32(0, nullptr, 0);
    const uLong blockCrc = spacesCrc(block);
    for (qint64 i = 0; i < blocks; ++i)
        crc = crc32_combine(crc, blockCrc, z_off_t(block));
    if (rest > 0)
        crc = crc32_combine(crc, spacesCrc(rest), z_off_t(rest));
    QByteArray tail = restData;
    tail += QByteArray("\x03\x00", 2); // the final block: fixed Huffman codes, nothing but its end
    for (const quint32 value : {quint32(crc), quint32(quint64(size) & 0xffffffffu)}) {
        for (int shift = 0; shift < 32; shift += 8)
            tail += char((value >> shift) & 0xff);
    }
    const QByteArray header("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    *compressedSize = header.size() + blocks * blockData.size() + tail.size();
    static constexpr qint64 blocksPerPiece = 256;
    QByteArray piece;
    for (qint64 i = 0; i < std::min(blocks, blocksPerPiece); ++i)
        piece += blockData;
    auto state = std::make_shared<qint64>(-1); // blocks sent; -1: the header is next
    return [header, piece, tail, blocks, blockSize = qint64(blockData.size()), state]() -> QByteArray {
        qint64& sent = *state;
        if (sent < 0) {
            sent = 0;
            return header;
        }
        if (sent < blocks) {
            const qint64 count = std::min(blocksPerPiece, blocks - sent);
            sent += count;
            return count == blocksPerPiece ? piece : piece.left(count * blockSize);
        }
        if (sent == blocks) {
            ++sent;
            return tail;
        }
        return {};
    };
}

// `size` bytes of 'x' and not one line end.
BodySource longLineSource(qint64 size)
{
    const QByteArray piece(kWriteSlice, 'x');
    auto left = std::make_shared<qint64>(size);
    return [piece, left]() -> QByteArray {
        const qint64 count = std::min<qint64>(*left, piece.size());
        *left -= count;
        return count == piece.size() ? piece : piece.left(count);
    };
}

// Comment lines for ever.
BodySource endlessSource()
{
    const QByteArray line = "<!-- " + QByteArray(88, '.') + " -->\n"; // 98 bytes
    QByteArray piece;
    piece.reserve(kWriteSlice);
    while (piece.size() + line.size() <= kWriteSlice)
        piece += line;
    return [piece]() { return piece; };
}

// The page up to a line end in the middle of its status table: no totals line, no footer.
QByteArray cutMidTable(const QByteArray& page)
{
    const qsizetype totals = page.indexOf("<div class='itemTotalsTitle'>");
    const qsizetype table = page.indexOf("<th class='status'>"); // the table's head row
    if (totals < 0 || table < 0 || table > totals)
        return page.left(page.size() / 2);
    QList<qsizetype> rows;
    for (qsizetype at = page.indexOf("\n<tr", table); at >= 0 && at < totals;
         at = page.indexOf("\n<tr", at + 1))
        rows.append(at + 1);
    if (rows.isEmpty())
        return page.left(page.indexOf('\n', table) + 1);
    return page.left(rows.at(rows.size() / 2));
}

} // namespace

struct NagiosSimulator::Private
{
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        int id = 0;
        QByteArray input;
        bool busy = false; // a request is being answered (or, with never-answer, never will be)
        bool closeAfter = false;
        // The answer being written.
        QByteArray head;
        QByteArray body;
        qint64 bodyPos = 0;
        qint64 bodyEnd = 0; // where to stop: the body size, or less to cut it
        BodySource source; // instead of body
        bool chunked = false;
        bool lastChunkWritten = false;
        bool cut = false;
        bool headWritten = false;
        bool finished = true;
        // Trickle: one byte of `pending` per tick.
        int trickleMs = 0;
        QPointer<QTimer> trickleTimer;
        QByteArray pending;
        qsizetype pendingPos = 0;
    };
    using ConnectionPtr = std::shared_ptr<Connection>;

    struct Reply
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "text/html; charset=utf-8";
        QList<QByteArray> headers;
        bool cgi = false;
        BodySource source; // a generated body instead of `body`, never compressed again
        qint64 sourceLength = -1; // -1: unknown, sent chunked
        bool forceChunked = false;
        int trickleMs = 0;
    };

    explicit Private(NagiosSimulator* owner) : q(owner) { }

    NagiosSimulator* q;
    QTcpServer* server = nullptr;
    bool https = false;
    quint16 port = 0;
    QString error;
    QString cgiDirectory = QStringLiteral("/nagios/cgi-bin/");
    NagiosPage::Installation installation;
    int addressCounter = 0;
    QString authUser;
    QString authPassword;
    bool authDigest = false;
    QByteArray digestNonce = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    int fixedStatus = 0;
    ErrorPage errorPage = ErrorPage::None;
    QByteArray rawBody;
    bool csrfCheck = true;
    // Like Nagios' own: 15 hex digits, the same for every form.
    QByteArray csrfId
        = QByteArray::number(QRandomGenerator::global()->generate64() >> 4, 16).rightJustified(15, '0');
    CommandRights commandRights = CommandRights::All;
    QList<TakenCommand> takenCommands;
    QHash<QPair<QByteArray, QByteArray>, int> checks;
    int delayMs = 0;
    bool neverAnswer = false;
    bool neverAccept = false;
    bool closeMidBody = false;
    bool gzipWhenAsked = true;
    bool chunked = false;
    bool injectNul = false;
    bool injectInvalidUtf8 = false;
    qint64 padding = 0;
    int trickleMs = 0;
    bool stallHandshake = false;
    qint64 gzipBombBytes = 0;
    qint64 longLineBytes = 0;
    bool endlessBody = false;
    int headerLines = 0;
    bool cutPage = false;
    qint64 bytesSent = 0;
    QDateTime pageTime;
    QList<RecordedRequest> requests;
    int connectionCounter = 0;
    std::vector<ConnectionPtr> connections;
    int blockedFd = -1;
    std::vector<int> fillerFds;
    QTcpServer* stallServer = nullptr; // takes the port over while handshakes stall

    bool listen();
    void acceptPending();
    void readFrom(const ConnectionPtr& connection);
    void processNext(const ConnectionPtr& connection);
    void answer(const ConnectionPtr& connection, const RecordedRequest& request, bool keepAlive);
    Reply replyFor(const RecordedRequest& request);
    Reply commandReply(const RecordedRequest& request);
    Reply jsonReply(const RecordedRequest& request) const;
    bool authorized(const RecordedRequest& request) const;
    void send(const ConnectionPtr& connection, const RecordedRequest& request, Reply reply, bool keepAlive);
    void pump(const ConnectionPtr& connection);
    QByteArray nextOutput(Connection& connection);
    void trickle(const ConnectionPtr& connection);
    void finishAnswer(const ConnectionPtr& connection);
    void forget(QTcpSocket* socket);
    void applyListener();
    bool blockConnects();
    void unblockConnects();
    bool openStall();
    void closeStall();
    NagiosPage::Options pageOptions(const RecordedRequest& request) const;
    NagiosPage::Host& hostFor(const QByteArray& name);
};

NagiosSimulator::NagiosSimulator(QObject* parent) : QObject(parent), d(std::make_unique<Private>(this))
{
    qRegisterMetaType<RecordedRequest>();
}

NagiosSimulator::~NagiosSimulator()
{
    stop();
}

bool NagiosSimulator::Private::listen()
{
    if (!server->listen(QHostAddress::LocalHost, port)) {
        error = server->errorString();
        return false;
    }
    port = server->serverPort();
    return true;
}

bool NagiosSimulator::start(bool https, quint16 port)
{
    stop();
    d->error.clear();
    d->connectionCounter = 0;
    d->bytesSent = 0;
    d->https = https;
    d->port = port;
    if (https) {
#if QT_CONFIG(ssl)
        const Certificate& made = selfSignedCertificate();
        if (!made.error.isEmpty()) {
            d->error = made.error;
            return false;
        }
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(QSslCertificate(made.certificatePem, QSsl::Pem));
        configuration.setPrivateKey(QSslKey(made.keyPem, QSsl::Rsa, QSsl::Pem));
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        auto* sslServer = new QSslServer(this);
        sslServer->setSslConfiguration(configuration);
        d->server = sslServer;
#else
        d->error = QStringLiteral("this Qt has no SSL support");
        return false;
#endif
    } else {
        d->server = new QTcpServer(this);
    }
    d->server->setMaxPendingConnections(1000);
    // pendingConnectionAvailable comes after the TLS handshake on QSslServer, and at once otherwise.
    connect(d->server, &QTcpServer::pendingConnectionAvailable, this, [this] { d->acceptPending(); });
    if (!d->listen()) {
        delete d->server;
        d->server = nullptr;
        return false;
    }
    if ((d->neverAccept && !d->blockConnects())
        || (!d->neverAccept && d->stallHandshake && !d->openStall())) {
        stop();
        return false;
    }
    return true;
}

void NagiosSimulator::stop()
{
    d->unblockConnects();
    d->closeStall();
    const auto connections = d->connections;
    d->connections.clear();
    for (const auto& connection : connections) {
        if (connection->socket) {
            connection->socket->disconnect(this);
            connection->socket->abort();
            connection->socket->deleteLater();
        }
    }
    if (d->server) {
        d->server->close();
        d->server->disconnect(this);
        d->server->deleteLater();
        d->server = nullptr;
    }
}

bool NagiosSimulator::isListening() const
{
    return d->server && (d->server->isListening() || d->blockedFd >= 0 || d->stallServer);
}

quint16 NagiosSimulator::port() const
{
    return d->port;
}

bool NagiosSimulator::isHttps() const
{
    return d->https;
}

QString NagiosSimulator::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(d->https ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(d->port);
}

QString NagiosSimulator::errorString() const
{
    return d->error;
}

QSslCertificate NagiosSimulator::certificate() const
{
#if QT_CONFIG(ssl)
    if (d->https)
        return QSslCertificate(selfSignedCertificate().certificatePem, QSsl::Pem);
#endif
    return QSslCertificate();
}

void NagiosSimulator::setCgiDirectory(const QString& dir)
{
    QString normalised = dir;
    if (!normalised.startsWith(QLatin1Char('/')))
        normalised.prepend(QLatin1Char('/'));
    if (!normalised.endsWith(QLatin1Char('/')))
        normalised.append(QLatin1Char('/'));
    d->cgiDirectory = normalised;
}

QString NagiosSimulator::cgiDirectory() const
{
    return d->cgiDirectory;
}

NagiosPage::Host& NagiosSimulator::Private::hostFor(const QByteArray& name)
{
    auto it = installation.find(name);
    if (it != installation.end())
        return it->second;
    const int index = addressCounter++;
    NagiosPage::Host host;
    host.address = QByteArray("127.0.") + QByteArray::number(1 + (index / 254) % 254) + '.'
        + QByteArray::number(1 + index % 254);
    host.output = defaultHostOutput(HostState::Up, host.address);
    host.lastChange = QDateTime::currentDateTimeUtc();
    return installation.emplace(name, std::move(host)).first->second;
}

void NagiosSimulator::setHost(
    const QString& name, HostState state, const QString& address, const QString& output)
{
    NagiosPage::Host& host = d->hostFor(name.toUtf8());
    if (!address.isEmpty())
        host.address = address.toUtf8();
    if (host.state != state) {
        host.state = state;
        host.lastChange = QDateTime::currentDateTimeUtc();
    }
    host.output = output.isEmpty() ? defaultHostOutput(state, host.address) : output.toUtf8();
    if (state == HostState::Up || state == HostState::Pending) {
        host.acknowledged = false;
        host.attempt = host.maxAttempts;
    }
}

void NagiosSimulator::setService(
    const QString& host, const QString& description, ServiceState state, const QString& output)
{
    NagiosPage::Host& owner = d->hostFor(host.toUtf8());
    auto [it, created] = owner.services.try_emplace(description.toUtf8());
    NagiosPage::Service& service = it->second;
    if (created || service.state != state) {
        service.state = state;
        service.lastChange = QDateTime::currentDateTimeUtc();
    }
    service.output = output.isEmpty() ? defaultServiceOutput(state) : output.toUtf8();
    if (state == ServiceState::Ok || state == ServiceState::Pending) {
        service.acknowledged = false;
        service.attempt = service.maxAttempts;
    }
}

void NagiosSimulator::setAcknowledged(const QString& host, const QString& description, bool on)
{
    NagiosPage::Host& owner = d->hostFor(host.toUtf8());
    if (description.isEmpty()) {
        owner.acknowledged = on;
        return;
    }
    owner.services[description.toUtf8()].acknowledged = on;
}

void NagiosSimulator::setInDowntime(const QString& host, const QString& description, bool on)
{
    NagiosPage::Host& owner = d->hostFor(host.toUtf8());
    if (description.isEmpty()) {
        owner.inDowntime = on;
        return;
    }
    owner.services[description.toUtf8()].inDowntime = on;
}

void NagiosSimulator::setAttempts(
    const QString& host, const QString& description, int attempt, int maxAttempts)
{
    maxAttempts = std::max(1, maxAttempts);
    attempt = std::clamp(attempt, 1, maxAttempts);
    NagiosPage::Host& owner = d->hostFor(host.toUtf8());
    if (description.isEmpty()) {
        owner.attempt = attempt;
        owner.maxAttempts = maxAttempts;
        return;
    }
    NagiosPage::Service& service = owner.services[description.toUtf8()];
    service.attempt = attempt;
    service.maxAttempts = maxAttempts;
}

void NagiosSimulator::setFlapping(const QString& host, const QString& description, bool on)
{
    NagiosPage::Host& owner = d->hostFor(host.toUtf8());
    (description.isEmpty() ? owner.flapping : owner.services[description.toUtf8()].flapping) = on;
}

void NagiosSimulator::setNotificationsEnabled(const QString& host, const QString& description, bool on)
{
    NagiosPage::Host& owner = d->hostFor(host.toUtf8());
    (description.isEmpty() ? owner.notificationsEnabled
                           : owner.services[description.toUtf8()].notificationsEnabled)
        = on;
}

void NagiosSimulator::removeHost(const QString& name)
{
    d->installation.erase(name.toUtf8());
}

void NagiosSimulator::removeService(const QString& host, const QString& description)
{
    auto it = d->installation.find(host.toUtf8());
    if (it != d->installation.end())
        it->second.services.erase(description.toUtf8());
}

void NagiosSimulator::clear()
{
    d->installation.clear();
    d->addressCounter = 0;
}

int NagiosSimulator::hostCount() const
{
    return int(d->installation.size());
}

int NagiosSimulator::serviceCount() const
{
    int count = 0;
    for (const auto& [name, host] : d->installation)
        count += int(host.services.size());
    return count;
}

void NagiosSimulator::addGeneratedServices(int hosts, int servicesPerHost, ServiceState state)
{
    for (int h = 1; h <= hosts; ++h) {
        const QString host = QStringLiteral("node-%1.gen.example.lan").arg(h, 5, 10, QLatin1Char('0'));
        d->hostFor(host.toUtf8());
        for (int s = 1; s <= servicesPerHost; ++s)
            setService(host, QStringLiteral("Service %1").arg(s, 3, 10, QLatin1Char('0')), state);
    }
}

void NagiosSimulator::addGeneratedSite(int hosts, int problems, int downHosts)
{
    if (hosts <= 0)
        return;
    const auto hostName
        = [](int h) { return QStringLiteral("node-%1.gen.example.lan").arg(h, 5, 10, QLatin1Char('0')); };
    addGeneratedServices(hosts, std::max(1, (problems + hosts - 1) / hosts), ServiceState::Ok);
    for (int i = 0; i < problems; ++i)
        setService(hostName(i % hosts + 1),
            QStringLiteral("Service %1").arg(i / hosts + 1, 3, 10, QLatin1Char('0')), ServiceState::Critical);
    for (int h = 1; h <= std::min(downHosts, hosts); ++h)
        setHost(hostName(h), HostState::Down);
}

void NagiosSimulator::addGeneratedHosts(int hosts, HostState state)
{
    for (int h = 1; h <= hosts; ++h)
        setHost(QStringLiteral("host-%1.gen.example.lan").arg(h, 5, 10, QLatin1Char('0')), state);
}

bool NagiosSimulator::loadScenario(const QString& tsvPath)
{
    QFile file(tsvPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    NagiosSimulator staging;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw).remove(QLatin1Char('\r'));
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        const QString kind = fields.first();
        if (kind == QLatin1String("host") && fields.size() >= 3) {
            HostState state;
            if (!parseHostState(fields.at(2), &state))
                return false;
            staging.setHost(fields.at(1), state, {}, fields.value(3));
        } else if (kind == QLatin1String("service") && fields.size() >= 4) {
            ServiceState state;
            if (!parseServiceState(fields.at(3), &state))
                return false;
            staging.setService(fields.at(1), fields.at(2), state, fields.value(4));
        } else if ((kind == QLatin1String("ack") || kind == QLatin1String("downtime")) && fields.size() >= 3
            && (fields.at(1) == QLatin1String("host") || fields.at(1) == QLatin1String("service"))) {
            const QString description
                = fields.at(1) == QLatin1String("service") ? fields.value(3) : QString();
            if (fields.at(1) == QLatin1String("service") && description.isEmpty())
                return false;
            if (kind == QLatin1String("ack"))
                staging.setAcknowledged(fields.at(2), description, true);
            else
                staging.setInDowntime(fields.at(2), description, true);
        } else {
            return false;
        }
    }
    d->installation = std::move(staging.d->installation);
    d->addressCounter = staging.d->addressCounter;
    return true;
}

void NagiosSimulator::requireBasicAuth(const QString& user, const QString& password)
{
    d->authUser = user;
    d->authPassword = user.isEmpty() ? QString() : password;
    d->authDigest = false;
}

void NagiosSimulator::requireDigestAuth(const QString& user, const QString& password)
{
    requireBasicAuth(user, password);
    d->authDigest = !user.isEmpty();
}

void NagiosSimulator::setFixedStatus(int code)
{
    d->fixedStatus = code;
}

void NagiosSimulator::setErrorPage(ErrorPage page)
{
    d->errorPage = page;
}

void NagiosSimulator::setRawBody(const QByteArray& body)
{
    d->rawBody = body;
}

void NagiosSimulator::setCsrfCheck(bool on)
{
    d->csrfCheck = on;
}

QByteArray NagiosSimulator::csrfFormId() const
{
    return d->csrfId;
}

void NagiosSimulator::setCommandRights(CommandRights rights)
{
    d->commandRights = rights;
}

QList<TakenCommand> NagiosSimulator::takenCommands() const
{
    return d->takenCommands;
}

int NagiosSimulator::checkCount(const QString& host, const QString& service) const
{
    return d->checks.value({host.toUtf8(), service.toUtf8()});
}

void NagiosSimulator::setResponseDelay(int milliseconds)
{
    d->delayMs = std::max(0, milliseconds);
}

void NagiosSimulator::setNeverAnswer(bool on)
{
    d->neverAnswer = on;
}

void NagiosSimulator::setNeverAccept(bool on)
{
    if (d->neverAccept == on)
        return;
    d->neverAccept = on;
    d->applyListener();
}

void NagiosSimulator::setStallHandshake(bool on)
{
    if (d->stallHandshake == on)
        return;
    d->stallHandshake = on;
    d->applyListener();
}

void NagiosSimulator::setTrickle(int milliseconds)
{
    d->trickleMs = std::max(0, milliseconds);
}

void NagiosSimulator::setGzipBomb(qint64 inflatedBytes)
{
    d->gzipBombBytes = std::max<qint64>(0, inflatedBytes);
}

void NagiosSimulator::setLongLine(qint64 bytes)
{
    d->longLineBytes = std::max<qint64>(0, bytes);
}

void NagiosSimulator::setEndlessBody(bool on)
{
    d->endlessBody = on;
}

void NagiosSimulator::setHeaderLines(int count)
{
    d->headerLines = std::max(0, count);
}

void NagiosSimulator::setCutPage(bool on)
{
    d->cutPage = on;
}

void NagiosSimulator::setCloseMidBody(bool on)
{
    d->closeMidBody = on;
}

void NagiosSimulator::setGzipWhenAsked(bool on)
{
    d->gzipWhenAsked = on;
}

void NagiosSimulator::setChunked(bool on)
{
    d->chunked = on;
}

void NagiosSimulator::setInjectNul(bool on)
{
    d->injectNul = on;
}

void NagiosSimulator::setInjectInvalidUtf8(bool on)
{
    d->injectInvalidUtf8 = on;
}

void NagiosSimulator::setPadding(qint64 bytes)
{
    d->padding = std::max<qint64>(0, bytes);
}

void NagiosSimulator::setPageTime(const QDateTime& time)
{
    d->pageTime = time;
}

QList<RecordedRequest> NagiosSimulator::requests() const
{
    return d->requests;
}

int NagiosSimulator::requestCount() const
{
    return int(d->requests.size());
}

int NagiosSimulator::connectionCount() const
{
    return d->connectionCounter;
}

int NagiosSimulator::openConnectionCount() const
{
    return int(d->connections.size())
        + (d->stallServer ? int(d->stallServer->findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly).size())
                          : 0);
}

qint64 NagiosSimulator::bytesSent() const
{
    return d->bytesSent;
}

void NagiosSimulator::clearRequests()
{
    d->requests.clear();
    d->bytesSent = 0;
}

QByteArray NagiosSimulator::urlEncode(const QString& text)
{
    return NagiosPage::urlEncode(text.toUtf8());
}

QByteArray NagiosSimulator::htmlEncode(const QString& text)
{
    return NagiosPage::htmlEncode(text.toUtf8());
}

QByteArray NagiosSimulator::hostsPage(const QString& query) const
{
    RecordedRequest request;
    request.query = query;
    return NagiosPage::hostsPage(d->installation, cgiQuery(query), d->pageOptions(request));
}

QByteArray NagiosSimulator::servicesPage(const QString& query) const
{
    RecordedRequest request;
    request.query = query;
    return NagiosPage::servicesPage(d->installation, cgiQuery(query), d->pageOptions(request));
}

QByteArray NagiosSimulator::statusJson(const QString& query) const
{
    RecordedRequest request;
    request.query = query;
    return NagiosJson::answer(d->installation, cgiQuery(query), d->pageOptions(request));
}

NagiosPage::Options NagiosSimulator::Private::pageOptions(const RecordedRequest& request) const
{
    NagiosPage::Options options;
    if (request.authorization.toLower().startsWith("basic ")) {
        const QByteArray credentials = QByteArray::fromBase64(request.authorization.mid(6).trimmed());
        const QByteArray user = credentials.left(credentials.indexOf(':'));
        if (!user.isEmpty())
            options.user = user;
    }
    options.padding = padding;
    options.injectNul = injectNul;
    options.injectInvalidUtf8 = injectInvalidUtf8;
    options.now = pageTime;
    return options;
}

void NagiosSimulator::Private::acceptPending()
{
    while (server && server->hasPendingConnections()) {
        QTcpSocket* socket = server->nextPendingConnection();
        if (!socket)
            break;
        auto connection = std::make_shared<Connection>();
        connection->socket = socket;
        connection->id = ++connectionCounter;
        connections.push_back(connection);
        std::weak_ptr<Connection> weak = connection;
        QObject::connect(socket, &QTcpSocket::readyRead, q, [this, weak] {
            if (auto alive = weak.lock())
                readFrom(alive);
        });
        QObject::connect(socket, &QTcpSocket::bytesWritten, q, [this, weak] {
            if (auto alive = weak.lock())
                pump(alive);
        });
        QObject::connect(socket, &QTcpSocket::disconnected, q, [this, socket] { forget(socket); });
        if (socket->bytesAvailable() > 0)
            readFrom(connection);
    }
}

void NagiosSimulator::Private::forget(QTcpSocket* socket)
{
    for (auto it = connections.begin(); it != connections.end(); ++it) {
        if ((*it)->socket == socket) {
            connections.erase(it);
            break;
        }
    }
    socket->disconnect(q);
    socket->deleteLater();
}

void NagiosSimulator::Private::readFrom(const ConnectionPtr& connection)
{
    if (!connection->socket)
        return;
    connection->input += connection->socket->readAll();
    processNext(connection);
}

void NagiosSimulator::Private::processNext(const ConnectionPtr& connection)
{
    if (connection->busy || !connection->socket)
        return;
    const ParsedRequest parsed = parseRequest(connection->input);
    if (parsed.result == ParsedRequest::Incomplete)
        return;
    connection->busy = true;
    if (parsed.result == ParsedRequest::Bad) {
        connection->input.clear();
        Reply reply;
        reply.status = 400;
        reply.contentType = "text/html; charset=iso-8859-1";
        reply.body = NagiosPage::apachePage(400, port);
        send(connection, RecordedRequest(), reply, false);
        return;
    }
    connection->input.remove(0, parsed.consumed);
    RecordedRequest request = parsed.recorded;
    request.connectionId = connection->id;
    requests.append(request);
    QPointer<QTcpSocket> socket = connection->socket;
    emit q->requestReceived(request);
    if (!socket || neverAnswer)
        return; // silence: the request was read and the socket stays open
    const bool keepAlive = parsed.keepAlive;
    if (delayMs > 0) {
        std::weak_ptr<Connection> weak = connection;
        QTimer::singleShot(delayMs, socket.data(), [this, weak, request, keepAlive] {
            if (auto alive = weak.lock())
                answer(alive, request, keepAlive);
        });
        return;
    }
    answer(connection, request, keepAlive);
}

NagiosSimulator::Private::Reply NagiosSimulator::Private::replyFor(const RecordedRequest& request)
{
    Reply reply;
    auto apache = [this, &reply](int status) {
        reply.status = status;
        reply.contentType = "text/html; charset=iso-8859-1";
        QByteArray location;
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            location = q->baseUrl().toLatin1() + "/nagios/";
            reply.headers << "Location: " + location;
        }
        reply.body = NagiosPage::apachePage(status, port, location);
    };
    if (fixedStatus != 0) {
        apache(fixedStatus);
        return reply;
    }
    if (!authUser.isEmpty() && !authorized(request)) {
        apache(401);
        reply.headers << (authDigest ? "WWW-Authenticate: Digest realm=\"Nagios Access\", nonce=\""
                    + digestNonce + "\", algorithm=MD5, qop=\"auth\""
                                     : QByteArray("WWW-Authenticate: Basic realm=\"Nagios Access\""));
        return reply;
    }
    if (request.method != QLatin1String("GET") && request.method != QLatin1String("HEAD")
        && request.method != QLatin1String("POST")) {
        apache(405);
        return reply;
    }
    if (request.path == cgiDirectory + QLatin1String("cmd.cgi"))
        return commandReply(request);
    if (request.path == cgiDirectory + QLatin1String("statusjson.cgi"))
        return jsonReply(request);
    if (request.path != cgiDirectory + QLatin1String("status.cgi")) {
        apache(404);
        return reply;
    }
    reply.cgi = true;
    if (!rawBody.isEmpty()) {
        reply.body = rawBody;
        return reply;
    }
    const QUrlQuery parsed = cgiQuery(request.query);
    const bool hosts = parsed.queryItemValue(QStringLiteral("style")) == QLatin1String("hostdetail");
    switch (errorPage) {
    case ErrorPage::NagiosStopped:
        reply.body = NagiosPage::nagiosStoppedPage(hosts);
        return reply;
    case ErrorPage::NoRights:
        reply.body = NagiosPage::noRightsPage(installation, parsed, hosts, pageOptions(request));
        return reply;
    case ErrorPage::None:
        break;
    }
    if (gzipBombBytes > 0) {
        reply.source = gzipBombSource(gzipBombBytes, &reply.sourceLength);
        reply.headers << "Content-Encoding: gzip";
        return reply;
    }
    if (longLineBytes > 0) {
        reply.source = longLineSource(longLineBytes);
        reply.sourceLength = longLineBytes;
        return reply;
    }
    if (endlessBody) {
        reply.source = endlessSource();
        return reply;
    }
    reply.body = hosts ? NagiosPage::hostsPage(installation, parsed, pageOptions(request))
                       : NagiosPage::servicesPage(installation, parsed, pageOptions(request));
    if (cutPage) {
        reply.body = cutMidTable(reply.body);
        reply.forceChunked = true;
    }
    reply.trickleMs = trickleMs;
    return reply;
}

NagiosSimulator::Private::Reply NagiosSimulator::Private::jsonReply(const RecordedRequest& request) const
{
    Reply reply;
    reply.cgi = true;
    reply.contentType = "application/json; charset=utf-8";
    if (!rawBody.isEmpty()) {
        reply.body = rawBody;
        return reply;
    }
    switch (errorPage) {
    case ErrorPage::NagiosStopped:
        reply.body = NagiosJson::nagiosStoppedAnswer();
        return reply;
    case ErrorPage::NoRights:
        reply.body = NagiosJson::answer({}, cgiQuery(request.query), pageOptions(request));
        return reply;
    case ErrorPage::None:
        break;
    }
    reply.body = NagiosJson::answer(installation, cgiQuery(request.query), pageOptions(request));
    reply.trickleMs = trickleMs;
    return reply;
}

bool NagiosSimulator::Private::authorized(const RecordedRequest& request) const
{
    const QByteArray user = authUser.toUtf8();
    if (!authDigest)
        return request.authorization == "Basic " + (user + ':' + authPassword.toUtf8()).toBase64();
    if (!request.authorization.startsWith("Digest "))
        return false;
    const auto p = authHeaderParameters(request.authorization.mid(7));
    auto md5 = [](const QByteArray& text) {
        return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
    };
    const QByteArray ha1 = md5(user + ":Nagios Access:" + authPassword.toUtf8());
    const QByteArray ha2 = md5(request.method.toLatin1() + ':' + p.value("uri"));
    const QByteArray expected
        = md5(ha1 + ':' + digestNonce + ':' + p.value("nc") + ':' + p.value("cnonce") + ":auth:" + ha2);
    return p.value("username") == user && p.value("realm") == "Nagios Access"
        && p.value("nonce") == digestNonce && p.value("qop") == "auth" && p.value("response") == expected;
}

namespace {

// The variables of a query or a POSTed form, '+' read as a blank; the last of a name wins, as in
// Nagios.
QHash<QString, QString> formVariables(const QByteArray& encoded)
{
    auto decode = [](QByteArray text) { return QUrl::fromPercentEncoding(text.replace('+', ' ')); };
    QHash<QString, QString> variables;
    for (const QByteArray& pair : encoded.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        if (!pair.isEmpty())
            variables.insert(decode(equals < 0 ? pair : pair.left(equals)),
                equals < 0 ? QString() : decode(pair.mid(equals + 1)));
    }
    return variables;
}

// A cookie's value from a Cookie header; null when it is not there.
QByteArray cookieValue(const QByteArray& header, const QByteArray& name)
{
    for (const QByteArray& cookie : header.split(';')) {
        const QByteArray trimmed = cookie.trimmed();
        if (trimmed.startsWith(name + '='))
            return trimmed.mid(name.size() + 1);
    }
    return {};
}

} // namespace

// Nagios' cmd.cgi, in the order its checks were seen: the CSRF field, the user's rights and the
// object, then the fields the command needs.
NagiosSimulator::Private::Reply NagiosSimulator::Private::commandReply(const RecordedRequest& request)
{
    using NagiosPage::CommandAnswer;
    Reply reply;
    NagiosPage::Options options = pageOptions(request);
    if (request.authorization.startsWith("Digest "))
        options.user = authHeaderParameters(request.authorization.mid(7)).value("username");
    QHash<QString, QString> form = formVariables(request.query.toUtf8());
    if (request.method == QLatin1String("POST"))
        form.insert(formVariables(request.body));
    const QByteArray cookie = cookieValue(request.headers.value("cookie"), "NagFormId");
    // Nagios keeps a NagFormId cookie of another value and repeats it in the form.
    const QByteArray formId = cookie.isNull() ? csrfId : cookie;
    if (csrfCheck && formId == csrfId)
        reply.headers << "Set-Cookie: NagFormId=" + csrfId + "; SameSite=Strict; HttpOnly";
    reply.headers << "Vary: Accept-Encoding";
    auto answer = [&reply, &options](CommandAnswer kind) {
        reply.body = NagiosPage::commandAnswerPage(kind, options);
        return reply;
    };
    if (!form.contains(QStringLiteral("cmd_typ")))
        return answer(CommandAnswer::NoCommand);
    if (commandRights == CommandRights::ReadOnly)
        return answer(CommandAnswer::NoPermission);
    const int type = form.value(QStringLiteral("cmd_typ")).toInt();
    const QString host = form.value(QStringLiteral("host"));
    const QString service = form.value(QStringLiteral("service"));
    if (form.value(QStringLiteral("cmd_mod")) != QLatin1String("2")) {
        reply.body = NagiosPage::commandFormPage(
            type, host.toUtf8(), service.toUtf8(), csrfCheck ? formId : QByteArray(), options);
        return reply;
    }
    const bool acknowledge = type == 33 || type == 34;
    const bool downtime = type == 55 || type == 56;
    const bool onService = type == 7 || type == 34 || type == 56;
    if (!acknowledge && !downtime && type != 7 && type != 96) {
        reply = {}; // Nagios 4.4.6's CGI dies on it, and Apache answers 500
        reply.status = 500;
        reply.contentType = "text/html; charset=iso-8859-1";
        reply.body = NagiosPage::apachePage(500, port);
        return reply;
    }
    const QByteArray field = form.value(QStringLiteral("nagFormId")).toUtf8();
    if (csrfCheck && (field.isEmpty() || field != formId))
        return answer(CommandAnswer::CsrfFailed);
    auto owner = installation.find(host.toUtf8());
    const bool known
        = owner != installation.end() && (!onService || owner->second.services.count(service.toUtf8()) > 0);
    if (commandRights == CommandRights::None || !known)
        return answer(CommandAnswer::NotAuthorized);

    TakenCommand taken;
    taken.type = type;
    taken.host = host;
    taken.service = onService ? service : QString();
    const auto ticked = [&form](const char* name) { return form.contains(QLatin1String(name)); };
    if (acknowledge) {
        taken.author = form.value(QStringLiteral("com_author"));
        taken.comment = form.value(QStringLiteral("com_data"));
        if (taken.author.isEmpty())
            return answer(CommandAnswer::NoAuthor);
        if (taken.comment.isEmpty())
            return answer(CommandAnswer::NoComment);
        taken.sticky = ticked("sticky_ack");
        taken.notify = ticked("send_notification");
        taken.persistent = ticked("persistent");
        // Nagios ignores acknowledging an object without a problem.
        if (onService) {
            NagiosPage::Service& entry = owner->second.services[service.toUtf8()];
            entry.acknowledged = entry.acknowledged
                || (entry.state != ServiceState::Ok && entry.state != ServiceState::Pending);
        } else {
            NagiosPage::Host& entry = owner->second;
            entry.acknowledged = entry.acknowledged || entry.state == HostState::Down
                || entry.state == HostState::Unreachable;
        }
    } else if (downtime) {
        taken.author = form.value(QStringLiteral("com_author"));
        taken.comment = form.value(QStringLiteral("com_data"));
        if (taken.author.isEmpty())
            return answer(CommandAnswer::NoAuthor);
        if (taken.comment.isEmpty())
            return answer(CommandAnswer::NoComment);
        taken.startTime = form.value(QStringLiteral("start_time"));
        taken.endTime = form.value(QStringLiteral("end_time"));
        const QString format = QStringLiteral("MM-dd-yyyy hh:mm:ss");
        const QDateTime start = QDateTime::fromString(taken.startTime, format);
        const QDateTime end = QDateTime::fromString(taken.endTime, format);
        if (!start.isValid() || !end.isValid() || end <= start)
            return answer(CommandAnswer::BadTimes);
        taken.fixed = form.value(QStringLiteral("fixed")) == QLatin1String("1");
        taken.durationMinutes = form.value(QStringLiteral("hours")).toInt() * 60
            + form.value(QStringLiteral("minutes")).toInt();
        if (onService)
            owner->second.services[service.toUtf8()].inDowntime = true;
        else
            owner->second.inDowntime = true;
    } else {
        const QDateTime start = QDateTime::fromString(
            form.value(QStringLiteral("start_time")), QStringLiteral("MM-dd-yyyy hh:mm:ss"));
        if (!start.isValid())
            return answer(CommandAnswer::BadStartTime);
        taken.forceCheck = ticked("force_check");
        ++checks[{taken.host.toUtf8(), taken.service.toUtf8()}];
    }
    takenCommands.append(taken);
    return answer(CommandAnswer::Submitted);
}

void NagiosSimulator::Private::answer(
    const ConnectionPtr& connection, const RecordedRequest& request, bool keepAlive)
{
    send(connection, request, replyFor(request), keepAlive);
}

void NagiosSimulator::Private::send(
    const ConnectionPtr& connection, const RecordedRequest& request, Reply reply, bool keepAlive)
{
    if (!connection->socket)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' '
        + NagiosPage::reasonPhrase(reply.status) + "\r\nDate: " + httpDate(now)
        + "\r\nServer: Apache/2.4.71 (Debian)\r\n";
    for (const QByteArray& header : reply.headers)
        head += header + "\r\n";
    if (reply.cgi) {
        head += "Cache-Control: no-store\r\nPragma: no-cache\r\nRefresh: 90\r\n"
                "Expires: Thu, 01 Jan 1970 00:00:00 GMT\r\nLast-Modified: "
            + httpDate(now) + "\r\nVary: Accept-Encoding\r\n";
        if (headerLines > 0) {
            head.reserve(head.size() + qsizetype(headerLines) * 40 + 1024);
            for (int i = 1; i <= headerLines; ++i)
                head += "X-Filler-" + QByteArray::number(i) + ": 0123456789abcdef\r\n";
        }
    }
    if (gzipWhenAsked && acceptsGzip(request.acceptEncoding) && !reply.body.isEmpty() && !reply.source
        && reply.trickleMs == 0) {
        QByteArray packed = NagiosPage::gzip(reply.body);
        if (!packed.isEmpty()) {
            reply.body = std::move(packed);
            head += "Content-Encoding: gzip\r\n";
        }
    }
    const bool useChunked
        = reply.status == 200 && (chunked || reply.forceChunked || (reply.source && reply.sourceLength < 0));
    if (useChunked)
        head += "Transfer-Encoding: chunked\r\n";
    else
        head += "Content-Length: "
            + QByteArray::number(reply.source ? reply.sourceLength : qint64(reply.body.size())) + "\r\n";
    if (!keepAlive)
        head += "Connection: close\r\n";
    head += "Content-Type: " + reply.contentType + "\r\n\r\n";

    const bool headOnly = request.method == QLatin1String("HEAD");
    connection->closeAfter = !keepAlive;
    connection->head = head;
    connection->headWritten = false;
    connection->body = headOnly ? QByteArray() : std::move(reply.body);
    connection->source = headOnly ? BodySource() : std::move(reply.source);
    connection->bodyPos = 0;
    connection->cut = closeMidBody && reply.status == 200;
    connection->bodyEnd = connection->cut ? connection->body.size() / 2 : connection->body.size();
    connection->chunked = useChunked;
    connection->lastChunkWritten = false;
    connection->trickleMs = reply.trickleMs;
    connection->pending.clear();
    connection->pendingPos = 0;
    connection->finished = false;
    pump(connection);
}

// The next bytes on the wire: the head, then slices of the body (framed when chunked), then the
// last chunk. Empty when everything is out.
QByteArray NagiosSimulator::Private::nextOutput(Connection& connection)
{
    if (!connection.headWritten) {
        connection.headWritten = true;
        return std::exchange(connection.head, QByteArray());
    }
    QByteArray piece;
    if (connection.source) {
        piece = connection.source();
    } else if (connection.bodyPos < connection.bodyEnd) {
        const qint64 size = std::min(kWriteSlice, connection.bodyEnd - connection.bodyPos);
        piece = connection.body.mid(connection.bodyPos, size);
        connection.bodyPos += size;
    }
    if (!piece.isEmpty())
        return connection.chunked ? QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n" : piece;
    if (connection.chunked && !connection.cut && !connection.lastChunkWritten) {
        connection.lastChunkWritten = true;
        return "0\r\n\r\n";
    }
    return {};
}

void NagiosSimulator::Private::pump(const ConnectionPtr& connection)
{
    QTcpSocket* socket = connection->socket;
    if (!socket || connection->finished)
        return;
    if (connection->trickleMs > 0) {
        if (connection->trickleTimer)
            return;
        const QByteArray head = nextOutput(*connection);
        bytesSent += head.size();
        socket->write(head);
        connection->trickleTimer = new QTimer(socket);
        std::weak_ptr<Connection> weak = connection;
        QObject::connect(connection->trickleTimer, &QTimer::timeout, socket, [this, weak] {
            if (auto alive = weak.lock())
                trickle(alive);
        });
        connection->trickleTimer->start(connection->trickleMs);
        return;
    }
    while (socket->bytesToWrite() < 2 * kWriteSlice) {
        const QByteArray out = nextOutput(*connection);
        if (out.isEmpty()) {
            finishAnswer(connection);
            return;
        }
        bytesSent += out.size();
        socket->write(out);
    }
    // more when the socket has drained
}

void NagiosSimulator::Private::trickle(const ConnectionPtr& connection)
{
    if (!connection->socket || connection->finished)
        return;
    if (connection->pendingPos >= connection->pending.size()) {
        connection->pending = nextOutput(*connection);
        connection->pendingPos = 0;
        if (connection->pending.isEmpty()) {
            finishAnswer(connection);
            return;
        }
    }
    ++bytesSent;
    connection->socket->write(connection->pending.constData() + connection->pendingPos++, 1);
}

void NagiosSimulator::Private::finishAnswer(const ConnectionPtr& connection)
{
    QTcpSocket* socket = connection->socket;
    connection->finished = true;
    connection->head.clear();
    connection->body.clear();
    connection->source = {};
    connection->pending.clear();
    if (connection->trickleTimer)
        connection->trickleTimer->deleteLater();
    connection->trickleTimer = nullptr;
    if (connection->cut || connection->closeAfter) {
        socket->disconnectFromHost(); // after the written bytes have gone out
        return;
    }
    connection->busy = false;
    // A pipelined request may already be waiting; answer it from the event loop, not from here.
    std::weak_ptr<Connection> weak = connection;
    QTimer::singleShot(0, socket, [this, weak] {
        if (auto alive = weak.lock())
            processNext(alive);
    });
}

// Who holds the port: the never-accepting socket, the stalling server or the normal one.
void NagiosSimulator::Private::applyListener()
{
    if (!server)
        return;
    unblockConnects();
    closeStall();
    if (neverAccept)
        blockConnects();
    else if (stallHandshake)
        openStall();
    else if (!server->isListening())
        listen();
}

bool NagiosSimulator::Private::blockConnects()
{
    // A listening socket that never accepts, with a backlog of 0 that the fillers fill: the kernel
    // then drops every further SYN and the client's connect stays in SYN-SENT.
    server->close();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = QStringLiteral("socket: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 0) != 0) {
        error = QStringLiteral("bind/listen: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        ::close(fd);
        listen();
        return false;
    }
    blockedFd = fd;
    for (int i = 0; i < 2; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (filler < 0)
            continue;
        // Non-blocking: the second filler itself stays in SYN-SENT.
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillerFds.push_back(filler);
    }
    return true;
}

void NagiosSimulator::Private::unblockConnects()
{
    for (int fd : fillerFds)
        ::close(fd);
    fillerFds.clear();
    if (blockedFd >= 0) {
        ::close(blockedFd);
        blockedFd = -1;
    }
}

// Accepts and reads, never writes: a TLS client waits for the server's hello for ever.
bool NagiosSimulator::Private::openStall()
{
    server->close();
    stallServer = new QTcpServer(q);
    if (!stallServer->listen(QHostAddress::LocalHost, port)) {
        error = stallServer->errorString();
        delete stallServer;
        stallServer = nullptr;
        listen();
        return false;
    }
    QObject::connect(stallServer, &QTcpServer::newConnection, stallServer, [this] {
        while (QTcpSocket* socket = stallServer->nextPendingConnection()) {
            ++connectionCounter;
            socket->setParent(stallServer);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}

void NagiosSimulator::Private::closeStall()
{
    if (!stallServer)
        return;
    for (QTcpSocket* socket : stallServer->findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly))
        socket->abort();
    delete stallServer;
    stallServer = nullptr;
}
