#include "app/resourcepaths.h"
#include "tarvixaccess.h"
#include "testsupport.h"
#include "tools/nagiossimulator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSslSocket>
#include <QTest>

#include <memory>

namespace {

const QString errorTitle = QStringLiteral("Tarvix: configuration error");
const QString portNotice
    = QStringLiteral("Server port is not specified and will be installed in the default.");
const QString httpsQuestion
    = QStringLiteral("Set the server port to a default value for HTTPS protocol (443)?");
const QString httpQuestion
    = QStringLiteral("Set the server port to the default value for the HTTP protocol (80)?");
const QString customHostsRegExp = QStringLiteral(R"rx(<td class='(\w+)'><a href='(\S+)'>(.+)</a>)rx");
const QString customSrvcsRegExp = QStringLiteral(R"rx(<TD class="(\w+)"><A HREF="(\S+)">(.+)</A>)rx");

QVariantMap latin1Map(std::initializer_list<std::pair<const char*, QVariant>> list)
{
    QVariantMap map;
    for (const auto& [name, value] : list)
        map.insert(QLatin1String(name), value);
    return map;
}

QStringList listTexts(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

// Sets widgets by object name, in the map's key order.
bool applyEdits(QWidget* window, const QVariantMap& edits)
{
    for (auto it = edits.cbegin(); it != edits.cend(); ++it) {
        QWidget* widget = window->findChild<QWidget*>(it.key());
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(it.value().toString());
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setChecked(it.value().toBool());
        } else if (auto* spinBox = qobject_cast<QSpinBox*>(widget)) {
            spinBox->setValue(it.value().toInt());
        } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
            list->clear();
            list->addItems(it.value().toStringList());
        } else {
            return false;
        }
    }
    return true;
}

QVariant widgetState(QWidget* window, const QString& name)
{
    QWidget* widget = window->findChild<QWidget*>(name);
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->isChecked();
    if (auto* spinBox = qobject_cast<QSpinBox*>(widget))
        return spinBox->value();
    if (auto* list = qobject_cast<QListWidget*>(widget))
        return listTexts(list);
    return QStringLiteral("<no widget %1>").arg(name);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool showsImage(const QIcon& icon, const QString& path)
{
    const QImage wanted = QImage(path).convertToFormat(QImage::Format_ARGB32);
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32) == wanted;
}

} // namespace

class TestConfigWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void validation_data();
    void validation();
    void startWithoutSettings();
    void saveRoundTripsEveryKey();
    void httpsToggleAsksForPort_data();
    void httpsToggleAsksForPort();
    void transportChangeRecreatesClient_data();
    void transportChangeRecreatesClient();
    void switchedOffHostsMonitoringForgetsRequest();
    void trayMessagesDisableAutoClose_data();
    void trayMessagesDisableAutoClose();
    void hostListEditing();
    void savingValidConfigurationPollsAtOnce();

private:
    void storeValidConfiguration(const QVariantMap& extra = {});
    Tarvix& construct()
    {
        m_tarvix = std::make_unique<Tarvix>();
        return *m_tarvix;
    }
    TarvixTestAccess access() { return TarvixTestAccess(*m_tarvix); }

    std::unique_ptr<TemporaryProfile> m_profile;
    std::unique_ptr<NagiosSimulator> m_server;
    std::unique_ptr<DialogAnswerer> m_answerer;
    std::unique_ptr<Tarvix> m_tarvix;
};

void TestConfigWindow::initTestCase()
{
    REQUIRE_SYSTEM_TRAY();
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestConfigWindow::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
    m_profile = std::make_unique<TemporaryProfile>();
    m_server = std::make_unique<NagiosSimulator>();
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    // Unexpected boxes are answered too, so they show up in the record instead of hanging.
    m_answerer = std::make_unique<DialogAnswerer>();
    m_answerer->answerAllWith(QMessageBox::Ok);
}

void TestConfigWindow::cleanup()
{
    m_tarvix.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_answerer.reset();
    m_server.reset();
    m_profile.reset();
}

