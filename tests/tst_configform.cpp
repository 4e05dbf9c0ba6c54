#include "ui_tarvix.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMetaProperty>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSpacerItem>
#include <QStyleFactory>
#include <QTabBar>
#include <QTest>
#include <QTranslator>

#include <memory>

// The configuration window's form is what the rest of the program finds widgets by: every name, text,
// initial state and in-form connection here is relied upon elsewhere.
class TestConfigForm : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowProperties();
    void widgets_data();
    void widgets();
    void properties_data();
    void properties();
    void typedInput_data();
    void typedInput();
    void tabs_data();
    void tabs();
    void actions_data();
    void actions();
    void layouts_data();
    void layouts();
    void tabOrder();
    void explicitLeftToRight_data();
    void explicitLeftToRight();

    void enablingConnections_data();
    void enablingConnections();
    void returnClicksAddButton_data();
    void returnClicksAddButton();
    void deleteKeyClicksVisibleDeleteButton_data();
    void deleteKeyClicksVisibleDeleteButton();
    void cancelHidesWindow_data();
    void cancelHidesWindow();

    void textsFitWhenShown_data();
    void textsFitWhenShown();

private:
    template <typename T = QWidget> T* child(const QString& name) const
    {
        return m_window->findChild<T*>(name);
    }
    QStringList namedWidgets() const;
    QHash<QString, bool> explicitlyDisabled() const;
    bool showActive();

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
    QApplication::setLayoutDirection(Qt::LeftToRight);
}

// Names the form gave; Qt's own internal children (scroll bars, spin box editors) have none or "qt_" ones.
QStringList TestConfigForm::namedWidgets() const
{
    QStringList names;
    const auto all = m_window->findChildren<QWidget*>();
    for (const QWidget* w : all) {
        if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            names << w->objectName();
    }
    return names;
}

// The state a widget was given itself, independent of its parents (a disabled frame disables its children
// without changing theirs).
QHash<QString, bool> TestConfigForm::explicitlyDisabled() const
{
    QHash<QString, bool> state;
    const QStringList names = namedWidgets();
    for (const QString& name : names)
        state.insert(name, child(name)->testAttribute(Qt::WA_ForceDisabled));
    return state;
}

bool TestConfigForm::showActive()
{
    m_window->show();
    m_window->activateWindow();
    return QTest::qWaitForWindowActive(m_window.get());
}

void TestConfigForm::windowProperties()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("TarvixClass"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Tarvix"));
    QCOMPARE(m_window->windowModality(), Qt::NonModal);
    QCOMPARE(m_window->size(), QSize(501, 367));
    QCOMPARE(m_window->minimumSize(), QSize(470, 367));
    QCOMPARE(m_window->maximumSize(), QSize(800, 3400));
}

