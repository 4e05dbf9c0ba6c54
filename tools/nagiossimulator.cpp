#include "tools/nagiossimulator.h"

#include "tools/nagiospage.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPointer>
#include <QProcess>
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

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

using HostState = NagiosSimulator::HostState;
using ServiceState = NagiosSimulator::ServiceState;

constexpr qsizetype kMaxHeaderBytes = 64 * 1024;
constexpr qint64 kMaxRequestBody = 1024 * 1024;
// Bytes handed to the socket at a time, so a large page is not copied whole into its buffer.
constexpr qint64 kWriteSlice = 256 * 1024;

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

bool parseHostState(const QString& text, HostState* state)
{
    const QString upper = text.trimmed().toUpper();
    if (upper == QLatin1String("UP"))
        *state = HostState::Up;
    else if (upper == QLatin1String("DOWN"))
        *state = HostState::Down;
    else if (upper == QLatin1String("UNREACHABLE"))
        *state = HostState::Unreachable;
    else if (upper == QLatin1String("PENDING"))
        *state = HostState::Pending;
    else
        return false;
    return true;
}

bool parseServiceState(const QString& text, ServiceState* state)
{
    const QString upper = text.trimmed().toUpper();
    if (upper == QLatin1String("OK"))
        *state = ServiceState::Ok;
    else if (upper == QLatin1String("WARNING"))
        *state = ServiceState::Warning;
    else if (upper == QLatin1String("CRITICAL"))
        *state = ServiceState::Critical;
    else if (upper == QLatin1String("UNKNOWN"))
        *state = ServiceState::Unknown;
    else if (upper == QLatin1String("PENDING"))
        *state = ServiceState::Pending;
    else
        return false;
    return true;
}

// Splits a command line at blanks; "double quotes" keep blanks inside one word.
QStringList commandWords(const QString& line)
{
    QStringList words;
    QString word;
    bool quoted = false;
    bool inWord = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            inWord = true;
        } else if (c.isSpace() && !quoted) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

// Nagios reads '+' in a query as a space; QUrlQuery does not.
QUrlQuery cgiQuery(QString query)
{
    query.replace(QLatin1Char('+'), QLatin1String("%20"));
    return QUrlQuery(query);
}

bool parseSwitch(const QString& text, bool* on)
{
    const QString lower = text.toLower();
    if (lower == QLatin1String("on") || lower == QLatin1String("1") || lower == QLatin1String("true")
        || lower == QLatin1String("yes")) {
        *on = true;
        return true;
    }
    if (lower == QLatin1String("off") || lower == QLatin1String("0") || lower == QLatin1String("false")
        || lower == QLatin1String("no")) {
        *on = false;
        return true;
    }
    return false;
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
        bool chunked = false;
        bool cut = false;
        bool headWritten = false;
        bool finished = true;
    };
    using ConnectionPtr = std::shared_ptr<Connection>;

    struct Reply
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "text/html; charset=utf-8";
        QList<QByteArray> headers;
        bool cgi = false;
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
    int fixedStatus = 0;
    ErrorPage errorPage = ErrorPage::None;
    QByteArray rawBody;
    int delayMs = 0;
    bool neverAnswer = false;
    bool neverAccept = false;
    bool closeMidBody = false;
    bool gzipWhenAsked = true;
    bool chunked = false;
    bool injectNul = false;
    bool injectInvalidUtf8 = false;
    qint64 padding = 0;
    QDateTime pageTime;
    QList<RecordedRequest> requests;
    int connectionCounter = 0;
    std::vector<ConnectionPtr> connections;
    int blockedFd = -1;
    std::vector<int> fillerFds;

    bool listen();
    void acceptPending();
    void readFrom(const ConnectionPtr& connection);
    void processNext(const ConnectionPtr& connection);
    void answer(const ConnectionPtr& connection, const RecordedRequest& request, bool keepAlive);
    Reply replyFor(const RecordedRequest& request) const;
    void send(const ConnectionPtr& connection, const RecordedRequest& request, Reply reply, bool keepAlive);
    void pump(const ConnectionPtr& connection);
    void forget(QTcpSocket* socket);
    bool blockConnects();
    void unblockConnects();
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
    if (d->neverAccept && !d->blockConnects()) {
        stop();
        return false;
    }
    return true;
}

