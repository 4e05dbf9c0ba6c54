#include "config/configform.h"
#include "ui_tarvix.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

#include <memory>

// The configuration window's form and the settings it shows.
class TestConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void storedRangesAndFocusesAreTheWindows();

private:
    std::unique_ptr<QWidget> m_window;
    Ui::TarvixClass m_ui {};
};

void TestConfigForm::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
    m_window = std::make_unique<QWidget>();
    m_ui.setupUi(m_window.get());
}

void TestConfigForm::cleanup()
{
    m_window.reset();
}

void TestConfigForm::valuesRoundTrip_data()
{
    QTest::addColumn<bool>("https");
    QTest::newRow("http") << false;
    QTest::newRow("https") << true;
}

// Each key goes into its own widget and comes back out of it: a key bound to the wrong widget
// shows up as a different value.
void TestConfigForm::valuesRoundTrip()
{
    QFETCH(bool, https);
    using K = SettingKey;
    StoredSettings values = StoredSettings::defaults();
    int changed = 0;
    for (const SettingEntry& entry : settingsTable()) {
        QVariant other;
        switch (entry.type) {
        case StoredType::Flag:
            other = !entry.defaultValue.toBool();
            break;
        case StoredType::Number:
            other = entry.maximum - changed % 2; // spin boxes and the tray click mode
            break;
        case StoredType::PortText:
            other = QString::number(8000 + changed);
            break;
        case StoredType::DigitText:
            other = QString::number(changed % 10);
            break;
        case StoredType::Text:
            other = QStringLiteral("text %1").arg(changed);
            break;
        case StoredType::List: // the lists show their entries sorted
            other = QStringList {QStringLiteral("a %1").arg(changed), QStringLiteral("b %1").arg(changed)};
            break;
        case StoredType::Choice:
            other = entry.choices.at(1 + changed % (entry.choices.size() - 1));
            break;
        }
        values.set(entry.key, other);
        ++changed;
    }
    values.set(K::UseHttps, https);
    values.unset(https ? K::HttpPort : K::HttpsPort);

    fillConfigForm(m_ui, values);
    // The sense of the radio pairs, which a round trip alone cannot tell.
    QCOMPARE(m_ui.rbDenyInvalidCert->isChecked(), values.flag(K::DenySslCert));
    QCOMPARE(m_ui.rbBaseRegExpConfig->isChecked(), values.flag(K::UseBasicRegExpConfig));
    QCOMPARE(m_ui.rbProxyManual->isChecked(), values.text(K::ProxyMode) == proxyModeManual);
    const StoredSettings shown = readConfigForm(m_ui);
    // Kept apart from the window's pages: its Save neither writes nor clears them.
    const QList<SettingKey> notOnThePages {
        K::AcknowledgeComment, K::ServersOrder, K::ServerName, K::ServerEnabled};
    for (const SettingEntry& entry : settingsTable()) {
        if (notOnThePages.contains(entry.key))
            QVERIFY2(!shown.has(entry.key), entry.name.data());
        else
            QVERIFY2(shown.value(entry.key) == values.value(entry.key), entry.name.data());
    }
    MonitorSettings applied;
    applied.acknowledgeComment = QStringLiteral("Looking into it");
    assignStoredSettings(applied, shown);
    QCOMPARE(applied.acknowledgeComment, QStringLiteral("Looking into it"));
}

// The window's ranges are the ones stored values are checked against; the problems found in a
// configuration focus its widgets by name.
void TestConfigForm::storedRangesAndFocusesAreTheWindows()
{
    QCOMPARE(settingEntry(SettingKey::RequestPeriod).minimum, m_ui.spinBoxPeriod->minimum());
    QCOMPARE(settingEntry(SettingKey::RequestPeriod).maximum, m_ui.spinBoxPeriod->maximum());
    QCOMPARE(settingEntry(SettingKey::AutoCloseTime).minimum, m_ui.spinBoxClose->minimum());
    QCOMPARE(settingEntry(SettingKey::AutoCloseTime).maximum, m_ui.spinBoxClose->maximum());
    QCOMPARE(m_ui.edHostStatRxPos->inputMask(), QStringLiteral("0"));
    for (const char* name : {"edServerAddress", "edServerPort", "edHostsRequest", "edServicesRequest",
             "edLogin", "edPassword", "edHostsRegExp", "edSrvcsRegExp", "frameBasicRegExpConf", "cbUseHttps"})
        QVERIFY2(m_window->findChild<QWidget*>(QLatin1String(name)), name);
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestConfigForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_configform.moc"
