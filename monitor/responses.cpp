#include "app/tarvix.h"

#include "app/resourcepaths.h"
#include "config/configtab.h"
#include "monitor/httpclient.h"
#include "monitor/statusrules.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>

Q_DECLARE_LOGGING_CATEGORY(lcMonitor)

void Tarvix::processHttpFinished(int id, bool error)
{
    if (skipNextFinished) {
        skipNextFinished = false;
        return;
    }

    const bool hosts = id == hostsRequestId;
    if (!hosts && id != servicesRequestId)
        return;
    if (!(hosts ? settings.enableHostsMonitoring : settings.enableSrvcsMonitoring))
        return;
    const QString kind = hosts ? QStringLiteral("hosts") : QStringLiteral("services");
    const QByteArray body = http->readAll();
    (hosts ? hostsPageText : servicesPageText) = pageText(body);

    if (error) {
        qCInfo(lcMonitor).noquote() << "answer" << kind << "error" << int(http->error())
                                    << http->errorString();
        switch (http->error()) {
        case HttpClient::HostNotFound:
        case HttpClient::ConnectionRefused:
        case HttpClient::UnexpectedClose:
        case HttpClient::InvalidResponseHeader:
        case HttpClient::WrongContentLength:
        case HttpClient::ProxyAuthenticationRequiredError:
            reactToNetworkError(id);
            break;
        case HttpClient::Aborted:
            break;
        case HttpClient::AuthenticationRequiredError:
            reactToAuthenticationFailure(id);
            break;
        default:
            reactToUnidentifiedError(id);
            break;
        }
        return;
    }

    const int statusCode = http->lastStatusCode();
    qCInfo(lcMonitor).noquote() << "answer" << kind << "status" << statusCode << "bytes" << body.size()
                                << "ms" << http->lastDurationMs();
    if (statusCode != 200) {
        reactToStatusCode(id, statusCode);
        return;
    }
    if (!isStatusPage(id)) {
        reactToNonStatusPage();
        return;
    }
    reactToGoodAnswer(id);
    if (id == hostsRequestId)
        parseHostsPage();
    else
        parseServicesPage();
}

QString Tarvix::requestTitle(int id) const
{
    return id == hostsRequestId ? tr("Tarvix: HTTP error status of hosts request")
                                : tr("Tarvix: HTTP error status of services request");
}

StatusList Tarvix::listOf(int id) const
{
    return id == hostsRequestId ? StatusList::Hosts : StatusList::Services;
}