void NagiosSimulator::stop()
{
    d->unblockConnects();
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
    return d->server && (d->server->isListening() || d->blockedFd >= 0);
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
    if (state == HostState::Up || state == HostState::Pending)
        host.acknowledged = false;
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
    if (state == ServiceState::Ok || state == ServiceState::Pending)
        service.acknowledged = false;
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

bool NagiosSimulator::applyCommand(const QString& line, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QStringList words = commandWords(line);
    if (words.isEmpty() || words.first().startsWith(QLatin1Char('#')))
        return true;
    const QString command = words.first().toLower();
    bool on = false;
    bool ok = false;
    if (command == QLatin1String("host") && words.size() >= 3) {
        HostState state;
        if (!parseHostState(words.at(2), &state))
            return fail(QStringLiteral("unknown host state %1").arg(words.at(2)));
        setHost(words.at(1), state, {}, words.mid(3).join(QLatin1Char(' ')));
    } else if (command == QLatin1String("service") && words.size() >= 3
        && words.at(1).contains(QLatin1Char('|'))) {
        ServiceState state;
        if (!parseServiceState(words.at(2), &state))
            return fail(QStringLiteral("unknown service state %1").arg(words.at(2)));
        const qsizetype bar = words.at(1).indexOf(QLatin1Char('|'));
        setService(
            words.at(1).left(bar), words.at(1).mid(bar + 1), state, words.mid(3).join(QLatin1Char(' ')));
    } else if (command == QLatin1String("remove") && words.size() >= 2) {
        const qsizetype bar = words.at(1).indexOf(QLatin1Char('|'));
        if (bar < 0)
            removeHost(words.at(1));
        else
            removeService(words.at(1).left(bar), words.at(1).mid(bar + 1));
    } else if ((command == QLatin1String("ack") || command == QLatin1String("downtime")) && words.size() >= 3
        && parseSwitch(words.at(2), &on)) {
        const qsizetype bar = words.at(1).indexOf(QLatin1Char('|'));
        const QString host = bar < 0 ? words.at(1) : words.at(1).left(bar);
        const QString description = bar < 0 ? QString() : words.at(1).mid(bar + 1);
        if (command == QLatin1String("ack"))
            setAcknowledged(host, description, on);
        else
            setInDowntime(host, description, on);
    } else if (command == QLatin1String("status") && words.size() == 2) {
        const int code = words.at(1).toInt(&ok);
        if (!ok || (code != 0 && (code < 100 || code > 599)))
            return fail(QStringLiteral("bad status %1").arg(words.at(1)));
        setFixedStatus(code);
    } else if (command == QLatin1String("errorpage") && words.size() == 2) {
        const QString page = words.at(1).toLower();
        if (page == QLatin1String("stopped"))
            setErrorPage(ErrorPage::NagiosStopped);
        else if (page == QLatin1String("norights"))
            setErrorPage(ErrorPage::NoRights);
        else if (page == QLatin1String("none"))
            setErrorPage(ErrorPage::None);
        else
            return fail(QStringLiteral("unknown error page %1").arg(words.at(1)));
    } else if (command == QLatin1String("delay") && words.size() == 2) {
        const int ms = words.at(1).toInt(&ok);
        if (!ok || ms < 0)
            return fail(QStringLiteral("bad delay %1").arg(words.at(1)));
        setResponseDelay(ms);
    } else if (command == QLatin1String("auth") && words.size() == 2
        && words.at(1).toLower() == QLatin1String("off")) {
        requireBasicAuth({}, {});
    } else if (command == QLatin1String("auth") && words.size() == 3) {
        requireBasicAuth(words.at(1), words.at(2));
    } else if (command == QLatin1String("padding") && words.size() == 2) {
        const qint64 bytes = words.at(1).toLongLong(&ok);
        if (!ok || bytes < 0)
            return fail(QStringLiteral("bad padding %1").arg(words.at(1)));
        setPadding(bytes);
    } else if (command == QLatin1String("scenario") && words.size() >= 2) {
        if (!loadScenario(words.mid(1).join(QLatin1Char(' '))))
            return fail(QStringLiteral("cannot load scenario %1").arg(words.mid(1).join(QLatin1Char(' '))));
    } else if (command == QLatin1String("cgidir") && words.size() == 2) {
        setCgiDirectory(words.at(1));
    } else if (command == QLatin1String("clear") && words.size() == 1) {
        clear();
    } else if (words.size() == 2 && parseSwitch(words.at(1), &on)) {
        if (command == QLatin1String("neveranswer"))
            setNeverAnswer(on);
        else if (command == QLatin1String("neveraccept"))
            setNeverAccept(on);
        else if (command == QLatin1String("closemidbody"))
            setCloseMidBody(on);
        else if (command == QLatin1String("gzip"))
            setGzipWhenAsked(on);
        else if (command == QLatin1String("chunked"))
            setChunked(on);
        else if (command == QLatin1String("nul"))
            setInjectNul(on);
        else if (command == QLatin1String("badutf8"))
            setInjectInvalidUtf8(on);
        else
            return fail(QStringLiteral("unknown command: %1").arg(line.trimmed()));
    } else {
        return fail(QStringLiteral("unknown command: %1").arg(line.trimmed()));
    }
    return true;
}

void NagiosSimulator::requireBasicAuth(const QString& user, const QString& password)
{
    d->authUser = user;
    d->authPassword = user.isEmpty() ? QString() : password;
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
    if (!d->server)
        return;
    if (on) {
        d->blockConnects();
    } else {
        d->unblockConnects();
        if (!d->server->isListening())
            d->listen();
    }
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
    return int(d->connections.size());
}

void NagiosSimulator::clearRequests()
{
    d->requests.clear();
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

NagiosSimulator::Private::Reply NagiosSimulator::Private::replyFor(const RecordedRequest& request) const
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
    if (!authUser.isEmpty()) {
        const QByteArray expected
            = "Basic " + (authUser + QLatin1Char(':') + authPassword).toUtf8().toBase64();
        if (request.authorization != expected) {
            apache(401);
            reply.headers << "WWW-Authenticate: Basic realm=\"Nagios Access\"";
            return reply;
        }
    }
    if (request.method != QLatin1String("GET") && request.method != QLatin1String("HEAD")
        && request.method != QLatin1String("POST")) {
        apache(405);
        return reply;
    }
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
    reply.body = hosts ? NagiosPage::hostsPage(installation, parsed, pageOptions(request))
                       : NagiosPage::servicesPage(installation, parsed, pageOptions(request));
    return reply;
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
    }
    if (gzipWhenAsked && acceptsGzip(request.acceptEncoding) && !reply.body.isEmpty()) {
        QByteArray packed = NagiosPage::gzip(reply.body);
        if (!packed.isEmpty()) {
            reply.body = std::move(packed);
            head += "Content-Encoding: gzip\r\n";
        }
    }
    const bool useChunked = chunked && reply.status == 200;
    if (useChunked)
        head += "Transfer-Encoding: chunked\r\n";
    else
        head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    if (!keepAlive)
        head += "Connection: close\r\n";
    head += "Content-Type: " + reply.contentType + "\r\n\r\n";

    connection->closeAfter = !keepAlive;
    connection->head = head;
    connection->headWritten = false;
    connection->body = request.method == QLatin1String("HEAD") ? QByteArray() : std::move(reply.body);
    connection->bodyPos = 0;
    connection->cut = closeMidBody && reply.status == 200;
    connection->bodyEnd = connection->cut ? connection->body.size() / 2 : connection->body.size();
    connection->chunked = useChunked;
    connection->finished = false;
    pump(connection);
}

void NagiosSimulator::Private::pump(const ConnectionPtr& connection)
{
    QTcpSocket* socket = connection->socket;
    if (!socket || connection->finished)
        return;
    if (!connection->headWritten) {
        socket->write(connection->head);
        connection->headWritten = true;
    }
    while (connection->bodyPos < connection->bodyEnd && socket->bytesToWrite() < 2 * kWriteSlice) {
        const qint64 size = std::min(kWriteSlice, connection->bodyEnd - connection->bodyPos);
        const QByteArray slice
            = QByteArray::fromRawData(connection->body.constData() + connection->bodyPos, size);
        if (connection->chunked)
            socket->write(QByteArray::number(size, 16) + "\r\n" + slice + "\r\n");
        else
            socket->write(slice.constData(), size);
        connection->bodyPos += size;
    }
    if (connection->bodyPos < connection->bodyEnd)
        return; // more when the socket has drained
    connection->finished = true;
    if (connection->chunked && !connection->cut)
        socket->write("0\r\n\r\n");
    connection->head.clear();
    connection->body.clear();
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
