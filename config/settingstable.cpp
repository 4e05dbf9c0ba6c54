#include "config/settingstable.h"

#include "monitor/statusrules.h"

namespace {

using MS = MonitorSettings;

SettingEntry makeEntry(SettingKey key, const char* name, StoredType type, const QVariant& defaultValue,
    SettingField field = {}, UsedWhen usedWhen = UsedWhen::Always, const QVariant& inactiveValue = {})
{
    SettingEntry result;
    result.key = key;
    result.name = QLatin1String(name);
    result.type = type;
    result.defaultValue = defaultValue;
    result.field = field;
    result.usedWhen = usedWhen;
    result.inactiveValue = inactiveValue;
    return result;
}

SettingEntry ranged(SettingEntry result, int minimum, int maximum)
{
    result.minimum = minimum;
    result.maximum = maximum;
    return result;
}

SettingEntry flag(SettingKey key, const char* name, bool defaultValue, bool MS::*field = nullptr)
{
    return makeEntry(key, name, StoredType::Flag, defaultValue, field ? SettingField(field) : SettingField());
}

SettingEntry number(
    SettingKey key, const char* name, int defaultValue, int minimum, int maximum, int MS::*field)
{
    return ranged(makeEntry(key, name, StoredType::Number, defaultValue, field), minimum, maximum);
}

SettingEntry text(SettingKey key, const char* name, const QString& defaultValue, QString MS::*field)
{
    return makeEntry(key, name, StoredType::Text, defaultValue, field ? SettingField(field) : SettingField());
}

SettingEntry list(SettingKey key, const char* name, QStringList MS::*field)
{
    return makeEntry(key, name, StoredType::List, QStringList(), field);
}

SettingEntry port(SettingKey key, const char* name, const QString& defaultValue, UsedWhen usedWhen)
{
    return ranged(
        makeEntry(key, name, StoredType::PortText, defaultValue, &MS::serverPort, usedWhen), 1, 65535);
}

// A user's choice that replaces a built-in value while its check box is on.
SettingEntry choice(SettingKey key, const char* name, const QStringList& choices, SettingField field)
{
    SettingEntry result = makeEntry(key, name, StoredType::Choice, choices.first(), field);
    result.choices = choices;
    return result;
}

// A key of the program as a whole, kept once however many servers there are.
SettingEntry global(SettingEntry result)
{
    result.scope = SettingScope::Global;
    return result;
}

SettingEntry userDefined(
    SettingKey key, const char* name, const QString& builtIn, QString MS::*field, UsedWhen usedWhen)
{
    return makeEntry(key, name, StoredType::Text, builtIn, field, usedWhen, builtIn);
}

SettingEntry expression(SettingKey key, const char* name, const QString& builtIn)
{
    return makeEntry(key, name, StoredType::Text, builtIn, {}, UsedWhen::WithParsingRules);
}

SettingEntry position(SettingKey key, const char* name, int defaultValue)
{
    return ranged(makeEntry(key, name, StoredType::DigitText, QString::number(defaultValue), {},
                      UsedWhen::WithParsingRules),
        0, 9);
}

std::array<SettingEntry, settingKeyCount> makeTable()
{
    using K = SettingKey;
    // While popups stay until closed by hand, the time in force is 0.
    const SettingEntry autoCloseTime = ranged(makeEntry(K::AutoCloseTime, "AutoCloseTime", StoredType::Number,
                                                  10, &MS::autoCloseTime, UsedWhen::WithAutoClose, 0),
        1, 999);

    return {{
        text(K::ServerAddress, "ServerAddress", QString(), &MS::serverAddress),
        flag(K::UseHttps, "UseHTTPS", false, &MS::useHttps),
        port(K::HttpPort, "HTTPPort", defaultHttpPort, UsedWhen::OverHttp),
        port(K::HttpsPort, "HTTPSPort", defaultHttpsPort, UsedWhen::OverHttps),
        flag(K::DenySslCert, "DenySSLCert", true, &MS::denySslCert),
        global(number(K::RequestPeriod, "RequestPeriod", 15, 10, 600, &MS::requestPeriod)),
        flag(K::UseHttpAuth, "UseHTTPAuth", false, &MS::useHttpAuth),
        text(K::Login, "Login", QString(), &MS::login),
        text(K::Password, "Password", QString(), &MS::password),
        flag(K::UseUserDefExecDir, "UseUserDefExecDir", false, &MS::useUserDefExecDir),
        userDefined(K::UserDefNagiosExecDir, "UserDefNagiosExecDir", defaultNagiosExecDir, &MS::nagiosExecDir,
            UsedWhen::WithUserDefExecDir),
        flag(K::UseUserDefHostsRequest, "UseUserDefHostsRequest", false, &MS::useUserDefHostsRequest),
        userDefined(K::UserDefHostsRequest, "UserDefHostsRequest", defaultHostsRequest, &MS::hostsRequest,
            UsedWhen::WithUserDefHostsRequest),
        flag(K::UseUserDefSrvcsRequest, "UseUserDefSrvcsRequest", false, &MS::useUserDefSrvcsRequest),
        userDefined(K::UserDefServicesRequest, "UserDefServicesRequest", defaultServicesRequest,
            &MS::servicesRequest, UsedWhen::WithUserDefSrvcsRequest),
        global(flag(K::AutoClose, "AutoClose", false, &MS::autoClose)),
        global(autoCloseTime),
        global(flag(K::PopupsStayOnTop, "PopupsStayOnTop", true, &MS::popupsStayOnTop)),
        global(flag(K::UseTrayMessages, "UseTrayMessages", false, &MS::useTrayMessages)),
        global(flag(K::OpenUrlFromTray, "OpenUrlFromTray", true, &MS::openUrlFromTray)),
        global(flag(K::FlashesInTray, "FlashesInTray", true, &MS::flashesInTray)),
        global(flag(K::DisableSounds, "DisableSounds", false, &MS::disableSounds)),
        flag(K::ShowHostsMessages, "ShowHostsMessages", true, &MS::showHostsMessages),
        flag(K::ShowSrvcsMessages, "ShowSrvcsMessages", true, &MS::showSrvcsMessages),
        flag(K::EnableHostsMonitoring, "EnableHostsMonitoring", true, &MS::enableHostsMonitoring),
        flag(K::EnableSrvcsMonitoring, "EnableSrvcsMonitoring", true, &MS::enableSrvcsMonitoring),
        flag(K::AllExceptSpecifedHosts, "AllExceptSpecifedHosts", true, &MS::allExceptSpecifedHosts),
        flag(K::OnlyListedHosts, "OnlyListedHosts", false, &MS::onlyListedHosts),
        list(K::HostsList, "HostsList", &MS::hostsList),
        flag(K::AllExceptSpecifedSrvcs, "AllExceptSpecifedSrvcs", true, &MS::allExceptSpecifedSrvcs),
        flag(K::OnlyListedSrvcs, "OnlyListedSrvcs", false, &MS::onlyListedSrvcs),
        list(K::ServicesList, "ServicesList", &MS::servicesList),
        flag(K::UseBasicRegExpConfig, "UseBasicRegExpConfig", true, &MS::useBasicRegExpConfig),
        flag(K::UseHostDownStat, "UseHostDownStat", true, &MS::useHostDownStat),
        flag(K::UseHostUnreachStat, "UseHostUnreachStat", true, &MS::useHostUnreachStat),
        flag(K::UseSrvCritStat, "UseSrvCritStat", true, &MS::useSrvCritStat),
        flag(K::UseSrvWarnStat, "UseSrvWarnStat", true, &MS::useSrvWarnStat),
        flag(K::UseSrvUnknStat, "UseSrvUnknStat", false, &MS::useSrvUnknStat),
        flag(K::UseUserDefHostsRegExp, "UseUserDefHostsRegExp", false, &MS::useUserDefHostsRegExp),
        expression(K::HostsRegExp, "HostsRegExp", defaultHostsRegExp),
        position(K::HostStatRxPos, "HostStatRxPos", 1),
        position(K::HostLinkRxPos, "HostLinkRxPos", 2),
        position(K::HostNameRxPos, "HostNameRxPos", 3),
        flag(K::UseUserDefSrvcsRegExp, "UseUserDefSrvcsRegExp", false, &MS::useUserDefSrvcsRegExp),
        expression(K::SrvcsRegExp, "SrvcsRegExp", defaultSrvcsRegExp),
        position(K::SrvStatRxPos, "SrvStatRxPos", 1),
        position(K::SrvLinkRxPos, "SrvLinkRxPos", 2),
        position(K::SrvNameRxPos, "SrvNameRxPos", 3),
        global(number(K::NumMenuOnLMK, "NumMenuOnLMK", 0, 0, 3, &MS::numMenuOnLMK)),
        global(flag(K::DisableLocalization, "DisableLocalization", false, &MS::disableLocalization)),
        // Empty until the user acknowledges a problem for the first time; the dialog offers its own.
        global(text(K::AcknowledgeComment, "AcknowledgeComment", QString(), &MS::acknowledgeComment)),
        text(K::ServerName, "Name", QString(), &MS::serverName),
        flag(K::ServerEnabled, "Enabled", true, &MS::serverEnabled),
        choice(K::ProxyMode, "ProxyMode", {proxyModeSystem, proxyModeNone, proxyModeManual}, &MS::proxyMode),
        text(K::ProxyAddress, "ProxyAddress", QString(), &MS::proxyAddress),
        text(K::ProxyLogin, "ProxyLogin", QString(), &MS::proxyLogin),
        text(K::ProxyPassword, "ProxyPassword", QString(), &MS::proxyPassword),
        choice(K::HttpAuthMethod, "HTTPAuthMethod",
            {authMethodBasic, authMethodDigest, authMethodKerberos, authMethodNtlm}, &MS::httpAuthMethod),
        text(K::CaFile, "CAFile", QString(), &MS::caFile),
        text(K::ClientCertFile, "ClientCertFile", QString(), &MS::clientCertFile),
        text(K::ClientKeyFile, "ClientKeyFile", QString(), &MS::clientKeyFile),
        text(K::PinnedPublicKey, "PinnedPublicKey", QString(), &MS::pinnedPublicKey),
        // Stored settings keep the status pages until the user chooses; a new server asks for JSON.
        choice(K::StatusSource, "StatusSource", {statusSourceCgi, statusSourceJson}, &MS::statusSource),
        flag(K::HideAcknowledged, "HideAcknowledged", false, &MS::hideAcknowledged),
        flag(K::HideDowntime, "HideDowntime", false, &MS::hideDowntime),
        flag(K::HideSoftStates, "HideSoftStates", false, &MS::hideSoftStates),
        flag(K::HideFlapping, "HideFlapping", false, &MS::hideFlapping),
        flag(K::HideNotificationsOff, "HideNotificationsOff", false, &MS::hideNotificationsOff),
        // The servers' ids in the user's order, "default" for the one whose keys are flat.
        global(text(K::ServersOrder, "Servers/Order", QStringLiteral("default"), nullptr)),
    }};
}

// The text the file holds. QSettings reads an unquoted value with commas as a list of texts.
QString storedText(const QVariant& stored)
{
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList().join(QLatin1String(", "));
    return stored.toString();
}

bool isUsed(UsedWhen usedWhen, const StoredSettings& values)
{
    switch (usedWhen) {
    case UsedWhen::Always:
        return true;
    case UsedWhen::OverHttp:
        return !values.flag(SettingKey::UseHttps);
    case UsedWhen::OverHttps:
        return values.flag(SettingKey::UseHttps);
    case UsedWhen::WithAutoClose:
        return values.flag(SettingKey::AutoClose);
    case UsedWhen::WithUserDefExecDir:
        return values.flag(SettingKey::UseUserDefExecDir);
    case UsedWhen::WithUserDefHostsRequest:
        return values.flag(SettingKey::UseUserDefHostsRequest);
    case UsedWhen::WithUserDefSrvcsRequest:
        return values.flag(SettingKey::UseUserDefSrvcsRequest);
    case UsedWhen::WithParsingRules:
        return false;
    }
    return false;
}

// Writes a value into the record field it belongs to.
struct FieldAssigner
{
    MonitorSettings& settings;
    const QVariant& value;

