#include "config/validation.h"

#include <QTest>

namespace {

using K = SettingKey;
using Edits = QList<std::pair<SettingKey, QVariant>>;

// What the window holds for a server that needs nothing special.
StoredSettings validForm()
{
    StoredSettings form = StoredSettings::defaults();
    form.set(K::ServerAddress, QStringLiteral("nagios.lan"));
    form.unset(K::HttpsPort);
    return form;
}

} // namespace

Q_DECLARE_METATYPE(Edits)

class TestValidation : public QObject
{
    Q_OBJECT

private slots:
    void firstProblemWins_data();
    void firstProblemWins();
};

void TestValidation::firstProblemWins_data()
{
    QTest::addColumn<Edits>("edits");
    QTest::addColumn<bool>("sslSupported");
    QTest::addColumn<QString>("defaultPort"); // the notice for an empty port
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("focus");

    const auto row = [](const char* name, const Edits& edits, const QString& message = {}, int tab = 0,
                         const char* focus = "", const char* defaultPort = "", bool ssl = true) {
        QTest::newRow(name) << edits << ssl << QString::fromLatin1(defaultPort) << message << tab
                            << QString::fromLatin1(focus);
    };
    const QString noAddress = QStringLiteral("No server address of Nagios found.");
    const QString badPort = QStringLiteral("Invalid server port number Nagios.");
    const QString noUser = QStringLiteral("Not specified HTTP username.");
    const QString noPassword = QStringLiteral("Not specified HTTP password.");
    const QString noCaFile = QStringLiteral("The CA file cannot be read.");
    const QString source = QStringLiteral(TARVIX_TEST_SOURCE);
    const auto https = [](const QString& port) {
        return Edits {{K::UseHttps, true}, {K::HttpPort, QVariant()}, {K::HttpsPort, port}};
    };
    row("valid", {});
    row("address of one blank passes", {{K::ServerAddress, " "}});
    row("empty address", {{K::ServerAddress, QString()}}, noAddress, 0, "edServerAddress");
    row("only the first problem, no port notice before it",
        {{K::ServerAddress, QString()}, {K::HttpPort, ""}}, noAddress, 0, "edServerAddress");
    row("empty port over https: notice, 443, accepted", https(QString()), {}, 0, "", "443");
    row("empty port, then the next problem", {{K::HttpPort, ""}, {K::Login, ""}, {K::UseHttpAuth, true}},
        noUser, 0, "edLogin", "80");
    row("port 0", {{K::HttpPort, "0"}}, badPort, 0, "edServerPort");
    row("port 65536", https("65536"), badPort, 0, "edServerPort");
    row("port 65535", {{K::HttpPort, "65535"}});
    row("own hosts request empty", {{K::UseUserDefHostsRequest, true}, {K::UserDefHostsRequest, ""}},
        "No request for the status of hosts.", 0, "edHostsRequest");
    row("user name before password", {{K::UseHttpAuth, true}, {K::Login, ""}, {K::Password, ""}}, noUser, 0,
        "edLogin");
    row("password missing", {{K::UseHttpAuth, true}, {K::Login, "nagiosadmin"}, {K::Password, ""}},
        noPassword, 0, "edPassword");
    row("invalid hosts expression even in the basic configuration",
        {{K::UseUserDefHostsRegExp, true}, {K::HostsRegExp, "<td (class"}},
        "Not a valid regular expression to analyze the status of hosts.", 3, "edHostsRegExp");
    row("basic without host status", {{K::UseHostDownStat, false}, {K::UseHostUnreachStat, false}},
        "Not specified no status for the host!", 3, "frameBasicRegExpConf");
    row("basic without service status", {{K::UseSrvCritStat, false}, {K::UseSrvWarnStat, false}},
        "Not specified no status for the service!", 3, "frameBasicRegExpConf");
    row("advanced without status choices",
        {{K::UseBasicRegExpConfig, false}, {K::UseHostDownStat, false}, {K::UseHostUnreachStat, false}});
    row("kerberos asks for neither user name nor password",
        {{K::UseHttpAuth, true}, {K::HttpAuthMethod, authMethodKerberos}, {K::Login, ""}, {K::Password, ""}});
    row("digest asks for the password",
        {{K::UseHttpAuth, true}, {K::HttpAuthMethod, authMethodDigest}, {K::Login, "u"}, {K::Password, ""}},
        noPassword, 0, "edPassword");
    row("proxy without address", {{K::ProxyMode, proxyModeManual}, {K::ProxyAddress, "  "}},
        "No proxy address.", 5, "edProxyAddress");
    row("proxy address of another mode is not looked at",
        {{K::ProxyMode, proxyModeNone}, {K::ProxyAddress, ""}});
    row("CA file missing", {{K::CaFile, "/nonexistent/ca.pem"}}, noCaFile, 5, "edCAFile");
    row("a folder is no CA file", {{K::CaFile, "/"}}, noCaFile, 5, "edCAFile");
    row("client key without certificate", {{K::ClientKeyFile, source}},
        "A client key needs its client certificate.", 5, "edClientCertFile");
    row("client certificate and key readable", {{K::ClientCertFile, source}, {K::ClientKeyFile, source}});
    row("trusted key not in curl's form", {{K::PinnedPublicKey, "AB:CD:EF"}},
        "The trusted key is not of the form sha256// followed by its digest.", 5, "edPinnedPublicKey");
    row("trusted key in curl's form",
        {{K::PinnedPublicKey, "sha256//" + QString(43, QLatin1Char('A')) + '='}});
    row("https without ssl support", https("443"),
        "<font>You can obtain the necessary libraries for work using HTTPS can "
        "<a href='https://wiki.openssl.org/index.php/Binaries'>here</a>."
        "The work using HTTPS is impossible now.</font>",
        0, "cbUseHttps", "", false);
}

void TestValidation::firstProblemWins()
{
    QFETCH(Edits, edits);
    QFETCH(bool, sslSupported);
    QFETCH(QString, defaultPort);
    QFETCH(QString, message);
    QFETCH(int, tab);
    QFETCH(QString, focus);

    StoredSettings form = validForm();
    for (const auto& [key, value] : edits)
        form.set(key, value);

    const ConfigCheck check = checkConfiguration(form, sslSupported);
    QCOMPARE(check.portMissing, !defaultPort.isEmpty());
    QCOMPARE(check.defaultPort, defaultPort);
    QCOMPARE(check.problem.has_value(), !message.isEmpty());
    if (check.problem) {
        QCOMPARE(check.problem->message, message);
        QCOMPARE(int(check.problem->tab), tab);
        QCOMPARE(check.problem->focusWidget, focus);
    }
}

QTEST_GUILESS_MAIN(TestValidation)
#include "tst_validation.moc"
