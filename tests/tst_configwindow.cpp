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
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSslSocket>
#include <QTest>

#include <memory>

namespace {

const QString errorTitle = QStringLiteral("Tarvix: configuration error");
const QString noticeTitle = QStringLiteral("Tarvix: warning");
const QString portNotice
    = QStringLiteral("Server port is not specified and will be installed in the default.");
const QString notConfigured
    = QStringLiteral("The program is not configured correctly. Please enter the correct settings.");
const QString httpsQuestion
    = QStringLiteral("Set the server port to a default value for HTTPS protocol (443)?");
const QString httpQuestion
    = QStringLiteral("Set the server port to the default value for the HTTP protocol (80)?");
const QString customHostsRegExp = QStringLiteral(R"rx(<td class='(\w+)'><a href='(\S+)'>(.+)</a>)rx");
const QString customSrvcsRegExp = QStringLiteral(R"rx(<TD class="(\w+)"><A HREF="(\S+)">(.+)</A>)rx");

enum SslNeed { AnySsl, NeedsSsl, NeedsNoSsl };

// Sets widgets by object name: texts of edits, states of check boxes and radio buttons, values
// of spin boxes, items of lists. The map's key order is the order of the edits.
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
            qWarning("no editable widget %s", qPrintable(it.key()));
            return false;
        }
    }
    return true;
}

QStringList listTexts(const QListWidget* list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
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
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// The keys of the [General] section with their values as the file spells them.
QMap<QString, QString> rawStoredValues(const QString& path)
{
    QMap<QString, QString> values;
    bool general = false;
    const QStringList lines = QString::fromUtf8(fileBytes(path)).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1Char('['))) {
            general = line == QLatin1String("[General]");
            continue;
        }
        const int equals = int(line.indexOf(QLatin1Char('=')));
        if (general && equals > 0)
            values.insert(line.left(equals), line.mid(equals + 1));
    }
    return values;
}

