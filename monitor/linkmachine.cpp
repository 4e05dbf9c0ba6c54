#include "monitor/linkmachine.h"

#include <QCoreApplication>

namespace {

// The texts the user has always seen, in the main window's translation context.
QString translated(const char* text)
{
    return QCoreApplication::translate("Tarvix", text);
}

LinkIntent intent(LinkIntent::Kind kind)
{
    LinkIntent result;
    result.kind = kind;
    return result;
}

LinkIntent errorState(const QString& text)
{
    LinkIntent result = intent(LinkIntent::ShowErrorState);
    result.text = text;
    return result;
}

LinkIntent balloon(const QString& title, const QString& text, bool critical)
{
    LinkIntent result = intent(LinkIntent::ShowBalloon);
    result.title = title;
    result.text = text;
    result.critical = critical;
    return result;
}

LinkIntent errorBalloon(const QString& text)
{
    return balloon(translated(QT_TRANSLATE_NOOP("Tarvix", "Tarvix: HTTP error")), text, true);
}

LinkIntent question(LinkQuestionKind kind, const QString& title, const QString& text)
{
    LinkIntent result = intent(LinkIntent::AskQuestion);
    result.question.kind = kind;
    result.question.title = title;
    result.question.text = text;
    return result;
}

LinkIntent openSettings(ConfigTab tab, const QString& focusWidget = {})
{
    LinkIntent result = intent(LinkIntent::OpenSettings);
    result.tab = tab;
    result.focusWidget = focusWidget;
    return result;
}

LinkIntent exitProgram(int code)
{
    LinkIntent result = intent(LinkIntent::ExitProgram);
    result.exitCode = code;
    return result;
}

const QString impossible()
{
    return translated(QT_TRANSLATE_NOOP("Tarvix", "Monitoring is impossible."));
}

} // namespace

QString LinkMachine::requestTitle(StatusList list) const
{
    return list == StatusList::Hosts
        ? translated(QT_TRANSLATE_NOOP("Tarvix", "Tarvix: HTTP error status of hosts request"))
        : translated(QT_TRANSLATE_NOOP("Tarvix", "Tarvix: HTTP error status of services request"));
}

bool LinkMachine::questionOpen(LinkQuestionKind kind) const
{
    if (kind == LinkQuestionKind::Authentication)
        return m_authPromptOpen;
    if (kind == LinkQuestionKind::Certificate)
        return m_sslPromptOpen;
    return false;
}

QList<LinkIntent> LinkMachine::answerArrived(const Answer& answer, const QDateTime& now)
{
    switch (answer.outcome) {
    case Outcome::NetworkError:
        return networkError(answer, now);
    case Outcome::Aborted:
        return {};
    case Outcome::AuthenticationFailure:
        return authenticationFailure(answer);
    case Outcome::UnidentifiedError:
        return unidentifiedError(answer, now);
    case Outcome::StatusCode:
        return statusCode(answer);
    case Outcome::UnreadablePage:
        return unreadablePage(answer, now);
    case Outcome::GoodPage:
        return goodPage(answer, now);
    }
    return {};
}

// Every failure past the tolerated ones asks again, since the user chose to go on.
QList<LinkIntent> LinkMachine::networkError(const Answer& answer, const QDateTime& now)
{
    if (m_listHealth.failed(answer.list, now) <= toleratedFailures)
        return {};
    m_listHealth.markStale(answer.list);
    m_errorReported = true;
    return {intent(LinkIntent::StopPolling),
        errorState(translated(QT_TRANSLATE_NOOP("Tarvix", "HTTP error ocurred:\n")) + answer.reason
            + QLatin1Char('\n') + impossible()),
        question(LinkQuestionKind::NetworkError, requestTitle(answer.list),
            translated(QT_TRANSLATE_NOOP("Tarvix", "During the execution of the query an error occurred:\n"))
                + QLatin1Char('\'') + answer.reason + QStringLiteral("'\n")
                + translated(QT_TRANSLATE_NOOP("Tarvix", "Terminate application?")))};
}

QList<LinkIntent> LinkMachine::authenticationFailure(const Answer& answer)
{
    if (m_authPromptOpen)
        return {};
    m_authPromptOpen = true;
    m_errorReported = true;
    return {intent(LinkIntent::StopPolling),
        errorState(translated(QT_TRANSLATE_NOOP("Tarvix", "HTTP error ocurred:\n"))
            + translated(QT_TRANSLATE_NOOP("Tarvix", "Invalid password or username.\n")) + impossible()),
        question(LinkQuestionKind::Authentication, requestTitle(answer.list),
            translated(QT_TRANSLATE_NOOP("Tarvix",
                "Invalid password or username. Terminate application? Clicking \"No\" will open the program "
                "settings.")))};
}

