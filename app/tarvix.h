#pragma once

#include "config/monitorsettings.h"
#include "config/configtab.h"
#include "config/settingstable.h"
#include "monitor/listhealth.h"
#include "monitor/problemlist.h"
#include "monitor/statusrules.h"
#include "monitor/nagioscommand.h"
#include "notify/announcements.h"
#include "notify/informationwindow.h"
#include "ui_tarvix.h"

#include <QDir>
#include <QTemporaryDir>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QSslError>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include <memory>

class HttpClient;
struct PagePlan;
class SoundPlayer;
class QAction;
class QCloseEvent;
class QLineEdit;

// The main object: the configuration window and the owner of the tray icon, the menus that hold
// the current problems, the HTTP client and the timers.
class Tarvix : public QWidget
{
    Q_OBJECT

public:
    explicit Tarvix(QWidget* parent = nullptr);
    ~Tarvix() override;

    // Sounds go through this player; tests replace it because a test machine has no audio.
    void setSoundPlayer(std::unique_ptr<SoundPlayer> player);

    // Started from the desktop's autostart, Tarvix may come up before the panel that holds the
    // tray; it waits this long for one before giving up.
    static int systemTrayWaitSeconds;

protected:
    void closeEvent(QCloseEvent* event) override;

signals:
    void closeAllInformWin();

private slots:
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    void hostsSrvcsMenuHandler(QAction* action);
    void addHost();
    void delHost();
    void addService();
    void delService();
    void checkAndSaveConfig();
    void showAndReadConfig();
    void processHttpFinished(int id, bool error);
    void processSslErrors(const QList<QSslError>& sslErrorsList);
    void processTimer();
    bool isConfigOk();
    void httpGetInfo();
    void timerStart();
    void closeAllPopups();
    void showAbout();
    void useHttpsClicked(bool use);
    void useTrayMsgsClicked(bool use);
    void trayMessageClicked();
    void trayFlashed();

private:
    // app/tarvix.cpp
    void connectSignals();
    void setupShortcuts();
    void placeConfigWindow();
    void connectHttpClient();

    // app/environment.cpp
    void prepareEnvironment();
    void loadTranslations(bool enable);

    // app/tray.cpp
    void createTrayIcon();
    bool waitForSystemTray();
    void updateMonitoringMenus();
    void updateTrayToolTip(bool messageMode, const QString& message);
    void showErrorState(const QString& message);
    void showErrorBalloon(const QString& text);
    QString pageAddress(const QString& path) const;

    // config/configwindow.cpp
    void loadSettings();
    void saveSettings();
    void keepSettingsPrivate(const QString& fileName, bool isPrivate);
    void fillConfigWindow();
    void applyConfigWindow();
    void chooseFile(QLineEdit* edit, const QString& title);

    // monitor/pollcycle.cpp
    void recreateHttpClient(bool oldUsesHttps, bool newUsesHttps);
    void abandonRequests();
    void createHttpClient();
    void reportConnectTimeout();

    // monitor/responses.cpp
    void reactToNetworkError(int id);
    void reactToAuthenticationFailure(int id);
    void reactToUnidentifiedError(int id);
    void reactToStatusCode(int id, int statusCode);
    void reactToUnreadablePage(int id, const PagePlan& plan);
    void reactToGoodAnswer(int id);
    StatusList listOf(int id) const;
    QString requestTitle(int id) const;

    // monitor/changedetection.cpp
    // One kind of problem: its menu, the list the menu shows and how its changes are announced.
    struct ProblemPage
    {
        QMenu& menu;
        ProblemList& problems;
        bool showMessages;
        ChangeEventKind problemKind;
        ChangeEventKind recoveredKind;
        QString recoveredStatus;
        QString listUrl;
    };
    PageRule hostsPageRule() const;
    PageRule servicesPageRule() const;
    PagePlan walkPage(int id) const;
    void parseHostsPage(PagePlan plan);
    void parseServicesPage(PagePlan plan);
    void applyPage(const ProblemPage& page, PagePlan plan);
    void removeAllProblemEntries(QMenu& menu, ProblemList& problems);

