#include "app/resourcepaths.h"

#include <QResource>
#include <QTest>
#include <QTranslator>

// No Q_INIT_RESOURCE anywhere: linking the resource library must be enough for every path to be
// valid from the start of main, as the program relies on.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void resourceExists_data();
    void resourceExists();
    void translation_data();
    void translation();
};

void TestResources::resourceExists_data()
{
    QTest::addColumn<QString>("path");

    for (const QString& icon :
        {ResourcePaths::normalIcon, ResourcePaths::problemIcon, ResourcePaths::hostUpIcon1,
            ResourcePaths::hostUpIcon2, ResourcePaths::hostDownIcon1, ResourcePaths::hostDownIcon2})
        QTest::newRow(qPrintable(icon)) << icon;
    QTest::newRow(":/sounds/HostDown.wav") << ResourcePaths::soundsPrefix + ResourcePaths::hostDownSound;
    QTest::newRow(":/sounds/HostUp.wav") << ResourcePaths::soundsPrefix + ResourcePaths::hostUpSound;
}

void TestResources::resourceExists()
{
    QFETCH(QString, path);

    const QResource resource(path);
    QVERIFY2(resource.isValid() && resource.size() > 0, qPrintable(path));
    // Stored as they are, so the sound files can be copied out byte for byte.
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
}

void TestResources::translation_data()
{
    QTest::addColumn<QString>("catalogue");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    const QString app = ResourcePaths::appTranslationPrefix;
    QTest::newRow("main class") << app << "Tarvix"
                                << "Monitoring is impossible."
                                << "Мониторинг невозможен.";
    QTest::newRow("configuration window form") << app << "TarvixClass"
                                               << "General"
                                               << "Общие";
    QTest::newRow("popup window") << app << "InformationWindow"
                                  << " Hostname:"
                                  << " Имя хоста:";
    QTest::newRow("popup window form") << app << "InformationWindowClass"
                                       << "Close automatically"
                                       << "Закрыть автоматически";
    QTest::newRow("about window form") << app << "AboutClass"
                                       << "Release date: "
                                       << "Дата выпуска: ";
    QTest::newRow("system tray messages") << app << "QObject"
                                          << "Systray"
                                          << "Системный трей";
    QTest::newRow("Qt's own texts") << ResourcePaths::qtTranslationPrefix << "QPlatformTheme"
                                    << "&Yes"
                                    << "&Да";
}

// The program asks for the locale's full name and relies on Qt's fallback to the language.
void TestResources::translation()
{
    QFETCH(QString, catalogue);
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, expected);

    QTranslator translator;
    QVERIFY(translator.load(ResourcePaths::translatorsPrefix + catalogue + QStringLiteral("ru_RU")));
    QCOMPARE(translator.translate(context.toUtf8().constData(), source.toUtf8().constData()), expected);
}

QTEST_GUILESS_MAIN(TestResources)

#include "tst_resources.moc"