void TestConfigForm::widgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("checked");

    struct Row
    {
        const char* name;
        const char* className;
        const char* text;
        bool enabled;
        bool checked;
    };
    const Row rows[] = {
        {"tabConfig", "QTabWidget", "", true, false},
        {"wSaveCancel", "QWidget", "", true, false},
        {"btnSave", "QPushButton", "Save", true, false},
        {"btnCancel", "QPushButton", "Cancel", true, false},
        // General
        {"LblServer", "QLabel", "Server address:", true, false},
        {"LblPort", "QLabel", "Port:", true, false},
        {"edServerAddress", "QLineEdit", "", true, false},
        {"edServerPort", "QLineEdit", "", true, false},
        {"lbPeriod", "QLabel", "Request period:", true, false},
        {"spinBoxPeriod", "QSpinBox", "", true, false},
        {"lbSeconds", "QLabel", "seconds", true, false},
        {"cbUseHttps", "QCheckBox", "Connect using a secure connection (HTTPS)", true, false},
        {"line_6", "QFrame", "", true, false},
        {"cbAutoClose", "QCheckBox", "Automatically close the message in:", true, false},
        {"spinBoxClose", "QSpinBox", "", false, false},
        {"lbMinutes", "QLabel", "minutes", true, false},
        {"line_2", "QFrame", "", true, false},
        {"cbExecDir", "QCheckBox", "Use the following executable directory:", true, false},
        {"edExecDir", "QLineEdit", "", false, false},
        {"cbHostsRequest", "QCheckBox", "Use the following query for host:", true, false},
        {"edHostsRequest", "QLineEdit", "", false, false},
        {"cbServicesRequest", "QCheckBox", "Use the following query for services:", true, false},
        {"edServicesRequest", "QLineEdit", "", false, false},
        {"line", "QFrame", "", true, false},
        {"cbUseHTTPAuth", "QCheckBox", "Use HTTP authentication", true, false},
        {"label_4", "QLabel", "Username:", true, false},
        {"label_5", "QLabel", "Password:", true, false},
        {"edLogin", "QLineEdit", "", false, false},
        {"edPassword", "QLineEdit", "", false, false},
        // Host Filtering
        {"label_3", "QLabel", "Notify about changes in status of", true, false},
        {"rbAllExceptSpecifedHosts", "QRadioButton", "all hosts except specified", true, true},
        {"rbOnlyListedHosts", "QRadioButton", "only specified hosts", true, false},
        {"listHosts", "QListWidget", "", true, false},
        {"edAddHost", "QLineEdit", "", true, false},
        {"btnAddHost", "QPushButton", "Add", true, false},
        {"btnDelHost", "QPushButton", "Delete", true, false},
        // Filtering Service
        {"label_7", "QLabel", "Notify about changes in status of", true, false},
        {"rbAllExceptSpecifedSrvcs", "QRadioButton", "all services except specified", true, true},
        {"rbOnlyListedSrvcs", "QRadioButton", "only specified services", true, false},
        {"listServices", "QListWidget", "", true, false},
        {"edAddService", "QLineEdit", "", true, false},
        {"btnAddService", "QPushButton", "Add", true, false},
        {"btnDelService", "QPushButton", "Delete", true, false},
        // Statuses
        {"rbBaseRegExpConfig", "QRadioButton",
            " Basic Configuration - specify the statuses that need to be notified of", true, false},
        {"frameBasicRegExpConf", "QFrame", "", true, false},
        {"label_16", "QLabel", "Host Status:", true, false},
        {"cbHostDownStat", "QCheckBox", "HOSTDOWN", true, false},
        {"cbHostUnreachStat", "QCheckBox", "HOSTUNREACHABLE", true, false},
        {"line_4", "QFrame", "", true, false},
        {"label_17", "QLabel", "Service Status:", true, false},
        {"cbServiceCritStat", "QCheckBox", "CRITICAL", true, false},
        {"cbServiceWarnStat", "QCheckBox", "WARNING", true, false},
        {"cbServiceUnknownStat", "QCheckBox", "UNKNOWN", true, false},
        {"rbExpertRegExpConfig", "QRadioButton", "Advanced Configuration", true, false},
        {"frameExpertRegExpConf", "QFrame", "", true, false},
        {"cbHostsRegExp", "QCheckBox", "Set up a regular expression to analyze the status of hosts:", true,
            false},
        {"edHostsRegExp", "QLineEdit", "", false, false},
        {"label_8", "QLabel", "Numbers of coincidences of the regular expression:", true, false},
        {"label_9", "QLabel", "Status:", true, false},
        {"edHostStatRxPos", "QLineEdit", "", false, false},
        {"label_11", "QLabel", "Link:", true, false},
        {"edHostLinkRxPos", "QLineEdit", "", false, false},
        {"label_10", "QLabel", "Name:", true, false},
        {"edHostNameRxPos", "QLineEdit", "", false, false},
        {"cbSrvcsRegExp", "QCheckBox", "Set up a regular expression to analyze the status of services:", true,
            false},
        {"edSrvcsRegExp", "QLineEdit", "", false, false},
        {"label_15", "QLabel", "Numbers of coincidences of the regular expression:", true, false},
        {"label_14", "QLabel", "Status:", true, false},
        {"edSrvStatRxPos", "QLineEdit", "", false, false},
        {"label_12", "QLabel", "Link:", true, false},
        {"edSrvLinkRxPos", "QLineEdit", "", false, false},
        {"label_13", "QLabel", "Name:", true, false},
        {"edSrvNameRxPos", "QLineEdit", "", false, false},
        // Misc
        {"cbEnableHosts", "QCheckBox", "Monitoring of hosts", true, false},
        {"cbShowHosts", "QCheckBox", "Show message about changing the status of hosts", true, false},
        {"cbEnableSrvcs", "QCheckBox", "Monitoring of services", true, false},
        {"cbShowSrvcs", "QCheckBox", "Show messages about changing the status of services", true, false},
        {"line_3", "QFrame", "", true, false},
        {"cbPopupsStayOnTop", "QCheckBox", "Popup messages always on top", true, false},
        {"cbUseTrayMessages", "QCheckBox", "Use tray instead of the message popups", true, false},
        {"cbOpenUrlFromTray", "QCheckBox", "Open page object when you click on the message tray", false,
            false},
        {"cbFlashInTray", "QCheckBox", "Icon in system tray flashes on status change", true, false},
        {"cbDisableSounds", "QCheckBox", "Disable sounds", true, false},
        {"cbDisableLocalization", "QCheckBox", "Disable localization", true, false},
        {"grBoxTrayClick", "QGroupBox", " Clicking on the icon in the tray ", true, false},
        {"rbHostsAndSrvcsOnLMK", "QRadioButton", "Left button - menu for the hosts and services", true,
            false},
        {"rbHostOnLMK", "QRadioButton",
            "Left button - the list of hosts, the middle (wheel) - the list of services", true, false},
        {"rbSrvcsOnLMK", "QRadioButton",
            "Left button - the list of services, the middle (wheel) - the list of hosts", true, false},
        {"grBoxSsl", "QGroupBox", " SSL (HTTPS) ", true, false},
        {"rbDenyInvalidCert", "QRadioButton", "Reject SSL certificates with errors", true, false},
        {"rbAllowInvalidCert", "QRadioButton", "Accept certificates with errors", true, false},
    };
    for (const Row& row : rows) {
        QTest::newRow(row.name) << QString::fromLatin1(row.name) << QByteArray(row.className)
                                << QString::fromLatin1(row.text) << row.enabled << row.checked;
    }
}

void TestConfigForm::widgets()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, className);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    QFETCH(bool, checked);

    const QWidget* w = child(name);
    QVERIFY2(w, qPrintable(QStringLiteral("no widget named %1").arg(name)));
    QCOMPARE(QByteArray(w->metaObject()->className()), className);
    QVERIFY(m_window->isAncestorOf(w));

    QString actualText;
    if (const auto* label = qobject_cast<const QLabel*>(w))
        actualText = label->text();
    else if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        actualText = button->text();
    else if (const auto* group = qobject_cast<const QGroupBox*>(w))
        actualText = group->title();
    else if (const auto* edit = qobject_cast<const QLineEdit*>(w))
        actualText = edit->text();
    QCOMPARE(actualText, text);
    QCOMPARE(w->isEnabled(), enabled);
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        QCOMPARE(button->isChecked(), checked);
}