    // notify/trayalerts.cpp
    void notifyStatusChange(
        const QString& name, ChangeEventKind kind, const QString& url, const QString& status);
    void announceChanges(const QList<Announcement>& changes, bool showMessages, const QString& listUrl);
    QString summaryText(const Announcement& summary) const;
    void showStatusChange(const Announcement& change);
    void placeNextPopup();
    void showStatusBalloon(
        const QString& name, ChangeEventKind kind, const QString& url, const QString& status);
    void playStatusSound(ChangeEventKind kind);
    void startTrayFlashing(bool up);

    // notify/popupcommands.cpp
    void offerPopupCommands(InformationWindow* popup, const Announcement& change);
    void askAcknowledgement(const QPointer<InformationWindow>& popup, const Announcement& change);
    void sendPopupCommand(const QPointer<InformationWindow>& popup, const Announcement& change,
        InformationWindow::Command command, const NagiosCommand::Acknowledgement& ack = {});
    void pollAfterCommand();
    void rememberAcknowledgeComment(const QString& comment);
    QString commandAuthor() const;

    // How long every tray balloon stays.
    static constexpr int balloonMs = 10000;
    // Failed answers in a row that are tolerated before the failure is reported.
    static constexpr int toleratedFailures = 6;
    // Seconds of polls spent connecting after which the connection counts as timed out.
    static constexpr int connectWaitLimitSeconds = 30;
    // Changes of a kind one page walk announces one by one; more are summarised.
    static constexpr int maxAnnouncementsPerKind = 10;
    // Every answer ends within the larger of these: a minimum, and a number of poll periods.
    static constexpr int minimumAnswerLimitSeconds = 120;
    static constexpr int answerLimitPeriods = 4;
    // Popups open at once; a new one closes the oldest.
    static constexpr int maxOpenPopups = 50;
    // Nagios takes a command from its pipe at once, but writes the status that its CGIs read only
    // every status_update_interval seconds (10 by default): polls this long after a command.
    static constexpr int commandFollowUpMs[] = {3000, 11000};

    MonitorSettings settings;
    // The stored values as last read, which the configuration window shows.
    StoredSettings storedSettings;
    Ui::TarvixClass ui;
    QTranslator qtTranslator;
    QTranslator appTranslator;
    QDir dataDir;
    // Where dataDir points when the home directory has no room for it: made for this run alone.
    std::unique_ptr<QTemporaryDir> privateDataDir;
    QSystemTrayIcon trayIcon;
    QMenu combinedMenu;
    QMenu trayMenu;
    QMenu hostsMenu;
    QMenu servicesMenu;
    HttpClient* http = nullptr;
    QTimer pollTimer;
    QTimer flashTimer;
    QTimer commandFollowUpTimer;
    int commandFollowUps = 0;
    int popupPosX = 100;
    int popupPosY = 100;
    int hostsRequestId = 0;
    int servicesRequestId = 0;
    // The answer to the list's last request has not come yet.
    bool hostsAnswerPending = false;
    bool servicesAnswerPending = false;
    // Failed answers in a row of each list, since the list's last answer with status 200.
    ListHealth listHealth;
    int connectWaitSeconds = 0;
    // Drops the next finished notification once: after start with a bad configuration and after the
    // client is replaced. Qt 4's client reported its new socket that way; ours always reports the
    // credentials request of the next poll first, which carries no page, so nothing is lost by it.
    bool skipNextFinished = true;
    bool authPromptOpen = false;
    bool sslPromptOpen = false;
    bool errorReported = false;
    bool flashUp = false;
    QString flashIconPath;
    int flashTicksLeft = 0;
    QString lastMessageUrl;
    QString hostsPageText;
    QString servicesPageText;
    // The menus' problem entries, indexed by name so a page is compared in time proportional to it.
    ProblemList hostProblems;
    ProblemList serviceProblems;
    std::unique_ptr<SoundPlayer> soundPlayer;
    // The popups still open, oldest first.
    QList<QPointer<InformationWindow>> openPopups;

    friend class TarvixTestAccess;
};
