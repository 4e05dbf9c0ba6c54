#pragma once

#include "config/monitorsettings.h"
#include "config/configtab.h"
#include "config/settingstable.h"
#include "monitor/commandbatch.h"
#include "monitor/linkmachine.h"
#include "monitor/nagioscommand.h"
#include "notify/announcements.h"
#include "notify/informationwindow.h"
#include "ui_tarvix.h"

#include <QDir>
#include <QTemporaryDir>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include <memory>
#include <vector>

class ProblemsModel;
class ProblemsWindow;
class ServerLink;
class ServerListEdit;
class ServerListPanel;
struct PagePlan;
class SoundPlayer;
class QAction;
class QCloseEvent;
class QLineEdit;

// The main object: the configuration window, and the view over the servers' links: the tray icon,
// the menus whose entries show the servers' current problems, the tooltip, popups, balloons,
// sounds and the questions the links ask.
class Tarvix : public QWidget
{
    Q_OBJECT

public:
    explicit Tarvix(QWidget* parent = nullptr);
    ~Tarvix() override;

    // Sounds go through this player; tests replace it because a test machine has no audio.
    void setSoundPlayer(std::unique_ptr<SoundPlayer> player);

    // The links of the enabled servers, in the user's order.
    QList<ServerLink*> serverLinks() const;
    // What the tray shows; tests and tools look at it and click it.
    QSystemTrayIcon& trayIconView() { return trayIcon; }
    QMenu& problemsMenu(StatusList list) { return list == StatusList::Hosts ? hostsMenu : servicesMenu; }
    QMenu& contextMenuView() { return trayMenu; }
    QMenu& combinedMenuView() { return combinedMenu; }
    const QTimer& flashingTimer() const { return flashTimer; }
    // Where the sounds and the user's own translations are.
    QDir dataDirectory() const { return dataDir; }
    // Whether the flashing, if any, shows a recovery's images.
    bool flashesRecovery() const { return flashUp; }

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
    // What the view keeps of one server: its link and the menu actions that show its problems.
    struct ServerView
    {
        ServerLink* link = nullptr;
        // Per list: one entry per problem, in the order of the link's list.
        QList<QAction*> entries[2];
        // With two or more servers: the section header and the server's own placeholder.
        QAction* header[2] = {};
        QAction* placeholder[2] = {};
    };

    // app/tarvix.cpp
    void connectSignals();
    void setupShortcuts();
    void placeConfigWindow();

    // app/environment.cpp
    void prepareEnvironment();
    void loadTranslations(bool enable);

    // app/servers.cpp
    void createServerLinks();
    void applyServers(const ServerListEdit& edit, const StoredSettings& window);
    QStringList menuLayout() const;
    void connectServerLink(ServerLink* link);
    ServerView* viewOf(const ServerLink* link);
    void showPlaceholders(const ServerLink* link);
    ServerView* viewOf(const QString& serverId);
    void showPageChanges(ServerLink* link, StatusList list, const PagePlan& plan);
    void mirrorEntries(ServerView& view, StatusList list, const PagePlan& plan);
    QAction* sectionEnd(const ServerView& view, StatusList list) const;
    void askQuestion(ServerLink* link, const LinkQuestion& question);
    void openSettingsFor(ServerLink* link, ConfigTab tab, const QString& focusWidget);
    void storeTrustedKey(ServerLink* link, const QString& pinnedPublicKey);
    bool severalServers() const { return servers.size() > 1; }
    // Texts about one server lead with its name once there are several.
    QString aboutServer(const ServerLink* link, const QString& text) const;
    bool anyServerFailing() const;

    // app/tray.cpp
    void createTrayIcon();
    bool waitForSystemTray();
    void rebuildProblemMenus();
    void addServerSection(ServerView& view, StatusList list);
    void updatePlaceholder(ServerView& view, StatusList list);
    void updateMonitoringMenus();
    void updateTrayToolTip(bool messageMode, const QString& message);
    void showErrorState(const QString& message);
    void showErrorBalloon(const QString& text);
    QString pageAddress(const MonitorSettings& server, const QString& request) const;

    // config/configwindow.cpp
    void loadSettings();
    void saveSettings();
    void keepSettingsPrivate(const QString& fileName, bool isPrivate);
    void fillConfigWindow();
    void showServerInWindow(const StoredSettings& values);
    bool isShownServerOk(const QString& serverPrefix);
    void applyConfigWindow();
    void chooseFile(QLineEdit* edit, const QString& title);

    // notify/trayalerts.cpp
    void notifyStatusChange(
        const QString& name, ChangeEventKind kind, const QString& url, const QString& status);
    void announceChanges(const QList<Announcement>& changes, bool showMessages, const QString& listUrl,
        const QString& serverPrefix);
    QString summaryText(const Announcement& summary) const;
    void showStatusChange(const Announcement& change);
    void placeNextPopup();
    void showStatusBalloon(
        const QString& name, ChangeEventKind kind, const QString& url, const QString& status);
    void playStatusSound(ChangeEventKind kind);
    void startTrayFlashing(bool up);

    // app/problemsview.cpp
    void showProblemsWindow();
    void askProblemsAcknowledgement();
    void askProblemsDowntime();
    void sendProblemCommands(CommandBatch::Kind kind, const QList<CommandBatch::Target>& targets,
        const NagiosCommand::Acknowledgement& ack = {}, const NagiosCommand::Downtime& downtime = {});
    void reportProblemCommands(const CommandBatch& batch);

    // notify/popupcommands.cpp
    void offerPopupCommands(InformationWindow* popup, const Announcement& change);
    void askAcknowledgement(const QPointer<InformationWindow>& popup, const Announcement& change);
    void sendPopupCommand(const QPointer<InformationWindow>& popup, const Announcement& change,
        InformationWindow::Command command, const NagiosCommand::Acknowledgement& ack = {});
    void rememberAcknowledgeComment(const QString& comment);
    QString commandAuthor(const MonitorSettings& server) const;

    // How long every tray balloon stays.
    static constexpr int balloonMs = 10000;
    // Changes of a kind one page walk announces one by one; more are summarised.
    static constexpr int maxAnnouncementsPerKind = 10;
    // Popups open at once; a new one closes the oldest.
    static constexpr int maxOpenPopups = 50;

    // The program's settings and the first server's, as the flat keys hold them.
    MonitorSettings settings;
    // The stored values as last read, which the configuration window shows.
    StoredSettings storedSettings;
    Ui::TarvixClass ui;
    // The configuration window's server list.
    std::unique_ptr<ServerListPanel> serverPanel;
    // The server the window shows when it opens next; empty: the first.
    QString configServerId;
    // Another server's values are being put into the window.
    bool switchingServer = false;
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
    // The enabled servers in the user's order.
    std::vector<std::unique_ptr<ServerView>> servers;
    QTimer flashTimer;
    int popupPosX = 100;
    int popupPosY = 100;
    bool flashUp = false;
    QString flashIconPath;
    int flashTicksLeft = 0;
    QString lastMessageUrl;
    std::unique_ptr<SoundPlayer> soundPlayer;
    // The popups still open, oldest first.
    QList<QPointer<InformationWindow>> openPopups;
    // Every server's problems, followed from the start so that the window can tell what is new.
    ProblemsModel* problemsModel = nullptr;
    // Made when first opened; hidden, not destroyed, when closed.
    QPointer<ProblemsWindow> problemsWindow;
};
