#pragma once

#include "config/monitorsettings.h"
#include "config/settingstable.h"
#include "monitor/linkmachine.h"
#include "monitor/pagewalk.h"
#include "monitor/problemlist.h"

#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QTimer>

#include <optional>

class HttpClient;
class NagiosCommand;

// One Nagios server: its settings, its transport, its poll timer, the requests in flight, the pages
// as they arrive and the two lists of its current problems. It shows nothing itself: what the user
// must see or decide it asks of its view through signals, and it takes the answers back. Its
// decisions about answers and failures are its LinkMachine's.
class ServerLink : public QObject
{
    Q_OBJECT

public:
    // `id` names the server in the settings for good ("default" for the first one).
    explicit ServerLink(const QString& id, QObject* parent = nullptr);
    ~ServerLink() override;

    QString id() const { return m_id; }
    // The settings in force: the server's own and the program's.
    const MonitorSettings& settingsInForce() const { return settings; }
    // Puts a server's stored values in force. A changed transport gets a new client; requests of the
    // old settings are given up, and a late answer of a list switched off is not taken.
    void applySettings(const StoredSettings& values);
    // Polls at once and from then on every period.
    void startPolling();
    // No more polls until the next start; requests in flight still end.
    void stopPolling();
    // The configuration was wrong at start: nothing is polled, and the first good answer after the
    // user fixed it is told.
    void startInErrorState();
    // The program's language changed: requests are given up, the error state is forgotten.
    void restartAfterLanguageChange();

    const ProblemList& problems(StatusList list) const;
    // Empties a list whose monitoring is off; the view hears problemsCleared().
    void clearProblems(StatusList list);
    bool isMonitored(StatusList list) const;

    bool errorReported() const { return machine.errorReported(); }
    const ListHealth& listHealth() const { return machine.listHealth(); }
    // The text of the error state, empty when there is none.
    QString errorMessage() const { return m_errorMessage; }
    // When the server last answered with a page that was taken.
    QDateTime lastData() const { return m_lastData; }
    // Whether a question of this server is open, so that the view can tell.
    bool questionOpen(LinkQuestionKind kind) const { return machine.questionOpen(kind); }

    // The answer to the last question asked through questionAsked().
    void answerQuestion(LinkQuestionKind kind, LinkAnswer answer);

    // A command to this server's cmd.cgi, with its transport and credentials; the caller owns it.
    NagiosCommand* createCommand(QObject* parent);
    // Nagios took a command: the effect shows in seconds instead of a period later.
    void commandTaken();

    // The transport, for the requests' bounds in tests and figures.
    HttpClient* client() const { return http; }
    int pendingRequests() const;
    bool isPolling() const { return pollTimer.isActive(); }
    int pollIntervalMs() const { return pollTimer.interval(); }
    // The id of the list's last page request; 0 when none is to be taken.
    int requestId(StatusList list) const
    {
        return list == StatusList::Hosts ? hostsRequestId : servicesRequestId;
    }

public slots:
    void httpGetInfo();
    void processTimer();
    void timerStart();

signals:
    // A whole page's plan, before it goes into the list: the view shows and announces its changes.
    void pageWalked(StatusList list, const PagePlan& plan);
    // After a plan went into the list, or a list was emptied.
    void problemsChanged(StatusList list);
    void problemsCleared(StatusList list);
    void errorStateEntered(const QString& message);
    void errorStateLeft();
    void balloonRequested(const QString& title, const QString& text, bool critical);
    // The view asks the user and hands the answer back with answerQuestion().
    void questionAsked(const LinkQuestion& question);
    void settingsRequested(ConfigTab tab, const QString& focusWidget);
    // The user chose to trust the server's certificate: its key is pinned, to be stored.
    void certificateTrusted(const QString& pinnedPublicKey);

private slots:
    void processHttpFinished(int id, bool error);
    void processSslErrors(const QList<QSslError>& errors);
    void pollAfterCommand();

private:
    // A finished request of ours: the list it was for, and whether it asked for the counts.
    struct Request
    {
        StatusList list;
        bool counts;
    };
    std::optional<Request> takeRequest(int id);
    std::optional<LinkMachine::Answer> failedAnswer(StatusList list, bool error) const;
    std::optional<LinkMachine::Answer> pageAnswered(StatusList list, bool error);
    std::optional<LinkMachine::Answer> countsAnswered(StatusList list, bool error);
    bool mayHideAUserWithoutRights(StatusList list) const;
    void askWhatTheUserSees(StatusList list);
    void execute(const QList<LinkIntent>& intents);
    void applyPage(StatusList list);
    PagePlan walkPage(StatusList list) const;
    void createHttpClient();
    void recreateHttpClient(bool oldUsesHttps, bool newUsesHttps);
    void replaceClientForNewTransport(const MonitorSettings& before);
    void abandonRequests();
    void trustCertificate();
    void pollForCommand();
    QString& pageText(StatusList list);
    ProblemList& problemList(StatusList list);

    // Nagios takes a command from its pipe at once, but writes the status that its CGIs read only
    // every status_update_interval seconds (10 by default): polls this long after a command.
    static constexpr int commandFollowUpMs[] = {3000, 11000};
    // Every answer ends within the larger of these: a minimum, and a number of poll periods.
    static constexpr int minimumAnswerLimitSeconds = 120;
    static constexpr int answerLimitPeriods = 4;

    QString m_id;
    MonitorSettings settings;
    LinkMachine machine;
    HttpClient* http = nullptr;
    QTimer pollTimer;
    QTimer commandFollowUpTimer;
    int commandFollowUps = 0;
    int hostsRequestId = 0;
    int servicesRequestId = 0;
    // The answer to the list's last request has not come yet.
    bool hostsAnswerPending = false;
    bool servicesAnswerPending = false;
    // Drops the next finished notification once: after start with a bad configuration and after the
    // client is replaced. Qt 4's client reported its new socket that way; ours always reports the
    // credentials request of the next poll first, which carries no page, so nothing is lost by it.
    bool skipNextFinished = true;
    QString hostsPageText;
    QString servicesPageText;
    ProblemList hostProblems;
    ProblemList serviceProblems;
    // The page whose answer is being handled, walked before it is judged; an empty answer is none.
    PagePlan m_walkedPlan;
    bool m_walkedEmpty = false;
    // Per list: the counts request that checks an empty JSON list, the plan that waits for it, and
    // whether the user was seen to see objects since the settings were put in force.
    int m_countRequestIds[2] = {0, 0};
    PagePlan m_deferredPlans[2];
    bool m_visibilityChecked[2] = {false, false};
    QString m_errorMessage;
    QDateTime m_lastData;
    // The key of the certificate the open question is about.
    QString m_offeredPin;
};
