#include "config/validation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Texts of the main window's translation context, marked for lupdate where they are written.
QString translated(const char* text)
{
    return QCoreApplication::translate("Tarvix", text);
}

bool isUsablePattern(const QString& pattern)
{
    return !pattern.isEmpty() && QRegularExpression(pattern).isValid();
}

ConfigProblem problem(const QString& message, ConfigTab tab, const char* focusWidget)
{
    return {message, tab, QLatin1String(focusWidget)};
}

std::optional<ConfigProblem> connectionProblem(const StoredSettings& form);

std::optional<ConfigProblem> firstProblem(const StoredSettings& form, bool sslSupported, bool portMissing)
{
    using K = SettingKey;
    if (!portMissing) {
        const int port = decimalOrZero(form.text(form.portKey()));
        if (port < 1 || port >= 65536)
            return problem(translated(QT_TRANSLATE_NOOP("Tarvix", "Invalid server port number Nagios.")),
                GeneralTab, "edServerPort");
    }
    if (form.flag(K::UseUserDefHostsRequest) && form.text(K::UserDefHostsRequest).isEmpty())
        return problem(translated(QT_TRANSLATE_NOOP("Tarvix", "No request for the status of hosts.")),
            GeneralTab, "edHostsRequest");
    if (form.flag(K::UseUserDefSrvcsRequest) && form.text(K::UserDefServicesRequest).isEmpty())
        return problem(translated(QT_TRANSLATE_NOOP("Tarvix", "No request for the status of services.")),
            GeneralTab, "edServicesRequest");
    // Kerberos takes the user's ticket: neither a name nor a password is asked.
    const bool passwordAsked
        = form.flag(K::UseHttpAuth) && form.text(K::HttpAuthMethod) != authMethodKerberos;
    if (passwordAsked && form.text(K::Login).isEmpty())
        return problem(
            translated(QT_TRANSLATE_NOOP("Tarvix", "Not specified HTTP username.")), GeneralTab, "edLogin");
    if (passwordAsked && form.text(K::Password).isEmpty())
        return problem(translated(QT_TRANSLATE_NOOP("Tarvix", "Not specified HTTP password.")), GeneralTab,
            "edPassword");

    if (form.flag(K::UseUserDefHostsRegExp) && !isUsablePattern(form.text(K::HostsRegExp)))
        return problem(translated(QT_TRANSLATE_NOOP(
                           "Tarvix", "Not a valid regular expression to analyze the status of hosts.")),
            StatusesTab, "edHostsRegExp");
    if (form.flag(K::UseUserDefSrvcsRegExp) && !isUsablePattern(form.text(K::SrvcsRegExp)))
        return problem(translated(QT_TRANSLATE_NOOP(
                           "Tarvix", "Not a valid regular expression to analyze the status of services.")),
            StatusesTab, "edSrvcsRegExp");

    if (form.flag(K::UseBasicRegExpConfig)) {
        if (!form.flag(K::UseHostDownStat) && !form.flag(K::UseHostUnreachStat))
            return problem(translated(QT_TRANSLATE_NOOP("Tarvix", "Not specified no status for the host!")),
                StatusesTab, "frameBasicRegExpConf");
        if (!form.flag(K::UseSrvCritStat) && !form.flag(K::UseSrvWarnStat) && !form.flag(K::UseSrvUnknStat))
            return problem(
                translated(QT_TRANSLATE_NOOP("Tarvix", "Not specified no status for the service!")),
                StatusesTab, "frameBasicRegExpConf");
    }

    if (form.flag(K::UseHttps) && !sslSupported)
        return problem(QStringLiteral("<font>")
                + translated(QT_TRANSLATE_NOOP(
                    "Tarvix", "You can obtain the necessary libraries for work using HTTPS can "))
                + translated(QT_TRANSLATE_NOOP(
                    "Tarvix", "<a href='https://wiki.openssl.org/index.php/Binaries'>here</a>."))
                + translated(QT_TRANSLATE_NOOP("Tarvix", "The work using HTTPS is impossible now.</font>")),
            GeneralTab, "cbUseHttps");
    return connectionProblem(form);
}

bool isReadableFile(const QString& path)
{
    const QFileInfo file(path);
    return file.isFile() && file.isReadable();
}

// The proxy and the certificates of the "Connection" page.
std::optional<ConfigProblem> connectionProblem(const StoredSettings& form)
{
    using K = SettingKey;
    if (form.text(K::ProxyMode) == proxyModeManual && form.text(K::ProxyAddress).trimmed().isEmpty())
        return problem(
            translated(QT_TRANSLATE_NOOP("Tarvix", "No proxy address.")), ConnectionTab, "edProxyAddress");
    if (!form.text(K::CaFile).isEmpty() && !isReadableFile(form.text(K::CaFile)))
        return problem(translated(QT_TRANSLATE_NOOP("Tarvix", "The CA file cannot be read.")), ConnectionTab,
            "edCAFile");
    if (!form.text(K::ClientCertFile).isEmpty() && !isReadableFile(form.text(K::ClientCertFile)))
        return problem(translated(QT_TRANSLATE_NOOP("Tarvix", "The client certificate cannot be read.")),
            ConnectionTab, "edClientCertFile");
    if (!form.text(K::ClientKeyFile).isEmpty() && form.text(K::ClientCertFile).isEmpty())
        return problem(translated(QT_TRANSLATE_NOOP("Tarvix", "A client key needs its client certificate.")),
            ConnectionTab, "edClientCertFile");
    if (!form.text(K::ClientKeyFile).isEmpty() && !isReadableFile(form.text(K::ClientKeyFile)))
        return problem(translated(QT_TRANSLATE_NOOP("Tarvix", "The client key cannot be read.")),
            ConnectionTab, "edClientKeyFile");
    // curl's form: one or more "sha256//" and the base64 of a SHA-256 digest, separated by ";".
    static const QRegularExpression pins(
        QStringLiteral("^sha256//[A-Za-z0-9+/]{43}=(;sha256//[A-Za-z0-9+/]{43}=)*$"));
    const QString pinned = form.text(K::PinnedPublicKey);
    if (!pinned.isEmpty() && !pins.match(pinned).hasMatch())
        return problem(translated(QT_TRANSLATE_NOOP(
                           "Tarvix", "The trusted key is not of the form sha256// followed by its digest.")),
            ConnectionTab, "edPinnedPublicKey");
    return std::nullopt;
}

} // namespace

ConfigCheck checkConfiguration(const StoredSettings& form, bool sslSupported)
{
    ConfigCheck check;
    if (form.text(SettingKey::ServerAddress).isEmpty()) {
        check.problem = problem(translated(QT_TRANSLATE_NOOP("Tarvix", "No server address of Nagios found.")),
            GeneralTab, "edServerAddress");
        return check;
    }
    check.portMissing = form.text(form.portKey()).isEmpty();
    if (check.portMissing)
        check.defaultPort = form.flag(SettingKey::UseHttps) ? defaultHttpsPort : defaultHttpPort;
    check.problem = firstProblem(form, sslSupported, check.portMissing);
    return check;
}