QList<LinkIntent> LinkMachine::unidentifiedError(const Answer& answer, const QDateTime& now)
{
    if (m_listHealth.failed(answer.list, now) <= toleratedFailures || m_errorReported)
        return {};
    m_listHealth.markStale(answer.list);
    m_errorReported = true;
    return {errorState(translated(QT_TRANSLATE_NOOP("Tarvix", "HTTP error ocurred:\n"))
                + translated(QT_TRANSLATE_NOOP("Tarvix", "Unidentified error.\n")) + impossible()),
        errorBalloon(translated(QT_TRANSLATE_NOOP("Tarvix", "During query unidentified error occurred.\n")))};
}

QList<LinkIntent> LinkMachine::statusCode(const Answer& answer)
{
    const QString code = QString::number(answer.statusCode);
    return {intent(LinkIntent::StopPolling),
        errorState(translated(QT_TRANSLATE_NOOP("Tarvix", "HTTP error ocurred:\nServer '")) + m_serverAddress
            + translated(QT_TRANSLATE_NOOP("Tarvix", "' return error ")) + code + QLatin1Char('\n')
            + impossible()),
        question(LinkQuestionKind::StatusCode, requestTitle(answer.list),
            translated(QT_TRANSLATE_NOOP("Tarvix", "Error query status: Server '")) + m_serverAddress
                + translated(QT_TRANSLATE_NOOP("Tarvix", "' return error ")) + code + QLatin1Char('\n')
                + translated(QT_TRANSLATE_NOOP(
                    "Tarvix", "Terminate application? (Cancel button will open the program settings.)")))};
}

// A page that cannot be compared with the entries leaves them as they are: taken for a whole page, it
// would announce every problem missing from it as recovered. Nagios answers 200 with an error page
// when it is not running or the user may see nothing. The list counts as stale until it comes
// whole again, so the other list's good answers neither end the error state nor show a balloon
// each poll; the tooltip tells why at every such answer, the balloon once.
QList<LinkIntent> LinkMachine::unreadablePage(const Answer& answer, const QDateTime& now)
{
    m_listHealth.failed(answer.list, now);
    m_listHealth.markStale(answer.list);
    QString reason;
    switch (answer.verdict) {
    case PageVerdict::Incomplete:
        reason = translated(QT_TRANSLATE_NOOP("Tarvix", "The server's status page arrived incomplete.\n"));
        break;
    case PageVerdict::CutByServer:
        reason = translated(
            QT_TRANSLATE_NOOP("Tarvix",
                "The server listed only %1 of %2 entries: add \"&limit=0\" to the query on \"General\".\n"))
                     .arg(answer.totals.listed)
                     .arg(answer.totals.matching);
        break;
    case PageVerdict::ExpressionFailed:
        reason = translated(QT_TRANSLATE_NOOP("Tarvix",
            "The regular expression failed on the server's page: it is too complex or too slow.\n"));
        break;
    case PageVerdict::Unreadable:
        reason = translated(QT_TRANSLATE_NOOP("Tarvix", "The server's JSON status cannot be read.\n"));
        break;
    case PageVerdict::NothingVisible:
        reason = translated(
            QT_TRANSLATE_NOOP("Tarvix",
                "Nagios shows the user \"%1\" no hosts or services: check authorized_for_all_hosts and "
                "authorized_for_all_services in its cgi.cfg.\n"))
                     .arg(answer.reason);
        break;
    default:
        reason = answer.reason.isEmpty()
            ? translated(QT_TRANSLATE_NOOP("Tarvix", "The server's answer is not a status page.\n"))
            : translated(QT_TRANSLATE_NOOP("Tarvix", "Nagios refused the request: %1\n")).arg(answer.reason);
        break;
    }
    QList<LinkIntent> intents {
        errorState(translated(QT_TRANSLATE_NOOP("Tarvix", "HTTP error ocurred:\n")) + reason + impossible())};
    if (m_errorReported)
        return intents;
    m_errorReported = true;
    intents.append(errorBalloon(reason));
    return intents;
}

// A good answer ends the error state unless the other list is still stale; then only this list's
// return is told.
QList<LinkIntent> LinkMachine::goodPage(const Answer& answer, const QDateTime& now)
{
    const bool answersAgain = m_listHealth.answered(answer.list, now);
    QList<LinkIntent> intents;
    if (m_errorReported && !m_listHealth.anyStale()) {
        m_errorReported = false;
        intents << intent(LinkIntent::LeaveErrorState)
                << balloon(translated(QT_TRANSLATE_NOOP("Tarvix", "Tarvix")),
                       translated(QT_TRANSLATE_NOOP("Tarvix", "Connection with the server is established.")),
                       false);
    } else if (answersAgain) {
        intents << balloon(translated(QT_TRANSLATE_NOOP("Tarvix", "Tarvix")),
            answer.list == StatusList::Hosts
                ? translated(QT_TRANSLATE_NOOP("Tarvix", "The list of down hosts is up to date again."))
                : translated(
                    QT_TRANSLATE_NOOP("Tarvix", "The list of problem services is up to date again.")),
            false);
    }
    LinkIntent apply = intent(LinkIntent::ApplyPage);
    apply.list = answer.list;
    intents << apply;
    return intents;
}

