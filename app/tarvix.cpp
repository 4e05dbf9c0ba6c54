#include "app/tarvix.h"

#include "app/about.h"
#include "app/resourcepaths.h"
#include "config/configform.h"
#include "config/serverlistpanel.h"
#include "config/settingsstore.h"
#include "config/validation.h"
#include "monitor/problemsmodel.h"
#include "monitor/serverlink.h"
#include "notify/soundplayer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QSslSocket>

Tarvix::Tarvix(QWidget* parent)
    : QWidget(parent,
        Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
            | Qt::WindowMaximizeButtonHint),
      soundPlayer(std::make_unique<CanberraSoundPlayer>()),
      problemsModel(new ProblemsModel(this))
{
    ui.setupUi(this);
    serverPanel = std::make_unique<ServerListPanel>(
        ui, [this] { return readConfigForm(ui); },
        [this](const StoredSettings& values) { showServerInWindow(values); });
    loadSettings();
    prepareEnvironment();
    ui.retranslateUi(this);
    fillConfigWindow();
    placeConfigWindow();

    popupPosX = 100;
    popupPosY = 100;

    createServerLinks();
    createTrayIcon();
    connectSignals();
    setupShortcuts();

    const bool windowOk = isConfigOk();
    // The other servers are not in the window: one whose settings are unusable waits, the rest poll.
    QStringList unusable;
    for (const auto& view : servers) {
        ServerLink* link = view->link;
        const bool shownInWindow = link->id() == SettingsStore::firstServerId;
        const bool usable = shownInWindow
            ? windowOk
            : !checkConfiguration(
                SettingsStore::readServer(QSettings(settingsOrganization, settingsApplication), link->id()),
                QSslSocket::supportsSsl())
                   .problem;
        if (usable) {
            link->startPolling();
            continue;
        }
        link->startInErrorState();
        if (!shownInWindow)
            unusable << link->settingsInForce().displayName();
    }
    if (windowOk && unusable.isEmpty()) {
        updateTrayToolTip(false, QString());
        return;
    }

    const QString message = tr("Wrong configuration. The program needs to be reconfigured.");
    trayIcon.setIcon(QIcon(ResourcePaths::problemIcon));
    updateTrayToolTip(true, message);
    QMessageBox::warning(this, tr("Tarvix: configuration error."),
        tr("The program is not configured correctly. Please enter the correct settings.")
            + (unusable.isEmpty() ? QString() : QLatin1Char('\n') + unusable.join(QStringLiteral(", "))),
        QMessageBox::Ok, QMessageBox::NoButton);
    showAndReadConfig();
}

Tarvix::~Tarvix()
{
    // The links go before the menus that show their entries.
    for (const auto& view : servers)
        view->link->stopPolling();
    servers.clear();
}

void Tarvix::setSoundPlayer(std::unique_ptr<SoundPlayer> player)
{
    soundPlayer = std::move(player);
}

void Tarvix::connectSignals()
{
    connect(ui.btnAddHost, &QPushButton::clicked, this, &Tarvix::addHost);
    connect(ui.btnDelHost, &QPushButton::clicked, this, &Tarvix::delHost);
    connect(ui.btnAddService, &QPushButton::clicked, this, &Tarvix::addService);
    connect(ui.btnDelService, &QPushButton::clicked, this, &Tarvix::delService);
    connect(ui.btnSave, &QPushButton::clicked, this, &Tarvix::checkAndSaveConfig);
    connect(ui.actionQuit, &QAction::triggered, qApp, &QCoreApplication::quit);
    connect(ui.actionConfig, &QAction::triggered, this, &Tarvix::showAndReadConfig);
    connect(ui.actionProblems, &QAction::triggered, this, &Tarvix::showProblemsWindow);
    connect(&hostsMenu, &QMenu::triggered, this, &Tarvix::hostsSrvcsMenuHandler);
    connect(&servicesMenu, &QMenu::triggered, this, &Tarvix::hostsSrvcsMenuHandler);
    connect(ui.actionCloseAll, &QAction::triggered, this, &Tarvix::closeAllPopups);
    connect(ui.actionAbout, &QAction::triggered, this, &Tarvix::showAbout);
    connect(ui.cbUseHttps, &QCheckBox::toggled, this, &Tarvix::useHttpsClicked);
    connect(&trayIcon, &QSystemTrayIcon::messageClicked, this, &Tarvix::trayMessageClicked);
    connect(&flashTimer, &QTimer::timeout, this, &Tarvix::trayFlashed);
    connect(ui.cbUseTrayMessages, &QCheckBox::toggled, this, &Tarvix::useTrayMsgsClicked);
    // The hiding filters read the JSON status's flags; the status pages have none.
    connect(ui.comboStatusSource, &QComboBox::currentIndexChanged, ui.grBoxHide,
        [this](int index) { ui.grBoxHide->setEnabled(index == 1); });
    connect(ui.btnCAFile, &QToolButton::clicked, this,
        [this] { chooseFile(ui.edCAFile, tr("Choose the CA file")); });
    connect(ui.btnClientCertFile, &QToolButton::clicked, this,
        [this] { chooseFile(ui.edClientCertFile, tr("Choose the client certificate")); });
    connect(ui.btnClientKeyFile, &QToolButton::clicked, this,
        [this] { chooseFile(ui.edClientKeyFile, tr("Choose the client key")); });
}

// The poll slots of one server stay as the program's: every server polls.
void Tarvix::httpGetInfo()
{
    for (const auto& view : servers)
        view->link->httpGetInfo();
}

void Tarvix::timerStart()
{
    for (const auto& view : servers)
        view->link->timerStart();
}

void Tarvix::processTimer()
{
    for (const auto& view : servers)
        view->link->processTimer();
}

void Tarvix::setupShortcuts()
{
    ui.actionCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    ui.btnCancel->addAction(ui.actionCancel);
}

// Centred from the screen's width and height alone; the screen's origin is deliberately not added.
void Tarvix::placeConfigWindow()
{
    const QRect screenRect = screen()->geometry();
    const int w = screenRect.width() / 2;
    const int h = screenRect.height() / 2;
    setGeometry(QRect(QPoint(w - 253, h - 185), QPoint(w + 253, h + 184)));
}

void Tarvix::closeEvent(QCloseEvent* event)
{
    setVisible(false);
    event->ignore();
}

void Tarvix::closeAllPopups()
{
    emit closeAllInformWin();
}

void Tarvix::showAbout()
{
    auto* about = new About(nullptr);
    about->show();
}
