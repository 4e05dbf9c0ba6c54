#pragma once

#include "monitor/transportoptions.h"

#include <QString>
#include <QStringList>

// Built-in values; the two default requests carry "&limit=0" because Nagios 4 pages its status
// lists (100 rows by default) and a cut list would look like a wave of recoveries.
extern const QString defaultNagiosExecDir;
extern const QString defaultHostsRequest;
extern const QString defaultServicesRequest;
extern const QString defaultHttpPort;
extern const QString defaultHttpsPort;
extern const QString defaultHostsRegExp;
extern const QString defaultSrvcsRegExp;
extern const QString settingsOrganization;
extern const QString settingsApplication;
extern const QString programName;

// The words of the choice keys.
extern const QString proxyModeSystem;
extern const QString proxyModeNone;
extern const QString proxyModeManual;
extern const QString authMethodBasic;
extern const QString authMethodDigest;
extern const QString authMethodKerberos;
extern const QString authMethodNtlm;
extern const QString statusSourceCgi;
extern const QString statusSourceJson;

// Where a server's problems are read: Nagios' status pages (status.cgi) or its JSON status
// (statusjson.cgi).
enum class StatusSource { StatusCgi, StatusJson };

struct MonitorSettings
{
    QString serverAddress;
    QString serverPort;
    int requestPeriod = 15;
    int autoCloseTime = 0;
    int hostStatRxPos = 1;
    int hostLinkRxPos = 2;
    int hostNameRxPos = 3;
    int srvStatRxPos = 1;
    int srvLinkRxPos = 2;
    int srvNameRxPos = 3;
    int numMenuOnLMK = 0;
    QString nagiosExecDir;
    QString hostsRequest;
    QString servicesRequest;
    QString hostsRegExp;
    QString srvcsRegExp;
    bool autoClose = false;
    bool useUserDefExecDir = false;
    bool useUserDefHostsRequest = false;
    bool useUserDefSrvcsRequest = false;
    bool useHttpAuth = false;
    bool useUserDefHostsRegExp = false;
    bool useUserDefSrvcsRegExp = false;
    bool allExceptSpecifedHosts = true;
    bool onlyListedHosts = false;
    bool allExceptSpecifedSrvcs = true;
    bool onlyListedSrvcs = false;
    bool useTrayMessages = false;
    bool disableSounds = false;
    bool enableHostsMonitoring = true;
    bool enableSrvcsMonitoring = true;
    bool showHostsMessages = true;
    bool showSrvcsMessages = true;
    bool useHttps = false;
    bool popupsStayOnTop = true;
    bool denySslCert = true;
    bool useBasicRegExpConfig = true;
    bool openUrlFromTray = true;
    bool disableLocalization = false;
    bool flashesInTray = true;
    // The status classes chosen in the basic parsing configuration.
    bool useHostDownStat = true;
    bool useHostUnreachStat = true;
    bool useSrvCritStat = true;
    bool useSrvWarnStat = true;
    bool useSrvUnknStat = false;
    QString login;
    QString password;
    QStringList hostsList;
    QStringList servicesList;
    // The comment of the last acknowledgement sent from a popup, offered for the next one.
    QString acknowledgeComment;
    // What the user calls the server; empty: its address names it.
    QString serverName;
    bool serverEnabled = true;
    // The choice words as the file holds them (see the constants below).
    QString proxyMode = proxyModeSystem;
    QString proxyAddress;
    QString proxyLogin;
    QString proxyPassword;
    QString httpAuthMethod = authMethodBasic;
    QString caFile;
    QString clientCertFile;
    QString clientKeyFile;
    QString pinnedPublicKey;
    StatusSource statusSource = StatusSource::StatusCgi;
    // Problems that the JSON status marks so are not shown; the status pages mark none of them.
    bool hideAcknowledged = false;
    bool hideDowntime = false;
    bool hideSoftStates = false;
    bool hideFlapping = false;
    bool hideNotificationsOff = false;

    // "https://" or "http://" for the protocol in force.
    QString scheme() const;
    // The port as the client uses it: decimal text, no number reads 0, taken modulo 65536.
    quint16 portNumber() const;
    // Server address with ":port" when the port is not the scheme's default, so that page
    // addresses opened in the browser reach a Nagios on a non-standard port.
    QString serverAuthority() const;
    // The name the user sees: the server's own, else its address.
    QString displayName() const;
    // Proxy, authentication and certificates as the transport takes them.
    TransportOptions transportOptions() const;
};

// The encoding of the host and service filter lists: every entry followed by "|".
QString encodeList(const QStringList& entries);
QStringList decodeList(const QString& stored);

// A CGI directory always begins and ends with "/".
QString normalizeExecDir(const QString& dir);

// Decimal text to int as the window's fields are read: anything that is not a number gives 0.
int decimalOrZero(const QString& text);
