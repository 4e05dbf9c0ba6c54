#pragma once

#include "config/configtab.h"
#include "monitor/listhealth.h"
#include "monitor/pagewalk.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The questions a server's failures put to the user, and their answers.
enum class LinkQuestionKind {
    NetworkError, // Yes ends the program with status 1; polling goes on either way
    Authentication, // Yes ends with status 2; No opens the settings at the user name
    StatusCode, // Yes ends with status 0; No polls on; Cancel opens the settings
    Certificate, // Yes ends with status 0; No opens the settings; Trust pins the certificate
};
enum class LinkAnswer { Yes, No, Cancel, Trust };

struct LinkQuestion
{
    LinkQuestionKind kind = LinkQuestionKind::NetworkError;
    QString title;
    QString text;
    // The certificate question: the user may choose to trust the certificate from now on.
    bool offersTrust = false;
};

// What a server's link does, or asks its view to do, after an event. The link carries out the
// transport's part itself (polling, the connection, the page, ending the program); the rest is the
// view's: the tray's error state, balloons, questions, the configuration window.
struct LinkIntent
{
    enum Kind {
        StopPolling,
        StartPolling,
        CloseConnection, // give up the requests in flight
        ApplyPage, // the page just walked is whole: its changes go into the list
        ShowErrorState, // the problem icon; `text` in the tooltip
        LeaveErrorState, // the normal icon again
        ShowBalloon, // `title`, `text`; `critical` or information
        AskQuestion,
        OpenSettings, // the configuration window at `tab`, focusing `focusWidget` when set
        ExitProgram, // with `exitCode`
        TrustCertificate, // pin the certificate the question was about and poll on
    };

    Kind kind = StopPolling;
    QString title;
    QString text;
    bool critical = false;
    LinkQuestion question;
    ConfigTab tab = GeneralTab;
    QString focusWidget;
    int exitCode = 0;
    StatusList list = StatusList::Hosts;

    bool operator==(const LinkIntent& other) const
    {
        return kind == other.kind && title == other.title && text == other.text && critical == other.critical
            && question.kind == other.question.kind && question.title == other.question.title
            && question.text == other.question.text && tab == other.tab && focusWidget == other.focusWidget
            && exitCode == other.exitCode && list == other.list;
    }
};

// How one server's answers and failures turn into what the user sees: which failures are tolerated,
// when a question is due, when the error state begins and ends, which lists are stale. It knows no
// transport, timer or widget: events go in, intents come out, so a test drives it through every
// path without a server or a tray.
class LinkMachine
{
public:
    // A page request's outcome, as the transport and the page walk classify it.
    enum class Outcome {
        NetworkError, // host not found, refused, cut, timed out, too large, proxy authentication
        Aborted, // given up by the program itself
        AuthenticationFailure,
        UnidentifiedError,
        StatusCode, // an HTTP status other than 200
        UnreadablePage, // 200, but the page cannot be compared with the list (`verdict`)
        GoodPage,
    };

    struct Answer
    {
        StatusList list = StatusList::Hosts;
        Outcome outcome = Outcome::GoodPage;
        QString reason; // the transport's error text
        int statusCode = 0;
        PageVerdict verdict = PageVerdict::Whole;
        PageTotals totals;
    };

    // Failed answers in a row that are tolerated before the failure is reported.
    static constexpr int toleratedFailures = 6;
    // Seconds of polls spent connecting after which the connection counts as timed out.
    static constexpr int connectWaitLimitSeconds = 30;

    // The server as the user knows it, for texts that name it.
    void setServerAddress(const QString& address) { m_serverAddress = address; }
    void setServerPort(const QString& port) { m_serverPort = port; }
    // Certificate problems are put to the user only while certificates with errors are refused.
    void setRefusesBadCertificates(bool refuses) { m_refusesBadCertificates = refuses; }

    QList<LinkIntent> answerArrived(const Answer& answer, const QDateTime& now);
    // A poll: false when the client is still connecting from an earlier poll, so that no new page is
    // asked for. Past the connect limit the time-out is reported once per error state.
    QList<LinkIntent> pollDue(bool stillConnecting, int periodSeconds, bool* sendRequests);
    QList<LinkIntent> certificateErrors(const QStringList& errors, const QString& fingerprint, bool changed);
    QList<LinkIntent> questionAnswered(LinkQuestionKind kind, LinkAnswer answer);
    // The user switched a list's monitoring off: what was wrong with it no longer counts.
    QList<LinkIntent> monitoringChanged(bool hostsMonitored, bool servicesMonitored);
    // A new language: the error state is forgotten, the next failure is reported anew.
    void forgetErrorState() { m_errorReported = false; }
    // The configuration is wrong from the start: the first good answer after it is fixed is told.
    void startInErrorState() { m_errorReported = true; }

    bool errorReported() const { return m_errorReported; }
    bool questionOpen(LinkQuestionKind kind) const;
    const ListHealth& listHealth() const { return m_listHealth; }
    int connectWaitSeconds() const { return m_connectWaitSeconds; }

private:
    QList<LinkIntent> networkError(const Answer& answer, const QDateTime& now);
    QList<LinkIntent> authenticationFailure(const Answer& answer);
    QList<LinkIntent> unidentifiedError(const Answer& answer, const QDateTime& now);
    QList<LinkIntent> statusCode(const Answer& answer);
    QList<LinkIntent> unreadablePage(const Answer& answer, const QDateTime& now);
    QList<LinkIntent> goodPage(const Answer& answer, const QDateTime& now);
    QString requestTitle(StatusList list) const;

    QString m_serverAddress;
    QString m_serverPort;
    bool m_refusesBadCertificates = true;
    bool m_errorReported = false;
    bool m_authPromptOpen = false;
    bool m_sslPromptOpen = false;
    int m_connectWaitSeconds = 0;
    ListHealth m_listHealth;
};
