#include "config/configform.h"
#include "ui_tarvix.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTabBar>
#include <QTest>

#include <memory>

// The configuration window's form is what the rest of the program finds widgets by: every name, initial
// state and in-form connection here is relied upon elsewhere.
class TestConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void storedRangesAreTheWindows();
    void problemsFocusWidgetsOfTheForm();
    void enablingConnections_data();
    void enablingConnections();
    void returnClicksAddButton();
    void deleteKeyClicksVisibleDeleteButton();
    void cancelHidesWindow_data();
    void cancelHidesWindow();

private:
    template <typename T = QWidget> T* child(const char* name) const
    {
        return m_window->findChild<T*>(QString::fromLatin1(name));
    }

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

// Each key goes into its own widget and comes back out of it: a key bound to the wrong widget, or
// read with the wrong sense of a radio pair, shows up as a different value.
void TestConfigForm::valuesRoundTrip()
{
    QFETCH(bool, https);
    using K = SettingKey;
    StoredSettings values = StoredSettings::defaults();
    int changed = 0;
    for (const SettingSpec& spec : settingsTable()) {
        QVariant other;
        switch (spec.type) {
        case StoredType::Flag:
            other = !spec.defaultValue.toBool();
            break;
        case StoredType::Number:
            other = spec.maximum - changed % 2; // spin boxes and the tray click mode
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
        }
        values.set(spec.key, other);
        ++changed;
    }
    values.set(K::UseHttps, https);
    values.unset(https ? K::HttpPort : K::HttpsPort);

    fillConfigForm(m_ui, values);
    const StoredSettings shown = readConfigForm(m_ui);
    for (const SettingSpec& spec : settingsTable()) {
        if (spec.key != K::AcknowledgeComment)
            QVERIFY2(shown.value(spec.key) == values.value(spec.key), spec.name.data());
    }
    // Kept apart from the window: its Save neither writes nor clears the remembered comment.
    QVERIFY(!shown.has(K::AcknowledgeComment));
    MonitorSettings applied;
    applied.acknowledgeComment = QStringLiteral("Looking into it");
    assignStoredSettings(applied, shown);
    QCOMPARE(applied.acknowledgeComment, QStringLiteral("Looking into it"));
}

// The window's ranges are the ones stored values are checked against.
void TestConfigForm::storedRangesAreTheWindows()
{
    QCOMPARE(settingSpec(SettingKey::RequestPeriod).minimum, m_ui.spinBoxPeriod->minimum());
    QCOMPARE(settingSpec(SettingKey::RequestPeriod).maximum, m_ui.spinBoxPeriod->maximum());
    QCOMPARE(settingSpec(SettingKey::AutoCloseTime).minimum, m_ui.spinBoxClose->minimum());
    QCOMPARE(settingSpec(SettingKey::AutoCloseTime).maximum, m_ui.spinBoxClose->maximum());
    QCOMPARE(m_ui.edHostStatRxPos->inputMask(), QStringLiteral("0"));
}

void TestConfigForm::problemsFocusWidgetsOfTheForm()
{
    for (const char* name : {"edServerAddress", "edServerPort", "edHostsRequest", "edServicesRequest",
             "edLogin", "edPassword", "edHostsRegExp", "edSrvcsRegExp", "frameBasicRegExpConf", "cbUseHttps"})
        QVERIFY2(child(name), name);
}

