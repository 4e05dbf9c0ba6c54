#include "tarvixaccess.h"
#include "testsupport.h"

#include "app/tarvix.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

// The system locale is read once per process, so every case runs this test as a child
// ("--child <scenario>") with its own LANG; the child prints what it saw as one JSON line.

namespace {

const QString userTranslationsDir = QStringLiteral(TARVIX_USER_TRANSLATIONS_DIR);
const QByteArray usersOwnSound = "the user's own sound";

// Answers every message box as it appears (No, else OK) and records its buttons' texts.
void answerBoxes(QTimer& timer, QJsonArray& boxes)
{
    // Guarded: the static QMessageBox functions build their boxes on the stack, often at one address.
    auto answered = std::make_shared<QList<QPointer<QMessageBox>>>();
    QObject::connect(&timer, &QTimer::timeout, &timer, [&boxes, answered] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible() || answered->contains(box))
                continue;
            answered->append(box);
            QStringList buttons;
            const QList<QAbstractButton*> all = box->buttons();
            for (const QAbstractButton* button : all)
                buttons.append(button->text().remove(QLatin1Char('&')));
            buttons.sort();
            boxes.append(QJsonArray::fromStringList(buttons));
            if (QAbstractButton* no = box->button(QMessageBox::No))
                no->click();
            else
                box->button(QMessageBox::Ok)->click();
        }
    });
    timer.start(20);
}

QJsonObject visibleTexts(TarvixTestAccess& access)
{
    const QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    return {{QStringLiteral("tab"), access.ui().tabConfig->tabText(0)},
        {QStringLiteral("exit"), access.trayMenu().actions().constLast()->text()},
        {QStringLiteral("yes"), box.button(QMessageBox::Yes)->text()}};
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
        profile.writeSettings({{QStringLiteral("ServerAddress"), QStringLiteral("127.0.0.1")},
            {QStringLiteral("HTTPPort"), QStringLiteral("9")},
            {QStringLiteral("EnableHostsMonitoring"), false},
            {QStringLiteral("EnableSrvcsMonitoring"), false}});
    }

    QJsonArray boxes;
    QTimer boxWatch;
    answerBoxes(boxWatch, boxes);
    Tarvix tarvix;
    TarvixTestAccess access(tarvix);
    Ui::TarvixClass& ui = access.ui();

    const QString dataDir = access.dataDir().path();
    QJsonObject facts {{QStringLiteral("locale"), QLocale::system().name()},
        {QStringLiteral("home"), QDir::homePath()}, {QStringLiteral("dataDir"), dataDir},
        {QStringLiteral("HostDown.wav"), soundState(dataDir + QStringLiteral("/HostDown.wav"))},
        {QStringLiteral("HostUp.wav"), soundState(dataDir + QStringLiteral("/HostUp.wav"))},
        {QStringLiteral("texts"), visibleTexts(access)},
        {QStringLiteral("dataDirPermissions"),
            (QFileInfo(dataDir).permissions()
                & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther))
                ? QStringLiteral("shared")
                : QStringLiteral("owner only")}};

    if (scenario == QLatin1String("first-start")) {
        // The program's own yes/no question: switching to HTTPS offers the default port.
        ui.cbUseHttps->click();
    } else if (scenario == QLatin1String("disable-localization")) {
        ui.cbDisableLocalization->setChecked(true);
        access.save();
        facts.insert(QStringLiteral("disabled"), visibleTexts(access));
        access.showConfig();
        ui.cbDisableLocalization->setChecked(false);
        access.save();
        facts.insert(QStringLiteral("enabledAgain"), visibleTexts(access));
    }
    facts.insert(QStringLiteral("boxes"), boxes);
    std::printf("FACTS %s\n", QJsonDocument(facts).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    return 0;
}

QJsonObject shownTexts(const char* general, const char* exit, const char* yes)
{
    return {{QStringLiteral("tab"), QString::fromUtf8(general)},
        {QStringLiteral("exit"), QString::fromUtf8(exit)}, {QStringLiteral("yes"), QString::fromUtf8(yes)}};
}

const QJsonObject english = shownTexts("General", "Exit", "&Yes");
const QJsonObject embeddedRussian = shownTexts("Общие", "Выход", "&Да");
// The user's catalogue replaces the embedded one as a whole: what it leaves out stays English.
const QJsonObject usersRussian
    = shownTexts("General", "Выход (перевод пользователя)", "&Да (перевод пользователя)");

} // namespace

class TestLocalisation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_SYSTEM_TRAY(); }
    void firstStartOnRussianDesktop();
    void otherLocalesShowEnglish();
    void usersTranslationAndSoundWin();
    void unwritableHomeFallsBackToPrivateDirectory();
    void disablingLocalizationSwitchesToEnglishAndBack();