void TestConfigForm::properties_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("expected");

    constexpr int unbounded = QWIDGETSIZE_MAX;
    auto add = [](const char* name, const char* property, const QVariant& expected) {
        QTest::addRow("%s %s", name, property)
            << QString::fromLatin1(name) << QByteArray(property) << expected;
    };

    // Size limits that keep rows compact and the port and position fields narrow.
    add("edServerAddress", "minimumSize", QSize(0, 23));
    add("edServerPort", "minimumSize", QSize(55, 23));
    add("edServerPort", "maximumSize", QSize(55, unbounded));
    add("lbPeriod", "maximumSize", QSize(1500, 20));
    add("spinBoxPeriod", "minimumSize", QSize(0, 23));
    add("lbSeconds", "maximumSize", QSize(1500, 20));
    add("spinBoxClose", "minimumSize", QSize(0, 23));
    add("lbMinutes", "maximumSize", QSize(1500, 20));
    for (const char* name :
        {"cbUseHttps", "cbAutoClose", "cbExecDir", "cbHostsRequest", "cbServicesRequest", "cbUseHTTPAuth"})
        add(name, "maximumSize", QSize(unbounded, 15));
    for (const char* name : {"edExecDir", "edHostsRequest", "edServicesRequest", "edLogin", "edPassword"})
        add(name, "minimumSize", QSize(0, 23));
    add("frameBasicRegExpConf", "minimumSize", QSize(0, 80));
    for (const char* name : {"edHostStatRxPos", "edHostLinkRxPos", "edHostNameRxPos", "edSrvStatRxPos",
             "edSrvLinkRxPos", "edSrvNameRxPos"}) {
        add(name, "maximumSize", QSize(45, unbounded));
        add(name, "inputMask", QStringLiteral("0"));
    }
    for (const char* name : {"cbEnableHosts", "cbShowHosts", "cbEnableSrvcs", "cbShowSrvcs",
             "cbPopupsStayOnTop", "cbUseTrayMessages", "cbOpenUrlFromTray", "cbFlashInTray",
             "cbDisableSounds", "cbDisableLocalization"})
        add(name, "maximumSize", QSize(unbounded, 16));
    for (const char* name :
        {"rbHostsAndSrvcsOnLMK", "rbHostOnLMK", "rbSrvcsOnLMK", "rbDenyInvalidCert", "rbAllowInvalidCert"})
        add(name, "maximumSize", QSize(unbounded, 18));

    // Entry fields.
    add("edServerPort", "inputMask", QStringLiteral("99999"));
    add("edPassword", "echoMode", int(QLineEdit::Password));
    add("edLogin", "echoMode", int(QLineEdit::Normal));
    add("spinBoxPeriod", "minimum", 10);
    add("spinBoxPeriod", "maximum", 600);
    add("spinBoxPeriod", "value", 10);
    add("spinBoxClose", "minimum", 1);
    add("spinBoxClose", "maximum", 999);
    add("spinBoxClose", "value", 1);
    add("cbServicesRequest", "contextMenuPolicy", int(Qt::NoContextMenu));

    // Buttons: Return in the list pages and the window goes to Add and Save.
    add("btnSave", "default", true);
    add("btnSave", "autoDefault", true);
    add("btnSave", "flat", false);
    add("btnAddHost", "default", true);
    add("btnAddService", "default", true);
    add("btnDelHost", "shortcut", QKeySequence(Qt::Key_Delete));
    add("btnDelService", "shortcut", QKeySequence(Qt::Key_Delete));

    // Lists of host and service names.
    for (const char* name : {"listHosts", "listServices"}) {
        add(name, "font.pointSize", 10);
        add(name, "selectionMode", int(QAbstractItemView::ExtendedSelection));
        add(name, "sortingEnabled", true);
        add(name, "wordWrap", false);
        add(name, "uniformItemSizes", false);
        add(name, "modelColumn", 0);
    }

    // Separators and panels.
    for (const char* name : {"line_6", "line_2", "line", "line_3"}) {
        add(name, "frameShape", int(QFrame::HLine));
        add(name, "frameShadow", int(QFrame::Sunken));
    }
    add("line_4", "frameShape", int(QFrame::VLine));
    add("line_4", "frameShadow", int(QFrame::Sunken));
    for (const char* name : {"frameBasicRegExpConf", "frameExpertRegExpConf"}) {
        add(name, "frameShape", int(QFrame::StyledPanel));
        add(name, "frameShadow", int(QFrame::Sunken));
    }

    add("tabConfig", "font.pointSize", 10);
    add("tabConfig", "tabPosition", int(QTabWidget::North));
}

void TestConfigForm::properties()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, expected);

    const QWidget* w = child(name);
    QVERIFY2(w, qPrintable(QStringLiteral("no widget named %1").arg(name)));
    if (property == "font.pointSize") {
        QCOMPARE(w->font().pointSize(), expected.toInt());
        return;
    }
    const int index = w->metaObject()->indexOfProperty(property.constData());
    QVERIFY2(index >= 0, property.constData());
    const QVariant actual = w->metaObject()->property(index).read(w);
    if (actual.metaType().flags().testFlag(QMetaType::IsEnumeration))
        QCOMPARE(actual.toInt(), expected.toInt());
    else
        QCOMPARE(actual, expected);
}