// The file's mode bits, without Qt's extra bits for the current user.
QFile::Permissions ownerGroupOtherPermissions(const QString& path)
{
    return QFileInfo(path).permissions()
        & (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup
            | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
}

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage resourceImage(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
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
    void rejectedSaveStoresNothing();
    void startUp_data();
    void startUp();
    void saveRoundTripsEveryKey();
    void trayClickMode_data();
    void trayClickMode();
    void configurationWhileOpenOnlyRaises();
    void hidingDiscardsEdits_data();
    void hidingDiscardsEdits();
    void httpsToggleAsksForPort_data();
    void httpsToggleAsksForPort();
    void cancelledHttpsToggleAsksAgainOnReopening();
    void transportChangeRecreatesClient_data();
    void transportChangeRecreatesClient();
    void switchedOffMonitoringForgetsRequest_data();
    void switchedOffMonitoringForgetsRequest();
    void localisationSwitchRestartsPolling_data();
    void localisationSwitchRestartsPolling();
    void trayMessagesDisableAutoClose_data();
    void trayMessagesDisableAutoClose();
    void listEditing_data();
    void listEditing();
    void basicConfigurationResetsPositions();
    void savingValidConfigurationPollsAtOnce();

private:
    void storeValidConfiguration(const QVariantMap& extra = {});
    Tarvix& construct();
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
    QVERIFY(resourceImage(ResourcePaths::problemIcon) != resourceImage(ResourcePaths::normalIcon));
}

void TestConfigWindow::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
    m_profile = std::make_unique<TemporaryProfile>();
    m_server = std::make_unique<NagiosSimulator>();
    QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
    // Boxes nobody expects are answered too, so they show up in the record instead of hanging.
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
    QVariantMap values {
        {QStringLiteral("ServerAddress"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("HTTPPort"), QString::number(m_server->port())},
        // Long enough that no timer tick falls into a test: every request seen is an immediate poll.
        {QStringLiteral("RequestPeriod"), 600},
    };
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        values.insert(it.key(), it.value());
    m_profile->writeSettings(values);
}

Tarvix& TestConfigWindow::construct()
{
    m_tarvix = std::make_unique<Tarvix>();
    return *m_tarvix;
}

void TestConfigWindow::validation_data()
{
    QTest::addColumn<QVariantMap>("edits");
    QTest::addColumn<QStringList>("notices");
    QTest::addColumn<QString>("warning"); // empty: the configuration is accepted
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("focus"); // empty: not checked
    QTest::addColumn<QString>("portAfter"); // empty: not checked
    QTest::addColumn<int>("ssl");

    const auto edits = [](std::initializer_list<std::pair<const char*, QVariant>> list) {
        QVariantMap map;
        for (const auto& [name, value] : list)
            map.insert(QLatin1String(name), value);
        return map;
    };
    const QString noAddress = QStringLiteral("No server address of Nagios found.");
    const QString badPort = QStringLiteral("Invalid server port number Nagios.");
    const QString noHostsRequest = QStringLiteral("No request for the status of hosts.");
    const QString noSrvcsRequest = QStringLiteral("No request for the status of services.");
    const QString noUser = QStringLiteral("Not specified HTTP username.");
    const QString noPassword = QStringLiteral("Not specified HTTP password.");
    const QString badHostsRx
        = QStringLiteral("Not a valid regular expression to analyze the status of hosts.");
    const QString badSrvcsRx
        = QStringLiteral("Not a valid regular expression to analyze the status of services.");
    const QString noHostStatus = QStringLiteral("Not specified no status for the host!");
    const QString noSrvcStatus = QStringLiteral("Not specified no status for the service!");
    const QString noSsl
        = QStringLiteral("<font>You can obtain the necessary libraries for work using HTTPS can "
                         "<a href='https://wiki.openssl.org/index.php/Binaries'>here</a>."
                         "The work using HTTPS is impossible now.</font>");

    QTest::newRow("valid configuration")
        << edits({}) << QStringList() << QString() << 1 << QString() << QString() << int(AnySsl);
    QTest::newRow("empty server address") << edits({{"edServerAddress", QString()}}) << QStringList()
                                          << noAddress << 0 << "edServerAddress" << QString() << int(AnySsl);
    QTest::newRow("blank server address passes")
        << edits({{"edServerAddress", QStringLiteral(" ")}}) << QStringList() << QString() << 1 << QString()
        << QString() << int(AnySsl);
    QTest::newRow("only the first problem is reported")
        << edits({{"edServerAddress", QString()}, {"edServerPort", QStringLiteral("0")},
               {"cbUseHTTPAuth", true}, {"edLogin", QString()}})
        << QStringList() << noAddress << 0 << "edServerAddress" << QString() << int(AnySsl);
    QTest::newRow("empty port becomes 80 without https")
        << edits({{"edServerPort", QString()}}) << QStringList {portNotice} << QString() << 1 << QString()
        << "80" << int(AnySsl);
    QTest::newRow("empty port becomes 443 with https")
        << edits({{"cbUseHttps", true}, {"edServerPort", QString()}}) << QStringList {portNotice} << QString()
        << 1 << QString() << "443" << int(NeedsSsl);
    QTest::newRow("empty port notice then a later rejection")
        << edits({{"edServerPort", QString()}, {"cbUseHTTPAuth", true}, {"edLogin", QString()}})
        << QStringList {portNotice} << noUser << 0 << "edLogin"
        << "80" << int(AnySsl);
    QTest::newRow("port 0") << edits({{"edServerPort", QStringLiteral("0")}}) << QStringList() << badPort << 0
                            << "edServerPort" << QString() << int(AnySsl);
    QTest::newRow("port 65536") << edits({{"edServerPort", QStringLiteral("65536")}}) << QStringList()
                                << badPort << 0 << "edServerPort" << QString() << int(AnySsl);
    // The field's input mask admits digits only, so no sign or letter can reach the check.
    QTest::newRow("port 99999") << edits({{"edServerPort", QStringLiteral("99999")}}) << QStringList()
                                << badPort << 0 << "edServerPort" << QString() << int(AnySsl);
    QTest::newRow("port 1 passes") << edits({{"edServerPort", QStringLiteral("1")}}) << QStringList()
                                   << QString() << 1 << QString() << "1" << int(AnySsl);
    QTest::newRow("port 65535 passes") << edits({{"edServerPort", QStringLiteral("65535")}}) << QStringList()
                                       << QString() << 1 << QString() << "65535" << int(AnySsl);
    QTest::newRow("own hosts request empty")
        << edits({{"cbHostsRequest", true}, {"edHostsRequest", QString()}}) << QStringList() << noHostsRequest
        << 0 << "edHostsRequest" << QString() << int(AnySsl);
    QTest::newRow("unused hosts request may be empty")
        << edits({{"cbHostsRequest", false}, {"edHostsRequest", QString()}}) << QStringList() << QString()
        << 1 << QString() << QString() << int(AnySsl);
    QTest::newRow("own services request empty")
        << edits({{"cbServicesRequest", true}, {"edServicesRequest", QString()}}) << QStringList()
        << noSrvcsRequest << 0 << "edServicesRequest" << QString() << int(AnySsl);
    QTest::newRow("user name reported before password")
        << edits({{"cbUseHTTPAuth", true}, {"edLogin", QString()}, {"edPassword", QString()}})
        << QStringList() << noUser << 0 << "edLogin" << QString() << int(AnySsl);
    QTest::newRow("password missing") << edits(
        {{"cbUseHTTPAuth", true}, {"edLogin", QStringLiteral("nagiosadmin")}, {"edPassword", QString()}})
                                      << QStringList() << noPassword << 0 << "edPassword" << QString()
                                      << int(AnySsl);
    QTest::newRow("credentials without authentication are not checked")
        << edits({{"cbUseHTTPAuth", false}, {"edLogin", QString()}, {"edPassword", QString()}})
        << QStringList() << QString() << 1 << QString() << QString() << int(AnySsl);
    QTest::newRow("invalid hosts expression")
        << edits({{"rbExpertRegExpConfig", true}, {"cbHostsRegExp", true},
               {"edHostsRegExp", QStringLiteral("<td (class")}})
        << QStringList() << badHostsRx << 3 << "edHostsRegExp" << QString() << int(AnySsl);
    QTest::newRow("empty hosts expression")
        << edits({{"rbExpertRegExpConfig", true}, {"cbHostsRegExp", true}, {"edHostsRegExp", QString()}})
        << QStringList() << badHostsRx << 3 << "edHostsRegExp" << QString() << int(AnySsl);
    // The edit sits in the disabled advanced frame, so it cannot take the focus.
    QTest::newRow("invalid hosts expression fails in the basic configuration too")
        << edits({{"cbHostsRegExp", true}, {"edHostsRegExp", QStringLiteral("[a-")}}) << QStringList()
        << badHostsRx << 3 << QString() << QString() << int(AnySsl);
    QTest::newRow("unused invalid hosts expression passes") << edits(
        {{"rbExpertRegExpConfig", true}, {"cbHostsRegExp", false}, {"edHostsRegExp", QStringLiteral("[a-")}})
                                                            << QStringList() << QString() << 1 << QString()
                                                            << QString() << int(AnySsl);
    QTest::newRow("invalid services expression")
        << edits({{"rbExpertRegExpConfig", true}, {"cbSrvcsRegExp", true},
               {"edSrvcsRegExp", QStringLiteral("(unclosed")}})
        << QStringList() << badSrvcsRx << 3 << "edSrvcsRegExp" << QString() << int(AnySsl);
    QTest::newRow("hosts expression checked before services expression")
        << edits({{"rbExpertRegExpConfig", true}, {"cbHostsRegExp", true}, {"edHostsRegExp", QString()},
               {"cbSrvcsRegExp", true}, {"edSrvcsRegExp", QString()}})
        << QStringList() << badHostsRx << 3 << "edHostsRegExp" << QString() << int(AnySsl);
    QTest::newRow("basic configuration without host status")
        << edits({{"cbHostDownStat", false}, {"cbHostUnreachStat", false}}) << QStringList() << noHostStatus
        << 3 << "frameBasicRegExpConf" << QString() << int(AnySsl);
    QTest::newRow("unreachable alone is a host status")
        << edits({{"cbHostDownStat", false}, {"cbHostUnreachStat", true}}) << QStringList() << QString() << 1
        << QString() << QString() << int(AnySsl);
    QTest::newRow("basic configuration without service status")
        << edits(
               {{"cbServiceCritStat", false}, {"cbServiceWarnStat", false}, {"cbServiceUnknownStat", false}})
        << QStringList() << noSrvcStatus << 3 << "frameBasicRegExpConf" << QString() << int(AnySsl);
    QTest::newRow("unknown alone is a service status")
        << edits({{"cbServiceCritStat", false}, {"cbServiceWarnStat", false}, {"cbServiceUnknownStat", true}})
        << QStringList() << QString() << 1 << QString() << QString() << int(AnySsl);
    QTest::newRow("advanced configuration needs no status")
        << edits({{"rbExpertRegExpConfig", true}, {"cbHostDownStat", false}, {"cbHostUnreachStat", false},
               {"cbServiceCritStat", false}, {"cbServiceWarnStat", false}, {"cbServiceUnknownStat", false}})
        << QStringList() << QString() << 1 << QString() << QString() << int(AnySsl);
    QTest::newRow("https without ssl support") << edits({{"cbUseHttps", true}}) << QStringList() << noSsl << 0
                                               << "cbUseHttps" << QString() << int(NeedsNoSsl);
    QTest::newRow("https with ssl support passes")
        << edits({{"cbUseHttps", true}}) << QStringList() << QString() << 1 << QString() << QString()
        << int(NeedsSsl);
}

void TestConfigWindow::validation()
{
    QFETCH(QVariantMap, edits);
    QFETCH(QStringList, notices);
    QFETCH(QString, warning);
    QFETCH(int, tab);
    QFETCH(QString, focus);
    QFETCH(QString, portAfter);
    QFETCH(int, ssl);
    if (ssl == NeedsSsl && !QSslSocket::supportsSsl())
        QSKIP("Qt has no SSL support here");
    if (ssl == NeedsNoSsl && QSslSocket::supportsSsl())
        QSKIP("Qt has SSL support here, so HTTPS cannot be refused");

    storeValidConfiguration();
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    QVERIFY(tarvix.isVisible());
    // The HTTPS port question is answered by the default (neither Yes nor No): the port stays.
    QVERIFY(applyEdits(&tarvix, edits));
    m_answerer->clear();
    t.ui().tabConfig->setCurrentIndex(1);
    t.ui().listHosts->setFocus();
    const QByteArray storedBefore = fileBytes(m_profile->settingsFile());

    const bool ok = t.configOk();

    const QList<DialogAnswerer::Seen>& seen = m_answerer->seen();
    QCOMPARE(seen.size(), notices.size() + (warning.isEmpty() ? 0 : 1));
    for (int i = 0; i < notices.size(); ++i) {
        QCOMPARE(seen[i].text, notices[i]);
        QCOMPARE(seen[i].title, noticeTitle);
        QCOMPARE(seen[i].icon, QMessageBox::Information);
        QCOMPARE(seen[i].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    if (warning.isEmpty()) {
        QVERIFY(ok);
        QCOMPARE(t.ui().tabConfig->currentIndex(), 1);
    } else {
        QVERIFY(!ok);
        const DialogAnswerer::Seen& box = seen.last();
        QCOMPARE(box.text, warning);
        QCOMPARE(box.title, errorTitle);
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(t.ui().tabConfig->currentIndex(), tab);
        if (!focus.isEmpty()) {
            QWidget* expected = tarvix.findChild<QWidget*>(focus);
            QVERIFY(expected);
            QCOMPARE(tarvix.focusWidget(), expected);
        }
    }
    if (!portAfter.isEmpty())
        QCOMPARE(t.ui().edServerPort->text(), portAfter);
    // Validation never writes: the notice's port reaches the store only through a save.
    QCOMPARE(fileBytes(m_profile->settingsFile()), storedBefore);
    QVERIFY(tarvix.isVisible());
}

void TestConfigWindow::rejectedSaveStoresNothing()
{
    storeValidConfiguration();
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    t.ui().edServerAddress->clear();
    t.ui().spinBoxPeriod->setValue(77);
    const QByteArray storedBefore = fileBytes(m_profile->settingsFile());

    QTest::mouseClick(t.ui().btnSave, Qt::LeftButton);

    QCOMPARE(m_answerer->texts(), QStringList {QStringLiteral("No server address of Nagios found.")});
    QVERIFY(tarvix.isVisible());
    QCOMPARE(fileBytes(m_profile->settingsFile()), storedBefore);
    QCOMPARE(t.settings().requestPeriod, 600);
    QCOMPARE(t.settings().serverAddress, QStringLiteral("127.0.0.1"));

    // The corrected window is checked again from the first rule and saved.
    m_answerer->clear();
    t.ui().edServerAddress->setText(QStringLiteral("127.0.0.1"));
    // The password is stored in plain text: a widened file is narrowed again by every save.
    QVERIFY(QFile::setPermissions(m_profile->settingsFile(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    QTest::mouseClick(t.ui().btnSave, Qt::LeftButton);
    QCOMPARE(m_answerer->texts(), QStringList());
    QVERIFY(!tarvix.isVisible());
    QCOMPARE(ownerGroupOtherPermissions(m_profile->settingsFile()), QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(m_profile->storedValue(QStringLiteral("RequestPeriod")).toInt(), 77);
    QCOMPARE(t.settings().requestPeriod, 77);
}

void TestConfigWindow::startUp_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<bool>("withServer");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("no settings at all")
        << QVariantMap() << false
        << QStringList {QStringLiteral("No server address of Nagios found."), notConfigured};
    QTest::newRow("no host status chosen")
        << QVariantMap {{QStringLiteral("UseHostDownStat"), false},
               {QStringLiteral("UseHostUnreachStat"), false}}
        << true << QStringList {QStringLiteral("Not specified no status for the host!"), notConfigured};
    QTest::newRow("valid configuration") << QVariantMap() << true << QStringList();
}

void TestConfigWindow::startUp()
{
    QFETCH(QVariantMap, stored);
    QFETCH(bool, withServer);
    QFETCH(QStringList, messages);
    if (withServer)
        storeValidConfiguration(stored);
    else
        m_profile->writeSettings(stored);

    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();

    QCOMPARE(m_answerer->texts(), messages);
    if (messages.isEmpty()) {
        QVERIFY(!tarvix.isVisible());
        QCOMPARE(iconImage(t.trayIcon().icon()), resourceImage(ResourcePaths::normalIcon));
        QVERIFY(!t.errorReported());
        QVERIFY(t.pollTimer().isActive());
        QCOMPARE(t.pollTimer().interval(), 600 * 1000);
        QTRY_COMPARE(m_server->requestCount(), 2);
        return;
    }

    const QList<DialogAnswerer::Seen>& seen = m_answerer->seen();
    QCOMPARE(seen.first().title, errorTitle);
    QCOMPARE(seen.first().icon, QMessageBox::Warning);
    QCOMPARE(seen.last().title, errorTitle + QLatin1Char('.'));
    QCOMPARE(seen.last().icon, QMessageBox::Warning);
    QCOMPARE(seen.last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    QVERIFY(tarvix.isVisible());
    QCOMPARE(t.ui().tabConfig->currentIndex(), 0);
    const QImage icon = iconImage(t.trayIcon().icon());
    QCOMPARE(icon, resourceImage(ResourcePaths::problemIcon));
    QCOMPARE(QColor(icon.pixel(0, 0)), QColor(255, 0, 0));
    QVERIFY(t.trayIcon().toolTip().contains(
        QStringLiteral("Wrong configuration. The program needs to be reconfigured.")));
    QVERIFY(t.errorReported());

    // No request is even queued, and none goes out until a valid configuration is saved.
    QVERIFY(!t.pollTimer().isActive());
    QCOMPARE(t.http()->pendingRequestCount(), 0);
    QCOMPARE(t.hostsRequestId(), 0);
    QCOMPARE(t.servicesRequestId(), 0);
    QCOMPARE(m_server->requestCount(), 0);
}

void TestConfigWindow::saveRoundTripsEveryKey()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no SSL support here, so HTTPS cannot be saved");
    storeValidConfiguration();
    const QString httpPort = QString::number(m_server->port());
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();

    // Every value differs from both the default and what was stored before. Both monitorings
    // are off, so the changed address is never contacted.
    const QVariantMap edits {
        {QStringLiteral("edServerAddress"), QStringLiteral("localhost")},
        {QStringLiteral("cbUseHttps"), true},
        {QStringLiteral("edServerPort"), QStringLiteral("8443")},
        {QStringLiteral("rbAllowInvalidCert"), true},
        {QStringLiteral("spinBoxPeriod"), 123},
        {QStringLiteral("cbUseHTTPAuth"), true},
        {QStringLiteral("edLogin"), QStringLiteral("operator")},
        {QStringLiteral("edPassword"), QStringLiteral("s3cret pass")},
        {QStringLiteral("cbExecDir"), true},
        {QStringLiteral("edExecDir"), QStringLiteral("cgi/nagios")},
        {QStringLiteral("cbHostsRequest"), true},
        {QStringLiteral("edHostsRequest"), QStringLiteral("status.cgi?hostgroup=web&style=hostdetail")},
        {QStringLiteral("cbServicesRequest"), true},
        {QStringLiteral("edServicesRequest"), QStringLiteral("status.cgi?host=web1")},
        {QStringLiteral("cbAutoClose"), true},
        {QStringLiteral("spinBoxClose"), 37},
        {QStringLiteral("cbPopupsStayOnTop"), false},
        {QStringLiteral("cbUseTrayMessages"), true},
        {QStringLiteral("cbOpenUrlFromTray"), false},
        {QStringLiteral("cbFlashInTray"), false},
        {QStringLiteral("cbDisableSounds"), true},
        {QStringLiteral("cbShowHosts"), false},
        {QStringLiteral("cbShowSrvcs"), false},
        {QStringLiteral("cbEnableHosts"), false},
        {QStringLiteral("cbEnableSrvcs"), false},
        {QStringLiteral("rbOnlyListedHosts"), true},
        {QStringLiteral("listHosts"), QStringList {QStringLiteral("zeta"), QStringLiteral("alpha")}},
        {QStringLiteral("rbOnlyListedSrvcs"), true},
        {QStringLiteral("listServices"), QStringList {QStringLiteral("PING"), QStringLiteral("HTTP")}},
        {QStringLiteral("rbExpertRegExpConfig"), true},
        {QStringLiteral("cbHostDownStat"), false},
        {QStringLiteral("cbHostUnreachStat"), false},
        {QStringLiteral("cbServiceCritStat"), false},
        {QStringLiteral("cbServiceWarnStat"), false},
        {QStringLiteral("cbServiceUnknownStat"), true},
        {QStringLiteral("cbHostsRegExp"), true},
        {QStringLiteral("edHostsRegExp"), customHostsRegExp},
        {QStringLiteral("edHostStatRxPos"), QStringLiteral("3")},
        {QStringLiteral("edHostLinkRxPos"), QStringLiteral("1")},
        {QStringLiteral("edHostNameRxPos"), QStringLiteral("2")},
        {QStringLiteral("cbSrvcsRegExp"), true},
        {QStringLiteral("edSrvcsRegExp"), customSrvcsRegExp},
        {QStringLiteral("edSrvStatRxPos"), QStringLiteral("2")},
        {QStringLiteral("edSrvLinkRxPos"), QStringLiteral("3")},
        {QStringLiteral("edSrvNameRxPos"), QStringLiteral("1")},
        {QStringLiteral("rbSrvcsOnLMK"), true},
        {QStringLiteral("cbDisableLocalization"), true},
    };
    QVERIFY(applyEdits(&tarvix, edits));
    // What the window shows, which for the sorted lists is not the order of entry.
    QVariantMap shown;
    for (auto it = edits.cbegin(); it != edits.cend(); ++it)
        shown.insert(it.key(), widgetState(&tarvix, it.key()));
    QCOMPARE(m_answerer->texts(), QStringList {httpsQuestion});
    m_answerer->clear();
    // A file someone else widened is narrowed again by the save.
    QVERIFY(QFile::setPermissions(m_profile->settingsFile(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));

    t.save();

    QCOMPARE(m_answerer->texts(), QStringList());
    QVERIFY(!tarvix.isVisible());
    QCOMPARE(ownerGroupOtherPermissions(m_profile->settingsFile()), QFile::ReadOwner | QFile::WriteOwner);

    const QMap<QString, QString> expected {
        {QStringLiteral("ServerAddress"), QStringLiteral("localhost")},
        {QStringLiteral("UseHTTPS"), QStringLiteral("true")},
        {QStringLiteral("HTTPSPort"), QStringLiteral("8443")},
        {QStringLiteral("HTTPPort"), httpPort},
        {QStringLiteral("DenySSLCert"), QStringLiteral("false")},
        {QStringLiteral("RequestPeriod"), QStringLiteral("123")},
        {QStringLiteral("UseHTTPAuth"), QStringLiteral("true")},
        {QStringLiteral("Login"), QStringLiteral("operator")},
        {QStringLiteral("Password"), QStringLiteral("s3cret pass")},
        {QStringLiteral("UseUserDefExecDir"), QStringLiteral("true")},
        {QStringLiteral("UserDefNagiosExecDir"), QStringLiteral("cgi/nagios")},
        {QStringLiteral("UseUserDefHostsRequest"), QStringLiteral("true")},
        {QStringLiteral("UserDefHostsRequest"), QStringLiteral("status.cgi?hostgroup=web&style=hostdetail")},
        {QStringLiteral("UseUserDefSrvcsRequest"), QStringLiteral("true")},
        {QStringLiteral("UserDefServicesRequest"), QStringLiteral("status.cgi?host=web1")},
        {QStringLiteral("AutoClose"), QStringLiteral("true")},
        {QStringLiteral("AutoCloseTime"), QStringLiteral("37")},
        {QStringLiteral("PopupsStayOnTop"), QStringLiteral("false")},
        {QStringLiteral("UseTrayMessages"), QStringLiteral("true")},
        {QStringLiteral("OpenUrlFromTray"), QStringLiteral("false")},
        {QStringLiteral("FlashesInTray"), QStringLiteral("false")},
        {QStringLiteral("DisableSounds"), QStringLiteral("true")},
        {QStringLiteral("ShowHostsMessages"), QStringLiteral("false")},
        {QStringLiteral("ShowSrvcsMessages"), QStringLiteral("false")},
        {QStringLiteral("EnableHostsMonitoring"), QStringLiteral("false")},
        {QStringLiteral("EnableSrvcsMonitoring"), QStringLiteral("false")},
        {QStringLiteral("AllExceptSpecifedHosts"), QStringLiteral("false")},
        {QStringLiteral("OnlyListedHosts"), QStringLiteral("true")},
        {QStringLiteral("HostsList"), QStringLiteral("alpha|zeta|")},
        {QStringLiteral("AllExceptSpecifedSrvcs"), QStringLiteral("false")},
        {QStringLiteral("OnlyListedSrvcs"), QStringLiteral("true")},
        {QStringLiteral("ServicesList"), QStringLiteral("HTTP|PING|")},
        {QStringLiteral("UseBasicRegExpConfig"), QStringLiteral("false")},
        {QStringLiteral("UseHostDownStat"), QStringLiteral("false")},
        {QStringLiteral("UseHostUnreachStat"), QStringLiteral("false")},
        {QStringLiteral("UseSrvCritStat"), QStringLiteral("false")},
        {QStringLiteral("UseSrvWarnStat"), QStringLiteral("false")},
        {QStringLiteral("UseSrvUnknStat"), QStringLiteral("true")},
        {QStringLiteral("UseUserDefHostsRegExp"), QStringLiteral("true")},
        {QStringLiteral("HostsRegExp"), customHostsRegExp},
        {QStringLiteral("HostStatRxPos"), QStringLiteral("3")},
        {QStringLiteral("HostLinkRxPos"), QStringLiteral("1")},
        {QStringLiteral("HostNameRxPos"), QStringLiteral("2")},
        {QStringLiteral("UseUserDefSrvcsRegExp"), QStringLiteral("true")},
        {QStringLiteral("SrvcsRegExp"), customSrvcsRegExp},
        {QStringLiteral("SrvStatRxPos"), QStringLiteral("2")},
        {QStringLiteral("SrvLinkRxPos"), QStringLiteral("3")},
        {QStringLiteral("SrvNameRxPos"), QStringLiteral("1")},
        {QStringLiteral("NumMenuOnLMK"), QStringLiteral("2")},
        {QStringLiteral("DisableLocalization"), QStringLiteral("true")},
    };
    QCOMPARE(expected.size(), 50); // the 49 written keys and the port of the other protocol

    // The file itself: exactly these keys, and where the INI syntax needs no quoting, exactly this
    // spelling (true/false for switches, plain numbers, lists as "a|b|").
    const QMap<QString, QString> raw = rawStoredValues(m_profile->settingsFile());
    QCOMPARE(raw.keys(), expected.keys());
    static const QRegularExpression needsQuoting(QStringLiteral("[\"\\\\;,=]|^ | $"));
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (!it.value().contains(needsQuoting))
            QCOMPARE(raw.value(it.key()), it.value());
    }
    QSettings reread(m_profile->settingsFile(), QSettings::IniFormat);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(reread.value(it.key()).toString() == it.value(), qPrintable(it.key()));

    // A fresh main object loads and fills everything back; the capture positions of the advanced
    // configuration are computed during that first fill and shown from the next opening on.
    m_tarvix.reset();
    Tarvix& fresh = construct();
    TarvixTestAccess f = access();
    QCOMPARE(m_answerer->texts(), QStringList());
    for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
        if (!it.key().endsWith(QLatin1String("RxPos")))
            QVERIFY2(widgetState(&fresh, it.key()) == it.value(), qPrintable(it.key()));
    }
    f.showConfig();
    for (auto it = shown.cbegin(); it != shown.cend(); ++it)
        QVERIFY2(widgetState(&fresh, it.key()) == it.value(), qPrintable(it.key()));

    const MonitorSettings& s = f.settings();
    QCOMPARE(s.serverPort, QStringLiteral("8443"));
    QVERIFY(s.useHttps);
    QVERIFY(!s.denySslCert);
    QCOMPARE(s.nagiosExecDir, QStringLiteral("/cgi/nagios/"));
    QCOMPARE(s.hostsRequest, QStringLiteral("status.cgi?hostgroup=web&style=hostdetail"));
    QCOMPARE(s.servicesRequest, QStringLiteral("status.cgi?host=web1"));
    QCOMPARE(s.autoCloseTime, 37);
    QCOMPARE(s.hostsRegExp, customHostsRegExp);
    QCOMPARE(s.srvcsRegExp, customSrvcsRegExp);
    QCOMPARE(QList<int>({s.hostStatRxPos, s.hostLinkRxPos, s.hostNameRxPos}), QList<int>({3, 1, 2}));
    QCOMPARE(QList<int>({s.srvStatRxPos, s.srvLinkRxPos, s.srvNameRxPos}), QList<int>({2, 3, 1}));
    QCOMPARE(s.hostsList, QStringList({QStringLiteral("alpha"), QStringLiteral("zeta")}));
    QCOMPARE(s.numMenuOnLMK, 2);
}

void TestConfigWindow::trayClickMode_data()
{
    QTest::addColumn<int>("storedBefore");
    QTest::addColumn<QString>("filledRadio");
    QTest::addColumn<QString>("chosenRadio");
    QTest::addColumn<int>("storedAfter");

    QTest::newRow("0 shows combined, hosts chosen") << 0 << "rbHostsAndSrvcsOnLMK"
                                                    << "rbHostOnLMK" << 1;
    QTest::newRow("1 shows hosts, services chosen") << 1 << "rbHostOnLMK"
                                                    << "rbSrvcsOnLMK" << 2;
    QTest::newRow("2 shows services, combined chosen") << 2 << "rbSrvcsOnLMK"
                                                       << "rbHostsAndSrvcsOnLMK" << 0;
    QTest::newRow("unknown 7 shows hosts") << 7 << "rbHostOnLMK"
                                           << "rbHostOnLMK" << 1;
}

void TestConfigWindow::trayClickMode()
{
    QFETCH(int, storedBefore);
    QFETCH(QString, filledRadio);
    QFETCH(QString, chosenRadio);
    QFETCH(int, storedAfter);
    storeValidConfiguration({{QStringLiteral("NumMenuOnLMK"), storedBefore}});
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    QVERIFY(tarvix.findChild<QAbstractButton*>(filledRadio)->isChecked());

    tarvix.findChild<QAbstractButton*>(chosenRadio)->setChecked(true);
    t.save();
    QCOMPARE(m_profile->storedValue(QStringLiteral("NumMenuOnLMK")).toInt(), storedAfter);
    QCOMPARE(t.settings().numMenuOnLMK, storedAfter);
}

void TestConfigWindow::configurationWhileOpenOnlyRaises()
{
    storeValidConfiguration();
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    t.ui().edServerAddress->setText(QStringLiteral("typed.example"));
    t.ui().cbUseHTTPAuth->setChecked(true);
    t.ui().tabConfig->setCurrentIndex(2);

    t.ui().actionConfig->trigger();

    QVERIFY(tarvix.isVisible());
    QCOMPARE(t.ui().edServerAddress->text(), QStringLiteral("typed.example"));
    QVERIFY(t.ui().cbUseHTTPAuth->isChecked());
    QCOMPARE(t.ui().tabConfig->currentIndex(), 2);
}

void TestConfigWindow::hidingDiscardsEdits_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel button") << "cancel";
    QTest::newRow("escape key") << "escape";
    QTest::newRow("close box") << "close";
}

void TestConfigWindow::hidingDiscardsEdits()
{
    QFETCH(QString, how);
    storeValidConfiguration(
        {{QStringLiteral("UseHTTPAuth"), true}, {QStringLiteral("Login"), QStringLiteral("stored-user")},
            {QStringLiteral("Password"), QStringLiteral("pw")},
            {QStringLiteral("HostsList"), QStringLiteral("web1|")}});
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    QCOMPARE(t.ui().edLogin->text(), QStringLiteral("stored-user"));
    t.ui().edServerAddress->setText(QStringLiteral("typed.example"));
    t.ui().edLogin->setText(QStringLiteral("typed-user"));
    t.ui().cbUseHTTPAuth->setChecked(false);
    t.ui().spinBoxPeriod->setValue(77);
    t.ui().listHosts->addItem(QStringLiteral("db2"));
    t.ui().cbHostDownStat->setChecked(false);
    t.ui().tabConfig->setCurrentIndex(3);

    if (how == QLatin1String("cancel")) {
        QTest::mouseClick(t.ui().btnCancel, Qt::LeftButton);
    } else if (how == QLatin1String("escape")) {
        tarvix.activateWindow();
        if (!QTest::qWaitForWindowActive(&tarvix))
            QSKIP("the window cannot be activated on this display");
        QTest::keyClick(t.ui().edServerAddress, Qt::Key_Escape);
    } else {
        QVERIFY(!tarvix.close());
    }
    QVERIFY(!tarvix.isVisible());
    QCOMPARE(t.settings().serverAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(m_answerer->texts(), QStringList());

    tarvix.move(10, 10);
    t.showConfig();
    QVERIFY(tarvix.isVisible());
    // Placed again at every opening, from the screen's size alone.
    const QSize screen = tarvix.screen()->geometry().size();
    const QPoint centre(screen.width() / 2, screen.height() / 2);
    QCOMPARE(tarvix.geometry(), QRect(centre - QPoint(253, 185), centre + QPoint(253, 184)));
    QCOMPARE(t.ui().tabConfig->currentIndex(), 0);
    QCOMPARE(t.ui().edServerAddress->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(t.ui().edLogin->text(), QStringLiteral("stored-user"));
    QVERIFY(t.ui().cbUseHTTPAuth->isChecked());
    QCOMPARE(t.ui().spinBoxPeriod->value(), 600);
    QCOMPARE(listTexts(t.ui().listHosts), QStringList {QStringLiteral("web1")});
    QVERIFY(t.ui().cbHostDownStat->isChecked());
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
    QTest::newRow("to http, no") << true << int(QMessageBox::No) << httpQuestion << "8080";
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
    QCOMPARE(t.ui().grBoxSsl->isEnabled(), startHttps);
    QCOMPARE(m_answerer->texts(), QStringList());

    m_answerer->answer(QMessageBox::StandardButton(answer));
    QTest::mouseClick(t.ui().cbUseHttps, Qt::LeftButton);

    QCOMPARE(t.ui().cbUseHttps->isChecked(), !startHttps);
    QCOMPARE(m_answerer->seen().size(), 1);
    const DialogAnswerer::Seen& box = m_answerer->seen().first();
    QCOMPARE(box.title, QStringLiteral("Tarvix"));
    QCOMPARE(box.text, question);
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.defaultButton, QMessageBox::Yes);
    QCOMPARE(t.ui().edServerPort->text(), portAfter);
    QCOMPARE(t.ui().grBoxSsl->isEnabled(), !startHttps);
    // Only the window changed: nothing is in force before a save.
    QCOMPARE(t.settings().useHttps, startHttps);
}

void TestConfigWindow::cancelledHttpsToggleAsksAgainOnReopening()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("Qt has no SSL support here");
    storeValidConfiguration({{QStringLiteral("HTTPPort"), QStringLiteral("8080")},
        {QStringLiteral("EnableHostsMonitoring"), false}, {QStringLiteral("EnableSrvcsMonitoring"), false}});
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    m_answerer->answer(QMessageBox::No);
    t.ui().cbUseHttps->setChecked(true);
    QTest::mouseClick(t.ui().btnCancel, Qt::LeftButton);
    QVERIFY(!tarvix.isVisible());
    m_answerer->clear();

    // The refill switches the check box back after the port field got the stored port, so a Yes
    // replaces the stored port by the protocol's default.
    m_answerer->answer(QMessageBox::Yes);
    t.showConfig();
    QCOMPARE(m_answerer->texts(), QStringList {httpQuestion});
    QVERIFY(!t.ui().cbUseHttps->isChecked());
    QCOMPARE(t.ui().edServerPort->text(), QStringLiteral("80"));
    QCOMPARE(m_profile->storedValue(QStringLiteral("HTTPPort")).toString(), QStringLiteral("8080"));
}

void TestConfigWindow::transportChangeRecreatesClient_data()
{
    QTest::addColumn<QVariantMap>("edits");
    QTest::addColumn<int>("recreations");
    QTest::addColumn<bool>("needsSsl");

    QTest::newRow("nothing changed") << QVariantMap() << 0 << false;
    QTest::newRow("address and period changed")
        << QVariantMap {{QStringLiteral("edServerAddress"), QStringLiteral("localhost")},
               {QStringLiteral("spinBoxPeriod"), 300}}
        << 0 << false;
    QTest::newRow("certificate choice only")
        << QVariantMap {{QStringLiteral("rbAllowInvalidCert"), true}} << 1 << false;
    QTest::newRow("protocol only") << QVariantMap {{QStringLiteral("cbUseHttps"), true}} << 1 << true;
    QTest::newRow("protocol and certificate choice")
        << QVariantMap {{QStringLiteral("cbUseHttps"), true}, {QStringLiteral("rbAllowInvalidCert"), true}}
        << 2 << true;
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
    QCOMPARE(tarvix.findChildren<HttpClient*>().size(), 1);

    t.save();

    // Replaced clients are deleted later, so right after the save each re-creation has left one.
    QCOMPARE(int(tarvix.findChildren<HttpClient*>().size()) - 1, recreations);
    QCOMPARE(t.http() != before, recreations > 0);
    QVERIFY(t.pollTimer().isActive());
    QCOMPARE(t.settings().denySslCert, t.ui().rbDenyInvalidCert->isChecked());
    QCOMPARE(t.settings().useHttps, t.ui().cbUseHttps->isChecked());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(tarvix.findChildren<HttpClient*>().size(), 1);
}

void TestConfigWindow::switchedOffMonitoringForgetsRequest_data()
{
    QTest::addColumn<QString>("checkBox");
    QTest::addColumn<bool>("hosts");
    QTest::newRow("hosts monitoring off") << "cbEnableHosts" << true;
    QTest::newRow("services monitoring off") << "cbEnableSrvcs" << false;
}

void TestConfigWindow::switchedOffMonitoringForgetsRequest()
{
    QFETCH(QString, checkBox);
    QFETCH(bool, hosts);
    m_server->setNeverAnswer(true);
    storeValidConfiguration();
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    QVERIFY(t.hostsRequestId() > 0);
    QVERIFY(t.servicesRequestId() > 0);
    t.showConfig();
    tarvix.findChild<QAbstractButton*>(checkBox)->setChecked(false);

    t.save();

    QCOMPARE(hosts ? t.hostsRequestId() : t.servicesRequestId(), 0);
    QVERIFY((hosts ? t.servicesRequestId() : t.hostsRequestId()) > 0);
    QMenu& off = hosts ? t.hostsMenu() : t.servicesMenu();
    QMenu& on = hosts ? t.servicesMenu() : t.hostsMenu();
    QCOMPARE(TarvixTestAccess::entryTexts(off), QStringList {t.ui().actionUnmonitored->text()});
    QCOMPARE(TarvixTestAccess::entryTexts(on), QStringList {t.ui().actionEmpty->text()});
}

void TestConfigWindow::localisationSwitchRestartsPolling_data()
{
    QTest::addColumn<bool>("storedDisabled");
    QTest::addColumn<bool>("switched");
    QTest::newRow("translations switched off") << false << true;
    QTest::newRow("translations switched on") << true << true;
    QTest::newRow("translations unchanged") << false << false;
}

void TestConfigWindow::localisationSwitchRestartsPolling()
{
    QFETCH(bool, storedDisabled);
    QFETCH(bool, switched);
    m_server->setNeverAnswer(true);
    storeValidConfiguration({{QStringLiteral("DisableLocalization"), storedDisabled}});
    construct();
    TarvixTestAccess t = access();
    const int pendingHostsId = t.hostsRequestId();
    QVERIFY(pendingHostsId > 0);
    t.setErrorReported(true);
    t.showConfig();
    t.ui().btnSave->setText(QStringLiteral("stale text"));
    QSignalSpy finished(t.http(), &HttpClient::requestFinished);
    t.ui().cbDisableLocalization->setChecked(storedDisabled != switched);

    t.save();

    QVERIFY(t.pollTimer().isActive());
    QCOMPARE(t.pollTimer().interval(), 600 * 1000);
    QCOMPARE(t.settings().disableLocalization, storedDisabled != switched);
    if (!switched) {
        // A save alone neither retranslates nor forgets an error being shown.
        QVERIFY(t.errorReported());
        QCOMPARE(t.ui().btnSave->text(), QStringLiteral("stale text"));
        return;
    }
    QVERIFY(!t.errorReported());
    QCOMPARE(t.ui().btnSave->text(), QCoreApplication::translate("TarvixClass", "Save"));
    // The request that the server never answers was aborted, not left to time out.
    const auto abortedPending = [&finished, pendingHostsId] {
        for (const QList<QVariant>& args : finished) {
            if (args.at(0).toInt() == pendingHostsId && args.at(1).toBool())
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(abortedPending(), 5000);
}

void TestConfigWindow::trayMessagesDisableAutoClose_data()
{
    QTest::addColumn<bool>("storedTrayMessages");
    QTest::addColumn<bool>("autoClose");
    QTest::newRow("auto-close checked") << false << true;
    QTest::newRow("auto-close unchecked") << false << false;
    QTest::newRow("stored tray messages, auto-close checked") << true << true;
    QTest::newRow("stored tray messages, auto-close unchecked") << true << false;
}

void TestConfigWindow::trayMessagesDisableAutoClose()
{
    QFETCH(bool, storedTrayMessages);
    QFETCH(bool, autoClose);
    storeValidConfiguration(
        {{QStringLiteral("UseTrayMessages"), storedTrayMessages}, {QStringLiteral("AutoClose"), autoClose}});
    construct();
    TarvixTestAccess t = access();
    t.showConfig();
    Ui::TarvixClass& ui = t.ui();
    QCOMPARE(ui.cbAutoClose->isChecked(), autoClose);
    if (!storedTrayMessages) {
        QVERIFY(ui.cbAutoClose->isEnabled());
        QCOMPARE(ui.spinBoxClose->isEnabled(), autoClose);
        ui.cbUseTrayMessages->setChecked(true);
    }

    QVERIFY(!ui.cbAutoClose->isEnabled());
    QVERIFY(!ui.spinBoxClose->isEnabled());
    QVERIFY(!ui.lbMinutes->isEnabled());
    QVERIFY(!ui.cbPopupsStayOnTop->isEnabled());
    QVERIFY(ui.cbOpenUrlFromTray->isEnabled());

    ui.cbUseTrayMessages->setChecked(false);
    QVERIFY(ui.cbAutoClose->isEnabled());
    // Without auto-close the spin box and its label stay as they were.
    QCOMPARE(ui.spinBoxClose->isEnabled(), autoClose);
    QCOMPARE(ui.lbMinutes->isEnabled(), autoClose);
    QVERIFY(ui.cbPopupsStayOnTop->isEnabled());
    QVERIFY(!ui.cbOpenUrlFromTray->isEnabled());
}

void TestConfigWindow::listEditing_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("addButton");
    QTest::addColumn<QString>("delButton");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("key");
    QTest::newRow("hosts") << "listHosts"
                           << "edAddHost"
                           << "btnAddHost"
                           << "btnDelHost" << 1 << "HostsList";
    QTest::newRow("services") << "listServices"
                              << "edAddService"
                              << "btnAddService"
                              << "btnDelService" << 2 << "ServicesList";
}

void TestConfigWindow::listEditing()
{
    QFETCH(QString, list);
    QFETCH(QString, edit);
    QFETCH(QString, addButton);
    QFETCH(QString, delButton);
    QFETCH(int, tab);
    QFETCH(QString, key);
    storeValidConfiguration();
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    t.ui().tabConfig->setCurrentIndex(tab);
    auto* listWidget = tarvix.findChild<QListWidget*>(list);
    auto* editWidget = tarvix.findChild<QLineEdit*>(edit);
    auto* add = tarvix.findChild<QAbstractButton*>(addButton);
    auto* del = tarvix.findChild<QAbstractButton*>(delButton);
    QVERIFY(listWidget && editWidget && add && del);

    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(listWidget->count(), 0);

    QTest::keyClicks(editWidget, QStringLiteral("web1"));
    QTest::mouseClick(add, Qt::LeftButton);
    QCOMPARE(editWidget->text(), QString());
    QTest::keyClicks(editWidget, QStringLiteral("web1"));
    QTest::keyClick(editWidget, Qt::Key_Return);
    QCOMPARE(editWidget->text(), QString());
    for (const QString& name : {QStringLiteral("db2"), QStringLiteral("app3")}) {
        editWidget->setText(name);
        QTest::mouseClick(add, Qt::LeftButton);
    }
    QCOMPARE(listTexts(listWidget),
        QStringList(
            {QStringLiteral("app3"), QStringLiteral("db2"), QStringLiteral("web1"), QStringLiteral("web1")}));

    listWidget->clearSelection();
    QTest::mouseClick(del, Qt::LeftButton);
    QCOMPARE(listWidget->count(), 4);

    listWidget->item(0)->setSelected(true);
    listWidget->item(1)->setSelected(true);
    QTest::mouseClick(del, Qt::LeftButton);
    QCOMPARE(listTexts(listWidget), QStringList({QStringLiteral("web1"), QStringLiteral("web1")}));

    t.save();
    QCOMPARE(m_profile->storedValue(key).toString(), QStringLiteral("web1|web1|"));
    t.showConfig();
    QCOMPARE(listTexts(listWidget), QStringList({QStringLiteral("web1"), QStringLiteral("web1")}));
}

void TestConfigWindow::basicConfigurationResetsPositions()
{
    storeValidConfiguration({
        {QStringLiteral("UseBasicRegExpConfig"), false},
        {QStringLiteral("UseUserDefHostsRegExp"), true},
        {QStringLiteral("HostsRegExp"), customHostsRegExp},
        {QStringLiteral("HostStatRxPos"), QStringLiteral("3")},
        {QStringLiteral("HostLinkRxPos"), QStringLiteral("1")},
        {QStringLiteral("HostNameRxPos"), QStringLiteral("2")},
        {QStringLiteral("UseUserDefSrvcsRegExp"), true},
        {QStringLiteral("SrvcsRegExp"), customSrvcsRegExp},
        {QStringLiteral("SrvStatRxPos"), QStringLiteral("2")},
        {QStringLiteral("SrvLinkRxPos"), QStringLiteral("3")},
        {QStringLiteral("SrvNameRxPos"), QStringLiteral("1")},
    });
    construct();
    TarvixTestAccess t = access();
    Ui::TarvixClass& ui = t.ui();
    const auto positions = [&ui] {
        return QStringList {ui.edHostStatRxPos->text(), ui.edHostLinkRxPos->text(),
            ui.edHostNameRxPos->text(), ui.edSrvStatRxPos->text(), ui.edSrvLinkRxPos->text(),
            ui.edSrvNameRxPos->text()};
    };
    const QStringList stored {QStringLiteral("3"), QStringLiteral("1"), QStringLiteral("2"),
        QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("1")};
    t.showConfig();
    QCOMPARE(positions(), stored);

    ui.rbBaseRegExpConfig->setChecked(true);
    t.save();
    QCOMPARE(m_profile->storedValue(QStringLiteral("HostStatRxPos")).toString(), QStringLiteral("3"));
    QCOMPARE(m_profile->storedValue(QStringLiteral("SrvNameRxPos")).toString(), QStringLiteral("1"));

    t.showConfig();
    QCOMPARE(positions(),
        QStringList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("1"),
            QStringLiteral("2"), QStringLiteral("3")}));
}

void TestConfigWindow::savingValidConfigurationPollsAtOnce()
{
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    QCOMPARE(m_answerer->texts().size(), 2);
    QVERIFY(tarvix.isVisible());
    m_answerer->clear();
    t.ui().edServerAddress->setText(QStringLiteral("127.0.0.1"));
    t.ui().edServerPort->setText(QString::number(m_server->port()));
    t.ui().spinBoxPeriod->setValue(600);

    QTest::mouseClick(t.ui().btnSave, Qt::LeftButton);

    QCOMPARE(m_answerer->texts(), QStringList());
    QVERIFY(!tarvix.isVisible());
    QVERIFY(t.trayIcon().toolTip().contains(QStringLiteral("Configuration is updated.")));
    QVERIFY(t.pollTimer().isActive());
    QCOMPARE(t.pollTimer().interval(), 600 * 1000);
    // Both pages are asked for long before the first period ends.
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requestCount(), 2, 10000);
    const QList<RecordedRequest> requests = m_server->requests();
    QCOMPARE(requests[0].path, QStringLiteral("/nagios/cgi-bin/status.cgi"));
    QCOMPARE(requests[0].query, QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0"));
    QCOMPARE(requests[1].path, QStringLiteral("/nagios/cgi-bin/status.cgi"));
    QCOMPARE(requests[1].query, QStringLiteral("host=all&servicestatustypes=28&limit=0"));
    // The error shown since the start ends with the first good answer.
    QTRY_VERIFY(!t.errorReported());
    QCOMPARE(iconImage(t.trayIcon().icon()), resourceImage(ResourcePaths::normalIcon));
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
