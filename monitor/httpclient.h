#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>

#include <memory>

// A request-id HTTP/1.1 client with the contract of Qt 4's QHttp, on QTcpSocket and QSslSocket:
// setUser, setHost and get each queue a request and return its id; requestFinished is emitted
// once per id, in queue order, never from inside the call that queued it. Page requests run one
// at a time, each on a connection of its own, like QHttp's single connection.
//
// Unlike QHttp it is bounded against a broken or hostile server: a connection or TLS handshake
// that does not complete, silence, an answer that never ends, an oversized header or body
// (counted after decompression) and an ever-growing queue all end as errors instead of hanging or
// filling the memory. It reads the answers itself (HttpResponseParser) rather than through
// QNetworkAccessManager, which in Qt 6.4 reads a header byte by byte without a size limit.
class HttpClient : public QObject
{
    Q_OBJECT

public:
    enum ConnectionMode { ConnectionModeHttp, ConnectionModeHttps };
    enum State { Unconnected, Connecting, Reading };
    // The values are QHttp's; the response handler reacts by them.
    enum Error {
        NoError = 0,
        UnknownError = 1,
        HostNotFound = 2,
        ConnectionRefused = 3,
        UnexpectedClose = 4,
        InvalidResponseHeader = 5,
        WrongContentLength = 6,
        Aborted = 7,
        AuthenticationRequiredError = 8,
        ProxyAuthenticationRequiredError = 9,
    };

    // Which of the client's own checks ended the last request; Other for every other error.
    enum class Failure { None, TimedOut, TooLarge, CutShort, Other };

    static constexpr int defaultConnectTimeoutMs = 30000;
    static constexpr int defaultSilenceTimeoutMs = 60000;
    static constexpr int defaultTotalTimeoutMs = 120000;
    static constexpr qint64 defaultMaxBodyBytes = qint64(256) * 1024 * 1024;
    static constexpr int defaultMaxPendingRequests = 16;

    explicit HttpClient(QObject* parent = nullptr);
    ~HttpClient() override;

    int setUser(const QString& user, const QString& password);
    int setHost(const QString& host, ConnectionMode mode, quint16 port);
    int get(const QString& path);

    // false: certificates with errors are accepted without verification (QSslSocket::VerifyNone).
    void setVerifyPeer(bool verify);

    // Connecting while the page request in flight has not yet been sent (its connection or TLS
    // handshake is still opening) or a page request waits to start; Reading once it was sent; else
    // Unconnected.
    State state() const;
    // Both end the request in flight at once and every queued one: each finishes with Aborted, in
    // queue order, so every id still gets exactly one requestFinished. The connection is dropped.
    void close();
    void abort();

    // Results of the request that finished last. A status answer (404, 302, ...) is no error;
    // readAll() hands the body over once, like QHttp.
    int lastStatusCode() const;
    // How long the page request took, from its start to its end.
    qint64 lastDurationMs() const;
    QByteArray readAll();
    Error error() const;
    // Says which limit ran out, or that the answer was cut short or too large, in words.
    QString errorString() const;
    Failure failure() const;

    // Requests whose requestFinished is still to come.
    int pendingRequestCount() const;

    // Bounds; tests shorten them. They apply to the requests started afterwards. Running out of
    // time or size is a network error (UnexpectedClose, WrongContentLength), never Aborted.
    // Connect: from the start of a page request until it is sent (TCP connection and TLS handshake).
    void setConnectTimeout(int milliseconds);
    // Silence: after the request was sent, this long without a byte from the server.
    void setSilenceTimeout(int milliseconds);
    // Total: from the start of a page request until its answer is complete.
    void setTotalTimeout(int milliseconds);
    // The body after decompression.
    void setMaxBodySize(qint64 bytes);
    // Beyond the pending limit the oldest waiting requests (never the one in flight) finish at
    // once, page requests with Aborted: the only case in which a requestFinished overtakes that
    // of an earlier request, the one in flight.
    void setMaxPendingRequests(int count);

signals:
    void requestFinished(int id, bool error);
    void sslErrors(const QList<QSslError>& errors);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