void TestConfigForm::typedInput_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("port keeps five digits") << "edServerPort"
                                            << "1234567"
                                            << "12345";
    QTest::newRow("port refuses letters") << "edServerPort"
                                          << "8a0"
                                          << "80";
    QTest::newRow("port may stay empty") << "edServerPort"
                                         << ""
                                         << "";
    const char* positions[] = {"edHostStatRxPos", "edHostLinkRxPos", "edHostNameRxPos", "edSrvStatRxPos",
        "edSrvLinkRxPos", "edSrvNameRxPos"};
    for (const char* name : positions) {
        QTest::addRow("%s keeps one digit", name) << QString::fromLatin1(name) << "37"
                                                  << "3";
        QTest::addRow("%s refuses letters", name) << QString::fromLatin1(name) << "x"
                                                  << "";
    }
}

void TestConfigForm::typedInput()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    auto* edit = child<QLineEdit>(name);
    QVERIFY2(edit, qPrintable(QStringLiteral("no line edit named %1").arg(name)));
    edit->setEnabled(true);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), expected);
}

void TestConfigForm::tabs_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("General") << 0 << "tabConfigCommon"
                             << "General" << QString();
    QTest::newRow("Host Filtering") << 1 << "tabConfigHosts"
                                    << "Host Filtering" << QString();
    QTest::newRow("Filtering Service") << 2 << "tabConfigServices"
                                       << "Filtering Service" << QString();
    QTest::newRow("Statuses") << 3 << "tabConfigRegExp"
                              << "Statuses" << QString();
    QTest::newRow("Misc") << 4 << "tabMisc"
                          << "Misc" << QStringLiteral("Различные конфигурационные параметры");
}

void TestConfigForm::tabs()
{
    QFETCH(int, index);
    QFETCH(QString, page);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);

    const auto* tabConfig = child<QTabWidget>(QStringLiteral("tabConfig"));
    QVERIFY(tabConfig);
    QCOMPARE(tabConfig->count(), 5);
    QCOMPARE(tabConfig->currentIndex(), 0);
    QVERIFY(tabConfig->widget(index));
    QCOMPARE(tabConfig->widget(index)->objectName(), page);
    QCOMPARE(tabConfig->tabText(index), text);
    QCOMPARE(tabConfig->tabToolTip(index), toolTip);
}

void TestConfigForm::actions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("hasIcon");

    QTest::newRow("actionQuit") << "actionQuit"
                                << "Exit"
                                << "Exit" << false;
    QTest::newRow("actionConfig") << "actionConfig"
                                  << "Configuration"
                                  << "Configuration" << true;
    QTest::newRow("actionAbout") << "actionAbout"
                                 << "About"
                                 << "About" << false;
    QTest::newRow("actionHostsDownList") << "actionHostsDownList"
                                         << "List of down hosts"
                                         << "List of down hosts" << false;
    QTest::newRow("actionSrvcsProblemsList") << "actionSrvcsProblemsList"
                                             << "List of problem services"
                                             << "List of problem services" << false;
    QTest::newRow("actionEmpty keeps its nine leading blanks") << "actionEmpty"
                                                               << "         < empty >"
                                                               << "< empty >" << false;
    // No tool tip of its own: Qt shows the text.
    QTest::newRow("actionCancel") << "actionCancel"
                                  << "Cancel"
                                  << "Cancel" << false;
    QTest::newRow("actionCloseAll") << "actionCloseAll"
                                    << "Close all messages"
                                    << "Close all messages" << false;
    QTest::newRow("actionUnmonitored") << "actionUnmonitored"
                                       << "< monitoring disabled >"
                                       << "< monitoring disabled >" << false;
}

void TestConfigForm::actions()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);
    QFETCH(bool, hasIcon);

    const auto* action = child<QAction>(name);
    QVERIFY2(action, qPrintable(QStringLiteral("no action named %1").arg(name)));
    QCOMPARE(action->parent(), m_window.get());
    QCOMPARE(action->text(), text);
    QCOMPARE(action->toolTip(), toolTip);
    QVERIFY(action->isEnabled());
    QVERIFY(action->shortcut().isEmpty());
    QCOMPARE(!action->icon().pixmap(16).isNull(), hasIcon);
}

