#include "config/settingsstore.h"

#include <QFile>
#include <QSettings>

namespace SettingsStore {

bool readBool(const QSettings& store, const QString& key, bool defaultValue)
{
    return store.value(key, defaultValue).toBool();
}

int readInt(const QSettings& store, const QString& key, int defaultValue)
{
    return store.value(key, defaultValue).toInt();
}

QString readString(const QSettings& store, const QString& key, const QString& defaultValue)
{
    return store.value(key, defaultValue).toString();
}

void load(QSettings& store, MonitorSettings& s)
{
    s.serverAddress = readString(store, QStringLiteral("ServerAddress"), QString());
    s.useHttps = readBool(store, QStringLiteral("UseHTTPS"), false);
    s.serverPort = s.useHttps ? readString(store, QStringLiteral("HTTPSPort"), defaultHttpsPort)
                              : readString(store, QStringLiteral("HTTPPort"), defaultHttpPort);

    s.denySslCert = readBool(store, QStringLiteral("DenySSLCert"), true);
    s.requestPeriod = readInt(store, QStringLiteral("RequestPeriod"), 15);
    s.useHttpAuth = readBool(store, QStringLiteral("UseHTTPAuth"), false);
    s.autoClose = readBool(store, QStringLiteral("AutoClose"), false);
    s.autoCloseTime
        = s.autoClose ? store.value(QStringLiteral("AutoCloseTime"), defaultAutoCloseTime).toInt() : 0;

    s.login = readString(store, QStringLiteral("Login"), QString());
    s.password = readString(store, QStringLiteral("Password"), QString());
    s.useUserDefHostsRequest = readBool(store, QStringLiteral("UseUserDefHostsRequest"), false);
    s.useUserDefExecDir = readBool(store, QStringLiteral("UseUserDefExecDir"), false);

    s.nagiosExecDir = s.useUserDefExecDir
        ? normalizeExecDir(readString(store, QStringLiteral("UserDefNagiosExecDir"), defaultNagiosExecDir))
        : defaultNagiosExecDir;
    s.hostsRequest = s.useUserDefHostsRequest
        ? readString(store, QStringLiteral("UserDefHostsRequest"), defaultHostsRequest)
        : defaultHostsRequest;
    s.useUserDefSrvcsRequest = readBool(store, QStringLiteral("UseUserDefSrvcsRequest"), false);
    s.servicesRequest = s.useUserDefSrvcsRequest
        ? readString(store, QStringLiteral("UserDefServicesRequest"), defaultServicesRequest)
        : defaultServicesRequest;

    s.allExceptSpecifedHosts = readBool(store, QStringLiteral("AllExceptSpecifedHosts"), true);
    s.onlyListedHosts = readBool(store, QStringLiteral("OnlyListedHosts"), false);
    s.allExceptSpecifedSrvcs = readBool(store, QStringLiteral("AllExceptSpecifedSrvcs"), true);
    s.onlyListedSrvcs = readBool(store, QStringLiteral("OnlyListedSrvcs"), false);

    s.hostsList = decodeList(readString(store, QStringLiteral("HostsList"), QString()));
    s.servicesList = decodeList(readString(store, QStringLiteral("ServicesList"), QString()));

    s.useTrayMessages = readBool(store, QStringLiteral("UseTrayMessages"), false);
    s.disableSounds = readBool(store, QStringLiteral("DisableSounds"), false);
    s.enableHostsMonitoring = readBool(store, QStringLiteral("EnableHostsMonitoring"), true);
    s.enableSrvcsMonitoring = readBool(store, QStringLiteral("EnableSrvcsMonitoring"), true);
    s.showHostsMessages = readBool(store, QStringLiteral("ShowHostsMessages"), true);
    s.showSrvcsMessages = readBool(store, QStringLiteral("ShowSrvcsMessages"), true);
    s.useUserDefHostsRegExp = readBool(store, QStringLiteral("UseUserDefHostsRegExp"), false);
    s.useUserDefSrvcsRegExp = readBool(store, QStringLiteral("UseUserDefSrvcsRegExp"), false);
    s.popupsStayOnTop = readBool(store, QStringLiteral("PopupsStayOnTop"), true);
    s.useBasicRegExpConfig = readBool(store, QStringLiteral("UseBasicRegExpConfig"), true);
    s.openUrlFromTray = readBool(store, QStringLiteral("OpenUrlFromTray"), true);
    s.numMenuOnLMK = readInt(store, QStringLiteral("NumMenuOnLMK"), 0);
    s.disableLocalization = readBool(store, QStringLiteral("DisableLocalization"), false);
    s.flashesInTray = readBool(store, QStringLiteral("FlashesInTray"), true);
}

bool restrictToOwner(const QString& fileName)
{
    QFile file(fileName);
    if (!file.exists())
        return true;
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    if ((file.permissions() & ~(ownerOnly | QFile::ReadUser | QFile::WriteUser)) == 0)
        return true;
    return file.setPermissions(ownerOnly);
}

} // namespace SettingsStore