    void operator()(std::monostate) const { }
    void operator()(bool MS::*field) const { settings.*field = value.toBool(); }
    void operator()(int MS::*field) const { settings.*field = value.toInt(); }
    void operator()(QString MS::*field) const { settings.*field = value.toString(); }
    void operator()(QStringList MS::*field) const { settings.*field = value.toStringList(); }
    void operator()(StatusSource MS::*field) const
    {
        settings.*field
            = value.toString() == statusSourceJson ? StatusSource::StatusJson : StatusSource::StatusCgi;
    }
};

struct RuleKeys
{
    SettingKey useUserDefined;
    SettingKey expression;
    SettingKey positions[3];
};

void assignRule(const RuleKeys& keys, const StoredSettings& values, const QString& builtIn, QString& pattern,
    int* positions[3])
{
    const bool userDefined = values.flag(keys.useUserDefined);
    pattern = userDefined ? values.text(keys.expression) : builtIn;
    for (int i = 0; i < 3; ++i)
        *positions[i] = userDefined ? values.number(keys.positions[i]) : i + 1;
}

} // namespace

const std::array<SettingEntry, settingKeyCount>& settingsTable()
{
    static const std::array<SettingEntry, settingKeyCount> table = makeTable();
    return table;
}

const SettingEntry& settingEntry(SettingKey key)
{
    return settingsTable()[static_cast<size_t>(key)];
}

