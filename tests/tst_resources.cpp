#include "app/resourcepaths.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QResource>
#include <QSet>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

#include <cmath>
#include <cstring>

// No Q_INIT_RESOURCE anywhere: linking the resource library must be enough for every path to be
// valid from the start of main, as the program relies on.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void resourceExists_data();
    void resourceExists();
    void icon_data();
    void icon();
    void iconsShareOneMark();
    void soundFormat_data();
    void soundFormat();
    void soundCharacter();
    void appTranslation_data();
    void appTranslation();
    void qtTranslation_data();
    void qtTranslation();
    void translationFileKeepsMessageLayout();
};

namespace {

struct Wave
{
    quint16 format = 0;
    quint16 channels = 0;
    quint32 sampleRate = 0;
    quint32 byteRate = 0;
    quint16 blockAlign = 0;
    quint16 bitsPerSample = 0;
    QVector<qint16> samples;
    bool valid = false;
};

quint32 le32(const QByteArray& data, int at)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<quint8>(data.at(at + i));
    return value;
}

quint16 le16(const QByteArray& data, int at)
{
    return static_cast<quint16>(
        static_cast<quint8>(data.at(at)) | (static_cast<quint8>(data.at(at + 1)) << 8));
}

// Walks the RIFF chunks rather than assuming a 44-byte header, so an extra chunk cannot fool it.
Wave readWave(const QString& path)
{
    Wave wave;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return wave;
    const QByteArray data = file.readAll();
    if (data.size() < 12 || !data.startsWith("RIFF") || data.mid(8, 4) != "WAVE")
        return wave;
    bool haveFormat = false;
    int at = 12;
    while (at + 8 <= data.size()) {
        const QByteArray id = data.mid(at, 4);
        const qint64 size = le32(data, at + 4);
        const int body = at + 8;
        if (body + size > data.size())
            return wave;
        if (id == "fmt " && size >= 16) {
            wave.format = le16(data, body);
            wave.channels = le16(data, body + 2);
            wave.sampleRate = le32(data, body + 4);
            wave.byteRate = le32(data, body + 8);
            wave.blockAlign = le16(data, body + 12);
            wave.bitsPerSample = le16(data, body + 14);
            haveFormat = true;
        } else if (id == "data" && haveFormat && wave.bitsPerSample == 16) {
            wave.samples.resize(static_cast<int>(size / 2));
            std::memcpy(wave.samples.data(), data.constData() + body, static_cast<size_t>(size / 2 * 2));
            wave.valid = true;
        }
        at = body + static_cast<int>(size) + static_cast<int>(size & 1);
    }
    return wave;
}

int peakOf(const QVector<qint16>& samples)
{
    int peak = 0;
    for (const qint16 sample : samples)
        peak = qMax(peak, std::abs(static_cast<int>(sample)));
    return peak;
}

// Zero crossings per second between two moments: a rough pitch that tells rising from falling.
double crossingRate(const Wave& wave, double from, double to)
{
    const int first = static_cast<int>(from * wave.sampleRate);
    const int last = qMin(static_cast<int>(to * wave.sampleRate), static_cast<int>(wave.samples.size()) - 1);
    int crossings = 0;
    for (int i = first + 1; i <= last; ++i) {
        if ((wave.samples.at(i - 1) < 0) != (wave.samples.at(i) < 0))
            ++crossings;
    }
    return crossings / (to - from);
}

// Number of 10 ms windows, before the final fade, that are next to silent.
int silentWindows(const Wave& wave)
{
    const int window = static_cast<int>(wave.sampleRate / 100);
    const int end = static_cast<int>(0.75 * wave.sampleRate);
    const int threshold = peakOf(wave.samples) / 100;
    int silent = 0;
    for (int start = 0; start + window <= end; start += window) {
        int loudest = 0;
        for (int i = start; i < start + window; ++i)
            loudest = qMax(loudest, std::abs(static_cast<int>(wave.samples.at(i))));
        if (loudest < threshold)
            ++silent;
    }
    return silent;
}

QString soundPath(const QString& name)
{
    return ResourcePaths::soundsPrefix + name;
}

} // namespace

void TestResources::resourceExists_data()
{
    QTest::addColumn<QString>("path");

    for (const QString& icon :
        {ResourcePaths::normalIcon, ResourcePaths::problemIcon, ResourcePaths::hostUpIcon1,
            ResourcePaths::hostUpIcon2, ResourcePaths::hostDownIcon1, ResourcePaths::hostDownIcon2})
        QTest::newRow(qPrintable(icon)) << icon;
    QTest::newRow(":/sounds/HostDown.wav") << soundPath(ResourcePaths::hostDownSound);
    QTest::newRow(":/sounds/HostUp.wav") << soundPath(ResourcePaths::hostUpSound);
    QTest::newRow(":/translators/qt_ru.qm") << QStringLiteral(":/translators/qt_ru.qm");
    QTest::newRow(":/translators/TarvixLang_ru.qm") << QStringLiteral(":/translators/TarvixLang_ru.qm");
}

