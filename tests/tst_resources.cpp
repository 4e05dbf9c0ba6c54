#include "app/resourcepaths.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QResource>
#include <QTest>
#include <QTranslator>
#include <QtEndian>

// No Q_INIT_RESOURCE anywhere: linking the resource library must be enough for every path to be
// valid from the start of main, as the program relies on.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void resourceExists_data();
    void resourceExists();
    void iconBackground_data();
    void iconBackground();
    void soundFormat_data();
    void soundFormat();
    void appTranslation_data();
    void appTranslation();
    void qtTranslation();
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
    QTest::newRow(":/translators/qt_ru.qm") << QStringLiteral(":/translators/qt_ru.qm");
    QTest::newRow(":/translators/TarvixLang_ru.qm") << QStringLiteral(":/translators/TarvixLang_ru.qm");
}

void TestResources::resourceExists()
{
    QFETCH(QString, path);

    const QResource resource(path);
    QVERIFY2(resource.isValid(), qPrintable(path));
    QVERIFY(resource.size() > 0);
    // Stored as they are, so the sound files can be copied out byte for byte.
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
}

void TestResources::iconBackground_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("background");

    QTest::newRow("normal on white") << ResourcePaths::normalIcon << QColor(255, 255, 255);
    QTest::newRow("problem on pure red") << ResourcePaths::problemIcon << QColor(255, 0, 0);
    QTest::newRow("host up 1 on light cyan") << ResourcePaths::hostUpIcon1 << QColor(120, 255, 253);
    QTest::newRow("host up 2 on cyan-blue") << ResourcePaths::hostUpIcon2 << QColor(55, 229, 255);
    QTest::newRow("host down 1 on light red") << ResourcePaths::hostDownIcon1 << QColor(255, 120, 120);
    QTest::newRow("host down 2 on pink") << ResourcePaths::hostDownIcon2 << QColor(255, 186, 186);
}

void TestResources::iconBackground()
{
    QFETCH(QString, path);
    QFETCH(QColor, background);

    const QImage image(path);
    QCOMPARE(image.size(), QSize(16, 16));
    QCOMPARE(image.pixelColor(0, 0), background);
    QCOMPARE(image.pixelColor(15, 15), background);
}

void TestResources::soundFormat_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("HostDown.wav") << ResourcePaths::hostDownSound;
    QTest::newRow("HostUp.wav") << ResourcePaths::hostUpSound;
}

// Mono 16-bit PCM at 22050 Hz, as the sound library plays everywhere.
void TestResources::soundFormat()
{
    QFETCH(QString, name);

    QFile file(ResourcePaths::soundsPrefix + name);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY(data.size() > 44);
    QVERIFY(data.startsWith("RIFF"));
    QCOMPARE(data.mid(8, 8), QByteArray("WAVEfmt "));
    const auto* header = reinterpret_cast<const uchar*>(data.constData());
    QCOMPARE(qFromLittleEndian<quint16>(header + 20), quint16(1)); // PCM
    QCOMPARE(qFromLittleEndian<quint16>(header + 22), quint16(1)); // channels
    QCOMPARE(qFromLittleEndian<quint32>(header + 24), quint32(22050));
    QCOMPARE(qFromLittleEndian<quint16>(header + 34), quint16(16)); // bits per sample
}

void TestResources::appTranslation_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    QTest::newRow("main class") << "Tarvix"
                                << "Monitoring is impossible."
                                << "Мониторинг невозможен.";
    QTest::newRow("configuration window form") << "TarvixClass"
                                               << "General"
                                               << "Общие";
    QTest::newRow("popup window") << "InformationWindow"
                                  << " Hostname:"
                                  << " Имя хоста:";
    QTest::newRow("popup window form") << "InformationWindowClass"
                                       << "Close automatically"
                                       << "Закрыть автоматически";
    QTest::newRow("about window form") << "AboutClass"
                                       << "Release date: "
                                       << "Дата выпуска: ";
    QTest::newRow("system tray messages") << "QObject"
                                          << "Systray"
                                          << "Системный трей";
}

void TestResources::appTranslation()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, expected);

    // The program asks for the locale's full name and relies on Qt's fallback to the language.
    QTranslator translator;
    QVERIFY(translator.load(
        ResourcePaths::translatorsPrefix + ResourcePaths::appTranslationPrefix + QStringLiteral("ru_RU")));
    QCOMPARE(translator.translate(context.toUtf8().constData(), source.toUtf8().constData()), expected);
}

void TestResources::qtTranslation()
{
    QTranslator translator;
    QVERIFY(translator.load(
        ResourcePaths::translatorsPrefix + ResourcePaths::qtTranslationPrefix + QStringLiteral("ru_RU")));
    QCOMPARE(translator.translate("QPlatformTheme", "&Yes"), QStringLiteral("&Да"));
}

QTEST_GUILESS_MAIN(TestResources)

#include "tst_resources.moc"
