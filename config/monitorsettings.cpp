#include "config/monitorsettings.h"

const QString defaultNagiosExecDir = QStringLiteral("/nagios/cgi-bin/");
const QString defaultHostsRequest
    = QStringLiteral("status.cgi?hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0");
const QString defaultServicesRequest = QStringLiteral("status.cgi?host=all&servicestatustypes=28&limit=0");
const QString defaultHttpPort = QStringLiteral("80");
const QString defaultHttpsPort = QStringLiteral("443");
const QString defaultHostsRegExp = QStringLiteral(
    R"(^\s*<td .*\s?class=['"](statusHOSTDOWN|statusHOSTUNREACHABLE)['"]\s?.*><a href=['"](\S+)['"].*>(.+)</a>)");
const QString defaultSrvcsRegExp = QStringLiteral(
    R"(^\s*<TD .*\s?class=['"](statusBGCRITICAL)['"]\s?.*><a href=['"](\S+)['"].*>(.+)</a>)");
const QString settingsOrganization = QStringLiteral("Kelmora");
const QString settingsApplication = QStringLiteral("Tarvix");
const QString programName = QStringLiteral("Tarvix");
const QString proxyModeSystem = QStringLiteral("system");
const QString proxyModeNone = QStringLiteral("none");
const QString proxyModeManual = QStringLiteral("manual");
const QString authMethodBasic = QStringLiteral("basic");
const QString authMethodDigest = QStringLiteral("digest");
const QString authMethodKerberos = QStringLiteral("kerberos");
const QString authMethodNtlm = QStringLiteral("ntlm");
const QString statusSourceCgi = QStringLiteral("statuscgi");
const QString statusSourceJson = QStringLiteral("statusjson");

QString MonitorSettings::scheme() const
{
    return useHttps ? QStringLiteral("https://") : QStringLiteral("http://");
}

quint16 MonitorSettings::portNumber() const
{
    return static_cast<quint16>(decimalOrZero(serverPort) % 65536);
}

QString MonitorSettings::serverAuthority() const
{
    const int defaultPort = useHttps ? 443 : 80;
    if (serverPort.isEmpty() || portNumber() == defaultPort)
        return serverAddress;
    return serverAddress + QLatin1Char(':') + QString::number(portNumber());
}

QString MonitorSettings::displayName() const
{
    return serverName.isEmpty() ? serverAddress : serverName;
}

TransportOptions MonitorSettings::transportOptions() const
{
    using T = TransportOptions;
    TransportOptions options;
    options.proxyMode = proxyMode == proxyModeNone ? T::ProxyMode::None
        : proxyMode == proxyModeManual             ? T::ProxyMode::Manual
                                                   : T::ProxyMode::System;
    if (options.proxyMode == T::ProxyMode::Manual) {
        options.proxyAddress = proxyAddress;
        options.proxyUser = proxyLogin;
        options.proxyPassword = proxyPassword;
    }
    options.authMethod = httpAuthMethod == authMethodDigest ? T::AuthMethod::Digest
        : httpAuthMethod == authMethodKerberos              ? T::AuthMethod::Kerberos
        : httpAuthMethod == authMethodNtlm                  ? T::AuthMethod::Ntlm
                                                            : T::AuthMethod::Basic;
    options.verifyPeer = denySslCert;
    options.caFile = caFile;
    options.clientCertFile = clientCertFile;
    options.clientKeyFile = clientKeyFile;
    options.pinnedPublicKey = pinnedPublicKey;
    return options;
}

QString encodeList(const QStringList& entries)
{
    QString stored;
    for (const QString& entry : entries)
        stored += entry + QLatin1Char('|');
    return stored;
}

QStringList decodeList(const QString& stored)
{
    return stored.split(QLatin1Char('|'), Qt::SkipEmptyParts, Qt::CaseSensitive);
}

QString normalizeExecDir(const QString& dir)
{
    QString normalized = dir;
    if (!normalized.startsWith(QLatin1Char('/')))
        normalized.prepend(QLatin1Char('/'));
    if (!normalized.endsWith(QLatin1Char('/')))
        normalized.append(QLatin1Char('/'));
    return normalized;
}

int decimalOrZero(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}
