#include "config/validation.h"

#include <QCoreApplication>
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
    if (form.flag(K::UseHttpAuth) && form.text(K::Login).isEmpty())
        return problem(
            translated(QT_TRANSLATE_NOOP("Tarvix", "Not specified HTTP username.")), GeneralTab, "edLogin");
    if (form.flag(K::UseHttpAuth) && form.text(K::Password).isEmpty())
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
