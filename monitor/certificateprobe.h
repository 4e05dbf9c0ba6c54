#pragma once

#include "monitor/transportoptions.h"

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QSslSocket>
#include <QTimer>

// Finds out why a server's certificate failed curl's check, in the words of QSslError: one TLS
// handshake of its own to the same address, through the same proxy and with the same certificate
// authorities (the system's and the CA file), ended as soon as the certificate was checked.
// finished() comes once, never from inside start(); it carries no error when Qt finds the
// certificate good (a pin that does not match, or another view of the CAs).
class CertificateProbe : public QObject
{
    Q_OBJECT

public:
    explicit CertificateProbe(QObject* parent = nullptr);

    void start(const QString& host, quint16 port, const TransportOptions& transport, int timeoutMs);

signals:
    void finished(const QList<QSslError>& errors, const QSslCertificate& certificate);

private:
    void finish();

    QSslSocket m_socket;
    QTimer m_timer;
    QList<QSslError> m_errors;
    QSslCertificate m_certificate;
    bool m_done = false;
};
