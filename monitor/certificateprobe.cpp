#include "monitor/certificateprobe.h"

#include <QMetaObject>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QSslConfiguration>
#include <QUrl>

namespace {

// The proxy that curl uses for this server, as Qt names it.
QNetworkProxy proxyFor(const QString& host, quint16 port, const TransportOptions& transport)
{
    switch (transport.proxyMode) {
    case TransportOptions::ProxyMode::None:
        return QNetworkProxy::NoProxy;
    case TransportOptions::ProxyMode::Manual: {
        if (transport.proxyAddress.isEmpty())
            return QNetworkProxy::NoProxy;
        const QString address = transport.proxyAddress.contains(QLatin1String("://"))
            ? transport.proxyAddress
            : QLatin1String("http://") + transport.proxyAddress;
        const QUrl url(address);
        // curl's default proxy port.
        return QNetworkProxy(QNetworkProxy::HttpProxy, url.host(), quint16(url.port(1080)),
            transport.proxyUser, transport.proxyPassword);
    }
    case TransportOptions::ProxyMode::System:
        break;
    }
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(host);
    url.setPort(port);
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : proxies.first();
}

} // namespace

CertificateProbe::CertificateProbe(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CertificateProbe::finish);
    connect(&m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
        m_errors = errors;
        m_certificate = m_socket.peerCertificate();
        finish();
    });
    connect(&m_socket, &QSslSocket::encrypted, this, [this] {
        m_certificate = m_socket.peerCertificate();
        finish();
    });
    connect(&m_socket, &QAbstractSocket::errorOccurred, this, &CertificateProbe::finish);
}

void CertificateProbe::start(
    const QString& host, quint16 port, const TransportOptions& transport, int timeoutMs)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!transport.caFile.isEmpty())
        configuration.addCaCertificates(QSslCertificate::fromPath(transport.caFile, QSsl::Pem));
    m_socket.setSslConfiguration(configuration);
    m_socket.setProxy(proxyFor(host, port, transport));
    m_timer.start(timeoutMs);
    m_socket.connectToHostEncrypted(host, port);
}

// From inside the socket's signals too: the socket is let go and the result reported later.
void CertificateProbe::finish()
{
    if (m_done)
        return;
    m_done = true;
    m_timer.stop();
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_socket.abort();
            emit finished(m_errors, m_certificate);
        },
        Qt::QueuedConnection);
}
