#pragma once

#include "monitor/httpclient.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>

#include <memory>

class CurlMulti;

// Requests to one server as one user, one at a time, on one curl handle of an HttpClient's multi
// handle: what a page request or a command runs on. A later request reuses the connection when
// the server kept it open, and answers a known Digest challenge at once. Basic credentials go with
// the first request; when the server refuses them and offers Digest or NTLM, the request is asked
// once more in that scheme, which the later requests keep.
//
// finished() comes once per request, never from inside the call that started it; a certificate
// that fails the check brings sslErrors() first. Destroying or aborting the transfer ends its
// request without a signal.
class HttpTransfer : public QObject
{
    Q_OBJECT

public:
    ~HttpTransfer() override;

    // The path as given, with its query ("/nagios/cgi-bin/cmd.cgi?cmd_typ=7"). Ignored while a
    // request runs.
    void get(const QString& path);
    // A form, sent as application/x-www-form-urlencoded.
    void post(const QString& path, const QByteArray& form);
    void abort();

    bool isRunning() const;
    // The request in flight has reached the server (its connection and TLS handshake are done).
    bool isSent() const;
    const HttpClient::Target& target() const;

    // Bounds of the requests started afterwards; the client's when the transfer was made.
    void setLimits(const HttpClient::Limits& limits);
    HttpClient::Limits limits() const;

    // Results of the last request, as HttpClient gives them.
    int statusCode() const;
    QByteArray readAll();
    HttpClient::Error error() const;
    HttpClient::Failure failure() const;
    QString errorString() const;
    qint64 durationMs() const;
    PeerCertificate peerCertificate() const;

signals:
    void sslErrors(const QList<QSslError>& errors);
    void finished(bool error);

private:
    friend class HttpClient;
    // keepCookies: the cookies a server sets go back with the later requests, as in a browser.
    HttpTransfer(std::shared_ptr<CurlMulti> multi, const HttpClient::Target& target,
        const HttpClient::Limits& limits, bool keepCookies, QObject* parent);

    struct Private;
    std::unique_ptr<Private> d;
};
