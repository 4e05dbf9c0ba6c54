#include "notify/informationwindow.h"
#include "notify/popupplacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

namespace {

const QString hostUrl = QStringLiteral("http://nagios.example/cgi-bin/nagios4/extinfo.cgi?type=1&host=web01");

InformationWindow* openPopup(
    unsigned kind = 1, int autoCloseMinutes = 0, int x = 115, int y = 115, bool staysOnTop = false)
{
    return new InformationWindow(nullptr, kind, popupLinkText(hostUrl, QStringLiteral("web01")),
        QStringLiteral("DOWN"), autoCloseMinutes, x, y, staysOnTop);
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
    for (QWidget* window : windows) {
        if (qobject_cast<InformationWindow*>(window))
            ++count;
    }
    return count;
}

// The colour a widget is painted with, read from a pixel inside its own area.
QColor paintedColour(QWidget* window, QWidget* widget)
{
    const QImage image = window->grab().toImage();
    const QPoint inside = widget->mapTo(window, QPoint(1, 1));
    return image.pixelColor(inside);
}

} // namespace

// Receives the addresses that the desktop would open in the browser.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void openUrl(const QUrl& url) { opened.append(url); }
};

class TestInformationWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void colourAndLabelByKind_data();
    void colourAndLabelByKind();
    void showsStatusAndCreationTime();
    void windowFlags_data();
    void windowFlags();
    void placedWithoutResizing_data();
    void placedWithoutResizing();
    void autoCloseSetUp_data();
    void autoCloseSetUp();
    void uncheckingCancelsAutoCloseForGood();
    void closingDeletesThePopup_data();
    void closingDeletesThePopup();
    void manyPopupsLeaveNothingBehind();
    void linkShowsNameAndLeadsToPage_data();
    void linkShowsNameAndLeadsToPage();
    void clickingTheNameOpensThePage();
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
    QFETCH(QColor, colour);
    QFETCH(QString, objectLabel);

    InformationWindow* popup = openPopup(kind);
    QCOMPARE(child<QLabel>(popup, "lbObjectName")->text(), objectLabel);
    // The sheet colours the window and every widget on it.
    QCOMPARE(paintedColour(popup, popup), colour);
    QCOMPARE(paintedColour(popup, child<QLabel>(popup, "lbStatus")), colour);
    QCOMPARE(paintedColour(popup, child<QLabel>(popup, "lbHostLink")), colour);
}

void TestInformationWindow::showsStatusAndCreationTime()
{
    const QDateTime before = QDateTime::currentDateTime().addMSecs(-999);
    InformationWindow* popup = openPopup(3);
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(child<QLabel>(popup, "lbStatus")->text(), QStringLiteral("DOWN"));
    QCOMPARE(child<QLabel>(popup, "lbHostLink")->text(), popupLinkText(hostUrl, QStringLiteral("web01")));
    QCOMPARE(popup->windowTitle(), QStringLiteral("Tarvix: change of status"));

    const QString timeText = child<QLabel>(popup, "lbEventTime")->text();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d \\d\\d\\.\\d\\d\\.\\d{4}$"))
                 .match(timeText)
                 .hasMatch(),
        qPrintable(timeText));
    const QDateTime shown = QDateTime::fromString(timeText, QStringLiteral("hh:mm:ss dd.MM.yyyy"));
    QVERIFY(shown.isValid());
    QVERIFY2(shown >= before && shown <= after, qPrintable(timeText));
}

void TestInformationWindow::windowFlags_data()
{
    QTest::addColumn<bool>("staysOnTop");
    QTest::newRow("stays on top") << true;
    QTest::newRow("ordinary window") << false;
}

void TestInformationWindow::windowFlags()
{
    QFETCH(bool, staysOnTop);

    InformationWindow* popup = openPopup(1, 0, 115, 115, staysOnTop);
    const Qt::WindowFlags flags = popup->windowFlags();
    QVERIFY(popup->isWindow());
    QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QCOMPARE(flags.testFlag(Qt::WindowStaysOnTopHint), staysOnTop);
}

void TestInformationWindow::placedWithoutResizing_data()
{
    QTest::addColumn<QPoint>("position");
    QTest::newRow("first cascade place") << QPoint(115, 115);
    QTest::newRow("different x and y") << QPoint(400, 130);
    QTest::newRow("restarted x") << QPoint(100, 355);
}

void TestInformationWindow::placedWithoutResizing()
{
    QFETCH(QPoint, position);

    InformationWindow* popup = openPopup(1, 0, position.x(), position.y());
    QVERIFY(popup->isVisible());
    QCOMPARE(popup->geometry(), QRect(position, QSize(280, 121)));
    QCOMPARE(popup->minimumSize(), QSize(280, 121));
    QCOMPARE(popup->maximumSize(), QSize(280, 121));
}

void TestInformationWindow::autoCloseSetUp_data()
{
    QTest::addColumn<int>("minutes");
    QTest::addColumn<bool>("boxOn");
    QTest::addColumn<int>("interval");

    QTest::newRow("0: stays until closed") << 0 << false << 0;
    QTest::newRow("1 minute") << 1 << true << 60000;
    QTest::newRow("5 minutes") << 5 << true << 300000;
}

