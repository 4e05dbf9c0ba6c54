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

    const QString none;
    const QString badPort = QStringLiteral("Invalid server port number Nagios.");
    const auto https = [](const QString& port) {
        return Edits {{K::UseHttps, true}, {K::HttpPort, QVariant()}, {K::HttpsPort, port}};
    };
    QTest::newRow("valid") << Edits() << true << none << none << 0 << none;
    QTest::newRow("address of one blank passes")
        << Edits {{K::ServerAddress, QStringLiteral(" ")}} << true << none << none << 0 << none;
    QTest::newRow("empty address") << Edits {{K::ServerAddress, QString()}} << true << none
                                   << QStringLiteral("No server address of Nagios found.") << 0
                                   << "edServerAddress";
    QTest::newRow("only the first problem, no port notice before it")
        << Edits {{K::ServerAddress, QString()}, {K::HttpPort, QString()}} << true << none
        << QStringLiteral("No server address of Nagios found.") << 0 << "edServerAddress";
    QTest::newRow("empty port over https: notice, 443, accepted")
        << https(QString()) << true << "443" << none << 0 << none;
    QTest::newRow("empty port, then the next problem")
        << Edits {{K::HttpPort, QString()}, {K::Login, QString()}, {K::UseHttpAuth, true}} << true << "80"
        << QStringLiteral("Not specified HTTP username.") << 0 << "edLogin";
    QTest::newRow("port 0") << Edits {{K::HttpPort, QStringLiteral("0")}} << true << none << badPort << 0
                            << "edServerPort";
    QTest::newRow("port 65536") << https(QStringLiteral("65536")) << true << none << badPort << 0
                                << "edServerPort";
    QTest::newRow("port 65535") << Edits {{K::HttpPort, QStringLiteral("65535")}} << true << none << none << 0
                                << none;
    QTest::newRow("own hosts request empty")
        << Edits {{K::UseUserDefHostsRequest, true}, {K::UserDefHostsRequest, QString()}} << true << none
        << QStringLiteral("No request for the status of hosts.") << 0 << "edHostsRequest";
    QTest::newRow("user name before password")
        << Edits {{K::UseHttpAuth, true}, {K::Login, QString()}, {K::Password, QString()}} << true << none
        << QStringLiteral("Not specified HTTP username.") << 0 << "edLogin";
    QTest::newRow("password missing")
        << Edits {{K::UseHttpAuth, true}, {K::Login, QStringLiteral("nagiosadmin")}, {K::Password, QString()}}
        << true << none << QStringLiteral("Not specified HTTP password.") << 0 << "edPassword";
    QTest::newRow("invalid hosts expression even in the basic configuration")
        << Edits {{K::UseUserDefHostsRegExp, true}, {K::HostsRegExp, QStringLiteral("<td (class")}} << true
        << none << QStringLiteral("Not a valid regular expression to analyze the status of hosts.") << 3
        << "edHostsRegExp";
    QTest::newRow("basic without host status")
        << Edits {{K::UseHostDownStat, false}, {K::UseHostUnreachStat, false}} << true << none
        << QStringLiteral("Not specified no status for the host!") << 3 << "frameBasicRegExpConf";
    QTest::newRow("basic without service status")
        << Edits {{K::UseSrvCritStat, false}, {K::UseSrvWarnStat, false}} << true << none
        << QStringLiteral("Not specified no status for the service!") << 3 << "frameBasicRegExpConf";
    QTest::newRow("advanced without status choices") << Edits {{K::UseBasicRegExpConfig, false},
        {K::UseHostDownStat, false}, {K::UseHostUnreachStat, false}}
                                                     << true << none << none << 0 << none;
    QTest::newRow("kerberos asks for neither user name nor password") << Edits {{K::UseHttpAuth, true},
        {K::HttpAuthMethod, authMethodKerberos}, {K::Login, QString()}, {K::Password, QString()}}
                                                                      << true << none << none << 0 << none;
    QTest::newRow("digest asks for the password")
        << Edits {{K::UseHttpAuth, true}, {K::HttpAuthMethod, authMethodDigest},
               {K::Login, QStringLiteral("u")}, {K::Password, QString()}}
        << true << none << QStringLiteral("Not specified HTTP password.") << 0 << "edPassword";
    QTest::newRow("proxy without address")
        << Edits {{K::ProxyMode, proxyModeManual}, {K::ProxyAddress, QStringLiteral("  ")}} << true << none
        << QStringLiteral("No proxy address.") << 5 << "edProxyAddress";
    QTest::newRow("proxy address of another mode is not looked at") << Edits {{K::ProxyMode, proxyModeNone},
        {K::ProxyAddress, QString()}} << true << none << none << 0 << none;
    QTest::newRow("CA file missing") << Edits {{K::CaFile, QStringLiteral("/nonexistent/ca.pem")}} << true
                                     << none << QStringLiteral("The CA file cannot be read.") << 5
                                     << "edCAFile";
    QTest::newRow("a folder is no CA file")
        << Edits {{K::CaFile, QStringLiteral("/")}} << true << none
        << QStringLiteral("The CA file cannot be read.") << 5 << "edCAFile";
    QTest::newRow("client key without certificate")
        << Edits {{K::ClientKeyFile, QStringLiteral(TARVIX_TEST_SOURCE)}} << true << none
        << QStringLiteral("A client key needs its client certificate.") << 5 << "edClientCertFile";
    QTest::newRow("client certificate and key readable")
        << Edits {{K::ClientCertFile, QStringLiteral(TARVIX_TEST_SOURCE)},
               {K::ClientKeyFile, QStringLiteral(TARVIX_TEST_SOURCE)}}
        << true << none << none << 0 << none;
    QTest::newRow("trusted key not in curl's form")
        << Edits {{K::PinnedPublicKey, QStringLiteral("AB:CD:EF")}} << true << none
        << QStringLiteral("The trusted key is not of the form sha256// followed by its digest.") << 5
        << "edPinnedPublicKey";
    QTest::newRow("trusted key in curl's form") << Edits {{K::PinnedPublicKey,
        QStringLiteral("sha256//") + QString(43, QLatin1Char('A')) + QLatin1Char('=')}}
                                                << true << none << none << 0 << none;
    QTest::newRow("https without ssl support")
        << https(QStringLiteral("443")) << false << none
        << QStringLiteral("<font>You can obtain the necessary libraries for work using HTTPS can "
                          "<a href='https://wiki.openssl.org/index.php/Binaries'>here</a>."
                          "The work using HTTPS is impossible now.</font>")
        << 0 << "cbUseHttps";
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