QList<LinkIntent> LinkMachine::pollDue(bool stillConnecting, int periodSeconds, bool* sendRequests)
{
    *sendRequests = !stillConnecting;
    if (!stillConnecting) {
        m_connectWaitSeconds = 0;
        return {};
    }
    m_connectWaitSeconds += periodSeconds;
    if (m_connectWaitSeconds < connectWaitLimitSeconds)
        return {};
    m_connectWaitSeconds = 0;
    if (m_errorReported)
        return {};
    m_errorReported = true;
    return {errorState(translated(QT_TRANSLATE_NOOP("Tarvix", "HTTP error ocurred:\n"))
                + translated(QT_TRANSLATE_NOOP("Tarvix", "Connection is timed out.\n")) + impossible()),
        errorBalloon(translated(QT_TRANSLATE_NOOP("Tarvix", "Timeout while connecting to server"))
            + QLatin1Char('\n')
            + translated(QT_TRANSLATE_NOOP("Tarvix", "for obtaining monitoring information.")))};
}

// The fingerprint lets the user compare the certificate with the one the server's administrator
// knows before trusting it; a changed certificate is said to be one.
QList<LinkIntent> LinkMachine::certificateErrors(
    const QStringList& errors, const QString& fingerprint, bool changed)
{
    if (!m_refusesBadCertificates || m_sslPromptOpen)
        return {};
    m_sslPromptOpen = true;
    m_errorReported = true;
    QString list;
    int number = 0;
    for (const QString& error : errors)
        list += QString::number(++number) + QStringLiteral(") ") + error + QLatin1Char('\n');
    QString text;
    if (changed)
        text += translated(QT_TRANSLATE_NOOP(
            "Tarvix", "The server's certificate has changed since you chose to trust it.\n"));
    text += translated(QT_TRANSLATE_NOOP("Tarvix", "Server certificate ")) + m_serverAddress
        + QLatin1Char(':') + m_serverPort
        + translated(QT_TRANSLATE_NOOP("Tarvix", " contains the following errors:\n")) + list;
    if (!fingerprint.isEmpty())
        text += translated(QT_TRANSLATE_NOOP("Tarvix", "SHA-256 fingerprint: %1\n")).arg(fingerprint);
    text += translated(QT_TRANSLATE_NOOP("Tarvix",
        "\n\"Yes\" - terminate the execution of the program\n\"No\" - open settings. On the  tab \"Misc\", "
        "you "
        "can allowSSL certificates which contain errors."));
    if (!fingerprint.isEmpty())
        text += translated(QT_TRANSLATE_NOOP("Tarvix",
            "\n\"Trust this certificate\" - trust this server's certificate from now on and go on."));
    LinkIntent ask = question(
        LinkQuestionKind::Certificate, translated(QT_TRANSLATE_NOOP("Tarvix", "Tarvix: SSL error")), text);
    ask.question.offersTrust = !fingerprint.isEmpty();
    return {intent(LinkIntent::StopPolling), intent(LinkIntent::CloseConnection),
        errorState(translated(QT_TRANSLATE_NOOP("Tarvix", "SSL error ocurred. ")) + impossible()), ask};
}

QList<LinkIntent> LinkMachine::questionAnswered(LinkQuestionKind kind, LinkAnswer answer)
{
    QList<LinkIntent> intents;
    switch (kind) {
    case LinkQuestionKind::NetworkError:
        if (answer == LinkAnswer::Yes)
            intents << exitProgram(1);
        intents << intent(LinkIntent::StartPolling);
        break;
    case LinkQuestionKind::Authentication:
        // Polling stays stopped until the configuration is saved.
        m_authPromptOpen = false;
        intents << (answer == LinkAnswer::Yes ? exitProgram(2)
                                              : openSettings(GeneralTab, QStringLiteral("edLogin")));
        break;
    case LinkQuestionKind::StatusCode:
        if (answer == LinkAnswer::No)
            intents << intent(LinkIntent::StartPolling);
        else if (answer == LinkAnswer::Cancel)
            intents << openSettings(GeneralTab);
        else if (answer == LinkAnswer::Yes)
            intents << exitProgram(0);
        m_errorReported = true;
        break;
    case LinkQuestionKind::Certificate:
        m_sslPromptOpen = false;
        if (answer == LinkAnswer::Yes)
            intents << exitProgram(0);
        else if (answer == LinkAnswer::No)
            intents << openSettings(MiscTab);
        else if (answer == LinkAnswer::Trust)
            intents << intent(LinkIntent::TrustCertificate) << intent(LinkIntent::StartPolling);
        break;
    }
    return intents;
}

// A stale list whose monitoring is switched off would otherwise keep the error state for good: no
// answer of it is ever taken again.
QList<LinkIntent> LinkMachine::monitoringChanged(bool hostsMonitored, bool servicesMonitored)
{
    if (!hostsMonitored)
        m_listHealth.forget(StatusList::Hosts);
    if (!servicesMonitored)
        m_listHealth.forget(StatusList::Services);
    if (!m_errorReported || hostsMonitored || servicesMonitored)
        return {};
    // Nothing is asked for any more: nothing can fail.
    m_errorReported = false;
    return {intent(LinkIntent::LeaveErrorState)};
}
