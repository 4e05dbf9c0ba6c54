#include "app/tarvix.h"

#include "monitor/httpclient.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMonitor, "tarvix.monitor", QtWarningMsg)

void Tarvix::timerStart()
{
    pollTimer.start(settings.requestPeriod * 1000);
    // A slow answer may span a few polls, but none may run without end.
    http->setTotalTimeout(
        qMax(minimumAnswerLimitSeconds, answerLimitPeriods * settings.requestPeriod) * 1000);
}

void Tarvix::processTimer()
{
    pollTimer.setInterval(settings.requestPeriod * 1000);
    httpGetInfo();
}

void Tarvix::httpGetInfo()
{
    if (settings.useHttpAuth)
        http->setUser(settings.login, settings.password);
    else
        http->setUser(QString(), QString());

    if (http->state() == HttpClient::Connecting) {
        connectWaitSeconds += settings.requestPeriod;
        if (connectWaitSeconds >= connectWaitLimitSeconds) {
            if (!errorReported)
                reportConnectTimeout();
            connectWaitSeconds = 0;
        }
        return;
    }

    connectWaitSeconds = 0;
    http->setHost(settings.serverAddress,
        settings.useHttps ? HttpClient::ConnectionModeHttps : HttpClient::ConnectionModeHttp,
        settings.portNumber());
    // A list whose last answer is still coming is not asked for again: a newer request would make
    // that answer's failure (a server that trickles, a time limit) pass unnoticed.
    if (settings.enableHostsMonitoring && !hostsAnswerPending) {
        hostsAnswerPending = true;
        hostsRequestId = http->get(settings.nagiosExecDir + settings.hostsRequest);
        qCInfo(lcMonitor).noquote() << "request hosts id" << hostsRequestId
                                    << settings.nagiosExecDir + settings.hostsRequest;
    }
    if (settings.enableSrvcsMonitoring && !servicesAnswerPending) {
        servicesAnswerPending = true;
        servicesRequestId = http->get(settings.nagiosExecDir + settings.servicesRequest);
        qCInfo(lcMonitor).noquote() << "request services id" << servicesRequestId
                                    << settings.nagiosExecDir + settings.servicesRequest;
    }
}

void Tarvix::reportConnectTimeout()
{
    errorReported = true;
    showErrorState(
        tr("HTTP error ocurred:\n") + tr("Connection is timed out.\n") + tr("Monitoring is impossible."));
    trayIcon.showMessage(tr("Tarvix: HTTP error"),
        tr("Timeout while connecting to server") + QLatin1Char('\n')
            + tr("for obtaining monitoring information."),
        QSystemTrayIcon::Critical, balloonMs);
    lastMessageUrl.clear();
}

// Requests of the old settings are given up, so that the next poll asks with the new ones at once.
void Tarvix::abandonRequests()
{
    http->abort();
    hostsAnswerPending = false;
    servicesAnswerPending = false;
}

void Tarvix::createHttpClient()
{
    http = new HttpClient(this);
    http->setVerifyPeer(settings.denySslCert);
}

// The socket of Qt 4's client is gone: the transport and certificate policy live in the client,
// so a change of either replaces the whole client.
void Tarvix::recreateHttpClient(bool oldUsesHttps, bool newUsesHttps)
{
    Q_UNUSED(oldUsesHttps);
    Q_UNUSED(newUsesHttps);
    disconnect(http, nullptr, this, nullptr);
    skipNextFinished = true;
    pollTimer.stop();
    abandonRequests();
    http->close();
    http->deleteLater();
    createHttpClient();
    connectHttpClient();
    timerStart();
}
