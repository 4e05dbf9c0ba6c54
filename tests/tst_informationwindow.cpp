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

namespace {

InformationWindow* openPopup(ChangeEventKind kind, int autoCloseMinutes = 0, bool staysOnTop = false)
{
    return new InformationWindow(nullptr, kind,
        popupLinkText(QStringLiteral("http://nagios.example/cgi-bin/extinfo.cgi?type=1&host=web01"),
            QStringLiteral("web01")),
        QStringLiteral("DOWN"), autoCloseMinutes, 115, 115, staysOnTop);
}

template <typename T> T* child(QWidget* window, const char* name)
{
    auto* widget = window->findChild<T*>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

} // namespace

// The popup of one status change and the acknowledgement dialog.
class TestInformationWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qDeleteAll(QApplication::topLevelWidgets()); }
    void byKind_data();
    void byKind();
    void closing_data();
    void closing();
    void commandStates_data();
    void commandStates();
    void details_data();
    void details();
    void acknowledgeDialog_data();
    void acknowledgeDialog();
};

void TestInformationWindow::byKind_data()
{
    QTest::addColumn<unsigned>("kind");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QString>("objectLabel");
    QTest::addColumn<bool>("staysOnTop");

    const QColor limeGreen(50, 205, 50);
    QTest::newRow("host recovered: green, no commands") << 0u << limeGreen << " Hostname:" << true;
    QTest::newRow("host problem: red, commands") << 1u << QColor(Qt::red) << " Hostname:" << false;
    QTest::newRow("service recovered: green, no commands") << 2u << limeGreen << " Name of service:" << false;
    QTest::newRow("service problem: red, commands") << 3u << QColor(Qt::red) << " Name of service:" << true;
}

void TestInformationWindow::byKind()
{
    QFETCH(unsigned, kind);
    QFETCH(QColor, colour);
    QFETCH(QString, objectLabel);
    QFETCH(bool, staysOnTop);

    InformationWindow* popup = openPopup(ChangeEventKind(kind), 5, staysOnTop);
    QCOMPARE(popup->windowFlags().testFlag(Qt::WindowStaysOnTopHint), staysOnTop);
    QCOMPARE(child<QLabel>(popup, "lbObjectName")->text(), objectLabel);
    // The window and the widgets on it are painted in the kind's colour.
    const QImage image = popup->grab().toImage();
    QCOMPARE(image.pixelColor(1, 1), colour);
    QCOMPARE(image.pixelColor(child<QLabel>(popup, "lbStatus")->mapTo(popup, QPoint(1, 1))), colour);

    popup->offerCommands();
    auto* acknowledge = popup->findChild<QPushButton*>(QStringLiteral("btnAcknowledge"));
    QCOMPARE(acknowledge != nullptr, isProblem(ChangeEventKind(kind)));
    if (!acknowledge)
        return;
    QSignalSpy acknowledgeRequested(popup, &InformationWindow::acknowledgeRequested);
    QSignalSpy recheckRequested(popup, &InformationWindow::recheckRequested);
    QTest::mouseClick(acknowledge, Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(popup, "btnRecheck"), Qt::LeftButton);
    QCOMPARE(acknowledgeRequested.size(), 1);
    QCOMPARE(recheckRequested.size(), 1);
}

void TestInformationWindow::closing_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QString>("action");

    QTest::newRow("without a time: stays, Ok closes and frees it") << 0 << "ok";
    QTest::newRow("after 5 minutes it closes itself") << 5 << "timer";
    QTest::newRow("unchecking the box cancels that for good") << 5 << "uncheck";
}

void TestInformationWindow::closing()
{
    QFETCH(int, minutes);
    QFETCH(QString, action);

    QPointer<InformationWindow> popup = openPopup(HostRecovered, minutes);
    auto* box = child<QCheckBox>(popup, "cbAutoClose");
    QTimer& timer = popup->autoCloseTimerForTest();
    QCOMPARE(box->isEnabled() && box->isChecked(), minutes > 0);
    QCOMPARE(timer.isActive() ? timer.interval() : 0, minutes * 60000);
    if (action == QLatin1String("uncheck")) {
        box->click();
        QVERIFY(!box->isChecked() && !box->isEnabled() && !timer.isActive());
        return;
    }
    if (action == QLatin1String("ok"))
        QTest::mouseClick(child<QPushButton>(popup, "closeButton"), Qt::LeftButton);
    else
        timer.start(1); // the timer's own connection must close it
    QTRY_VERIFY(popup.isNull());
}