StoredSettings StoredSettings::defaults()
{
    StoredSettings values;
    for (const SettingEntry& entry : settingsTable())
        values.set(entry.key, entry.defaultValue);
    return values;
}

int StoredSettings::number(SettingKey key) const
{
    // Capture positions are text in the window and in the file; an empty field means 0.
    bool ok = false;
    const int result = value(key).toInt(&ok);
    return ok ? result : 0;
}

QVariant checkedValue(const SettingEntry& entry, const QVariant& stored)
{
    switch (entry.type) {
    case StoredType::Flag: {
        if (stored.typeId() == QMetaType::Bool)
            return stored;
        const QString text = storedText(stored).toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            return true;
        if (text == QLatin1String("false") || text == QLatin1String("0"))
            return false;
        return {};
    }
    case StoredType::Number:
    case StoredType::PortText:
    case StoredType::DigitText: {
        bool ok = false;
        const QString text = storedText(stored).trimmed();
        const int number = text.toInt(&ok, 10);
        if (!ok || number < entry.minimum || number > entry.maximum)
            return {};
        if (entry.type == StoredType::Number)
            return number;
        return entry.type == StoredType::PortText ? text : QString::number(number);
    }
    case StoredType::Text:
        return storedText(stored);
    case StoredType::List:
        return decodeList(storedText(stored));
    case StoredType::Choice: {
        const QString text = storedText(stored).trimmed().toLower();
        return entry.choices.contains(text) ? QVariant(text) : QVariant();
    }
    }
    return {};
}

