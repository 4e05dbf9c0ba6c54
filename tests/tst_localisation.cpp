#include "tarvixaccess.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>

#include <cstdio>
#include <unistd.h>

// The system locale is read once per process, so every case runs this test as a child
// ("--child <scenario>") with its own LANG; the child prints what it saw as one line.

namespace {

const QString userTranslationsDir = QStringLiteral(TARVIX_USER_TRANSLATIONS_DIR);
const QByteArray usersOwnSound = "the user's own sound";

// The general tab, "Exit" in the tray menu and Qt's own "Yes", as shown.
QString visibleTexts(TarvixTestAccess& access)
{
    const QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    return QStringList({access.ui().tabConfig->tabText(0), access.trayMenu().actions().constLast()->text(),
                           box.button(QMessageBox::Yes)->text()})
        .join(QLatin1Char('/'));
}

QString soundState(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("missing");
    const QByteArray content = file.readAll();
    QFile embedded(QStringLiteral(":/sounds/") + QFileInfo(path).fileName());
    if (embedded.open(QIODevice::ReadOnly) && embedded.readAll() == content)
        return QStringLiteral("embedded");
    return content == usersOwnSound ? QStringLiteral("user's") : QStringLiteral("other");
}

bool copyUserTranslations(const QString& dir)
{
    return QDir().mkpath(dir)
        && QFile::copy(userTranslationsDir + QStringLiteral("/TarvixLang_ru.qm"),
            dir + QStringLiteral("/TarvixLang_ru.qm"))
        && QFile::copy(userTranslationsDir + QStringLiteral("/qt_ru.qm"), dir + QStringLiteral("/qt_ru.qm"));
}

int runChild(const QString& scenario)
{
    QString whyNot;
    if (!haveSystemTray(&whyNot))
        return 2;
    // A box nobody answers would hang the child.
    QTimer::singleShot(60000, qApp, [] { ::_exit(3); });

    TemporaryProfile profile;
    if (scenario == QLatin1String("user-files")) {
        QFile sound(profile.dataDir() + QStringLiteral("/HostDown.wav"));
        if (!copyUserTranslations(profile.dataDir()) || !sound.open(QIODevice::WriteOnly)
            || sound.write(usersOwnSound) != usersOwnSound.size())
            return 4;
    } else if (scenario == QLatin1String("unwritable-home")) {
        // Tests run as root, who may write anywhere; but nobody can create a directory under a file.
        QFile blocker(profile.home() + QStringLiteral("/file"));
        if (!blocker.open(QIODevice::WriteOnly) || !copyUserTranslations(QDir::tempPath()))
            return 4;
        qputenv("HOME", (blocker.fileName() + QStringLiteral("/home")).toLocal8Bit());
    } else if (scenario == QLatin1String("disable-localization")) {
        // Valid, so nothing asks at start; with monitoring off it sends nothing anywhere.
        profile.writeSettings({{"ServerAddress", "127.0.0.1"}, {"EnableHostsMonitoring", false},
            {"EnableSrvcsMonitoring", false}});
    }

    DialogAnswerer answerer(QMessageBox::Ok);
    Tarvix tarvix;
    TarvixTestAccess access(tarvix);
    const QDir dataDir = access.dataDir();
    QString place = QStringLiteral("other ") + dataDir.path();
    if (dataDir.path() == QDir::homePath() + QStringLiteral("/.Kelmora/Tarvix"))
        place = QStringLiteral("home");
    else if (dataDir.path().startsWith(QDir::tempPath() + QStringLiteral("/Tarvix-"))
        && !(QFileInfo(dataDir.path()).permissions() & (QFile::ReadGroup | QFile::ReadOther)))
        place = QStringLiteral("private");
    QString facts
        = QStringList({place, soundState(dataDir.filePath(QStringLiteral("HostDown.wav"))),
                          soundState(dataDir.filePath(QStringLiteral("HostUp.wav"))), visibleTexts(access)})
              .join(QLatin1Char(' '));
    if (scenario == QLatin1String("disable-localization")) {
        for (const bool disable : {true, false}) {
            access.showConfig();
            access.ui().cbDisableLocalization->setChecked(disable);
            access.save();
            facts += QStringLiteral(", then ") + visibleTexts(access);
        }
        facts += QStringLiteral(", %1 boxes").arg(answerer.seen.size());
    }
    std::printf("FACTS %s\n", facts.toUtf8().constData());
    std::fflush(stdout);
    return 0;
}

} // namespace

// The language the program speaks and the data directory it keeps its sounds and translations in.
class TestLocalisation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_SYSTEM_TRAY(); }
    void scenario_data();
    void scenario();
};

void TestLocalisation::scenario_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("facts"); // the data directory, the two sounds, the texts shown

    const QString russian = QStringLiteral("Общие/Выход/&Да");
    QTest::newRow("a Russian desktop: the embedded translation, the sounds copied")
        << "first-start"
        << "ru_RU.UTF-8"
        << "home embedded embedded " + russian;
    QTest::newRow("other locales: English") << "first-start"
                                            << "de_DE.UTF-8"
                                            << "home embedded embedded General/Exit/&Yes";
    // The user's catalogue replaces the embedded one as a whole: what it leaves out stays English.
    QTest::newRow("the user's translation and sound win")
        << "user-files"
        << "ru_RU.UTF-8"
        << "home user's embedded General/Выход (перевод пользователя)/&Да (перевод пользователя)";
    // Files that others put into the shared temporary directory are never read.
    QTest::newRow("an unwritable home: a private directory of this run")
        << "unwritable-home"
        << "ru_RU.UTF-8"
        << "private embedded embedded " + russian;
    QTest::newRow("disabling localization: English at once, and back")
        << "disable-localization"
        << "ru_RU.UTF-8"
        << "home embedded embedded " + russian + ", then General/Exit/&Yes, then " + russian + ", 0 boxes";
}

// The child gets an empty temporary directory of its own.
void TestLocalisation::scenario()
{
    QFETCH(QString, scenario);
    QFETCH(QString, lang);
    QFETCH(QString, facts);

    QTemporaryDir temporary;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // LC_ALL and LC_MESSAGES outrank LANG, LANGUAGE adds languages to it.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LC_CTYPE", "LANGUAGE"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("LANG"), lang);
    env.insert(QStringLiteral("TMPDIR"), temporary.path());
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), scenario});
    if (!child.waitForFinished(120000))
        child.kill();
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(output.section(QStringLiteral("FACTS "), 1).trimmed(), facts);
}

int main(int argc, char** argv)
{
    // Without a display the tray cases skip instead of failing to start.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0) {
        app.setQuitOnLastWindowClosed(false);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        return runChild(QString::fromLocal8Bit(argv[2]));
    }
    TestLocalisation test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_localisation.moc"