void TestResources::resourceExists()
{
    QFETCH(QString, path);

    const QResource resource(path);
    QVERIFY2(resource.isValid(), qPrintable(path + QStringLiteral(" is not in the resources")));
    QVERIFY(resource.size() > 0);
    // Stored as they are, so the sound files can be copied out byte for byte.
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
}

void TestResources::icon_data()
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

void TestResources::icon()
{
    QFETCH(QString, path);
    QFETCH(QColor, background);

    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), QSize(16, 16));
    for (const QPoint corner : {QPoint(0, 0), QPoint(15, 0), QPoint(0, 15), QPoint(15, 15)})
        QCOMPARE(image.pixelColor(corner), background);

    bool opaque = true;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x)
            opaque = opaque && image.pixelColor(x, y).alpha() == 255;
    }
    QVERIFY2(opaque, "a transparent pixel would show the panel through the state colour");
}

void TestResources::iconsShareOneMark()
{
    // The mark: every pixel of the normal icon that is not its white background.
    const QImage normal(ResourcePaths::normalIcon);
    QSet<int> mark;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const QColor colour = normal.pixelColor(x, y);
            if (colour != QColor(Qt::white)) {
                QVERIFY2(colour.lightness() < 64, "the mark is dark on every background");
                mark.insert(y * 16 + x);
            }
        }
    }
    QVERIFY2(mark.size() > 20, "the normal icon shows no mark");

    for (const QString& path : {ResourcePaths::problemIcon, ResourcePaths::hostUpIcon1,
             ResourcePaths::hostUpIcon2, ResourcePaths::hostDownIcon1, ResourcePaths::hostDownIcon2}) {
        const QImage image(path);
        const QColor background = image.pixelColor(0, 0);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QColor expected = mark.contains(y * 16 + x) ? normal.pixelColor(x, y) : background;
                QVERIFY2(image.pixelColor(x, y) == expected,
                    qPrintable(QStringLiteral("%1 differs from the mark at %2,%3").arg(path).arg(x).arg(y)));
            }
        }
    }
}

void TestResources::soundFormat_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("HostDown.wav") << ResourcePaths::hostDownSound;
    QTest::newRow("HostUp.wav") << ResourcePaths::hostUpSound;
}

void TestResources::soundFormat()
{
    QFETCH(QString, name);

    const Wave wave = readWave(soundPath(name));
    QVERIFY2(wave.valid, "not a RIFF WAVE file with a format and a data chunk");
    QCOMPARE(wave.format, quint16(1)); // PCM
    QCOMPARE(wave.channels, quint16(1));
    QCOMPARE(wave.sampleRate, quint32(22050));
    QCOMPARE(wave.bitsPerSample, quint16(16));
    QCOMPARE(wave.blockAlign, quint16(2));
    QCOMPARE(wave.byteRate, quint32(44100));

    const double seconds = double(wave.samples.size()) / wave.sampleRate;
    QVERIFY2(seconds > 0.80 && seconds < 0.86, qPrintable(QString::number(seconds)));

    const int peak = peakOf(wave.samples);
    QVERIFY2(peak > 8000, "too quiet to notice");
    QVERIFY2(peak < 32767, "clipped");
}

void TestResources::soundCharacter()
{
    // The names are easy to swap by mistake; each file must sound like what its name says.
    const Wave down = readWave(soundPath(ResourcePaths::hostDownSound));
    const Wave up = readWave(soundPath(ResourcePaths::hostUpSound));
    QVERIFY(down.valid && up.valid);

    QVERIFY2(silentWindows(down) >= 4, "HostDown.wav should be separate alarm beeps");
    QVERIFY2(crossingRate(down, 0.02, 0.10) > 1.2 * crossingRate(down, 0.155, 0.235),
        "HostDown.wav should fall in pitch");

    QCOMPARE(silentWindows(up), 0);
    QVERIFY2(
        crossingRate(up, 0.02, 0.10) * 1.2 < crossingRate(up, 0.25, 0.35), "HostUp.wav should rise in pitch");
}

