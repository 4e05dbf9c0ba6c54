#include "config/configform.h"

#include "ui_tarvix.h"

namespace {

struct Binding
{
    SettingKey key;
    QWidget* widget;
    // The second button of a pair, checked when the value is false.
    QAbstractButton* whenFalse = nullptr;
};

// In the order the window is filled.
QList<Binding> bindings(const Ui::TarvixClass& ui, SettingKey portKey)
{
    using K = SettingKey;
    return {
        {K::UseHostDownStat, ui.cbHostDownStat},
        {K::UseHostUnreachStat, ui.cbHostUnreachStat},
        {K::UseSrvCritStat, ui.cbServiceCritStat},
        {K::UseSrvWarnStat, ui.cbServiceWarnStat},
        {K::UseSrvUnknStat, ui.cbServiceUnknownStat},
        {K::ServerAddress, ui.edServerAddress},
        {portKey, ui.edServerPort},
        {K::RequestPeriod, ui.spinBoxPeriod},
        {K::AutoClose, ui.cbAutoClose},
        {K::UseUserDefHostsRequest, ui.cbHostsRequest},
        {K::UseUserDefSrvcsRequest, ui.cbServicesRequest},
        {K::UseHttpAuth, ui.cbUseHTTPAuth},
        {K::AutoCloseTime, ui.spinBoxClose},
        {K::Login, ui.edLogin},
        {K::Password, ui.edPassword},
        {K::UseUserDefExecDir, ui.cbExecDir},
        {K::UserDefNagiosExecDir, ui.edExecDir},
        {K::UserDefHostsRequest, ui.edHostsRequest},
        {K::UserDefServicesRequest, ui.edServicesRequest},
        {K::AllExceptSpecifedHosts, ui.rbAllExceptSpecifedHosts},
        {K::OnlyListedHosts, ui.rbOnlyListedHosts},
        {K::AllExceptSpecifedSrvcs, ui.rbAllExceptSpecifedSrvcs},
        {K::OnlyListedSrvcs, ui.rbOnlyListedSrvcs},
        {K::UseTrayMessages, ui.cbUseTrayMessages},
        {K::DisableSounds, ui.cbDisableSounds},
        {K::EnableHostsMonitoring, ui.cbEnableHosts},
        {K::EnableSrvcsMonitoring, ui.cbEnableSrvcs},
        {K::ShowHostsMessages, ui.cbShowHosts},
        {K::ShowSrvcsMessages, ui.cbShowSrvcs},
        {K::UseUserDefHostsRegExp, ui.cbHostsRegExp},
        {K::HostsRegExp, ui.edHostsRegExp},
        {K::UseUserDefSrvcsRegExp, ui.cbSrvcsRegExp},
        {K::SrvcsRegExp, ui.edSrvcsRegExp},
        {K::HostStatRxPos, ui.edHostStatRxPos},
        {K::HostLinkRxPos, ui.edHostLinkRxPos},
        {K::HostNameRxPos, ui.edHostNameRxPos},
        {K::SrvStatRxPos, ui.edSrvStatRxPos},
        {K::SrvLinkRxPos, ui.edSrvLinkRxPos},
        {K::SrvNameRxPos, ui.edSrvNameRxPos},
        {K::UseHttps, ui.cbUseHttps},
        {K::PopupsStayOnTop, ui.cbPopupsStayOnTop},
        {K::OpenUrlFromTray, ui.cbOpenUrlFromTray},
        {K::DisableLocalization, ui.cbDisableLocalization},
        {K::FlashesInTray, ui.cbFlashInTray},
        {K::DenySslCert, ui.rbDenyInvalidCert, ui.rbAllowInvalidCert},
        {K::NumMenuOnLMK, ui.grBoxTrayClick},
        {K::UseBasicRegExpConfig, ui.rbBaseRegExpConfig, ui.rbExpertRegExpConfig},
        {K::HostsList, ui.listHosts},
        {K::ServicesList, ui.listServices},
        {K::ProxyMode, ui.grBoxProxy},
        {K::ProxyAddress, ui.edProxyAddress},
        {K::ProxyLogin, ui.edProxyLogin},
        {K::ProxyPassword, ui.edProxyPassword},
        {K::HttpAuthMethod, ui.comboAuthMethod},
        {K::CaFile, ui.edCAFile},
        {K::ClientCertFile, ui.edClientCertFile},
        {K::ClientKeyFile, ui.edClientKeyFile},
        {K::PinnedPublicKey, ui.edPinnedPublicKey},
        {K::StatusSource, ui.comboStatusSource},
        {K::HideAcknowledged, ui.cbHideAcknowledged},
        {K::HideDowntime, ui.cbHideDowntime},
        {K::HideSoftStates, ui.cbHideSoftStates},
        {K::HideFlapping, ui.cbHideFlapping},
        {K::HideNotificationsOff, ui.cbHideNotificationsOff},
    };
}

// The proxy choice's radio buttons, in the order of the key's words.
QList<QAbstractButton*> proxyModeButtons(const Ui::TarvixClass& ui)
{
    return {ui.rbProxySystem, ui.rbProxyNone, ui.rbProxyManual};
}

int checkedIndex(const QList<QAbstractButton*>& buttons)
{
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        if (buttons.at(i)->isChecked())
            return int(i);
    }
    return 0;
}

