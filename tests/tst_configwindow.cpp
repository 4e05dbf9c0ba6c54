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

    void rejectionShowsTheProblem();
    void startWithoutSettings();
    void savedSettingsSurviveARestart();
    void unusableStoredPeriodFallsBack();
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

// The checks themselves are tested on their own; here the window shows the first problem.
void TestConfigWindow::rejectionShowsTheProblem()
{
    storeValidConfiguration();
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    t.ui().edServerPort->clear();
    t.ui().cbUseHTTPAuth->setChecked(true);
    t.ui().tabConfig->setCurrentIndex(HostFilteringTab);
    const QByteArray storedBefore = fileBytes(m_profile->settingsFile());

    QVERIFY(!t.configOk());

    QCOMPARE(m_answerer->texts(), QStringList({portNotice, QStringLiteral("Not specified HTTP username.")}));
    QCOMPARE(m_answerer->seen().last().title, errorTitle);
    QCOMPARE(m_answerer->seen().last().icon, QMessageBox::Warning);
    QCOMPARE(t.ui().edServerPort->text(), QStringLiteral("80"));
    QCOMPARE(t.ui().tabConfig->currentIndex(), int(GeneralTab));
    QCOMPARE(tarvix.focusWidget(), t.ui().edLogin);
    QCOMPARE(fileBytes(m_profile->settingsFile()), storedBefore); // only a save writes
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

// Every key's way through the window and the file is tested on its own; here the save writes the
// file, narrows its permissions, and a new start shows and uses what was saved.
void TestConfigWindow::savedSettingsSurviveARestart()
{
    storeValidConfiguration();
    Tarvix& tarvix = construct();
    TarvixTestAccess t = access();
    t.showConfig();
    t.ui().cbUseHTTPAuth->setChecked(true);
    t.ui().edLogin->setText(QStringLiteral("operator"));
    t.ui().edPassword->setText(QStringLiteral("s3cret pass"));
    t.ui().rbExpertRegExpConfig->setChecked(true);
    t.ui().cbHostsRegExp->setChecked(true);
    t.ui().edHostsRegExp->setText(customHostsRegExp);
    t.ui().edHostStatRxPos->setText(QStringLiteral("3"));
    t.ui().rbSrvcsOnLMK->setChecked(true);
    QVERIFY(QFile::setPermissions(m_profile->settingsFile(),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));

    t.save();

    QVERIFY(!tarvix.isVisible());
    QCOMPARE(QFileInfo(m_profile->settingsFile()).permissions() & (QFile::ReadGroup | QFile::ReadOther),
        QFile::Permissions());
    QCOMPARE(m_profile->storedValue(QStringLiteral("Password")).toString(), QStringLiteral("s3cret pass"));
    QCOMPARE(m_profile->storedValue(QStringLiteral("NumMenuOnLMK")).toInt(), 2);
    QCOMPARE(t.settings().hostsRegExp, customHostsRegExp);
    QCOMPARE(t.settings().hostStatRxPos, 3);

    m_tarvix.reset();
    construct();
    TarvixTestAccess f = access();
    QCOMPARE(m_answerer->texts(), QStringList());
    QCOMPARE(f.settings().hostsRegExp, customHostsRegExp);
    QCOMPARE(f.settings().hostStatRxPos, 3);
    QCOMPARE(f.settings().numMenuOnLMK, 2);
    f.showConfig();
    QCOMPARE(f.ui().edPassword->text(), QStringLiteral("s3cret pass"));
    QVERIFY(f.ui().rbSrvcsOnLMK->isChecked());
}

// A period of 0 written into the file by hand would poll the server without pause.
void TestConfigWindow::unusableStoredPeriodFallsBack()
{
    storeValidConfiguration({{QStringLiteral("RequestPeriod"), 0}});
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("RequestPeriod=0 is not a usable")));
    construct();
    TarvixTestAccess t = access();
    QCOMPARE(t.settings().requestPeriod, 15);
    QCOMPARE(t.pollTimer().interval(), 15000);
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