void TestResources::appTranslation_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    QTest::newRow("main class") << "Tarvix"
                                << "Monitoring is impossible."
                                << "Мониторинг невозможен.";
    QTest::newRow("main class, line break kept") << "Tarvix"
                                                 << "HTTP error ocurred:\n"
                                                 << "Ошибка HTTP:\n";
    QTest::newRow("main class, quotes kept") << "Tarvix"
                                             << "Invalid password or username. Terminate application? "
                                                "Clicking \"No\" will open the program settings."
                                             << "Неверный пароль или имя пользователя. Завершить программу? "
                                                "Кнопка «Нет» откроет настройки программы.";
    QTest::newRow("main class, link") << "Tarvix"
                                      << "<a href='https://wiki.openssl.org/index.php/Binaries'>here</a>."
                                      << "<a href='https://wiki.openssl.org/index.php/Binaries'>здесь</a>. ";
    QTest::newRow("configuration window form") << "TarvixClass"
                                               << "General"
                                               << "Общие";
    QTest::newRow("configuration window, blanks kept") << "TarvixClass"
                                                       << "         < empty >"
                                                       << "         < пусто >";
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
    QCOMPARE(translator.language(), QStringLiteral("ru_RU"));
    QCOMPARE(translator.translate(context.toUtf8().constData(), source.toUtf8().constData()), expected);
}

void TestResources::qtTranslation_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    // The texts of QMessageBox's buttons in Qt 6.
    QTest::newRow("Yes") << "&Yes"
                         << "&Да";
    QTest::newRow("No") << "&No"
                        << "&Нет";
    QTest::newRow("Cancel") << "Cancel"
                            << "Отмена";
}

void TestResources::qtTranslation()
{
    QFETCH(QString, source);
    QFETCH(QString, expected);

    QTranslator translator;
    QVERIFY(translator.load(
        ResourcePaths::translatorsPrefix + ResourcePaths::qtTranslationPrefix + QStringLiteral("ru_RU")));
    QCOMPARE(translator.translate("QPlatformTheme", source.toUtf8().constData()), expected);
}

void TestResources::translationFileKeepsMessageLayout()
{
    // Messages are glued together with names, numbers and line breaks: a translation that drops
    // a blank, a line break, a placeholder or a tag garbles the message it is part of.
    QFile file(QStringLiteral(TARVIX_TS_FILE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);

    QSet<QString> contexts;
    QSet<QString> seen;
    QStringList faults;
    QString context;
    QString source;
    QString translation;
    QString type;
    bool haveTranslation = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == QLatin1String("name")) {
                context = xml.readElementText();
                contexts.insert(context);
            } else if (xml.name() == QLatin1String("message")) {
                source.clear();
                translation.clear();
                type.clear();
                haveTranslation = false;
            } else if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation")) {
                type = xml.attributes().value(QLatin1String("type")).toString();
                translation = xml.readElementText();
                haveTranslation = true;
            }
        } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
            const QString where = context + QStringLiteral(": ") + source;
            const auto count = [](const QString& text, const QString& what) { return text.count(what); };
            if (seen.contains(context + QLatin1Char('\x1f') + source))
                faults << QStringLiteral("duplicate: ") + where;
            seen.insert(context + QLatin1Char('\x1f') + source);
            if (!haveTranslation || translation.isEmpty() || !type.isEmpty()) {
                faults << QStringLiteral("not translated: ") + where;
                continue;
            }
            for (const QString& piece : {QStringLiteral("\n"), QStringLiteral("%1"), QStringLiteral("<a "),
                     QStringLiteral("</a>"), QStringLiteral("</font>")}) {
                if (count(source, piece) != count(translation, piece))
                    faults << QStringLiteral("'%1' count differs: ").arg(piece) + where;
            }
            if (source.startsWith(QLatin1Char(' ')) != translation.startsWith(QLatin1Char(' ')))
                faults << QStringLiteral("leading blank differs: ") + where;
            if (source.startsWith(QLatin1Char('\n')) != translation.startsWith(QLatin1Char('\n')))
                faults << QStringLiteral("leading line break differs: ") + where;
            if (source.endsWith(QLatin1Char('\n')) != translation.endsWith(QLatin1Char('\n')))
                faults << QStringLiteral("trailing line break differs: ") + where;
            if (source.endsWith(QLatin1Char(' ')) && !translation.endsWith(QLatin1Char(' ')))
                faults << QStringLiteral("trailing blank lost: ") + where;
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));

    for (const char* expected :
        {"Tarvix", "TarvixClass", "InformationWindow", "InformationWindowClass", "AboutClass", "QObject"})
        QVERIFY2(contexts.contains(QLatin1String(expected)), expected);
}

QTEST_GUILESS_MAIN(TestResources)

#include "tst_resources.moc"
