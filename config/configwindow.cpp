#include "app/tarvix.h"

#include "config/settingsstore.h"
#include "monitor/httpclient.h"

#include <QLoggingCategory>
#include <QMessageBox>
#include <QSettings>

namespace {

QStringList itemTexts(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

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
    SettingsStore::restrictToOwner(store.fileName());
    SettingsStore::load(store, settings);
}

void Tarvix::saveSettings()
{
    {
        QSettings store(settingsOrganization, settingsApplication);
        store.setValue(QStringLiteral("ServerAddress"), ui.edServerAddress->text());
        store.setValue(QStringLiteral("UseHTTPS"), ui.cbUseHttps->isChecked());
        store.setValue(ui.cbUseHttps->isChecked() ? QStringLiteral("HTTPSPort") : QStringLiteral("HTTPPort"),
            ui.edServerPort->text());
        store.setValue(QStringLiteral("DenySSLCert"), ui.rbDenyInvalidCert->isChecked());
        store.setValue(QStringLiteral("RequestPeriod"), ui.spinBoxPeriod->value());
        store.setValue(QStringLiteral("UseHTTPAuth"), ui.cbUseHTTPAuth->isChecked());
        store.setValue(QStringLiteral("Login"), ui.edLogin->text());
        store.setValue(QStringLiteral("Password"), ui.edPassword->text());
        store.setValue(QStringLiteral("UseUserDefExecDir"), ui.cbExecDir->isChecked());
        store.setValue(QStringLiteral("UserDefNagiosExecDir"), ui.edExecDir->text());
        store.setValue(QStringLiteral("UseUserDefHostsRequest"), ui.cbHostsRequest->isChecked());
        store.setValue(QStringLiteral("UserDefHostsRequest"), ui.edHostsRequest->text());
        store.setValue(QStringLiteral("UseUserDefSrvcsRequest"), ui.cbServicesRequest->isChecked());
        store.setValue(QStringLiteral("UserDefServicesRequest"), ui.edServicesRequest->text());
        store.setValue(QStringLiteral("AutoClose"), ui.cbAutoClose->isChecked());
        store.setValue(QStringLiteral("AutoCloseTime"), ui.spinBoxClose->value());
        store.setValue(QStringLiteral("PopupsStayOnTop"), ui.cbPopupsStayOnTop->isChecked());
        store.setValue(QStringLiteral("UseTrayMessages"), ui.cbUseTrayMessages->isChecked());
        store.setValue(QStringLiteral("OpenUrlFromTray"), ui.cbOpenUrlFromTray->isChecked());
        store.setValue(QStringLiteral("FlashesInTray"), ui.cbFlashInTray->isChecked());
        store.setValue(QStringLiteral("DisableSounds"), ui.cbDisableSounds->isChecked());
        store.setValue(QStringLiteral("ShowHostsMessages"), ui.cbShowHosts->isChecked());
        store.setValue(QStringLiteral("ShowSrvcsMessages"), ui.cbShowSrvcs->isChecked());
        store.setValue(QStringLiteral("EnableHostsMonitoring"), ui.cbEnableHosts->isChecked());
        store.setValue(QStringLiteral("EnableSrvcsMonitoring"), ui.cbEnableSrvcs->isChecked());
        store.setValue(QStringLiteral("AllExceptSpecifedHosts"), ui.rbAllExceptSpecifedHosts->isChecked());
        store.setValue(QStringLiteral("OnlyListedHosts"), ui.rbOnlyListedHosts->isChecked());
        store.setValue(QStringLiteral("HostsList"), encodeList(itemTexts(ui.listHosts)));
        store.setValue(QStringLiteral("AllExceptSpecifedSrvcs"), ui.rbAllExceptSpecifedSrvcs->isChecked());
        store.setValue(QStringLiteral("OnlyListedSrvcs"), ui.rbOnlyListedSrvcs->isChecked());
        store.setValue(QStringLiteral("ServicesList"), encodeList(itemTexts(ui.listServices)));
        store.setValue(QStringLiteral("UseBasicRegExpConfig"), ui.rbBaseRegExpConfig->isChecked());
        store.setValue(QStringLiteral("UseHostDownStat"), ui.cbHostDownStat->isChecked());
        store.setValue(QStringLiteral("UseHostUnreachStat"), ui.cbHostUnreachStat->isChecked());
        store.setValue(QStringLiteral("UseSrvCritStat"), ui.cbServiceCritStat->isChecked());
        store.setValue(QStringLiteral("UseSrvWarnStat"), ui.cbServiceWarnStat->isChecked());
        store.setValue(QStringLiteral("UseSrvUnknStat"), ui.cbServiceUnknownStat->isChecked());
        store.setValue(QStringLiteral("UseUserDefHostsRegExp"), ui.cbHostsRegExp->isChecked());
        store.setValue(QStringLiteral("HostsRegExp"), ui.edHostsRegExp->text());
        store.setValue(QStringLiteral("HostStatRxPos"), ui.edHostStatRxPos->text());
        store.setValue(QStringLiteral("HostLinkRxPos"), ui.edHostLinkRxPos->text());
        store.setValue(QStringLiteral("HostNameRxPos"), ui.edHostNameRxPos->text());
        store.setValue(QStringLiteral("UseUserDefSrvcsRegExp"), ui.cbSrvcsRegExp->isChecked());
        store.setValue(QStringLiteral("SrvcsRegExp"), ui.edSrvcsRegExp->text());
        store.setValue(QStringLiteral("SrvStatRxPos"), ui.edSrvStatRxPos->text());
        store.setValue(QStringLiteral("SrvLinkRxPos"), ui.edSrvLinkRxPos->text());
        store.setValue(QStringLiteral("SrvNameRxPos"), ui.edSrvNameRxPos->text());
        store.setValue(QStringLiteral("NumMenuOnLMK"),
            ui.rbHostOnLMK->isChecked()        ? 1
                : ui.rbSrvcsOnLMK->isChecked() ? 2
                                               : 0);
        store.setValue(QStringLiteral("DisableLocalization"), ui.cbDisableLocalization->isChecked());
        store.sync();
        SettingsStore::restrictToOwner(store.fileName());
    }

    applyConfigWindow();
    updateMonitoringMenus();
    const bool monitoring = settings.enableHostsMonitoring || settings.enableSrvcsMonitoring;
    updateTrayToolTip(monitoring,
        tr("Configuration is updated.\n") + tr("Waiting for obtaining new information from server."));
    httpGetInfo();
    timerStart();
}

void Tarvix::showAndReadConfig()
{
    if (isVisible()) {
        activateWindow();
        return;
    }
    placeConfigWindow();
    ui.tabConfig->setCurrentIndex(0);
    loadSettings();
    fillConfigWindow();
    show();
}

void Tarvix::fillConfigWindow()
{
    QSettings store(settingsOrganization, settingsApplication);
    const auto stored = [&store](const QString& key, const QVariant& defaultValue) {
        return store.value(key, defaultValue);
    };
    ui.listHosts->clear();
    ui.listServices->clear();

    ui.cbHostDownStat->setChecked(stored(QStringLiteral("UseHostDownStat"), true).toBool());
    ui.cbHostUnreachStat->setChecked(stored(QStringLiteral("UseHostUnreachStat"), true).toBool());
    ui.cbServiceCritStat->setChecked(stored(QStringLiteral("UseSrvCritStat"), true).toBool());
    ui.cbServiceWarnStat->setChecked(stored(QStringLiteral("UseSrvWarnStat"), true).toBool());
    ui.cbServiceUnknownStat->setChecked(stored(QStringLiteral("UseSrvUnknStat"), false).toBool());

    ui.edServerAddress->setText(settings.serverAddress);
    ui.edServerPort->setText(settings.serverPort);
    ui.spinBoxPeriod->setValue(settings.requestPeriod);
    ui.cbAutoClose->setChecked(settings.autoClose);
    ui.cbHostsRequest->setChecked(settings.useUserDefHostsRequest);
    ui.cbServicesRequest->setChecked(settings.useUserDefSrvcsRequest);
    ui.cbUseHTTPAuth->setChecked(settings.useHttpAuth);
    ui.spinBoxClose->setValue(stored(QStringLiteral("AutoCloseTime"), 10).toInt());
    ui.edLogin->setText(settings.login);
    ui.edPassword->setText(settings.password);
    ui.cbExecDir->setChecked(settings.useUserDefExecDir);

    ui.edExecDir->setText(stored(QStringLiteral("UserDefNagiosExecDir"), defaultNagiosExecDir).toString());
    ui.edHostsRequest->setText(stored(QStringLiteral("UserDefHostsRequest"), defaultHostsRequest).toString());
    ui.edServicesRequest->setText(
        stored(QStringLiteral("UserDefServicesRequest"), defaultServicesRequest).toString());

    ui.rbAllExceptSpecifedHosts->setChecked(settings.allExceptSpecifedHosts);
    ui.rbOnlyListedHosts->setChecked(settings.onlyListedHosts);
    ui.rbAllExceptSpecifedSrvcs->setChecked(settings.allExceptSpecifedSrvcs);
    ui.rbOnlyListedSrvcs->setChecked(settings.onlyListedSrvcs);
    ui.cbUseTrayMessages->setChecked(settings.useTrayMessages);
    ui.cbDisableSounds->setChecked(settings.disableSounds);
    ui.cbEnableHosts->setChecked(settings.enableHostsMonitoring);
    ui.cbEnableSrvcs->setChecked(settings.enableSrvcsMonitoring);
    ui.cbShowHosts->setChecked(settings.showHostsMessages);
    ui.cbShowSrvcs->setChecked(settings.showSrvcsMessages);
    ui.cbShowHosts->setEnabled(settings.enableHostsMonitoring);
    ui.cbShowSrvcs->setEnabled(settings.enableSrvcsMonitoring);

    ui.cbHostsRegExp->setChecked(settings.useUserDefHostsRegExp);
    ui.edHostsRegExp->setText(stored(QStringLiteral("HostsRegExp"), defaultHostsRegExp).toString());
    ui.cbSrvcsRegExp->setChecked(settings.useUserDefSrvcsRegExp);
    ui.edSrvcsRegExp->setText(stored(QStringLiteral("SrvcsRegExp"), defaultSrvcsRegExp).toString());

    ui.edHostStatRxPos->setText(QString::number(settings.hostStatRxPos));
    ui.edHostLinkRxPos->setText(QString::number(settings.hostLinkRxPos));
    ui.edHostNameRxPos->setText(QString::number(settings.hostNameRxPos));
    ui.edSrvStatRxPos->setText(QString::number(settings.srvStatRxPos));
    ui.edSrvLinkRxPos->setText(QString::number(settings.srvLinkRxPos));
    ui.edSrvNameRxPos->setText(QString::number(settings.srvNameRxPos));

    ui.cbUseHttps->setChecked(settings.useHttps);
    ui.cbPopupsStayOnTop->setChecked(settings.popupsStayOnTop);
    ui.cbOpenUrlFromTray->setChecked(settings.openUrlFromTray);
    ui.cbDisableLocalization->setChecked(settings.disableLocalization);
    ui.grBoxSsl->setEnabled(settings.useHttps);
    ui.cbFlashInTray->setChecked(settings.flashesInTray);
    ui.rbDenyInvalidCert->setChecked(settings.denySslCert);
    ui.rbAllowInvalidCert->setChecked(!settings.denySslCert);

    useTrayMsgsClicked(settings.useTrayMessages);

    if (settings.numMenuOnLMK == 0)
        ui.rbHostsAndSrvcsOnLMK->setChecked(true);
    else if (settings.numMenuOnLMK == 2)
        ui.rbSrvcsOnLMK->setChecked(true);
    else
        ui.rbHostOnLMK->setChecked(true);

    ui.rbBaseRegExpConfig->setChecked(settings.useBasicRegExpConfig);
    ui.rbExpertRegExpConfig->setChecked(!settings.useBasicRegExpConfig);
    ui.frameBasicRegExpConf->setEnabled(settings.useBasicRegExpConfig);
    ui.frameExpertRegExpConf->setEnabled(!settings.useBasicRegExpConfig);
    ui.listHosts->addItems(settings.hostsList);
    ui.listServices->addItems(settings.servicesList);

    if (settings.useBasicRegExpConfig) {
        buildBasicRegExps();
        return;
    }
    const auto storedRule
        = [&stored](bool userDefined, const QString& patternKey, const QString& defaultPattern,
              const QStringList& positionKeys, QString& pattern, int& stat, int& link, int& name) {
              pattern = userDefined ? stored(patternKey, defaultPattern).toString() : defaultPattern;
              stat = userDefined ? stored(positionKeys[0], 1).toInt() : 1;
              link = userDefined ? stored(positionKeys[1], 2).toInt() : 2;
              name = userDefined ? stored(positionKeys[2], 3).toInt() : 3;
          };
    storedRule(settings.useUserDefHostsRegExp, QStringLiteral("HostsRegExp"), defaultHostsRegExp,
        {QStringLiteral("HostStatRxPos"), QStringLiteral("HostLinkRxPos"), QStringLiteral("HostNameRxPos")},
        settings.hostsRegExp, settings.hostStatRxPos, settings.hostLinkRxPos, settings.hostNameRxPos);
    storedRule(settings.useUserDefSrvcsRegExp, QStringLiteral("SrvcsRegExp"), defaultSrvcsRegExp,
        {QStringLiteral("SrvStatRxPos"), QStringLiteral("SrvLinkRxPos"), QStringLiteral("SrvNameRxPos")},
        settings.srvcsRegExp, settings.srvStatRxPos, settings.srvLinkRxPos, settings.srvNameRxPos);
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
    settings.serverAddress = ui.edServerAddress->text();
    settings.serverPort = ui.edServerPort->text();
    settings.requestPeriod = ui.spinBoxPeriod->value();
    settings.autoClose = ui.cbAutoClose->isChecked();
    settings.useUserDefExecDir = ui.cbExecDir->isChecked();
    settings.useUserDefHostsRequest = ui.cbHostsRequest->isChecked();
    settings.useUserDefSrvcsRequest = ui.cbServicesRequest->isChecked();
    settings.useHttpAuth = ui.cbUseHTTPAuth->isChecked();
    settings.autoCloseTime = settings.autoClose ? ui.spinBoxClose->value() : 0;
    settings.login = ui.edLogin->text();
    settings.password = ui.edPassword->text();
    settings.allExceptSpecifedHosts = ui.rbAllExceptSpecifedHosts->isChecked();
    settings.onlyListedHosts = ui.rbOnlyListedHosts->isChecked();
    settings.allExceptSpecifedSrvcs = ui.rbAllExceptSpecifedSrvcs->isChecked();
    settings.onlyListedSrvcs = ui.rbOnlyListedSrvcs->isChecked();
    settings.useTrayMessages = ui.cbUseTrayMessages->isChecked();
    settings.disableSounds = ui.cbDisableSounds->isChecked();
    settings.enableHostsMonitoring = ui.cbEnableHosts->isChecked();
    settings.popupsStayOnTop = ui.cbPopupsStayOnTop->isChecked();
    settings.useBasicRegExpConfig = ui.rbBaseRegExpConfig->isChecked();
    settings.showHostsMessages = ui.cbShowHosts->isChecked();
    settings.showSrvcsMessages = ui.cbShowSrvcs->isChecked();
    settings.useUserDefHostsRegExp = ui.cbHostsRegExp->isChecked();
    settings.useUserDefSrvcsRegExp = ui.cbSrvcsRegExp->isChecked();
    settings.openUrlFromTray = ui.cbOpenUrlFromTray->isChecked();
    settings.flashesInTray = ui.cbFlashInTray->isChecked();
    settings.numMenuOnLMK = ui.rbHostOnLMK->isChecked() ? 1 : ui.rbSrvcsOnLMK->isChecked() ? 2 : 0;

    if (settings.denySslCert != ui.rbDenyInvalidCert->isChecked()) {
        settings.denySslCert = ui.rbDenyInvalidCert->isChecked();
        recreateHttpClient(settings.useHttps, settings.useHttps);
    }
    if (settings.useHttps != ui.cbUseHttps->isChecked()) {
        recreateHttpClient(settings.useHttps, ui.cbUseHttps->isChecked());
        settings.useHttps = ui.cbUseHttps->isChecked();
    }

    // A late answer for a kind that is switched off must not be taken for a current one.
    if (!settings.enableHostsMonitoring)
        hostsRequestId = 0;
    settings.enableSrvcsMonitoring = ui.cbEnableSrvcs->isChecked();
    if (!settings.enableSrvcsMonitoring)
        servicesRequestId = 0;

    if (settings.useBasicRegExpConfig) {
        buildBasicRegExps();
    } else {
        const auto windowRule
            = [](bool userDefined, const QLineEdit* pattern, const QString& defaultPattern,
                  const QLineEdit* statEdit, const QLineEdit* linkEdit, const QLineEdit* nameEdit,
                  QString& rule, int& stat, int& link, int& name) {
                  rule = userDefined ? pattern->text() : defaultPattern;
                  stat = userDefined ? decimalOrZero(statEdit->text()) : 1;
                  link = userDefined ? decimalOrZero(linkEdit->text()) : 2;
                  name = userDefined ? decimalOrZero(nameEdit->text()) : 3;
              };
        windowRule(settings.useUserDefHostsRegExp, ui.edHostsRegExp, defaultHostsRegExp, ui.edHostStatRxPos,
            ui.edHostLinkRxPos, ui.edHostNameRxPos, settings.hostsRegExp, settings.hostStatRxPos,
            settings.hostLinkRxPos, settings.hostNameRxPos);
        windowRule(settings.useUserDefSrvcsRegExp, ui.edSrvcsRegExp, defaultSrvcsRegExp, ui.edSrvStatRxPos,
            ui.edSrvLinkRxPos, ui.edSrvNameRxPos, settings.srvcsRegExp, settings.srvStatRxPos,
            settings.srvLinkRxPos, settings.srvNameRxPos);
    }

    settings.nagiosExecDir
        = settings.useUserDefExecDir ? normalizeExecDir(ui.edExecDir->text()) : defaultNagiosExecDir;
    settings.hostsRequest = settings.useUserDefHostsRequest ? ui.edHostsRequest->text() : defaultHostsRequest;
    settings.servicesRequest
        = settings.useUserDefSrvcsRequest ? ui.edServicesRequest->text() : defaultServicesRequest;
    settings.hostsList = itemTexts(ui.listHosts);
    settings.servicesList = itemTexts(ui.listServices);

    if (settings.disableLocalization != ui.cbDisableLocalization->isChecked()) {
        pollTimer.stop();
        http->abort();
        settings.disableLocalization = ui.cbDisableLocalization->isChecked();
        loadTranslations(!settings.disableLocalization);
        ui.retranslateUi(this);
        loadSettings();
        fillConfigWindow();
        errorReported = false;
        timerStart();
    }
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