void TestInformationWindow::autoCloseSetUp()
{
    QFETCH(int, minutes);
    QFETCH(bool, boxOn);
    QFETCH(int, interval);

    InformationWindow* popup = openPopup(1, minutes);
    auto* box = child<QCheckBox>(popup, "cbAutoClose");
    QCOMPARE(box->isEnabled(), boxOn);
    QCOMPARE(box->isChecked(), boxOn);
    QTimer& timer = popup->autoCloseTimerForTest();
    QCOMPARE(timer.isActive(), boxOn);
    if (boxOn) {
        QVERIFY(timer.isSingleShot());
        QCOMPARE(timer.interval(), interval);
    }
}

void TestInformationWindow::uncheckingCancelsAutoCloseForGood()
{
    QPointer<InformationWindow> popup = openPopup(1, 5);
    auto* box = child<QCheckBox>(popup, "cbAutoClose");

    box->click();

    QVERIFY(!box->isChecked());
    QVERIFY(!box->isEnabled());
    QVERIFY(!popup->autoCloseTimerForTest().isActive());
    QTest::qWait(50);
    QVERIFY(!popup.isNull());
    QVERIFY(popup->isVisible());
}

void TestInformationWindow::closingDeletesThePopup_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Ok button") << QStringLiteral("button");
    QTest::newRow("close()") << QStringLiteral("close");
    QTest::newRow("auto-close timer") << QStringLiteral("timer");
}

void TestInformationWindow::closingDeletesThePopup()
{
    QFETCH(QString, how);

    QPointer<InformationWindow> popup = openPopup(0, 5);
    if (how == QLatin1String("button")) {
        QTest::mouseClick(child<QPushButton>(popup, "closeButton"), Qt::LeftButton);
    } else if (how == QLatin1String("close")) {
        QVERIFY(popup->close());
    } else {
        // Shorten the wait; the timer's own connection must close the popup.
        popup->autoCloseTimerForTest().start(1);
    }
    QTRY_VERIFY(popup.isNull());
}

void TestInformationWindow::manyPopupsLeaveNothingBehind()
{
    QList<QPointer<InformationWindow>> popups;
    for (int i = 0; i < 300; ++i)
        popups.append(openPopup(i % 4, i % 2 ? 5 : 0, 100 + i, 100 + i, i % 3 == 0));
    QCOMPARE(openPopupCount(), 300);

    for (const QPointer<InformationWindow>& popup : popups)
        popup->close();
    QTRY_COMPARE(openPopupCount(), 0);
    for (const QPointer<InformationWindow>& popup : popups)
        QVERIFY(popup.isNull());
}

void TestInformationWindow::linkShowsNameAndLeadsToPage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");

    QTest::newRow("host page") << QStringLiteral("web01") << hostUrl;
    QTest::newRow("service page with ampersands")
        << QStringLiteral("Current Load:web01")
        << QStringLiteral(
               "https://nagios.example/cgi-bin/extinfo.cgi?type=2&host=web01&service=Current+Load");
    QTest::newRow("markup in name shows as text") << QStringLiteral("<b>x</b> & <i>y</i>") << hostUrl;
    QTest::newRow("apostrophe in url")
        << QStringLiteral("o'brien") << QStringLiteral("http://n/x?host=o'brien");
    QTest::newRow("markup in url") << QStringLiteral("web01") << QStringLiteral("http://n/x'><b>y</b>");
}

// Read as the label reads it: the name verbatim as text, one link to the object's page.
void TestInformationWindow::linkShowsNameAndLeadsToPage()
{
    QFETCH(QString, name);
    QFETCH(QString, url);

    auto* popup = new InformationWindow(
        nullptr, 3, popupLinkText(url, name), QStringLiteral("CRITICAL"), 0, 115, 115, false);
    auto* link = child<QLabel>(popup, "lbHostLink");
    QVERIFY(link->textFormat() != Qt::PlainText);

    QTextDocument shown;
    shown.setHtml(link->text());
    QCOMPARE(shown.toPlainText(), name);
    const QTextBlock block = shown.firstBlock();
    QStringList anchors;
    for (auto it = block.begin(); !it.atEnd(); ++it)
        anchors.append(it.fragment().charFormat().anchorHref());
    anchors.removeDuplicates();
    QCOMPARE(anchors.size(), 1);
    // The server reads a percent-encoded character as the character itself.
    QCOMPARE(QUrl::fromPercentEncoding(anchors.first().toUtf8()), QUrl::fromPercentEncoding(url.toUtf8()));
}

void TestInformationWindow::clickingTheNameOpensThePage()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &recorder, "openUrl");

    QPointer<InformationWindow> popup = openPopup(1);
    QVERIFY(QTest::qWaitForWindowExposed(popup));
    auto* link = child<QLabel>(popup, "lbHostLink");
    const QPoint centre = link->rect().center();
    QTest::mouseMove(link, centre);
    QTest::mousePress(link, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseRelease(link, Qt::LeftButton, Qt::NoModifier, centre);

    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(recorder.opened, QList<QUrl> {QUrl(hostUrl)});
    QTest::qWait(20);
    QVERIFY(!popup.isNull());
    QVERIFY(popup->isVisible());
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
