#pragma once

#include "monitor/peercertificate.h"
#include "monitor/transportoptions.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>

#include <memory>

class HttpTransfer;

// A request-id HTTP client with the contract of Qt 4's QHttp, on libcurl's multi interface:
// setUser, setHost and get each queue a request and return its id; requestFinished is emitted
// once per id, in queue order, never from inside the call that queued it. Page requests run one
// at a time; curl keeps the connection to the server open between them (and between polls) and
// resumes TLS sessions. Commands run beside them as transfers of their own (newTransfer), on the
// same connections, without ever holding up the page requests or their order.
//
// It is bounded against a broken or hostile server: a connection or TLS handshake that does not
// complete, silence, an answer that never ends, an oversized header or body (counted after
// decompression) and an ever-growing queue all end as errors instead of hanging or filling the
// memory.
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
    static constexpr qsizetype maxHeaderBytes = 64 * 1024;
    static constexpr int defaultMaxPendingRequests = 16;

    // Where a request goes and as whom.
    struct Target
    {
        QString host;
        ConnectionMode mode = ConnectionModeHttp;
        quint16 port = 80;
        QString user; // empty: no credentials (Kerberos needs none)
        QString password;
        TransportOptions transport;
    };

    // Running out of time or size is a network error (UnexpectedClose, WrongContentLength,
    // InvalidResponseHeader), never Aborted.
    struct Limits
    {
        // From the start of a request until it is sent: TCP connection, proxy tunnel, TLS handshake.
        int connectTimeoutMs = defaultConnectTimeoutMs;
        // After the request was sent, this long without a byte from the server.
        int silenceTimeoutMs = defaultSilenceTimeoutMs;
        // From the start of a request until its answer is complete.
        int totalTimeoutMs = defaultTotalTimeoutMs;
        // The body after decompression.
        qint64 maxBodyBytes = defaultMaxBodyBytes;
    };

    explicit HttpClient(QObject* parent = nullptr);
    ~HttpClient() override;

    int setUser(const QString& user, const QString& password);
    int setHost(const QString& host, ConnectionMode mode, quint16 port);
    int get(const QString& path);

    // Proxy, authentication method and certificate policy of the requests queued afterwards.
    void setTransport(const TransportOptions& transport);
    // false: certificates with errors are accepted without verification; the transport's
    // verifyPeer alone.
    void setVerifyPeer(bool verify);

    // A request outside the queue, e.g. a command: it starts at once with this client's bounds
    // and connections, and reports through the transfer's own signal. The caller owns it; it may
    // outlive the client.
    HttpTransfer* newTransfer(const Target& target, QObject* parent = nullptr);

    // Connecting while the page request in flight has not yet been sent (its connection, proxy
    // tunnel or TLS handshake is still opening) or a page request waits to start; Reading once it
    // was sent; else Unconnected.
    State state() const;
    // Both end the request in flight at once and every queued one: each finishes with Aborted, in
    // queue order, so every id still gets exactly one requestFinished. The connection in use is
    // dropped.
    void close();
    void abort();

    // Results of the request that finished last. A status answer (404, 302, ...) is no error;
    // redirects are not followed. readAll() hands the body over once, like QHttp.
    int lastStatusCode() const;
    // How long the page request took, from its start to its end.
    qint64 lastDurationMs() const;
    QByteArray readAll();
    Error error() const;
    // Says which limit ran out, or that the answer was cut short or too large, in words.
    QString errorString() const;
    Failure failure() const;
    // The server's certificate when the last sslErrors came: what it is and whether it replaced
    // a pinned one.
    PeerCertificate peerCertificate() const;

    // Requests whose requestFinished is still to come.
    int pendingRequestCount() const;

    // Bounds; tests shorten them. They apply to the requests started afterwards.
    void setConnectTimeout(int milliseconds);
    void setSilenceTimeout(int milliseconds);
    void setTotalTimeout(int milliseconds);
    void setMaxBodySize(qint64 bytes);
    // Beyond the pending limit the oldest waiting requests (never the one in flight) finish at
    // once, page requests with Aborted: the only case in which a requestFinished overtakes that
    // of an earlier request, the one in flight.
    void setMaxPendingRequests(int count);

signals:
    void requestFinished(int id, bool error);
    // The server's certificate failed the check (or did not match its pin); the request then ends
    // as an error unless the receiver closes the client first. peerCertificate() tells more.
    void sslErrors(const QList<QSslError>& errors);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