void TestInformationWindow::commandStates_data()
{
    QTest::addColumn<int>("step"); // 0 running, 1 submitted, 2 failed
    QTest::addColumn<bool>("acknowledge");
    QTest::addColumn<QString>("buttons");
    QTest::addColumn<QString>("state");
    QTest::newRow("acknowledgement under way: buttons wait") << 0 << true << "waiting"
                                                             << "Sending the acknowledgement…";
    QTest::newRow("recheck under way: buttons wait") << 0 << false << "waiting"
                                                     << "Asking for a recheck…";
    QTest::newRow("acknowledged: the text replaces the buttons") << 1 << true << "gone"
                                                                 << "Acknowledged";
    QTest::newRow("recheck requested: the buttons stay") << 1 << false << "ready"
                                                         << "Recheck requested";
    QTest::newRow("refused: the reason, buttons again")
        << 2 << true << "ready"
        << "Sorry, but you are not authorized to commit the specified command.";
}

void TestInformationWindow::commandStates()
{
    QFETCH(int, step);
    QFETCH(bool, acknowledge);
    QFETCH(QString, buttons);
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
        QCOMPARE(QLatin1String(!button->isVisibleTo(popup) ? "gone"
                         : button->isEnabled()             ? "ready"
                                                           : "waiting"),
            buttons);
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

void TestInformationWindow::details_data()
{
    QTest::addColumn<bool>("commands");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("duration");
    const QString longOutput = QStringLiteral("HTTP CRITICAL - Socket timeout after 10 seconds while "
                                              "connecting to web01.example.org port 443 over IPv6");
    QTest::newRow("output and duration, with commands") << true << longOutput << "since 10:41, 2 h 5 min";
    QTest::newRow("output only") << true << "PING CRITICAL - Packet loss = 100%"
                                 << "";
    QTest::newRow("duration only, without commands") << false << ""
                                                     << "since 10:41, 5 min";
    QTest::newRow("nothing: no line") << true << ""
                                      << "";
}

// The lines under the status take room of their own: nothing of the popup lies over another.
void TestInformationWindow::details()
{
    QFETCH(bool, commands);
    QFETCH(QString, output);
    QFETCH(QString, duration);
    InformationWindow* popup = openPopup(HostProblem);
    const int plainHeight = popup->height();
    popup->showDetails(output, duration);
    if (commands)
        popup->offerCommands();
    QTest::qWait(0);

    auto* details = popup->findChild<QLabel*>(QStringLiteral("lbDetails"));
    QCOMPARE(details != nullptr, !output.isEmpty() || !duration.isEmpty());
    if (!details) {
        QCOMPARE(popup->height(), plainHeight);
        return;
    }
    QVERIFY(popup->height() > plainHeight);
    QCOMPARE(details->toolTip(), QStringList({output, duration}).join(QLatin1Char('\n')).trimmed());
    QVERIFY(details->text().contains(duration));
    QList<QWidget*> shown {details, child<QLabel>(popup, "lbStatus"), child<QLabel>(popup, "lbEventTime"),
        child<QLabel>(popup, "lbHostLink"), child<QPushButton>(popup, "closeButton")};
    for (qsizetype a = 0; a < shown.size(); ++a) {
        const QRect place(shown[a]->mapTo(popup, QPoint()), shown[a]->size());
        QVERIFY2(popup->rect().contains(place), shown[a]->objectName().toLatin1());
        for (qsizetype b = a + 1; b < shown.size(); ++b) {
            const QRect other(shown[b]->mapTo(popup, QPoint()), shown[b]->size());
            QVERIFY2(!place.intersects(other),
                qPrintable(shown[a]->objectName() + QStringLiteral(" over ") + shown[b]->objectName()));
        }
    }
    const QString firstLine = details->text().section(QLatin1Char('\n'), 0, 0);
    QVERIFY(QFontMetrics(details->font()).horizontalAdvance(firstLine) <= details->contentsRect().width());
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