void TestConfigWindow::storeValidConfiguration(const QVariantMap& extra)
{
    // A long period: every request seen in a test is an immediate poll.
    QVariantMap values {{QStringLiteral("ServerAddress"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("HTTPPort"), QString::number(m_server->port())},
        {QStringLiteral("RequestPeriod"), 600}};
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        values.insert(it.key(), it.value());
    m_profile->writeSettings(values);
}

void TestConfigWindow::validation_data()
{
    QTest::addColumn<QVariantMap>("edits");
    QTest::addColumn<bool>("notice"); // the empty-port notice, port set to 443
    QTest::addColumn<QString>("warning"); // empty: accepted
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("focus"); // empty: not checked

    const QString noAddress = QStringLiteral("No server address of Nagios found.");
    const QString badPort = QStringLiteral("Invalid server port number Nagios.");
    const QString badHostsRx
        = QStringLiteral("Not a valid regular expression to analyze the status of hosts.");
    const QString badSrvcsRx
        = QStringLiteral("Not a valid regular expression to analyze the status of services.");
    const QString noSsl
        = QStringLiteral("<font>You can obtain the necessary libraries for work using HTTPS can "
                         "<a href='https://wiki.openssl.org/index.php/Binaries'>here</a>."
                         "The work using HTTPS is impossible now.</font>");
    const QString none;
    const auto expert = [](const char* check, const char* edit, const QString& text) {
        return latin1Map({{"rbExpertRegExpConfig", true}, {check, true}, {edit, text}});
    };

    QTest::newRow("valid configuration") << QVariantMap() << false << none << 1 << none;
    QTest::newRow("empty server address")
        << latin1Map({{"edServerAddress", QString()}}) << false << noAddress << 0 << "edServerAddress";
    QTest::newRow("only the first problem is reported")
        << latin1Map({{"edServerAddress", QString()}, {"edServerPort", QStringLiteral("0")}}) << false
        << noAddress << 0 << "edServerAddress";
    QTest::newRow("empty port becomes 443 with https")
        << latin1Map({{"cbUseHttps", true}, {"edServerPort", QString()}}) << true << none << 1 << none;
    QTest::newRow("port 0") << latin1Map({{"edServerPort", QStringLiteral("0")}}) << false << badPort << 0
                            << "edServerPort";
    QTest::newRow("port 65536") << latin1Map({{"edServerPort", QStringLiteral("65536")}}) << false << badPort
                                << 0 << "edServerPort";
    QTest::newRow("port 1 passes") << latin1Map({{"edServerPort", QStringLiteral("1")}}) << false << none << 1
                                   << none;
    QTest::newRow("port 65535 passes")
        << latin1Map({{"edServerPort", QStringLiteral("65535")}}) << false << none << 1 << none;
    QTest::newRow("own hosts request empty")
        << latin1Map({{"cbHostsRequest", true}, {"edHostsRequest", QString()}}) << false
        << QStringLiteral("No request for the status of hosts.") << 0 << "edHostsRequest";
    QTest::newRow("own services request empty")
        << latin1Map({{"cbServicesRequest", true}, {"edServicesRequest", QString()}}) << false
        << QStringLiteral("No request for the status of services.") << 0 << "edServicesRequest";
    QTest::newRow("user name missing")
        << latin1Map({{"cbUseHTTPAuth", true}, {"edLogin", QString()}, {"edPassword", QString()}}) << false
        << QStringLiteral("Not specified HTTP username.") << 0 << "edLogin";
    QTest::newRow("password missing") << latin1Map(
        {{"cbUseHTTPAuth", true}, {"edLogin", QStringLiteral("nagiosadmin")}, {"edPassword", QString()}})
                                      << false << QStringLiteral("Not specified HTTP password.") << 0
                                      << "edPassword";
    QTest::newRow("invalid hosts expression")
        << expert("cbHostsRegExp", "edHostsRegExp", QStringLiteral("<td (class")) << false << badHostsRx << 3
        << "edHostsRegExp";
    QTest::newRow("invalid services expression")
        << expert("cbSrvcsRegExp", "edSrvcsRegExp", QStringLiteral("(unclosed")) << false << badSrvcsRx << 3
        << "edSrvcsRegExp";
    QTest::newRow("basic configuration without host status")
        << latin1Map({{"cbHostDownStat", false}, {"cbHostUnreachStat", false}}) << false
        << QStringLiteral("Not specified no status for the host!") << 3 << "frameBasicRegExpConf";
    QTest::newRow("basic configuration without service status")
        << latin1Map(
               {{"cbServiceCritStat", false}, {"cbServiceWarnStat", false}, {"cbServiceUnknownStat", false}})
        << false << QStringLiteral("Not specified no status for the service!") << 3 << "frameBasicRegExpConf";
    QTest::newRow("https without ssl support")
        << latin1Map({{"cbUseHttps", true}}) << false << noSsl << 0 << "cbUseHttps";
}

void TestConfigWindow::validation()
{
    QFETCH(QVariantMap, edits);
    QFETCH(bool, notice);
    QFETCH(QString, warning);
    QFETCH(int, tab);
    QFETCH(QString, focus);
    // HTTPS passes exactly when Qt has SSL support; rows with it need the matching machine.
    if (edits.value(QStringLiteral("cbUseHttps")).toBool() && warning.isEmpty() != QSslSocket::supportsSsl())
        QSKIP("this row needs the other SSL support");

    storeValidConfiguration();
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    // The HTTPS port question is answered by neither Yes nor No: the port stays.
    QVERIFY(applyEdits(&tarvix, edits));
    m_answerer->clear();
    t.ui().tabConfig->setCurrentIndex(1);
    t.ui().listHosts->setFocus();
    const QByteArray storedBefore = fileBytes(m_profile->settingsFile());

    const bool ok = t.configOk();

    QStringList expected;
    if (notice)
        expected << portNotice;
    if (!warning.isEmpty())
        expected << warning;
    QCOMPARE(m_answerer->texts(), expected);
    QCOMPARE(ok, warning.isEmpty());
    QCOMPARE(t.ui().tabConfig->currentIndex(), tab);
    if (!warning.isEmpty()) {
        QCOMPARE(m_answerer->seen().last().title, errorTitle);
        QCOMPARE(m_answerer->seen().last().icon, QMessageBox::Warning);
    }
    if (!focus.isEmpty())
        QCOMPARE(tarvix.focusWidget(), tarvix.findChild<QWidget*>(focus));
    if (notice)
        QCOMPARE(t.ui().edServerPort->text(), QStringLiteral("443"));
    // Only a save writes, never the check.
    QCOMPARE(fileBytes(m_profile->settingsFile()), storedBefore);
}

void TestConfigWindow::startWithoutSettings()
{
    m_profile->writeSettings({});
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();

    QCOMPARE(m_answerer->texts(),
        QStringList({QStringLiteral("No server address of Nagios found."),
            QStringLiteral("The program is not configured correctly. Please enter the correct settings.")}));
    QVERIFY(tarvix.isVisible());
    QCOMPARE(t.ui().tabConfig->currentIndex(), 0);
    QVERIFY(showsImage(t.trayIcon().icon(), ResourcePaths::problemIcon));
    QVERIFY(t.errorReported());
    QVERIFY(!t.pollTimer().isActive());
    QCOMPARE(t.http()->pendingRequestCount(), 0);
    QCOMPARE(m_server->requestCount(), 0);
}

void TestConfigWindow::saveRoundTripsEveryKey()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no SSL support here, so HTTPS cannot be saved");
    storeValidConfiguration();
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();

    // Every value differs from the default and from what was stored; with both monitorings off the
    // changed address is never contacted.
    const QVariantMap edits = latin1Map({{"edServerAddress", QStringLiteral("localhost")},
        {"cbUseHttps", true}, {"edServerPort", QStringLiteral("8443")}, {"rbAllowInvalidCert", true},
        {"spinBoxPeriod", 123}, {"cbUseHTTPAuth", true}, {"edLogin", QStringLiteral("operator")},
        {"edPassword", QStringLiteral("s3cret pass")}, {"cbExecDir", true},
        {"edExecDir", QStringLiteral("cgi/nagios")}, {"cbHostsRequest", true},
        {"edHostsRequest", QStringLiteral("status.cgi?hostgroup=web&style=hostdetail")},
        {"cbServicesRequest", true}, {"edServicesRequest", QStringLiteral("status.cgi?host=web1")},
        {"cbAutoClose", true}, {"spinBoxClose", 37}, {"cbPopupsStayOnTop", false},
        {"cbUseTrayMessages", true}, {"cbOpenUrlFromTray", false}, {"cbFlashInTray", false},
        {"cbDisableSounds", true}, {"cbShowHosts", false}, {"cbShowSrvcs", false}, {"cbEnableHosts", false},
        {"cbEnableSrvcs", false}, {"rbOnlyListedHosts", true},
        {"listHosts", QStringList {QStringLiteral("zeta"), QStringLiteral("alpha")}},
        {"rbOnlyListedSrvcs", true},
        {"listServices", QStringList {QStringLiteral("PING"), QStringLiteral("HTTP")}},
        {"rbExpertRegExpConfig", true}, {"cbHostDownStat", false}, {"cbHostUnreachStat", false},
        {"cbServiceCritStat", false}, {"cbServiceWarnStat", false}, {"cbServiceUnknownStat", true},
        {"cbHostsRegExp", true}, {"edHostsRegExp", customHostsRegExp},
        {"edHostStatRxPos", QStringLiteral("3")}, {"edHostLinkRxPos", QStringLiteral("1")},
        {"edHostNameRxPos", QStringLiteral("2")}, {"cbSrvcsRegExp", true},
        {"edSrvcsRegExp", customSrvcsRegExp}, {"edSrvStatRxPos", QStringLiteral("2")},
        {"edSrvLinkRxPos", QStringLiteral("3")}, {"edSrvNameRxPos", QStringLiteral("1")},
        {"rbSrvcsOnLMK", true}, {"cbDisableLocalization", true}});
    QVERIFY(applyEdits(&tarvix, edits));
    QVariantMap shown; // the lists are shown sorted
    for (auto it = edits.cbegin(); it != edits.cend(); ++it)
        shown.insert(it.key(), widgetState(&tarvix, it.key()));
    QCOMPARE(m_answerer->texts(), QStringList {httpsQuestion});
    m_answerer->clear();
    // The password is stored in plain text: a widened file is narrowed again by the save.
    QVERIFY(QFile::setPermissions(m_profile->settingsFile(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));

    t.save();

    QCOMPARE(m_answerer->texts(), QStringList());
    QVERIFY(!tarvix.isVisible());
    const QFile::Permissions userBits = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
    QCOMPARE(
        QFileInfo(m_profile->settingsFile()).permissions() & ~userBits, QFile::ReadOwner | QFile::WriteOwner);

    // Read back as strings: switches spelled true/false, lists as "a|b|".
    const QVariantMap expected = latin1Map({{"ServerAddress", QStringLiteral("localhost")},
        {"UseHTTPS", QStringLiteral("true")}, {"HTTPSPort", QStringLiteral("8443")},
        {"HTTPPort", QString::number(m_server->port())}, {"DenySSLCert", QStringLiteral("false")},
        {"RequestPeriod", QStringLiteral("123")}, {"UseHTTPAuth", QStringLiteral("true")},
        {"Login", QStringLiteral("operator")}, {"Password", QStringLiteral("s3cret pass")},
        {"UseUserDefExecDir", QStringLiteral("true")}, {"UserDefNagiosExecDir", QStringLiteral("cgi/nagios")},
        {"UseUserDefHostsRequest", QStringLiteral("true")},
        {"UserDefHostsRequest", QStringLiteral("status.cgi?hostgroup=web&style=hostdetail")},
        {"UseUserDefSrvcsRequest", QStringLiteral("true")},
        {"UserDefServicesRequest", QStringLiteral("status.cgi?host=web1")},
        {"AutoClose", QStringLiteral("true")}, {"AutoCloseTime", QStringLiteral("37")},
        {"PopupsStayOnTop", QStringLiteral("false")}, {"UseTrayMessages", QStringLiteral("true")},
        {"OpenUrlFromTray", QStringLiteral("false")}, {"FlashesInTray", QStringLiteral("false")},
        {"DisableSounds", QStringLiteral("true")}, {"ShowHostsMessages", QStringLiteral("false")},
        {"ShowSrvcsMessages", QStringLiteral("false")}, {"EnableHostsMonitoring", QStringLiteral("false")},
        {"EnableSrvcsMonitoring", QStringLiteral("false")},
        {"AllExceptSpecifedHosts", QStringLiteral("false")}, {"OnlyListedHosts", QStringLiteral("true")},
        {"HostsList", QStringLiteral("alpha|zeta|")}, {"AllExceptSpecifedSrvcs", QStringLiteral("false")},
        {"OnlyListedSrvcs", QStringLiteral("true")}, {"ServicesList", QStringLiteral("HTTP|PING|")},
        {"UseBasicRegExpConfig", QStringLiteral("false")}, {"UseHostDownStat", QStringLiteral("false")},
        {"UseHostUnreachStat", QStringLiteral("false")}, {"UseSrvCritStat", QStringLiteral("false")},
        {"UseSrvWarnStat", QStringLiteral("false")}, {"UseSrvUnknStat", QStringLiteral("true")},
        {"UseUserDefHostsRegExp", QStringLiteral("true")}, {"HostsRegExp", customHostsRegExp},
        {"HostStatRxPos", QStringLiteral("3")}, {"HostLinkRxPos", QStringLiteral("1")},
        {"HostNameRxPos", QStringLiteral("2")}, {"UseUserDefSrvcsRegExp", QStringLiteral("true")},
        {"SrvcsRegExp", customSrvcsRegExp}, {"SrvStatRxPos", QStringLiteral("2")},
        {"SrvLinkRxPos", QStringLiteral("3")}, {"SrvNameRxPos", QStringLiteral("1")},
        {"NumMenuOnLMK", QStringLiteral("2")}, {"DisableLocalization", QStringLiteral("true")}});
    QCOMPARE(expected.size(), 50); // the 49 written keys and the other protocol's port, untouched
    QSettings reread(m_profile->settingsFile(), QSettings::IniFormat);
    QCOMPARE(reread.allKeys().size(), expected.size());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(reread.value(it.key()).toString() == it.value().toString(), qPrintable(it.key()));

    m_tarvix.reset();
    Tarvix& fresh = construct();
    TarvixTestAccess f = access();
    QCOMPARE(m_answerer->texts(), QStringList());
    f.showConfig();
    for (auto it = shown.cbegin(); it != shown.cend(); ++it)
        QVERIFY2(widgetState(&fresh, it.key()) == it.value(), qPrintable(it.key()));
    const MonitorSettings& s = f.settings();
    QCOMPARE(s.nagiosExecDir, QStringLiteral("/cgi/nagios/"));
    QCOMPARE(QList<int>({s.hostStatRxPos, s.hostLinkRxPos, s.hostNameRxPos}), QList<int>({3, 1, 2}));
    QCOMPARE(QList<int>({s.srvStatRxPos, s.srvLinkRxPos, s.srvNameRxPos}), QList<int>({2, 3, 1}));
    QCOMPARE(s.numMenuOnLMK, 2);
}

void TestConfigWindow::httpsToggleAsksForPort_data()
{
    QTest::addColumn<bool>("startHttps");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("portAfter");
    QTest::newRow("to https, yes") << false << int(QMessageBox::Yes) << httpsQuestion << "443";
    QTest::newRow("to https, no") << false << int(QMessageBox::No) << httpsQuestion << "8080";
    QTest::newRow("to http, yes") << true << int(QMessageBox::Yes) << httpQuestion << "80";
}

void TestConfigWindow::httpsToggleAsksForPort()
{
    QFETCH(bool, startHttps);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(QString, portAfter);
    if (startHttps && !QSslSocket::supportsSsl())
        QSKIP("Qt has no SSL support here");
    // No monitoring: an HTTPS poll of the plain simulator would bring its own questions.
    storeValidConfiguration({{QStringLiteral("UseHTTPS"), startHttps},
        {QStringLiteral("HTTPPort"), QStringLiteral("8080")},
        {QStringLiteral("HTTPSPort"), QStringLiteral("8080")},
        {QStringLiteral("EnableHostsMonitoring"), false}, {QStringLiteral("EnableSrvcsMonitoring"), false}});
    construct();
    TarvixTestAccess t = access();
    t.showConfig();
    m_answerer->answer(QMessageBox::StandardButton(answer));

    QTest::mouseClick(t.ui().cbUseHttps, Qt::LeftButton);

    QCOMPARE(m_answerer->texts(), QStringList {question});
    QCOMPARE(m_answerer->seen().first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(t.ui().edServerPort->text(), portAfter);
    QCOMPARE(t.ui().grBoxSsl->isEnabled(), !startHttps);
    QCOMPARE(t.settings().useHttps, startHttps); // nothing is in force before a save
}

void TestConfigWindow::transportChangeRecreatesClient_data()
{
    QTest::addColumn<QVariantMap>("edits");
    QTest::addColumn<int>("recreations");
    QTest::addColumn<bool>("needsSsl");
    QTest::newRow("address and period changed")
        << latin1Map({{"edServerAddress", QStringLiteral("localhost")}, {"spinBoxPeriod", 300}}) << 0
        << false;
    QTest::newRow("certificate choice only") << latin1Map({{"rbAllowInvalidCert", true}}) << 1 << false;
    QTest::newRow("protocol only") << latin1Map({{"cbUseHttps", true}}) << 1 << true;
    QTest::newRow("protocol and certificate choice")
        << latin1Map({{"cbUseHttps", true}, {"rbAllowInvalidCert", true}}) << 2 << true;
}

void TestConfigWindow::transportChangeRecreatesClient()
{
    QFETCH(QVariantMap, edits);
    QFETCH(int, recreations);
    QFETCH(bool, needsSsl);
    if (needsSsl && !QSslSocket::supportsSsl())
        QSKIP("Qt has no SSL support here");
    storeValidConfiguration(
        {{QStringLiteral("EnableHostsMonitoring"), false}, {QStringLiteral("EnableSrvcsMonitoring"), false}});
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    QVERIFY(applyEdits(&tarvix, edits));
    HttpClient* const before = t.http();

    t.save();

    // Replaced clients are deleted later, so right after the save each re-creation has left one.
    QCOMPARE(int(tarvix.findChildren<HttpClient*>().size()) - 1, recreations);
    QCOMPARE(t.http() != before, recreations > 0);
    QCOMPARE(t.settings().denySslCert, t.ui().rbDenyInvalidCert->isChecked());
    QCOMPARE(t.settings().useHttps, t.ui().cbUseHttps->isChecked());
}

void TestConfigWindow::switchedOffHostsMonitoringForgetsRequest()
{
    m_server->setNeverAnswer(true);
    storeValidConfiguration();
    construct();
    TarvixTestAccess t = access();
    QVERIFY(t.hostsRequestId() > 0);
    QVERIFY(t.servicesRequestId() > 0);
    t.showConfig();
    t.ui().cbEnableHosts->setChecked(false);

    t.save();

    QCOMPARE(t.hostsRequestId(), 0);
    QVERIFY(t.servicesRequestId() > 0);
    QCOMPARE(TarvixTestAccess::entryTexts(t.hostsMenu()), QStringList {t.ui().actionUnmonitored->text()});
}

void TestConfigWindow::trayMessagesDisableAutoClose_data()
{
    QTest::addColumn<bool>("autoClose");
    QTest::newRow("auto-close checked") << true;
    QTest::newRow("auto-close unchecked") << false;
}

void TestConfigWindow::trayMessagesDisableAutoClose()
{
    QFETCH(bool, autoClose);
    storeValidConfiguration({{QStringLiteral("AutoClose"), autoClose}});
    construct();
    TarvixTestAccess t = access();
    t.showConfig();
    Ui::TarvixClass& ui = t.ui();

    ui.cbUseTrayMessages->setChecked(true);
    QVERIFY(!ui.cbAutoClose->isEnabled());
    QVERIFY(!ui.spinBoxClose->isEnabled());
    QVERIFY(!ui.lbMinutes->isEnabled());
    QVERIFY(!ui.cbPopupsStayOnTop->isEnabled());
    QVERIFY(ui.cbOpenUrlFromTray->isEnabled());

    ui.cbUseTrayMessages->setChecked(false);
    QVERIFY(ui.cbAutoClose->isEnabled());
    // Without auto-close the spin box and its label stay disabled.
    QCOMPARE(ui.spinBoxClose->isEnabled(), autoClose);
    QCOMPARE(ui.lbMinutes->isEnabled(), autoClose);
    QVERIFY(ui.cbPopupsStayOnTop->isEnabled());
    QVERIFY(!ui.cbOpenUrlFromTray->isEnabled());
}

void TestConfigWindow::hostListEditing()
{
    storeValidConfiguration();
    construct();
    TarvixTestAccess t = access();
    t.showConfig();
    Ui::TarvixClass& ui = t.ui();
    ui.tabConfig->setCurrentIndex(1);

    QTest::mouseClick(ui.btnAddHost, Qt::LeftButton);
    QCOMPARE(ui.listHosts->count(), 0);
    QTest::keyClicks(ui.edAddHost, QStringLiteral("web1"));
    QTest::keyClick(ui.edAddHost, Qt::Key_Return);
    QCOMPARE(ui.edAddHost->text(), QString());
    for (const QString& name : {QStringLiteral("db2"), QStringLiteral("app3")}) {
        ui.edAddHost->setText(name);
        QTest::mouseClick(ui.btnAddHost, Qt::LeftButton);
    }
    QCOMPARE(listTexts(ui.listHosts),
        QStringList({QStringLiteral("app3"), QStringLiteral("db2"), QStringLiteral("web1")}));

    ui.listHosts->item(0)->setSelected(true);
    ui.listHosts->item(1)->setSelected(true);
    QTest::mouseClick(ui.btnDelHost, Qt::LeftButton);
    QCOMPARE(listTexts(ui.listHosts), QStringList {QStringLiteral("web1")});

    t.save();
    QCOMPARE(m_profile->storedValue(QStringLiteral("HostsList")).toString(), QStringLiteral("web1|"));
}

void TestConfigWindow::savingValidConfigurationPollsAtOnce()
{
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    QCOMPARE(m_answerer->texts().size(), 2);
    m_answerer->clear();
    t.ui().edServerAddress->setText(QStringLiteral("127.0.0.1"));
    t.ui().edServerPort->setText(QString::number(m_server->port()));
    t.ui().spinBoxPeriod->setValue(600);

    QTest::mouseClick(t.ui().btnSave, Qt::LeftButton);

    QVERIFY(!tarvix.isVisible());
    QCOMPARE(t.pollTimer().interval(), 600 * 1000);
    // Both pages are asked for long before the first period ends.
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requestCount(), 2, 10000);
    const QList<RecordedRequest> requests = m_server->requests();
    QCOMPARE(requests[0].query, QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0"));
    QCOMPARE(requests[1].query, QStringLiteral("host=all&servicestatustypes=28&limit=0"));
    QTRY_VERIFY(!t.errorReported());
    QVERIFY(showsImage(t.trayIcon().icon(), ResourcePaths::normalIcon));
    QCOMPARE(m_answerer->texts(), QStringList());
}

// The boxes are compared with their English source texts, whatever language the machine speaks.
int main(int argc, char** argv)
{
    qputenv("LC_ALL", "C.UTF-8");
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestConfigWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_configwindow.moc"