void TestConfigForm::layouts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QList<int>>("margins");
    QTest::addColumn<QStringList>("items");

    // Margins: left, top, right, bottom; -1 leaves that one to the style. Spacers read "~W x H
    // HPolicy/VPolicy".
    const QList<int> styleMargins {-1, -1, -1, -1};
    auto row = [](const char* name, const char* owner, int spacing, const QList<int>& margins,
                   const QStringList& items) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(owner) << spacing << margins
                            << items;
    };

    row("verticalLayout_6", "TarvixClass", 0, {0, 0, 0, 0}, {"verticalLayout_4"});
    row("verticalLayout_4", "", 3, {-1, -1, -1, 2}, {"verticalLayout_3", "wSaveCancel"});
    row("verticalLayout_3", "", 6, styleMargins, {"tabConfig"});
    row("horizontalLayout_5", "wSaveCancel", 6, {-1, 0, 3, 0},
        {"~40x20 Expanding/Minimum", "btnSave", "btnCancel"});

    row("verticalLayout_17", "tabConfigCommon", 3, {3, 2, 2, 3},
        {"horizontalLayout_15", "cbUseHttps", "line_6", "horizontalLayout_2", "line_2", "cbExecDir",
            "edExecDir", "cbHostsRequest", "edHostsRequest", "cbServicesRequest", "edServicesRequest", "line",
            "cbUseHTTPAuth", "horizontalLayout_16", "~488x2 Minimum/Maximum", "~488x3 Minimum/Expanding"});
    row("horizontalLayout_15", "", 3, styleMargins, {"verticalLayout_14", "verticalLayout_2"});
    row("verticalLayout_14", "", 3, styleMargins, {"horizontalLayout_6", "horizontalLayout"});
    row("horizontalLayout_6", "", 6, styleMargins, {"LblServer", "~13x20 Preferred/Minimum"});
    row("horizontalLayout", "", 6, styleMargins, {"LblPort", "~64x20 Minimum/Minimum"});
    row("verticalLayout_2", "", 3, styleMargins, {"edServerAddress", "horizontalLayout_14"});
    row("horizontalLayout_14", "", 6, styleMargins,
        {"edServerPort", "~13x20 Minimum/Minimum", "lbPeriod", "spinBoxPeriod", "lbSeconds",
            "~40x20 Expanding/Minimum"});
    row("horizontalLayout_2", "", 0, styleMargins,
        {"cbAutoClose", "spinBoxClose", "~4x20 Minimum/Minimum", "lbMinutes", "~17x20 Expanding/Minimum"});
    row("horizontalLayout_16", "", 3, styleMargins, {"verticalLayout_15", "verticalLayout_16"});
    row("verticalLayout_15", "", 3, styleMargins, {"horizontalLayout_3", "horizontalLayout_4"});
    row("horizontalLayout_3", "", 6, styleMargins, {"label_4", "~20x20 Preferred/Minimum"});
    row("horizontalLayout_4", "", 6, styleMargins, {"label_5", "~13x20 Preferred/Minimum"});
    row("verticalLayout_16", "", 3, styleMargins, {"edLogin", "edPassword"});

    row("verticalLayout", "tabConfigHosts", 1, {3, 3, 3, 3},
        {"label_3", "horizontalLayout_8", "listHosts", "horizontalLayout_7"});
    row("horizontalLayout_8", "", 6, styleMargins, {"rbAllExceptSpecifedHosts", "rbOnlyListedHosts"});
    row("horizontalLayout_7", "", 6, styleMargins, {"edAddHost", "btnAddHost", "btnDelHost"});

    row("verticalLayout_5", "tabConfigServices", 1, {3, 3, 3, 3},
        {"label_7", "horizontalLayout_10", "listServices", "horizontalLayout_9"});
    row("horizontalLayout_10", "", 6, styleMargins, {"rbAllExceptSpecifedSrvcs", "rbOnlyListedSrvcs"});
    row("horizontalLayout_9", "", 6, styleMargins, {"edAddService", "btnAddService", "btnDelService"});

    row("verticalLayout_8", "tabConfigRegExp", 0, {3, 3, 3, 3},
        {"rbBaseRegExpConfig", "frameBasicRegExpConf", "rbExpertRegExpConfig", "frameExpertRegExpConf",
            "~20x40 Minimum/Expanding"});
    row("horizontalLayout_13", "frameBasicRegExpConf", 0, {2, 2, 2, 2},
        {"verticalLayout_12", "line_4", "verticalLayout_13"});
    row("verticalLayout_12", "", 0, styleMargins,
        {"label_16", "cbHostDownStat", "cbHostUnreachStat", "~20x40 Minimum/MinimumExpanding"});
    row("verticalLayout_13", "", 0, styleMargins,
        {"label_17", "cbServiceCritStat", "cbServiceWarnStat", "cbServiceUnknownStat",
            "~20x40 Minimum/Expanding"});
    row("verticalLayout_7", "frameExpertRegExpConf", 0, {2, 2, 2, 3},
        {"cbHostsRegExp", "edHostsRegExp", "label_8", "horizontalLayout_11", "cbSrvcsRegExp", "edSrvcsRegExp",
            "label_15", "horizontalLayout_12"});
    row("horizontalLayout_11", "", 8, styleMargins,
        {"label_9", "edHostStatRxPos", "label_11", "edHostLinkRxPos", "label_10", "edHostNameRxPos",
            "~180x20 MinimumExpanding/Minimum"});
    row("horizontalLayout_12", "", 8, styleMargins,
        {"label_14", "edSrvStatRxPos", "label_12", "edSrvLinkRxPos", "label_13", "edSrvNameRxPos",
            "~180x20 MinimumExpanding/Minimum"});

    row("verticalLayout_9", "tabMisc", 0, {3, 2, 3, 3},
        {"cbEnableHosts", "cbShowHosts", "cbEnableSrvcs", "cbShowSrvcs", "~20x3 Minimum/Maximum", "line_3",
            "cbPopupsStayOnTop", "cbUseTrayMessages", "cbOpenUrlFromTray", "cbFlashInTray", "cbDisableSounds",
            "cbDisableLocalization", "grBoxTrayClick", "grBoxSsl", "~0x14 Minimum/MinimumExpanding"});
    row("verticalLayout_11", "grBoxTrayClick", 0, {3, 0, 3, 0},
        {"rbHostsAndSrvcsOnLMK", "rbHostOnLMK", "rbSrvcsOnLMK"});
    row("verticalLayout_10", "grBoxSsl", 0, {3, 2, 3, 2}, {"rbDenyInvalidCert", "rbAllowInvalidCert"});
}