void TestConfigForm::enablingConnections_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("partner"); // the radio button that unchecks the sender; empty for check boxes
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("enabledWhenChecked");

    const auto row
        = [](const char* sender, const char* target, bool enabled = true, const char* partner = "") {
              QTest::addRow("%s %s %s", sender, enabled ? "enables" : "disables", target)
                  << QString::fromLatin1(sender) << QString::fromLatin1(partner)
                  << QString::fromLatin1(target) << enabled;
          };
    row("cbUseHTTPAuth", "edLogin");
    row("cbUseHTTPAuth", "edPassword");
    row("cbUseTrayMessages", "cbOpenUrlFromTray");
    row("cbUseTrayMessages", "cbPopupsStayOnTop", false);
    row("cbAutoClose", "spinBoxClose");
    row("cbExecDir", "edExecDir");
    row("cbHostsRequest", "edHostsRequest");
    row("cbServicesRequest", "edServicesRequest");
    row("cbEnableHosts", "cbShowHosts");
    row("cbEnableSrvcs", "cbShowSrvcs");
    for (const char* target : {"edHostsRegExp", "edHostStatRxPos", "edHostLinkRxPos", "edHostNameRxPos"})
        row("cbHostsRegExp", target);
    for (const char* target : {"edSrvcsRegExp", "edSrvStatRxPos", "edSrvLinkRxPos", "edSrvNameRxPos"})
        row("cbSrvcsRegExp", target);
    row("rbExpertRegExpConfig", "frameExpertRegExpConf", true, "rbBaseRegExpConfig");
    row("rbBaseRegExpConfig", "frameBasicRegExpConf", true, "rbExpertRegExpConfig");
}

void TestConfigForm::enablingConnections()
{
    QFETCH(QString, sender);
    QFETCH(QString, partner);
    QFETCH(QString, target);
    QFETCH(bool, enabledWhenChecked);

    auto* button = m_window->findChild<QAbstractButton*>(sender);
    auto* partnerButton = m_window->findChild<QAbstractButton*>(partner);
    const QWidget* targetWidget = m_window->findChild<QWidget*>(target);
    QVERIFY(button && targetWidget && (partner.isEmpty() || partnerButton));

    // The widget's own state: a disabled frame disables its children without changing theirs.
    for (const bool checked : {true, false, true, false}) {
        if (checked || !partnerButton)
            button->setChecked(checked);
        else
            partnerButton->setChecked(true);
        QCOMPARE(button->isChecked(), checked);
        QCOMPARE(!targetWidget->testAttribute(Qt::WA_ForceDisabled), checked == enabledWhenChecked);
    }
}

void TestConfigForm::returnClicksAddButton()
{
    const std::pair<QLineEdit*, QPushButton*> pairs[]
        = {{m_ui.edAddHost, m_ui.btnAddHost}, {m_ui.edAddService, m_ui.btnAddService}};
    QSignalSpy saveClicked(m_ui.btnSave, &QPushButton::clicked);
    for (const auto& [edit, button] : pairs) {
        QSignalSpy clicked(button, &QPushButton::clicked);
        QTest::keyClicks(edit, QStringLiteral("web1"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(clicked.count(), 1);
    }
    QCOMPARE(saveClicked.count(), 0);
}

// Both pages' delete buttons have the Del shortcut; only the visible one may take it.
void TestConfigForm::deleteKeyClicksVisibleDeleteButton()
{
    QSignalSpy hostClicked(m_ui.btnDelHost, &QPushButton::clicked);
    QSignalSpy serviceClicked(m_ui.btnDelService, &QPushButton::clicked);
    m_ui.tabConfig->setCurrentIndex(1);
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_ui.tabConfig->tabBar(), Qt::Key_Delete);
    // A shortcut animates the click, which reports after a short delay.
    QTRY_COMPARE(hostClicked.count(), 1);
    QCOMPARE(serviceClicked.count(), 0);
    m_ui.tabConfig->setCurrentIndex(2);
    QTest::keyClick(m_ui.tabConfig->tabBar(), Qt::Key_Delete);
    QTRY_COMPARE(serviceClicked.count(), 1);
    QCOMPARE(hostClicked.count(), 1);
}

void TestConfigForm::cancelHidesWindow_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<bool>("hides");

    QTest::newRow("Cancel button") << "btnCancel" << true;
    QTest::newRow("Cancel action") << "actionCancel" << true;
    QTest::newRow("Save button leaves that to the main object") << "btnSave" << false;
}

void TestConfigForm::cancelHidesWindow()
{
    QFETCH(QString, trigger);
    QFETCH(bool, hides);

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    if (auto* action = m_window->findChild<QAction*>(trigger))
        action->trigger();
    else if (auto* button = m_window->findChild<QPushButton*>(trigger))
        QTest::mouseClick(button, Qt::LeftButton);
    else
        QFAIL(qPrintable(trigger));
    QCOMPARE(m_window->isHidden(), hides);
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    TestConfigForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_configform.moc"
