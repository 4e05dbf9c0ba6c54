#include "app/about.h"
#include "app/version.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void showsVersionAndReleaseDate();
    void fixedSize();
    void closingDeletesTheWindow_data();
    void closingDeletesTheWindow();
};

void TestAbout::showsVersionAndReleaseDate()
{
    About about(nullptr);
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lbVersion"))->text(),
        QStringLiteral("Tarvix v ") + tarvixVersion);
    QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lbDate"))->text(),
        QStringLiteral("Release date: ") + tarvixReleaseDate);
}

void TestAbout::fixedSize()
{
    About about(nullptr);
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.size(), QSize(298, 102));
    QCOMPARE(about.minimumSize(), QSize(298, 102));
    QCOMPARE(about.maximumSize(), QSize(298, 102));
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
        QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("btnClose")), Qt::LeftButton);
    else
        QVERIFY(about->close());
    QTRY_VERIFY(about.isNull());
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
