#include "app/tarvix.h"

#include "app/resourcepaths.h"
#include "config/configtab.h"
#include "monitor/httpclient.h"
#include "monitor/pagewalk.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScopeGuard>

Q_DECLARE_LOGGING_CATEGORY(lcMonitor)

void Tarvix::processHttpFinished(int id, bool error)
{
    if (id == hostsRequestId)
        hostsAnswerPending = false;
    else if (id == servicesRequestId)
        servicesAnswerPending = false;
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
    QString& text = hosts ? hostsPageText : servicesPageText;
    // The body is given up as soon as it is text, and the text once the page is read: a large
    // answer is held once at a time, never as bytes and text and the previous page together.
    qsizetype bytes = 0;
    {
        const QByteArray body = http->readAll();
        bytes = body.size();
        text = pageText(body);
    }
    const auto forgetText = qScopeGuard([&text] { text = QString(); });

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
    qCInfo(lcMonitor).noquote() << "answer" << kind << "status" << statusCode << "bytes" << bytes << "ms"
                                << http->lastDurationMs();
    if (statusCode != 200) {
        reactToStatusCode(id, statusCode);
        return;
    }
    PagePlan plan = walkPage(id);
    if (plan.verdict != PageVerdict::Whole) {
        reactToUnreadablePage(id, plan);
        return;
    }
    reactToGoodAnswer(id);
    if (id == hostsRequestId)
        parseHostsPage(std::move(plan));
    else
        parseServicesPage(std::move(plan));
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

// A page that cannot be compared with the entries leaves them as they are: taken for a whole page, it
// would announce every problem missing from it as recovered. Nagios answers 200 with an error page
// when it is not running or the user may see nothing. The list counts as stale until it comes
// whole again, so the other list's good answers neither end the error state nor show a balloon
// each poll; the tooltip tells why at every such answer, the balloon once.
void Tarvix::reactToUnreadablePage(int id, const PagePlan& plan)
{
    listHealth.failed(listOf(id), QDateTime::currentDateTime());
    listHealth.markStale(listOf(id));
    QString reason;
    switch (plan.verdict) {
    case PageVerdict::Incomplete:
        reason = tr("The server's status page arrived incomplete.\n");
        break;
    case PageVerdict::CutByServer:
        reason
            = tr("The server listed only %1 of %2 entries: add \"&limit=0\" to the query on \"General\".\n")
                  .arg(plan.totals.listed)
                  .arg(plan.totals.matching);
        break;
    case PageVerdict::ExpressionFailed:
        reason = tr("The regular expression failed on the server's page: it is too complex or too slow.\n");
        break;
    default:
        reason = tr("The server's answer is not a status page.\n");
        break;
    }
    showErrorState(tr("HTTP error ocurred:\n") + reason + tr("Monitoring is impossible."));
    if (errorReported)
        return;
    errorReported = true;
    showErrorBalloon(reason);
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
