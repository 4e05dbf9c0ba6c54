#include "notify/acknowledgedialog.h"
#include "notify/informationwindow.h"
#include "notify/popupplacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
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

// Every widget of the popup with its place and whether it shows.
QStringList layoutOf(QWidget* popup)
{
    QStringList widgets;
    const QList<QWidget*> children = popup->findChildren<QWidget*>();
    for (const QWidget* w : children)
        widgets << QStringLiteral("%1 %2,%3 %4x%5 %6")
                       .arg(w->objectName())
                       .arg(w->x())
                       .arg(w->y())
                       .arg(w->width())
                       .arg(w->height())
                       .arg(w->isVisibleTo(popup));
    return widgets;
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
    void commandsOnlyOnProblems_data();
    void commandsOnlyOnProblems();
    void commandStates_data();
    void commandStates();
    void acknowledgeDialog_data();
    void acknowledgeDialog();
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

void TestInformationWindow::commandsOnlyOnProblems_data()
{
    QTest::addColumn<unsigned>("kind");
    QTest::addColumn<bool>("offered");
    QTest::newRow("host recovered: as the form lays it out") << 0u << false;
    QTest::newRow("host problem: buttons") << 1u << true;
    QTest::newRow("service recovered: as the form lays it out") << 2u << false;
    QTest::newRow("service problem: buttons") << 3u << true;
}

void TestInformationWindow::commandsOnlyOnProblems()
{
    QFETCH(unsigned, kind);
    QFETCH(bool, offered);
    InformationWindow* plain = openPopup(ChangeEventKind(kind), 5);
    InformationWindow* popup = openPopup(ChangeEventKind(kind), 5);
    popup->offerCommands();
    QTest::qWait(0); // widgets added to a shown window would appear only now
    QCOMPARE(popup->size(), QSize(280, 121));
    if (!offered) {
        QCOMPARE(layoutOf(popup), layoutOf(plain));
        return;
    }
    QSignalSpy acknowledge(popup, &InformationWindow::acknowledgeRequested);
    QSignalSpy recheck(popup, &InformationWindow::recheckRequested);
    QTest::mouseClick(child<QPushButton>(popup, "btnAcknowledge"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(popup, "btnRecheck"), Qt::LeftButton);
    QCOMPARE(acknowledge.size(), 1);
    QCOMPARE(recheck.size(), 1);
}

void TestInformationWindow::commandStates_data()
{
    QTest::addColumn<int>("step"); // 0 running, 1 submitted, 2 failed
    QTest::addColumn<bool>("acknowledge");
    QTest::addColumn<bool>("buttonsShown");
    QTest::addColumn<bool>("buttonsEnabled");
    QTest::addColumn<QString>("state");
    const QString refusal
        = QStringLiteral("Sorry, but you are not authorized to commit the specified command.");
    QTest::newRow("acknowledgement under way: buttons wait")
        << 0 << true << true << false << QStringLiteral("Sending the acknowledgement…");
    QTest::newRow("recheck under way: buttons wait")
        << 0 << false << true << false << QStringLiteral("Asking for a recheck…");
    QTest::newRow("acknowledged: the text replaces the buttons")
        << 1 << true << false << false << QStringLiteral("Acknowledged");
    QTest::newRow("recheck requested: the buttons stay")
        << 1 << false << true << true << QStringLiteral("Recheck requested");
    QTest::newRow("refused: the reason, buttons again") << 2 << true << true << true << refusal;
}

void TestInformationWindow::commandStates()
{
    QFETCH(int, step);
    QFETCH(bool, acknowledge);
    QFETCH(bool, buttonsShown);
    QFETCH(bool, buttonsEnabled);
    QFETCH(QString, state);
    InformationWindow* popup = openPopup(ServiceProblem);
    popup->offerCommands();
    QTest::qWait(0);
    auto* ok = child<QPushButton>(popup, "closeButton");
    const QRect okPlace = ok->geometry();
    const auto command
        = acknowledge ? InformationWindow::Command::Acknowledge : InformationWindow::Command::Recheck;
    popup->showCommandRunning(command);
    if (step == 1)
        popup->showCommandSubmitted(command);
    else if (step == 2)
        popup->showCommandFailed(state);

    for (const char* name : {"btnAcknowledge", "btnRecheck"}) {
        auto* button = child<QPushButton>(popup, name);
        QCOMPARE(button->isVisibleTo(popup), buttonsShown);
        if (buttonsShown)
            QCOMPARE(button->isEnabled(), buttonsEnabled);
    }
    QCOMPARE(ok->geometry(), okPlace);
    QVERIFY(ok->isEnabled());
    // A sentence longer than the line is cut at its end, and whole in the tooltip.
    auto* shown = child<QLabel>(popup, "lbCommandState");
    QCOMPARE(shown->toolTip(), state);
    QVERIFY2(shown->text() == state
            || (shown->text().endsWith(QChar(0x2026)) && state.startsWith(shown->text().chopped(1))),
        qPrintable(shown->text()));
    QVERIFY(QFontMetrics(shown->font()).horizontalAdvance(shown->text()) <= shown->contentsRect().width());
}

void TestInformationWindow::acknowledgeDialog_data()
{
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QString>("typed"); // empty: as offered
    QTest::addColumn<QString>("comment"); // what is sent; empty: OK is off
    QTest::newRow("first time: the program's comment")
        << QString() << QString() << QStringLiteral("Acknowledged from Tarvix");
    QTest::newRow("the remembered comment")
        << QStringLiteral("Disk ordered") << QString() << QStringLiteral("Disk ordered");
    QTest::newRow("blanks only: Nagios refuses that, OK is off")
        << QStringLiteral("Disk ordered") << QStringLiteral("   ") << QString();
}

void TestInformationWindow::acknowledgeDialog()
{
    QFETCH(QString, remembered);
    QFETCH(QString, typed);
    QFETCH(QString, comment);
    AcknowledgeDialog dialog(
        nullptr, QStringLiteral("HTTP Check:web01"), QStringLiteral("CRITICAL"), remembered);
    if (!typed.isEmpty())
        child<QLineEdit>(&dialog, "edComment")->setText(typed);
    child<QCheckBox>(&dialog, "cbSendNotification")->click();
    child<QCheckBox>(&dialog, "cbPersistent")->click();
    const bool okOn
        = child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->isEnabled();
    QCOMPARE(okOn, !comment.isEmpty());
    const NagiosCommand::Acknowledgement ack = dialog.acknowledgement();
    if (okOn)
        QCOMPARE(ack.comment, comment);
    QCOMPARE(ack.sticky, true);
    QCOMPARE(ack.sendNotification, false);
    QCOMPARE(ack.persistentComment, true);
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