void Tarvix::reactToNetworkError(int id)
{
    if (listHealth.failed(listOf(id), QDateTime::currentDateTime()) <= toleratedFailures)
        return;
    listHealth.markStale(listOf(id));

    pollTimer.stop();
    errorReported = true;
    const QString reason = http->errorString();
    showErrorState(
        tr("HTTP error ocurred:\n") + reason + QLatin1Char('\n') + tr("Monitoring is impossible."));
    const auto answer = QMessageBox::critical(this, requestTitle(id),
        tr("During the execution of the query an error occurred:\n") + QLatin1Char('\'') + reason
            + QStringLiteral("'\n") + tr("Terminate application?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes)
        QCoreApplication::exit(1);
    timerStart();
}

void Tarvix::reactToAuthenticationFailure(int id)
{
    if (authPromptOpen)
        return;

    authPromptOpen = true;
    pollTimer.stop();
    errorReported = true;
    showErrorState(tr("HTTP error ocurred:\n") + tr("Invalid password or username.\n")
        + tr("Monitoring is impossible."));
    const auto answer = QMessageBox::critical(this, requestTitle(id),
        tr("Invalid password or username. Terminate application? Clicking \"No\" will open the program "
           "settings."),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        QCoreApplication::exit(2);
    } else {
        showAndReadConfig();
        ui.edLogin->setFocus(Qt::OtherFocusReason);
    }
    authPromptOpen = false;
}

void Tarvix::reactToUnidentifiedError(int id)
{
    if (listHealth.failed(listOf(id), QDateTime::currentDateTime()) <= toleratedFailures || errorReported)
        return;
    listHealth.markStale(listOf(id));

    errorReported = true;
    showErrorState(
        tr("HTTP error ocurred:\n") + tr("Unidentified error.\n") + tr("Monitoring is impossible."));
    showErrorBalloon(tr("During query unidentified error occurred.\n"));
}

void Tarvix::reactToStatusCode(int id, int statusCode)
{
    pollTimer.stop();
    const QString code = QString::number(statusCode);
    showErrorState(tr("HTTP error ocurred:\nServer '") + settings.serverAddress + tr("' return error ") + code
        + QLatin1Char('\n') + tr("Monitoring is impossible."));
    const auto answer = QMessageBox::warning(this, requestTitle(id),
        tr("Error query status: Server '") + settings.serverAddress + tr("' return error ") + code
            + QLatin1Char('\n')
            + tr("Terminate application? (Cancel button will open the program settings.)"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::No)
        timerStart();
    else if (answer == QMessageBox::Cancel)
        showAndReadConfig();
    else if (answer == QMessageBox::Yes)
        QCoreApplication::quit();
    errorReported = true;
}

// Nagios answers 200 with an error page when it is not running or the user may see nothing;
// taking such a page for an empty status list would announce every problem as recovered.
bool Tarvix::isStatusPage(int id) const
{
    const bool hosts = id == hostsRequestId;
    const QString& request = hosts ? settings.hostsRequest : settings.servicesRequest;
    const QString& text = hosts ? hostsPageText : servicesPageText;
    if (!request.contains(QLatin1String("status.cgi")) || looksLikeStatusPage(text))
        return true;
    const PageRule rule = hosts ? hostsPageRule() : servicesPageRule();
    return hosts ? !extractHostRows(text, rule).isEmpty() : !extractServiceRows(text, rule).isEmpty();
}

void Tarvix::reactToNonStatusPage()
{
    if (errorReported)
        return;
    errorReported = true;
    showErrorState(tr("HTTP error ocurred:\n") + tr("The server's answer is not a status page.\n")
        + tr("Monitoring is impossible."));
    showErrorBalloon(tr("The server's answer is not a status page.\n"));
}

// A good answer ends the error state unless the other list is still stale; then only this list's
// return is told.
void Tarvix::reactToGoodAnswer(int id)
{
    const bool answersAgain = listHealth.answered(listOf(id), QDateTime::currentDateTime());
    QString news;
    if (errorReported && !listHealth.anyStale()) {
        errorReported = false;
        trayIcon.setIcon(QIcon(ResourcePaths::normalIcon));
        news = tr("Connection with the server is established.");
    } else if (answersAgain) {
        news = listOf(id) == StatusList::Hosts ? tr("The list of down hosts is up to date again.")
                                               : tr("The list of problem services is up to date again.");
    }
    if (!news.isEmpty()) {
        trayIcon.showMessage(tr("Tarvix"), news, QSystemTrayIcon::Information, balloonMs);
        lastMessageUrl.clear();
    }
}

void Tarvix::processSslErrors(const QList<QSslError>& sslErrorsList)
{
    if (!settings.denySslCert || sslPromptOpen)
        return;

    sslPromptOpen = true;
    pollTimer.stop();
    http->close();
    errorReported = true;
    showErrorState(tr("SSL error ocurred. ") + tr("Monitoring is impossible."));

    QString list;
    int number = 0;
    for (const QSslError& sslError : sslErrorsList)
        list += QString::number(++number) + QStringLiteral(") ") + sslError.errorString() + QLatin1Char('\n');

    const auto answer = QMessageBox::critical(this, tr("Tarvix: SSL error"),
        tr("Server certificate ") + settings.serverAddress + QLatin1Char(':') + settings.serverPort
            + tr(" contains the following errors:\n") + list
            + tr("\n\"Yes\" - terminate the execution of the program\n\"No\" - open settings. On the  tab "
                 "\"Misc\", you can allowSSL certificates which contain errors."),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        QCoreApplication::quit();
    } else if (answer == QMessageBox::No) {
        showAndReadConfig();
        ui.tabConfig->setCurrentIndex(MiscTab);
    }
    sslPromptOpen = false;
}