static QString policyName(QSizePolicy::Policy policy)
{
    switch (policy) {
    case QSizePolicy::Fixed:
        return QStringLiteral("Fixed");
    case QSizePolicy::Minimum:
        return QStringLiteral("Minimum");
    case QSizePolicy::Maximum:
        return QStringLiteral("Maximum");
    case QSizePolicy::Preferred:
        return QStringLiteral("Preferred");
    case QSizePolicy::MinimumExpanding:
        return QStringLiteral("MinimumExpanding");
    case QSizePolicy::Expanding:
        return QStringLiteral("Expanding");
    case QSizePolicy::Ignored:
        return QStringLiteral("Ignored");
    }
    return QString::number(policy);
}

void TestConfigForm::layouts()
{
    QFETCH(QString, name);
    QFETCH(QString, owner);
    QFETCH(int, spacing);
    QFETCH(QList<int>, margins);
    QFETCH(QStringList, items);

    auto* layout = m_window->findChild<QLayout*>(name);
    QVERIFY2(layout, qPrintable(QStringLiteral("no layout named %1").arg(name)));
    if (!owner.isEmpty()) {
        const QWidget* ownerWidget = owner == m_window->objectName() ? m_window.get() : child(owner);
        QVERIFY2(ownerWidget, qPrintable(owner));
        QCOMPARE(ownerWidget->layout(), layout);
    } else {
        QVERIFY2(
            !layout->parentWidget() || layout->parentWidget()->layout() != layout, "expected a sub-layout");
    }
    QCOMPARE(layout->spacing(), spacing);

    // Only the margins the form sets are compared; the rest follow the style.
    int left = 0, top = 0, right = 0, bottom = 0;
    layout->getContentsMargins(&left, &top, &right, &bottom);
    const int actualMargins[] = {left, top, right, bottom};
    for (int i = 0; i < 4; ++i) {
        if (margins.at(i) >= 0)
            QCOMPARE(actualMargins[i], margins.at(i));
    }

    QStringList actualItems;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget()) {
            actualItems << item->widget()->objectName();
        } else if (item->layout()) {
            actualItems << item->layout()->objectName();
        } else if (QSpacerItem* spacer = item->spacerItem()) {
            const QSize hint = spacer->sizeHint();
            const QSizePolicy policy = spacer->sizePolicy();
            actualItems << QStringLiteral("~%1x%2 %3/%4")
                               .arg(hint.width())
                               .arg(hint.height())
                               .arg(policyName(policy.horizontalPolicy()),
                                   policyName(policy.verticalPolicy()));
        }
    }
    QCOMPARE(actualItems, items);

    if (name == QLatin1String("verticalLayout_3"))
        QCOMPARE(layout->sizeConstraint(), QLayout::SetMinimumSize);
    else
        QCOMPARE(layout->sizeConstraint(), QLayout::SetDefaultConstraint);
}

void TestConfigForm::tabOrder()
{
    const QStringList expected {
        QStringLiteral("btnSave"),
        QStringLiteral("btnCancel"),
        QStringLiteral("rbAllExceptSpecifedHosts"),
        QStringLiteral("rbOnlyListedHosts"),
        QStringLiteral("listHosts"),
        QStringLiteral("edAddHost"),
        QStringLiteral("btnAddHost"),
        QStringLiteral("btnDelHost"),
        QStringLiteral("rbAllExceptSpecifedSrvcs"),
        QStringLiteral("rbOnlyListedSrvcs"),
        QStringLiteral("listServices"),
        QStringLiteral("edAddService"),
        QStringLiteral("btnAddService"),
        QStringLiteral("btnDelService"),
        QStringLiteral("cbEnableHosts"),
        QStringLiteral("cbShowHosts"),
        QStringLiteral("cbEnableSrvcs"),
        QStringLiteral("cbShowSrvcs"),
        QStringLiteral("tabConfig"),
        QStringLiteral("cbUseTrayMessages"),
        QStringLiteral("cbDisableSounds"),
    };
    for (const QString& name : expected)
        QVERIFY2(child(name), qPrintable(QStringLiteral("no widget named %1").arg(name)));

    // One full turn of the focus chain from btnSave; Qt's inner children of compound widgets sit between
    // the named ones, so only the named ones are compared.
    QStringList visited;
    QWidget* w = child(expected.first());
    do {
        if (expected.contains(w->objectName()))
            visited << w->objectName();
        w = w->nextInFocusChain();
    } while (w != child(expected.first()));
    QCOMPARE(visited, expected);
}

void TestConfigForm::explicitLeftToRight_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("lbSeconds") << "lbSeconds";
    QTest::newRow("lbMinutes") << "lbMinutes";
}

// The unit labels stay left-to-right even in a right-to-left application.
void TestConfigForm::explicitLeftToRight()
{
    QFETCH(QString, name);
    QApplication::setLayoutDirection(Qt::RightToLeft);
    Ui::TarvixClass ui;
    QWidget window;
    ui.setupUi(&window);
    const auto* label = window.findChild<QLabel*>(name);
    QVERIFY(label);
    QCOMPARE(label->layoutDirection(), Qt::LeftToRight);
    QCOMPARE(window.findChild<QWidget*>(QStringLiteral("lbPeriod"))->layoutDirection(), Qt::RightToLeft);
}

