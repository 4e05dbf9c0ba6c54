#include "app/tarvix.h"

#include "config/configform.h"
#include "config/serverlistpanel.h"
#include "config/settingsstore.h"
#include "config/validation.h"
#include "monitor/serverlink.h"

#include <QFileDialog>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QScopedValueRollback>
#include <QSettings>
#include <QSslSocket>

Q_LOGGING_CATEGORY(lcConfigWindow, "tarvix.config.window", QtWarningMsg)

namespace {

void addListItem(QLineEdit* edit, QListWidget* list)
{
    if (edit->text().isEmpty())
        return;
    list->addItem(edit->text());
    edit->clear();
}

void deleteSelectedItems(QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    qDeleteAll(selected);
}

} // namespace

void Tarvix::loadSettings()
{
    QSettings store(settingsOrganization, settingsApplication);
    keepSettingsPrivate(store.fileName(), SettingsStore::restrictToOwner(store.fileName()));
    storedSettings = SettingsStore::read(store);
    assignStoredSettings(settings, storedSettings);
}

void Tarvix::saveSettings()
{
    {
        QSettings store(settingsOrganization, settingsApplication);
        const bool created = SettingsStore::createPrivately(store.fileName());
        serverPanel->commitWindow();
        SettingsStore::writeGlobal(store, readConfigForm(ui));
        serverPanel->servers().save(store);
        store.sync();
        keepSettingsPrivate(store.fileName(), created && SettingsStore::restrictToOwner(store.fileName()));
    }

    applyConfigWindow();
    updateMonitoringMenus();
    const bool monitoring = settings.enableHostsMonitoring || settings.enableSrvcsMonitoring;
    updateTrayToolTip(monitoring,
        tr("Configuration is updated.\n") + tr("Waiting for obtaining new information from server."));
    httpGetInfo();
    timerStart();
}

// The file holds the password: a file others may read is worth telling the user about.
void Tarvix::keepSettingsPrivate(const QString& fileName, bool isPrivate)
{
    if (isPrivate)
        return;
    const QString warning = tr("The settings file %1 could not be made readable by you alone; it holds "
                               "the HTTP password.")
                                .arg(fileName);
    qCWarning(lcConfigWindow).noquote() << warning;
    if (trayIcon.isVisible())
        trayIcon.showMessage(tr("Tarvix: settings"), warning, QSystemTrayIcon::Warning, balloonMs);
}

void Tarvix::showAndReadConfig()
{
    if (isVisible()) {
        activateWindow();
        return;
    }
    placeConfigWindow();
    ui.tabConfig->setCurrentIndex(GeneralTab);
    loadSettings();
    fillConfigWindow();
    show();
}

// Always right after loadSettings, so the stored values are those just read.
void Tarvix::fillConfigWindow()
{
    QSettings store(settingsOrganization, settingsApplication);
    serverPanel->load(store, std::exchange(configServerId, QString()));
    const ServerListEdit& edit = serverPanel->servers();
    StoredSettings shown = edit.forWindow(edit.current(), storedSettings);
    // The position fields show the positions in force; the parsing rules below recompute them.
    const ServerView* view = viewOf(edit.at(edit.current()).id);
    const MonitorSettings& inForce = view ? view->link->settingsInForce() : settings;
    using K = SettingKey;
    shown.set(K::HostStatRxPos, QString::number(inForce.hostStatRxPos));
    shown.set(K::HostLinkRxPos, QString::number(inForce.hostLinkRxPos));
    shown.set(K::HostNameRxPos, QString::number(inForce.hostNameRxPos));
    shown.set(K::SrvStatRxPos, QString::number(inForce.srvStatRxPos));
    shown.set(K::SrvLinkRxPos, QString::number(inForce.srvLinkRxPos));
    shown.set(K::SrvNameRxPos, QString::number(inForce.srvNameRxPos));
    fillConfigForm(ui, shown);
    useTrayMsgsClicked(settings.useTrayMessages);
    assignParsingRules(settings, storedSettings);
}

// Another server chosen in the list: its values, without the questions that filling the window
// for the user's own clicks would ask.
void Tarvix::showServerInWindow(const StoredSettings& values)
{
    const QScopedValueRollback<bool> switching(switchingServer, true);
    fillConfigForm(ui, values);
    useTrayMsgsClicked(ui.cbUseTrayMessages->isChecked());
}

void Tarvix::checkAndSaveConfig()
{
    if (!isConfigOk())
        return;
    saveSettings();
    hide();
}

