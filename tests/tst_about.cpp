#include "app/about.h"
#include "app/version.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

template <typename T> T* child(QWidget* window, const char* name)
{
    auto* widget = window->findChild<T*>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

QStringList linkTargets(const QString& html)
{
    QTextDocument document;
    document.setHtml(html);
    QStringList targets;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString href = it.fragment().charFormat().anchorHref();
            if (!href.isEmpty() && !targets.contains(href))
                targets.append(href);
        }
    }
    return targets;
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void showsVersionAndReleaseDate();
    void constantsHaveTheirForm();
    void fixedSizeCentredFromScreenSize();
    void linksOpenInTheBrowser_data();
    void linksOpenInTheBrowser();
    void closingDeletesTheWindow_data();
    void closingDeletesTheWindow();
    void twoWindowsAreIndependent();
};

void TestAbout::cleanup()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (qobject_cast<About*>(window))
            delete window;
    }
}

void TestAbout::showsVersionAndReleaseDate()
{
    auto* about = new About(nullptr);
    QCOMPARE(child<QLabel>(about, "lbVersion")->text(), QStringLiteral("Tarvix v ") + tarvixVersion);
    QCOMPARE(child<QLabel>(about, "lbDate")->text(), QStringLiteral("Release date: ") + tarvixReleaseDate);
    QVERIFY(child<QLabel>(about, "lbAutor")->text().startsWith(QLatin1String("Author: ")));
    QCOMPARE(about->windowTitle(), QStringLiteral("About..."));
}

void TestAbout::constantsHaveTheirForm()
{
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+ \\(\\w+\\)$"))
                 .match(tarvixVersion)
                 .hasMatch(),
        qPrintable(tarvixVersion));
    QVERIFY(tarvixVersion.endsWith(QLatin1String("(Beta)")));
    QVERIFY2(QDate::fromString(tarvixReleaseDate, QStringLiteral("dd.MM.yyyy")).isValid(),
        qPrintable(tarvixReleaseDate));
}

void TestAbout::fixedSizeCentredFromScreenSize()
{
    auto* about = new About(nullptr);
    const QRect screenRect = about->screen()->geometry();
    QCOMPARE(about->size(), QSize(298, 102));
    QCOMPARE(about->minimumSize(), QSize(298, 102));
    QCOMPARE(about->maximumSize(), QSize(298, 102));
    // Halves truncate: 298 / 2 = 149, 102 / 2 = 51; the screen origin is not added.
    QCOMPARE(about->pos(), QPoint(screenRect.width() / 2 - 149, screenRect.height() / 2 - 51));

    const Qt::WindowFlags flags = about->windowFlags();
    QVERIFY(about->isWindow());
    QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!flags.testFlag(Qt::WindowStaysOnTopHint));

    about->show();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QCOMPARE(about->size(), QSize(298, 102));
}

void TestAbout::linksOpenInTheBrowser_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("target");
    QTest::newRow("monitoring system")
        << QStringLiteral("lbAbout") << QStringLiteral("https://www.nagios.org/");
    QTest::newRow("project page") << QStringLiteral("lbHomePage")
                                  << QStringLiteral("https://github.com/kelmora/tarvix#readme");
}

void TestAbout::linksOpenInTheBrowser()
{
    QFETCH(QString, label);
    QFETCH(QString, target);

    auto* about = new About(nullptr);
    auto* link = about->findChild<QLabel*>(label);
    QVERIFY(link);
    QVERIFY(link->openExternalLinks());
    QCOMPARE(linkTargets(link->text()), QStringList {target});
}

void TestAbout::closingDeletesTheWindow_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("Close button") << true;
    QTest::newRow("window manager") << false;
}

void TestAbout::closingDeletesTheWindow()
{
    QFETCH(bool, byButton);

    QPointer<About> about = new About(nullptr);
    about->show();
    if (byButton)
        QTest::mouseClick(child<QPushButton>(about, "btnClose"), Qt::LeftButton);
    else
        QVERIFY(about->close());
    QTRY_VERIFY(about.isNull());
}

void TestAbout::twoWindowsAreIndependent()
{
    QPointer<About> first = new About(nullptr);
    QPointer<About> second = new About(nullptr);
    first->show();
    second->show();
    QVERIFY(first != second);
    QCOMPARE(first->pos(), second->pos());

    QTest::mouseClick(child<QPushButton>(first, "btnClose"), Qt::LeftButton);
    QTRY_VERIFY(first.isNull());
    QVERIFY(!second.isNull());
    QVERIFY(second->isVisible());
}

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestAbout test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_about.moc"