private:
    // Runs a scenario in a child with the given LANG and an empty temporary directory of its own.
    bool runScenario(const QString& scenario, const QString& lang = QStringLiteral("ru_RU.UTF-8"));
    QString fact(const char* name) const { return m_facts.value(QLatin1String(name)).toString(); }
    QJsonObject texts(const char* name) const { return m_facts.value(QLatin1String(name)).toObject(); }
    QJsonArray lastBox() const
    {
        const QJsonArray boxes = m_facts.value(QLatin1String("boxes")).toArray();
        return boxes.at(boxes.size() - 1).toArray();
    }

    QJsonObject m_facts;
    QString m_tempPath;
    std::unique_ptr<QTemporaryDir> m_tempDir;
};

bool TestLocalisation::runScenario(const QString& scenario, const QString& lang)
{
    m_facts = {};
    m_tempDir = std::make_unique<QTemporaryDir>();
    m_tempPath = m_tempDir->path();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // LC_ALL and LC_MESSAGES outrank LANG, LANGUAGE adds languages to it.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LC_CTYPE", "LANGUAGE"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("LANG"), lang);
    env.insert(QStringLiteral("TMPDIR"), m_tempPath);

    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), scenario});
    if (!child.waitForFinished(120000))
        child.kill();
    const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("FACTS "))
            m_facts = QJsonDocument::fromJson(line.mid(6)).object();
    }
    return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 && !m_facts.isEmpty();
}

void TestLocalisation::firstStartOnRussianDesktop()
{
    QVERIFY(runScenario(QStringLiteral("first-start")));
    QCOMPARE(fact("locale"), QStringLiteral("ru_RU"));
    QVERIFY(fact("home").startsWith(m_tempPath));
    QCOMPARE(fact("dataDir"), fact("home") + QStringLiteral("/.Kelmora/Tarvix"));
    QCOMPARE(fact("HostDown.wav"), QStringLiteral("embedded"));
    QCOMPARE(fact("HostUp.wav"), QStringLiteral("embedded"));
    QCOMPARE(texts("texts"), embeddedRussian);
    // The last box is the HTTPS question.
    QCOMPARE(lastBox(), (QJsonArray {QStringLiteral("Да"), QStringLiteral("Нет")}));
}

void TestLocalisation::otherLocalesShowEnglish()
{
    QVERIFY(runScenario(QStringLiteral("first-start"), QStringLiteral("de_DE.UTF-8")));
    QCOMPARE(fact("locale"), QStringLiteral("de_DE"));
    QCOMPARE(texts("texts"), english);
    QCOMPARE(lastBox(), (QJsonArray {QStringLiteral("No"), QStringLiteral("Yes")}));
}

void TestLocalisation::usersTranslationAndSoundWin()
{
    QVERIFY(runScenario(QStringLiteral("user-files")));
    QCOMPARE(texts("texts"), usersRussian);
    QCOMPARE(fact("HostDown.wav"), QStringLiteral("user's"));
    QCOMPARE(fact("HostUp.wav"), QStringLiteral("embedded"));
}

// Files that others put into the shared temporary directory are never read.
void TestLocalisation::unwritableHomeFallsBackToPrivateDirectory()
{
    QVERIFY(runScenario(QStringLiteral("unwritable-home")));
    QVERIFY(fact("home").endsWith(QLatin1String("/file/home")));
    QVERIFY(fact("dataDir").startsWith(m_tempPath + QStringLiteral("/Tarvix-")));
    QCOMPARE(fact("dataDirPermissions"), QStringLiteral("owner only"));
    QCOMPARE(fact("HostDown.wav"), QStringLiteral("embedded"));
    QCOMPARE(fact("HostUp.wav"), QStringLiteral("embedded"));
    QCOMPARE(texts("texts"), embeddedRussian);
}

void TestLocalisation::disablingLocalizationSwitchesToEnglishAndBack()
{
    QVERIFY(runScenario(QStringLiteral("disable-localization")));
    QCOMPARE(m_facts.value(QLatin1String("boxes")).toArray().size(), 0);
    QCOMPARE(texts("texts"), embeddedRussian);
    QCOMPARE(texts("disabled"), english);
    QCOMPARE(texts("enabledAgain"), embeddedRussian);
}

int main(int argc, char** argv)
{
    // Without a display the tray cases skip instead of failing to start.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0) {
        QApplication app(argc, argv);
        app.setQuitOnLastWindowClosed(false);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        return runChild(QString::fromLocal8Bit(argv[2]));
    }
    QApplication app(argc, argv);
    TestLocalisation test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_localisation.moc"