void Tarvix::applyConfigWindow()
{
    const StoredSettings form = readConfigForm(ui);
    const ServerListEdit& edit = serverPanel->servers();
    // The record holds the program's keys and the first server's, as the flat keys do.
    const int first = edit.indexOf(SettingsStore::firstServerId);
    const StoredSettings flat = first >= 0 ? edit.forWindow(first, form) : form;
    const MonitorSettings before = settings;
    assignStoredSettings(settings, flat);
    // A new language is put in force last, with the translations.
    settings.disableLocalization = before.disableLocalization;
    assignParsingRules(settings, flat);
    storedSettings = flat;

    applyServers(edit, form);

    if (form.flag(SettingKey::DisableLocalization) != settings.disableLocalization) {
        for (const auto& view : servers)
            view->link->stopPolling();
        settings.disableLocalization = form.flag(SettingKey::DisableLocalization);
        loadTranslations(!settings.disableLocalization);
        ui.retranslateUi(this);
        loadSettings();
        fillConfigWindow();
        for (const auto& view : servers)
            view->link->restartAfterLanguageChange();
    }
}

void Tarvix::chooseFile(QLineEdit* edit, const QString& title)
{
    const QString chosen = QFileDialog::getOpenFileName(
        this, title, edit->text(), tr("PEM files (*.pem *.crt *.cer *.key);;All files (*)"));
    if (!chosen.isEmpty())
        edit->setText(chosen);
}

void Tarvix::addHost()
{
    addListItem(ui.edAddHost, ui.listHosts);
}

void Tarvix::delHost()
{
    deleteSelectedItems(ui.listHosts);
}

void Tarvix::addService()
{
    addListItem(ui.edAddService, ui.listServices);
}

void Tarvix::delService()
{
    deleteSelectedItems(ui.listServices);
}

void Tarvix::useHttpsClicked(bool use)
{
    if (switchingServer) {
        ui.grBoxSsl->setEnabled(use);
        return;
    }
    const QString port = use ? defaultHttpsPort : defaultHttpPort;
    const QString question = use ? tr("Set the server port to a default value for HTTPS protocol (") + port
            + QLatin1Char(')') + QLatin1Char('?')
                                 : tr("Set the server port to the default value for the HTTP protocol (")
            + port + QLatin1Char(')') + QLatin1Char('?');
    const auto answer = QMessageBox::information(
        this, programName, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        ui.edServerPort->setText(port);
    ui.grBoxSsl->setEnabled(use);
}

void Tarvix::useTrayMsgsClicked(bool use)
{
    ui.cbAutoClose->setEnabled(!use);
    if (use) {
        ui.spinBoxClose->setEnabled(false);
        ui.lbMinutes->setEnabled(false);
    } else if (ui.cbAutoClose->isChecked()) {
        ui.spinBoxClose->setEnabled(true);
        ui.lbMinutes->setEnabled(true);
    }
}

// Every enabled server is checked in the list's order; the first one with a problem is shown, and its
// problem told, named after the server when there are several.
bool Tarvix::isConfigOk()
{
    serverPanel->commitWindow();
    const ServerListEdit& edit = serverPanel->servers();
    for (int i = 0; i < edit.count(); ++i) {
        if (!edit.at(i).values.flag(SettingKey::ServerEnabled))
            continue;
        const ConfigCheck check
            = checkConfiguration(edit.forWindow(i, readConfigForm(ui)), QSslSocket::supportsSsl());
        if (!check.problem && !check.portMissing)
            continue;
        serverPanel->select(i);
        if (!isShownServerOk(edit.count() > 1 ? edit.displayName(i) + QStringLiteral(": ") : QString()))
            return false;
        serverPanel->commitWindow();
    }
    return true;
}

bool Tarvix::isShownServerOk(const QString& serverPrefix)
{
    const ConfigCheck check = checkConfiguration(readConfigForm(ui), QSslSocket::supportsSsl());
    if (check.portMissing) {
        QMessageBox::information(this, tr("Tarvix: warning"),
            tr("Server port is not specified and will be installed in the default."), QMessageBox::Ok,
            QMessageBox::NoButton);
        ui.edServerPort->setText(check.defaultPort);
    }
    if (!check.problem)
        return true;

    QMessageBox::warning(this, tr("Tarvix: configuration error"), serverPrefix + check.problem->message,
        QMessageBox::Ok, QMessageBox::NoButton);
    ui.tabConfig->setCurrentIndex(check.problem->tab);
    if (auto* focus = findChild<QWidget*>(check.problem->focusWidget))
        focus->setFocus(Qt::OtherFocusReason);
    return false;
}