void TestConfigForm::enablingConnections_data()
{
    QTest::addColumn<QString>("toggler");
    QTest::addColumn<QString>("partner");
    QTest::addColumn<QStringList>("enabledWhenChecked");
    QTest::addColumn<QStringList>("disabledWhenChecked");

    // partner: the radio button whose selection unchecks the toggler; empty for check boxes.
    auto row = [](const char* rowName, const char* toggler, const char* partner, const QStringList& enables,
                   const QStringList& disables) {
        QTest::newRow(rowName) << QString::fromLatin1(toggler) << QString::fromLatin1(partner) << enables
                               << disables;
    };
    row("HTTP authentication enables login and password", "cbUseHTTPAuth", "", {"edLogin", "edPassword"}, {});
    row("tray messages enable open-url and disable stay-on-top", "cbUseTrayMessages", "",
        {"cbOpenUrlFromTray"}, {"cbPopupsStayOnTop"});
    row("auto close enables its spin box", "cbAutoClose", "", {"spinBoxClose"}, {});
    row("exec dir enables its edit", "cbExecDir", "", {"edExecDir"}, {});
    row("hosts request enables its edit", "cbHostsRequest", "", {"edHostsRequest"}, {});
    row("services request enables its edit", "cbServicesRequest", "", {"edServicesRequest"}, {});
    row("hosts monitoring enables its messages", "cbEnableHosts", "", {"cbShowHosts"}, {});
    row("services monitoring enables its messages", "cbEnableSrvcs", "", {"cbShowSrvcs"}, {});
    row("hosts expression enables expression and positions", "cbHostsRegExp", "",
        {"edHostsRegExp", "edHostStatRxPos", "edHostLinkRxPos", "edHostNameRxPos"}, {});
    row("services expression enables expression and positions", "cbSrvcsRegExp", "",
        {"edSrvcsRegExp", "edSrvStatRxPos", "edSrvLinkRxPos", "edSrvNameRxPos"}, {});
    row("advanced configuration enables its frame only", "rbExpertRegExpConfig", "rbBaseRegExpConfig",
        {"frameExpertRegExpConf"}, {"frameBasicRegExpConf"});
    row("basic configuration enables its frame only", "rbBaseRegExpConfig", "rbExpertRegExpConfig",
        {"frameBasicRegExpConf"}, {"frameExpertRegExpConf"});

    // The main object wires these; the form itself must leave every other widget alone.
    for (const char* name :
        {"cbUseHttps", "cbShowHosts", "cbShowSrvcs", "cbPopupsStayOnTop", "cbOpenUrlFromTray",
            "cbFlashInTray", "cbDisableSounds", "cbDisableLocalization", "cbHostDownStat",
            "cbHostUnreachStat", "cbServiceCritStat", "cbServiceWarnStat", "cbServiceUnknownStat"})
        QTest::addRow("%s changes nothing", name)
            << QString::fromLatin1(name) << QString() << QStringList() << QStringList();
    QTest::newRow("only listed hosts changes nothing")
        << "rbOnlyListedHosts"
        << "rbAllExceptSpecifedHosts" << QStringList() << QStringList();
    QTest::newRow("only listed services changes nothing")
        << "rbOnlyListedSrvcs"
        << "rbAllExceptSpecifedSrvcs" << QStringList() << QStringList();
    QTest::newRow("tray click choice changes nothing") << "rbHostOnLMK"
                                                       << "rbSrvcsOnLMK" << QStringList() << QStringList();
    QTest::newRow("certificate choice changes nothing")
        << "rbAllowInvalidCert"
        << "rbDenyInvalidCert" << QStringList() << QStringList();
}

void TestConfigForm::enablingConnections()
{
    QFETCH(QString, toggler);
    QFETCH(QString, partner);
    QFETCH(QStringList, enabledWhenChecked);
    QFETCH(QStringList, disabledWhenChecked);

    auto* button = child<QAbstractButton>(toggler);
    QVERIFY2(button, qPrintable(QStringLiteral("no button named %1").arg(toggler)));
    auto* partnerButton = partner.isEmpty() ? nullptr : child<QAbstractButton>(partner);
    QVERIFY(partner.isEmpty() || partnerButton);
    for (const QString& name : enabledWhenChecked + disabledWhenChecked)
        QVERIFY2(child(name), qPrintable(QStringLiteral("no widget named %1").arg(name)));

    const QHash<QString, bool> initial = explicitlyDisabled();
    auto setChecked = [&](bool checked) {
        if (checked || !partnerButton)
            button->setChecked(checked);
        else
            partnerButton->setChecked(true);
    };

    // Checked, unchecked, checked, unchecked: the first step only leaves the form's initial state, after
    // which each target must follow the toggler both ways.
    const bool steps[] = {true, false, true, false};
    for (int step = 0; step < 4; ++step) {
        const bool checked = steps[step];
        setChecked(checked);
        QCOMPARE(button->isChecked(), checked);
        const QHash<QString, bool> now = explicitlyDisabled();
        for (auto it = now.cbegin(); it != now.cend(); ++it) {
            const QString& name = it.key();
            const bool disabled = it.value();
            if (enabledWhenChecked.contains(name)) {
                if (step > 0)
                    QVERIFY2(disabled == !checked, qPrintable(name));
            } else if (disabledWhenChecked.contains(name)) {
                if (step > 0)
                    QVERIFY2(disabled == checked, qPrintable(name));
            } else {
                QVERIFY2(disabled == initial.value(name), qPrintable(QStringLiteral("%1 changed").arg(name)));
            }
        }
    }
}

