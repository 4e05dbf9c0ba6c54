#pragma once

#include "config/monitorsettings.h"

#include <QLatin1String>
#include <QStringList>
#include <QVariant>

#include <array>
#include <variant>

// Every key of the settings file, in the order the file is written.
enum class SettingKey {
    ServerAddress,
    UseHttps,
    HttpPort,
    HttpsPort,
    DenySslCert,
    RequestPeriod,
    UseHttpAuth,
    Login,
    Password,
    UseUserDefExecDir,
    UserDefNagiosExecDir,
    UseUserDefHostsRequest,
    UserDefHostsRequest,
    UseUserDefSrvcsRequest,
    UserDefServicesRequest,
    AutoClose,
    AutoCloseTime,
    PopupsStayOnTop,
    UseTrayMessages,
    OpenUrlFromTray,
    FlashesInTray,
    DisableSounds,
    ShowHostsMessages,
    ShowSrvcsMessages,
    EnableHostsMonitoring,
    EnableSrvcsMonitoring,
    AllExceptSpecifedHosts,
    OnlyListedHosts,
    HostsList,
    AllExceptSpecifedSrvcs,
    OnlyListedSrvcs,
    ServicesList,
    UseBasicRegExpConfig,
    UseHostDownStat,
    UseHostUnreachStat,
    UseSrvCritStat,
    UseSrvWarnStat,
    UseSrvUnknStat,
    UseUserDefHostsRegExp,
    HostsRegExp,
    HostStatRxPos,
    HostLinkRxPos,
    HostNameRxPos,
    UseUserDefSrvcsRegExp,
    SrvcsRegExp,
    SrvStatRxPos,
    SrvLinkRxPos,
    SrvNameRxPos,
    NumMenuOnLMK,
    DisableLocalization,
    AcknowledgeComment,
    ServerName,
    ServerEnabled,
    ProxyMode,
    ProxyAddress,
    ProxyLogin,
    ProxyPassword,
    HttpAuthMethod,
    CaFile,
    ClientCertFile,
    ClientKeyFile,
    PinnedPublicKey,
    StatusSource,
    HideAcknowledged,
    HideDowntime,
    HideSoftStates,
    HideFlapping,
    HideNotificationsOff,
    ServersOrder,
    Count
};

constexpr int settingKeyCount = static_cast<int>(SettingKey::Count);

// How a value is kept in the file. A port is text, a capture position is written as the text of its
// one-digit field and read as a number, a list is its entries each followed by "|", a choice one of
// a few fixed words.
enum class StoredType { Flag, Number, Text, PortText, DigitText, List, Choice };

// Whether a key belongs to each server (flat for the first one, under "Servers/<id>/" for the others)
// or to the program as a whole.
enum class SettingScope { PerServer, Global };

// When a stored value reaches the settings in force; otherwise the field takes `inactiveValue`.
enum class UsedWhen {
    Always,
    OverHttp,
    OverHttps,
    WithAutoClose,
    WithUserDefExecDir,
    WithUserDefHostsRequest,
    WithUserDefSrvcsRequest,
    // The expressions and capture positions: put in force with the parsing rules, not by loading.
    WithParsingRules,
};

using SettingField = std::variant<std::monostate, bool MonitorSettings::*, int MonitorSettings::*,
    QString MonitorSettings::*, QStringList MonitorSettings::*, StatusSource MonitorSettings::*>;

struct SettingEntry
{
    SettingKey key = SettingKey::Count;
    QLatin1String name;
    StoredType type = StoredType::Text;
    QVariant defaultValue;
    int minimum = 0; // Number, PortText and DigitText: the range the configuration window allows
    int maximum = 0;
    SettingField field;
    UsedWhen usedWhen = UsedWhen::Always;
    QVariant inactiveValue;
    SettingScope scope = SettingScope::PerServer;
    QStringList choices; // Choice: the words the file may hold, the first one the default
};

const std::array<SettingEntry, settingKeyCount>& settingsTable();
const SettingEntry& settingEntry(SettingKey key);

// One value per key as the file holds it (or the window shows it): a flag, a number, a text (ports
// and capture positions as their text) or a list of entries. A missing value is a key that is not
// written, as the port of the protocol not in use.
class StoredSettings
{
public:
    // Every key at its default.
    static StoredSettings defaults();

    bool has(SettingKey key) const { return m_values[index(key)].isValid(); }
    void set(SettingKey key, const QVariant& value) { m_values[index(key)] = value; }
    void unset(SettingKey key) { m_values[index(key)] = QVariant(); }
    const QVariant& value(SettingKey key) const { return m_values[index(key)]; }

    bool flag(SettingKey key) const { return value(key).toBool(); }
    int number(SettingKey key) const;
    QString text(SettingKey key) const { return value(key).toString(); }
    QStringList list(SettingKey key) const { return value(key).toStringList(); }

    // The port key of the protocol these values choose.
    SettingKey portKey() const
    {
        return flag(SettingKey::UseHttps) ? SettingKey::HttpsPort : SettingKey::HttpPort;
    }

    bool operator==(const StoredSettings& other) const { return m_values == other.m_values; }

private:
    static size_t index(SettingKey key) { return static_cast<size_t>(key); }

    std::array<QVariant, settingKeyCount> m_values;
};

// A stored value as the file gives it (a QVariant, usually text) checked against its key: the
// value in its type, or an invalid QVariant when it is not of its type or outside its range.
QVariant checkedValue(const SettingEntry& entry, const QVariant& stored);

// Puts stored values in force: every field that loading sets, with each key's condition. The
// expressions and capture positions are left alone, and so is a field whose key has no value (the
// configuration window does not show every key).
void assignStoredSettings(MonitorSettings& settings, const StoredSettings& values);

// The expressions of the basic configuration from the record's status choices, positions 1, 2, 3.
void buildBasicRegExps(MonitorSettings& settings);

// The expressions and capture positions in force: in the basic configuration built from the status
// choices; in the advanced one the user's expression and positions where chosen, else the default
// expression with positions 1, 2, 3. Reads the configuration choice and status choices from the
// record, which the caller has just assigned from the same values.
void assignParsingRules(MonitorSettings& settings, const StoredSettings& values);