// Tray click modes: 0 both lists on the left button, 1 hosts on the left, 2 services on the left,
// 3 the problems window on the left.
void setTrayClickMode(const Ui::TarvixClass& ui, int mode)
{
    QAbstractButton* button = mode == 0 ? ui.rbHostsAndSrvcsOnLMK
        : mode == 2                     ? ui.rbSrvcsOnLMK
        : mode == 3                     ? ui.rbProblemsOnLMK
                                        : ui.rbHostOnLMK;
    button->setChecked(true);
}

int trayClickMode(const Ui::TarvixClass& ui)
{
    return ui.rbHostOnLMK->isChecked()    ? 1
        : ui.rbSrvcsOnLMK->isChecked()    ? 2
        : ui.rbProblemsOnLMK->isChecked() ? 3
                                          : 0;
}

QStringList itemTexts(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

} // namespace

void fillConfigForm(Ui::TarvixClass& ui, const StoredSettings& values)
{
    ui.listHosts->clear();
    ui.listServices->clear();
    for (const Binding& binding : bindings(ui, values.portKey())) {
        const QVariant& value = values.value(binding.key);
        const QStringList& choices = settingEntry(binding.key).choices;
        if (binding.key == SettingKey::NumMenuOnLMK)
            setTrayClickMode(ui, value.toInt());
        else if (binding.key == SettingKey::ProxyMode)
            proxyModeButtons(ui).value(qMax(0, choices.indexOf(value.toString())))->setChecked(true);
        else if (auto* combo = qobject_cast<QComboBox*>(binding.widget))
            combo->setCurrentIndex(qMax(0, choices.indexOf(value.toString())));
        else if (auto* edit = qobject_cast<QLineEdit*>(binding.widget))
            edit->setText(value.toString());
        else if (auto* spin = qobject_cast<QSpinBox*>(binding.widget))
            spin->setValue(value.toInt());
        else if (auto* list = qobject_cast<QListWidget*>(binding.widget))
            list->addItems(value.toStringList());
        else if (binding.whenFalse)
            (value.toBool() ? qobject_cast<QAbstractButton*>(binding.widget) : binding.whenFalse)
                ->setChecked(true);
        else if (auto* button = qobject_cast<QAbstractButton*>(binding.widget))
            button->setChecked(value.toBool());
    }

    ui.cbShowHosts->setEnabled(values.flag(SettingKey::EnableHostsMonitoring));
    ui.cbShowSrvcs->setEnabled(values.flag(SettingKey::EnableSrvcsMonitoring));
    ui.grBoxSsl->setEnabled(values.flag(SettingKey::UseHttps));
    const bool basic = values.flag(SettingKey::UseBasicRegExpConfig);
    ui.frameBasicRegExpConf->setEnabled(basic);
    ui.frameExpertRegExpConf->setEnabled(!basic);
    ui.grBoxHide->setEnabled(values.text(SettingKey::StatusSource) == statusSourceJson);
}

StoredSettings readConfigForm(const Ui::TarvixClass& ui)
{
    StoredSettings values;
    const SettingKey portKey = ui.cbUseHttps->isChecked() ? SettingKey::HttpsPort : SettingKey::HttpPort;
    for (const Binding& binding : bindings(ui, portKey)) {
        QVariant value;
        const QStringList& choices = settingEntry(binding.key).choices;
        if (binding.key == SettingKey::NumMenuOnLMK)
            value = trayClickMode(ui);
        else if (binding.key == SettingKey::ProxyMode)
            value = choices.value(checkedIndex(proxyModeButtons(ui)), choices.first());
        else if (auto* combo = qobject_cast<QComboBox*>(binding.widget))
            value = choices.value(combo->currentIndex(), choices.first());
        else if (auto* edit = qobject_cast<QLineEdit*>(binding.widget))
            value = settingEntry(binding.key).type == StoredType::DigitText
                ? QString::number(decimalOrZero(edit->text()))
                : edit->text();
        else if (auto* spin = qobject_cast<QSpinBox*>(binding.widget))
            value = spin->value();
        else if (auto* list = qobject_cast<QListWidget*>(binding.widget))
            value = itemTexts(list);
        else if (auto* button = qobject_cast<QAbstractButton*>(binding.widget))
            value = button->isChecked();
        values.set(binding.key, value);
    }
    return values;
}
