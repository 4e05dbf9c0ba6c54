#include "notify/informationwindow.h"
#include "notify/popupplacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>

namespace {

const QString hostUrl = QStringLiteral("http://nagios.example/cgi-bin/nagios4/extinfo.cgi?type=1&host=web01");

InformationWindow* openPopup(ChangeEventKind kind = HostProblem, int autoCloseMinutes = 0,
    bool staysOnTop = false, const QString& name = QStringLiteral("web01"))
{
    return new InformationWindow(nullptr, kind, popupLinkText(hostUrl, name), QStringLiteral("DOWN"),
        autoCloseMinutes, 115, 115, staysOnTop);
}

template <typename T> T* child(QWidget* window, const char* name)
{
    auto* widget = window->findChild<T*>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

int openPopupCount()
{
    int count = 0;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        count += qobject_cast<InformationWindow*>(window) ? 1 : 0;
    return count;
}

} // namespace

class TestInformationWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void colourAndLabelByKind_data();
    void colourAndLabelByKind();
    void staysOnTopFlag();
    void autoCloseSetUp_data();
    void autoCloseSetUp();
    void uncheckingCancelsAutoCloseForGood();
    void closingDeletesThePopup_data();
    void closingDeletesThePopup();
    void manyPopupsLeaveNothingBehind();
    void markupInNameShowsAsText();
};

void TestInformationWindow::cleanup()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (qobject_cast<InformationWindow*>(window))
            delete window;
    }
}

void TestInformationWindow::colourAndLabelByKind_data()
{
    QTest::addColumn<unsigned>("kind");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QString>("objectLabel");

    const QColor red(Qt::red);
    const QColor limeGreen(50, 205, 50);
    QTest::newRow("host recovered: green, host") << 0u << limeGreen << QStringLiteral(" Hostname:");
    QTest::newRow("host problem: red, host") << 1u << red << QStringLiteral(" Hostname:");
    QTest::newRow("service recovered: green, service")
        << 2u << limeGreen << QStringLiteral(" Name of service:");
    QTest::newRow("service problem: red, service") << 3u << red << QStringLiteral(" Name of service:");
}

void TestInformationWindow::colourAndLabelByKind()
{
    QFETCH(unsigned, kind);
    const auto eventKind = ChangeEventKind(kind);
    QFETCH(QColor, colour);
    QFETCH(QString, objectLabel);

    InformationWindow* popup = openPopup(eventKind);
    QCOMPARE(child<QLabel>(popup, "lbObjectName")->text(), objectLabel);
    // The window and the widgets on it are painted in the kind's colour.
    const QImage image = popup->grab().toImage();
    QCOMPARE(image.pixelColor(1, 1), colour);
    auto* status = child<QLabel>(popup, "lbStatus");
    QCOMPARE(image.pixelColor(status->mapTo(popup, QPoint(1, 1))), colour);
}

void TestInformationWindow::staysOnTopFlag()
{
    QVERIFY(openPopup(HostProblem, 0, true)->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!openPopup(HostProblem, 0, false)->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

void TestInformationWindow::autoCloseSetUp_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<bool>("boxOn");

    QTest::newRow("0: stays until closed") << 0 << false;
    QTest::newRow("5 minutes") << 5 << true;
}

void TestInformationWindow::autoCloseSetUp()
{
    QFETCH(int, minutes);
    QFETCH(bool, boxOn);

    InformationWindow* popup = openPopup(HostProblem, minutes);
    auto* box = child<QCheckBox>(popup, "cbAutoClose");
    QCOMPARE(box->isEnabled(), boxOn);
    QCOMPARE(box->isChecked(), boxOn);
    QTimer& timer = popup->autoCloseTimerForTest();
    QCOMPARE(timer.isActive(), boxOn);
    if (boxOn) {
        QVERIFY(timer.isSingleShot());
        QCOMPARE(timer.interval(), 300000);
    }
}

void TestInformationWindow::uncheckingCancelsAutoCloseForGood()
{
    InformationWindow* popup = openPopup(HostProblem, 5);
    auto* box = child<QCheckBox>(popup, "cbAutoClose");

    box->click();

    QVERIFY(!box->isChecked());
    QVERIFY(!box->isEnabled());
    QVERIFY(!popup->autoCloseTimerForTest().isActive());
}

void TestInformationWindow::closingDeletesThePopup_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Ok button") << QStringLiteral("button");
    QTest::newRow("auto-close timer") << QStringLiteral("timer");
}

void TestInformationWindow::closingDeletesThePopup()
{
    QFETCH(QString, how);

    QPointer<InformationWindow> popup = openPopup(HostRecovered, 5);
    if (how == QLatin1String("button"))
        QTest::mouseClick(child<QPushButton>(popup, "closeButton"), Qt::LeftButton);
    else
        popup->autoCloseTimerForTest().start(1); // the timer's own connection must close it
    QTRY_VERIFY(popup.isNull());
}

void TestInformationWindow::manyPopupsLeaveNothingBehind()
{
    for (int i = 0; i < 200; ++i)
        openPopup(ChangeEventKind(i % 4), i % 2 ? 5 : 0, i % 3 == 0);
    QCOMPARE(openPopupCount(), 200);

    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (qobject_cast<InformationWindow*>(window))
            window->close();
    }
    QTRY_COMPARE(openPopupCount(), 0);
}

void TestInformationWindow::markupInNameShowsAsText()
{
    const QString name = QStringLiteral("<b>x</b> & <i>y</i>");
    InformationWindow* popup = openPopup(ServiceProblem, 0, false, name);
    QTextDocument shown;
    shown.setHtml(child<QLabel>(popup, "lbHostLink")->text());
    QCOMPARE(shown.toPlainText(), name);
}

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestInformationWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_informationwindow.moc"
