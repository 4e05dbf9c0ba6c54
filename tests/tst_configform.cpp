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

    void widgetClasses();
    void initialStates();
    void tabs();
    void actions();
    void tabOrder();
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
    static QStringList names(const char* list) { return QString::fromLatin1(list).split(QLatin1Char(' ')); }

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

void TestConfigForm::widgetClasses()
{
    const char* table[][2] = {{"QTabWidget", "tabConfig"}, {"QWidget", "wSaveCancel"},
        {"QPushButton", "btnSave btnCancel btnAddHost btnDelHost btnAddService btnDelService"},
        {"QLineEdit",
            "edServerAddress edServerPort edExecDir edHostsRequest edServicesRequest edLogin edPassword "
            "edAddHost edAddService edHostsRegExp edHostStatRxPos edHostLinkRxPos edHostNameRxPos "
            "edSrvcsRegExp edSrvStatRxPos edSrvLinkRxPos edSrvNameRxPos"},
        {"QSpinBox", "spinBoxPeriod spinBoxClose"}, {"QLabel", "lbSeconds lbMinutes"},
        {"QListWidget", "listHosts listServices"}, {"QFrame", "frameBasicRegExpConf frameExpertRegExpConf"},
        {"QGroupBox", "grBoxTrayClick grBoxSsl"},
        {"QCheckBox",
            "cbUseHttps cbAutoClose cbExecDir cbHostsRequest cbServicesRequest cbUseHTTPAuth cbHostDownStat "
            "cbHostUnreachStat cbServiceCritStat cbServiceWarnStat cbServiceUnknownStat cbHostsRegExp "
            "cbSrvcsRegExp cbEnableHosts cbShowHosts cbEnableSrvcs cbShowSrvcs cbPopupsStayOnTop "
            "cbUseTrayMessages cbOpenUrlFromTray cbFlashInTray cbDisableSounds cbDisableLocalization"},
        {"QRadioButton",
            "rbAllExceptSpecifedHosts rbOnlyListedHosts rbAllExceptSpecifedSrvcs rbOnlyListedSrvcs "
            "rbBaseRegExpConfig rbExpertRegExpConfig rbHostsAndSrvcsOnLMK rbHostOnLMK rbSrvcsOnLMK "
            "rbDenyInvalidCert rbAllowInvalidCert"}};
    for (const auto& row : table) {
        for (const QString& name : names(row[1])) {
            const QWidget* w = m_window->findChild<QWidget*>(name);
            QVERIFY2(w && QByteArray(w->metaObject()->className()) == row[0], qPrintable(name));
        }
    }
}

void TestConfigForm::initialStates()
{
    QCOMPARE(m_window->minimumSize(), QSize(470, 367));
    QCOMPARE(m_ui.spinBoxPeriod->minimum(), 10);
    QCOMPARE(m_ui.spinBoxPeriod->maximum(), 600);
    QCOMPARE(m_ui.spinBoxPeriod->value(), 10);
    QCOMPARE(m_ui.spinBoxClose->minimum(), 1);
    QCOMPARE(m_ui.spinBoxClose->maximum(), 999);
    QCOMPARE(m_ui.edServerPort->inputMask(), QStringLiteral("99999"));
    for (const QLineEdit* edit : {m_ui.edHostStatRxPos, m_ui.edHostLinkRxPos, m_ui.edHostNameRxPos,
             m_ui.edSrvStatRxPos, m_ui.edSrvLinkRxPos, m_ui.edSrvNameRxPos})
        QVERIFY2(edit->inputMask() == QLatin1String("0"), qPrintable(edit->objectName()));
    QCOMPARE(m_ui.edPassword->echoMode(), QLineEdit::Password);
    for (const char* name :
        {"spinBoxClose", "edExecDir", "edHostsRequest", "edServicesRequest", "edLogin", "edPassword",
            "edHostsRegExp", "edHostStatRxPos", "edSrvcsRegExp", "edSrvNameRxPos", "cbOpenUrlFromTray"})
        QVERIFY2(!child(name)->isEnabled(), name);
    QVERIFY(m_ui.rbAllExceptSpecifedHosts->isChecked());
    QVERIFY(m_ui.rbAllExceptSpecifedSrvcs->isChecked());
    QCOMPARE(m_ui.tabConfig->currentIndex(), 0);
}

void TestConfigForm::tabs()
{
    const QStringList texts {QStringLiteral("General"), QStringLiteral("Host Filtering"),
        QStringLiteral("Filtering Service"), QStringLiteral("Statuses"), QStringLiteral("Misc")};
    const QStringList pages
        = names("tabConfigCommon tabConfigHosts tabConfigServices tabConfigRegExp tabMisc");
    QCOMPARE(m_ui.tabConfig->count(), texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        QCOMPARE(m_ui.tabConfig->tabText(i), texts.at(i));
        QCOMPARE(m_ui.tabConfig->widget(i)->objectName(), pages.at(i));
    }
}

void TestConfigForm::actions()
{
    const char* table[][2] = {{"actionQuit", "Exit"}, {"actionConfig", "Configuration"},
        {"actionAbout", "About"}, {"actionHostsDownList", "List of down hosts"},
        {"actionSrvcsProblemsList", "List of problem services"}, {"actionEmpty", "         < empty >"},
        {"actionCancel", "Cancel"}, {"actionCloseAll", "Close all messages"},
        {"actionUnmonitored", "< monitoring disabled >"}};
    for (const auto& row : table) {
        const auto* action = child<QAction>(row[0]);
        QVERIFY2(action, row[0]);
        QCOMPARE(action->text(), QString::fromLatin1(row[1]));
    }
    QVERIFY(!m_ui.actionConfig->icon().isNull());
}

void TestConfigForm::tabOrder()
{
    const QStringList expected = names(
        "btnSave btnCancel rbAllExceptSpecifedHosts rbOnlyListedHosts listHosts edAddHost btnAddHost "
        "btnDelHost "
        "rbAllExceptSpecifedSrvcs rbOnlyListedSrvcs listServices edAddService btnAddService btnDelService "
        "cbEnableHosts cbShowHosts cbEnableSrvcs cbShowSrvcs tabConfig cbUseTrayMessages cbDisableSounds");

    // One full turn of the focus chain; Qt's inner children of compound widgets sit between the named ones.
    QStringList visited;
    QWidget* start = m_ui.btnSave;
    QWidget* w = start;
    do {
        if (expected.contains(w->objectName()))
            visited << w->objectName();
        w = w->nextInFocusChain();
    } while (w != start);
    QCOMPARE(visited, expected);
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