void assignStoredSettings(MonitorSettings& settings, const StoredSettings& values)
{
    for (const SettingEntry& entry : settingsTable()) {
        if (entry.usedWhen == UsedWhen::WithParsingRules || !values.has(entry.key))
            continue;
        const bool used = isUsed(entry.usedWhen, values);
        // The port of the protocol not in use leaves the port in force alone.
        if (!used && entry.type == StoredType::PortText)
            continue;
        const QVariant& value = used ? values.value(entry.key) : entry.inactiveValue;
        std::visit(FieldAssigner {settings, value}, entry.field);
    }
    if (settings.useUserDefExecDir)
        settings.nagiosExecDir = normalizeExecDir(settings.nagiosExecDir);
}

void buildBasicRegExps(MonitorSettings& settings)
{
    BasicStatusChoice choice;
    choice.hostDown = settings.useHostDownStat;
    choice.hostUnreachable = settings.useHostUnreachStat;
    choice.serviceCritical = settings.useSrvCritStat;
    choice.serviceWarning = settings.useSrvWarnStat;
    choice.serviceUnknown = settings.useSrvUnknStat;
    settings.hostsRegExp = basicHostsRegExp(choice);
    settings.srvcsRegExp = basicServicesRegExp(choice);
    settings.hostStatRxPos = settings.srvStatRxPos = 1;
    settings.hostLinkRxPos = settings.srvLinkRxPos = 2;
    settings.hostNameRxPos = settings.srvNameRxPos = 3;
}

void assignParsingRules(MonitorSettings& settings, const StoredSettings& values)
{
    using K = SettingKey;
    if (settings.useBasicRegExpConfig) {
        buildBasicRegExps(settings);
        return;
    }
    int* hostPositions[3] = {&settings.hostStatRxPos, &settings.hostLinkRxPos, &settings.hostNameRxPos};
    assignRule(
        {K::UseUserDefHostsRegExp, K::HostsRegExp, {K::HostStatRxPos, K::HostLinkRxPos, K::HostNameRxPos}},
        values, defaultHostsRegExp, settings.hostsRegExp, hostPositions);
    int* servicePositions[3] = {&settings.srvStatRxPos, &settings.srvLinkRxPos, &settings.srvNameRxPos};
    assignRule(
        {K::UseUserDefSrvcsRegExp, K::SrvcsRegExp, {K::SrvStatRxPos, K::SrvLinkRxPos, K::SrvNameRxPos}},
        values, defaultSrvcsRegExp, settings.srvcsRegExp, servicePositions);
}