void TestConfigForm::returnClicksAddButton_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("otherButton");

    QTest::newRow("host") << "edAddHost"
                          << "btnAddHost"
                          << "btnAddService";
    QTest::newRow("service") << "edAddService"
                             << "btnAddService"
                             << "btnAddHost";
}

void TestConfigForm::returnClicksAddButton()
{
    QFETCH(QString, edit);
    QFETCH(QString, button);
    QFETCH(QString, otherButton);

    auto* lineEdit = child<QLineEdit>(edit);
    auto* addButton = child<QPushButton>(button);
    auto* other = child<QPushButton>(otherButton);
    QVERIFY(lineEdit && addButton && other);
    QSignalSpy clicked(addButton, &QPushButton::clicked);
    QSignalSpy otherClicked(other, &QPushButton::clicked);
    QSignalSpy saveClicked(m_ui.btnSave, &QPushButton::clicked);

    QTest::keyClicks(lineEdit, QStringLiteral("web1"));
    QTest::keyClick(lineEdit, Qt::Key_Return);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(otherClicked.count(), 0);
    QCOMPARE(saveClicked.count(), 0);
}

void TestConfigForm::deleteKeyClicksVisibleDeleteButton_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("otherButton");

    QTest::newRow("hosts page") << 1 << "btnDelHost"
                                << "btnDelService";
    QTest::newRow("services page") << 2 << "btnDelService"
                                   << "btnDelHost";
}

void TestConfigForm::deleteKeyClicksVisibleDeleteButton()
{
    QFETCH(int, tab);
    QFETCH(QString, button);
    QFETCH(QString, otherButton);

    auto* deleteButton = child<QPushButton>(button);
    auto* other = child<QPushButton>(otherButton);
    QVERIFY(deleteButton && other);
    QSignalSpy clicked(deleteButton, &QPushButton::clicked);
    QSignalSpy otherClicked(other, &QPushButton::clicked);

    m_ui.tabConfig->setCurrentIndex(tab);
    QVERIFY(showActive());
    QTest::keyClick(m_ui.tabConfig->tabBar(), Qt::Key_Delete);
    // A shortcut animates the click, which reports after a short delay.
    QTRY_COMPARE(clicked.count(), 1);
    QCOMPARE(otherClicked.count(), 0);
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
    if (auto* action = child<QAction>(trigger)) {
        action->trigger();
    } else {
        auto* button = child<QPushButton>(trigger);
        QVERIFY2(button, qPrintable(trigger));
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QCOMPARE(m_window->isHidden(), hides);
}

void TestConfigForm::textsFitWhenShown_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("tab");

    const char* tabNames[] = {"General", "Host Filtering", "Filtering Service", "Statuses", "Misc"};
    // English at the size the main object gives the window; at the minimum width three of the longest
    // English radio texts need a few pixels more than the specified 10 pt font leaves them.
    for (int tab = 0; tab < 5; ++tab)
        QTest::addRow("English at 507x370, %s", tabNames[tab]) << QString() << QSize(507, 370) << tab;
    for (int tab = 0; tab < 5; ++tab)
        QTest::addRow("Russian at minimum size, %s", tabNames[tab]) << "ru" << QSize(470, 367) << tab;
}

// Nothing in the layouts squeezes a label, check box or radio button below the width its text needs, and
// all tab titles are visible.
void TestConfigForm::textsFitWhenShown()
{
    QFETCH(QString, language);
    QFETCH(QSize, size);
    QFETCH(int, tab);

    QTranslator translator;
    if (!language.isEmpty()) {
        QVERIFY(translator.load(QStringLiteral(":/translators/TarvixLang_") + language));
        QVERIFY(QCoreApplication::installTranslator(&translator));
        m_ui.retranslateUi(m_window.get());
        QVERIFY(m_ui.btnSave->text() != QLatin1String("Save"));
    }
    auto uninstall = qScopeGuard([&translator] { QCoreApplication::removeTranslator(&translator); });

    m_window->resize(size);
    m_ui.tabConfig->setCurrentIndex(tab);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->size(), size);

    const QTabBar* bar = m_ui.tabConfig->tabBar();
    QVERIFY(bar->rect().contains(bar->tabRect(bar->count() - 1)));

    const auto children = m_ui.tabConfig->widget(tab)->findChildren<QWidget*>();
    int checked = 0;
    for (const QWidget* w : children) {
        if (!qobject_cast<const QLabel*>(w) && !qobject_cast<const QAbstractButton*>(w)
            && !qobject_cast<const QGroupBox*>(w))
            continue;
        ++checked;
        QVERIFY2(w->width() >= w->sizeHint().width(),
            qPrintable(QStringLiteral("%1 is %2 px wide, its text needs %3")
                           .arg(w->objectName())
                           .arg(w->width())
                           .arg(w->sizeHint().width())));
    }
    QVERIFY(checked > 0);
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The program runs with Fusion; its metrics decide whether the texts fit.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    TestConfigForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_configform.moc"
