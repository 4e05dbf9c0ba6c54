#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// A request-id HTTP client with the contract of Qt 4's QHttp, on QNetworkAccessManager:
// setUser, setHost and get each queue a request and return its id; requestFinished is emitted
// once per id, in queue order, never from inside the call that queued it. Page requests run one
// at a time, like QHttp's single connection.
//
// Unlike QHttp it is bounded against a broken or hostile server: silence after the request was
// sent, an oversized body and an ever-growing queue all end as errors instead of hanging.
class HttpClient : public QObject
{
    Q_OBJECT

public:
    enum ConnectionMode { ConnectionModeHttp, ConnectionModeHttps };
    enum State { Unconnected, HostLookup, Connecting, Sending, Reading, Connected, Closing };
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

    static constexpr int defaultSilenceTimeoutMs = 60000;
    static constexpr qint64 defaultMaxBodyBytes = qint64(256) * 1024 * 1024;
    static constexpr int defaultMaxPendingRequests = 16;

    explicit HttpClient(QObject* parent = nullptr);
    ~HttpClient() override;

    int setUser(const QString& user, const QString& password);
    int setHost(const QString& host, ConnectionMode mode, quint16 port);
    int get(const QString& path);

    // false: certificates with errors are accepted without verification (QSslSocket::VerifyNone).
    void setVerifyPeer(bool verify);

    // Connecting while the page request in flight has not yet been sent (its connection is still
    // opening) or a page request waits to start; Reading once it was sent; else Unconnected.
    State state() const;
    // Both end the request in flight and every queued one: each finishes with Aborted, in queue
    // order, so every id still gets exactly one requestFinished. close() also drops the connection.
    void close();
    void abort();

    // Results of the request that finished last. A status answer (404, 302, ...) is no error;
    // readAll() hands the body over once, like QHttp.
    int lastStatusCode() const;
    // How long the page request took, from its start to its end.
    qint64 lastDurationMs() const;
    QByteArray readAll();
    Error error() const;
    QString errorString() const;

    // Requests whose requestFinished is still to come.
    int pendingRequestCount() const;

    // Bounds; tests shorten them. Beyond the pending limit the oldest waiting requests (never the
    // one in flight) finish at once, page requests with Aborted: the only case in which a
    // requestFinished overtakes that of an earlier request, the one in flight.
    void setSilenceTimeout(int milliseconds);
    void setMaxBodySize(qint64 bytes);
    void setMaxPendingRequests(int count);

signals:
    void requestFinished(int id, bool error);
    void sslErrors(const QList<QSslError>& errors);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
