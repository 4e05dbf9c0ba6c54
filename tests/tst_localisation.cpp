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
#include <QTranslator>

#include <cstdio>
#include <unistd.h>

// The system locale is read once per process, so every case runs a child process of this test
// ("--child <scenario>") with its own LANG; the child starts the real program object and prints
// what it saw as one JSON line, which the parent judges.

namespace {

const QString userTranslationsDir = QStringLiteral(TARVIX_USER_TRANSLATIONS_DIR);
const QByteArray usersOwnSound = "the user's own sound";

// ---- Child side -----------------------------------------------------------------------------

// Answers every message box as it appears (No, else OK) and records it with its buttons' texts,
// which are Qt's own translated texts.
class BoxRecorder : public QObject
{
public:
    BoxRecorder() { startTimer(20); }
    QJsonArray boxes;

protected:
    void timerEvent(QTimerEvent*) override
    {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible() || m_answered.contains(box))
                continue;
            m_answered.append(box);
            QJsonArray buttons;
            const QList<QAbstractButton*> all = box->buttons();
            for (const QAbstractButton* button : all)
                buttons.append(button->text());
            boxes.append(QJsonObject {{QStringLiteral("title"), box->windowTitle()},
                {QStringLiteral("text"), box->text()}, {QStringLiteral("buttons"), buttons}});
            if (QAbstractButton* no = box->button(QMessageBox::No))
                no->click();
            else if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        }
    }

private:
    // Guarded: the static QMessageBox functions build their boxes on the stack, often at one address.
    QList<QPointer<QMessageBox>> m_answered;
};

QJsonArray actionTexts(const QMenu& menu)
{
    QJsonArray texts;
    const QList<QAction*> actions = menu.actions();
    for (const QAction* action : actions) {
        if (!action->isSeparator())
            texts.append(action->text());
    }
    return texts;
}

// What a person would read in the window, the menus and a message box of Qt's own.
QJsonObject visibleTexts(TarvixTestAccess& access)
{
    QJsonObject texts;
    Ui::TarvixClass& ui = access.ui();
    QJsonArray tabs;
    for (int i = 0; i < ui.tabConfig->count(); ++i)
        tabs.append(ui.tabConfig->tabText(i));
    texts.insert(QStringLiteral("tabs"), tabs);
    texts.insert(QStringLiteral("LblServer"), ui.LblServer->text());
    texts.insert(QStringLiteral("cbDisableLocalization"), ui.cbDisableLocalization->text());
    texts.insert(QStringLiteral("btnSave"), ui.btnSave->text());
    texts.insert(QStringLiteral("trayMenu"), actionTexts(access.trayMenu()));
    texts.insert(QStringLiteral("hostsMenu"), actionTexts(access.hostsMenu()));
    const QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    texts.insert(QStringLiteral("yes"), box.button(QMessageBox::Yes)->text());
    texts.insert(QStringLiteral("no"), box.button(QMessageBox::No)->text());
    return texts;
}

QString soundState(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("missing");
    const QByteArray content = file.readAll();
    if (content == usersOwnSound)
        return QStringLiteral("user's");
    QFile embedded(QStringLiteral(":/sounds/") + QFileInfo(path).fileName());
    if (embedded.open(QIODevice::ReadOnly) && embedded.readAll() == content)
        return QStringLiteral("embedded");
    return QStringLiteral("other");
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
    if (!haveSystemTray(&whyNot)) {
        std::fprintf(stderr, "%s\n", qPrintable(whyNot));
        return 2;
    }
    // A box nobody answers would hang the child; the parent reports the missing facts.
    QTimer::singleShot(60000, qApp, [] {
        std::fprintf(stderr, "child timed out\n");
        ::_exit(3);
    });

    TemporaryProfile profile;
    if (scenario == QLatin1String("user-translation")) {
        if (!copyUserTranslations(profile.dataDir()))
            return 4;
    } else if (scenario == QLatin1String("existing-sound")) {
        QFile sound(profile.dataDir() + QStringLiteral("/HostDown.wav"));
        if (!QDir().mkpath(profile.dataDir()) || !sound.open(QIODevice::WriteOnly)
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
    } else if (scenario != QLatin1String("first-start")) {
        std::fprintf(stderr, "unknown scenario %s\n", qPrintable(scenario));
        return 4;
    }

    BoxRecorder recorder;
    Tarvix tarvix;
    TarvixTestAccess access(tarvix);
    Ui::TarvixClass& ui = access.ui();

    QJsonObject facts;
    facts.insert(QStringLiteral("locale"), QLocale::system().name());
    facts.insert(QStringLiteral("home"), QDir::homePath());
    facts.insert(QStringLiteral("tempPath"), QDir::tempPath());
    const QString dataDir = access.dataDir().path();
    facts.insert(QStringLiteral("dataDir"), dataDir);
    facts.insert(QStringLiteral("dataDirExists"), QFileInfo(dataDir).isDir());
    facts.insert(QStringLiteral("HostDown.wav"), soundState(dataDir + QStringLiteral("/HostDown.wav")));
    facts.insert(QStringLiteral("HostUp.wav"), soundState(dataDir + QStringLiteral("/HostUp.wav")));
    facts.insert(QStringLiteral("texts"), visibleTexts(access));

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
    facts.insert(QStringLiteral("boxes"), recorder.boxes);

    std::printf("FACTS %s\n", QJsonDocument(facts).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    return 0;
}

// ---- Parent side ----------------------------------------------------------------------------

QString withoutMnemonic(QString text)
{
    return text.remove(QLatin1Char('&'));
}

QStringList strings(const QJsonValue& value)
{
    QStringList list;
    const QJsonArray array = value.toArray();
    for (const QJsonValue& item : array)
        list << item.toString();
    return list;
}

// The texts that the program shows in a given language: English sources, or what a catalogue
// makes of them.
class Expected
{
public:
    explicit Expected(const QString& appCatalogue = QString(), const QString& qtCatalogue = QString())
    {
        m_translated = !appCatalogue.isEmpty();
        m_loaded = !m_translated || (m_app.load(appCatalogue) && m_qt.load(qtCatalogue));
    }
    bool isLoaded() const { return m_loaded; }

    QString app(const char* context, const char* source) const
    {
        const QString text = m_translated ? m_app.translate(context, source) : QString();
        return text.isEmpty() ? QString::fromUtf8(source) : text;
    }
    QString qt(const char* source) const
    {
        const QString text = m_translated ? m_qt.translate("QPlatformTheme", source) : QString();
        return text.isEmpty() ? QString::fromUtf8(source) : text;
    }

    QStringList tabs() const
    {
        return {app("TarvixClass", "General"), app("TarvixClass", "Host Filtering"),
            app("TarvixClass", "Filtering Service"), app("TarvixClass", "Statuses"),
            app("TarvixClass", "Misc")};
    }
    QStringList trayMenu() const
    {
        return {app("TarvixClass", "Configuration"), app("TarvixClass", "Close all messages"),
            app("TarvixClass", "About"), app("TarvixClass", "Exit")};
    }

private:
    bool m_translated = false;
    bool m_loaded = false;
    QTranslator m_app;
    QTranslator m_qt;
};

const Expected& english()
{
    static const Expected expected;
    return expected;
}

const Expected& embeddedRussian()
{
    static const Expected expected(
        QStringLiteral(":/translators/TarvixLang_ru.qm"), QStringLiteral(":/translators/qt_ru.qm"));
    return expected;
}

const Expected& usersRussian()
{
    static const Expected expected(userTranslationsDir + QStringLiteral("/TarvixLang_ru.qm"),
        userTranslationsDir + QStringLiteral("/qt_ru.qm"));
    return expected;
}

// Compares what the child read with the expected language, naming the first text that differs.
void compareTexts(const QJsonObject& texts, const Expected& expected, bool monitoringDisabled = false)
{
    QCOMPARE(strings(texts.value(QLatin1String("tabs"))), expected.tabs());
    QCOMPARE(
        texts.value(QLatin1String("LblServer")).toString(), expected.app("TarvixClass", "Server address:"));
    QCOMPARE(texts.value(QLatin1String("cbDisableLocalization")).toString(),
        expected.app("TarvixClass", "Disable localization"));
    QCOMPARE(texts.value(QLatin1String("btnSave")).toString(), expected.app("TarvixClass", "Save"));
    QCOMPARE(strings(texts.value(QLatin1String("trayMenu"))), expected.trayMenu());
    const QStringList hostsMenu = {expected.app("TarvixClass", "List of down hosts"),
        monitoringDisabled ? expected.app("TarvixClass", "< monitoring disabled >")
                           : expected.app("TarvixClass", "         < empty >")};
    QCOMPARE(strings(texts.value(QLatin1String("hostsMenu"))), hostsMenu);
    QCOMPARE(texts.value(QLatin1String("yes")).toString(), expected.qt("&Yes"));
    QCOMPARE(texts.value(QLatin1String("no")).toString(), expected.qt("&No"));
}

// A box's buttons as shown, without mnemonic marks, in a fixed order.
QStringList shownButtons(const QJsonObject& box)
{
    QStringList buttons = strings(box.value(QLatin1String("buttons")));
    for (QString& button : buttons)
        button = withoutMnemonic(button);
    buttons.sort();
    return buttons;
}

// At a first start the configuration is missing: after the validation's own complaints comes the
// warning that the program needs configuring; then the child asked the program's HTTPS question.
void compareStartBoxes(const QJsonArray& boxes, const Expected& expected)
{
    const QString warningText = expected.app(
        "Tarvix", "The program is not configured correctly. Please enter the correct settings.");
    QJsonObject warning;
    for (const QJsonValue& box : boxes) {
        if (box.toObject().value(QLatin1String("text")).toString() == warningText)
            warning = box.toObject();
    }
    QVERIFY2(!warning.isEmpty(),
        qPrintable(QStringLiteral("no box says \"%1\"; seen: %2")
                       .arg(warningText, QString::fromUtf8(QJsonDocument(boxes).toJson()))));
    QCOMPARE(warning.value(QLatin1String("title")).toString(),
        expected.app("Tarvix", "Tarvix: configuration error."));
    QCOMPARE(strings(warning.value(QLatin1String("buttons"))), QStringList {expected.qt("OK")});

    const QJsonObject question = boxes.last().toObject();
    QVERIFY(question.value(QLatin1String("text"))
                .toString()
                .startsWith(
                    expected.app("Tarvix", "Set the server port to a default value for HTTPS protocol (")));
    QStringList buttons {withoutMnemonic(expected.qt("&No")), withoutMnemonic(expected.qt("&Yes"))};
    buttons.sort();
    QCOMPARE(shownButtons(question), buttons);
}

} // namespace

class TestLocalisation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstStartOnRussianDesktop();
    void otherLocalesShowEnglish_data();
    void otherLocalesShowEnglish();
    void usersTranslationWinsOverEmbedded();
    void existingSoundIsKept();
    void unwritableHomeFallsBackToTemporaryDirectory();
    void disablingLocalizationSwitchesToEnglishAndBack();

private:
    // Runs a scenario in a child with the given LANG and an empty temporary directory of its own.
    bool runScenario(const QString& scenario, const QString& lang);

    QJsonObject m_facts;
    QString m_tempPath;
    std::unique_ptr<QTemporaryDir> m_tempDir;
};

void TestLocalisation::initTestCase()
{
    REQUIRE_SYSTEM_TRAY();
    QVERIFY(embeddedRussian().isLoaded());
    QVERIFY(usersRussian().isLoaded());
    // The catalogues must differ where the cases tell them apart.
    QVERIFY(embeddedRussian().app("TarvixClass", "Exit") != QLatin1String("Exit"));
    QVERIFY(usersRussian().app("TarvixClass", "Exit") != embeddedRussian().app("TarvixClass", "Exit"));
    QVERIFY(usersRussian().qt("&Yes") != embeddedRussian().qt("&Yes"));
}

bool TestLocalisation::runScenario(const QString& scenario, const QString& lang)
{
    m_facts = {};
    m_tempDir = std::make_unique<QTemporaryDir>();
    if (!m_tempDir->isValid())
        return false;
    m_tempPath = m_tempDir->path();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // LC_ALL and LC_MESSAGES outrank LANG, LANGUAGE adds languages to it.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LC_CTYPE", "LANGUAGE"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("LANG"), lang);
    env.insert(QStringLiteral("TMPDIR"), m_tempPath);

    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), scenario});
    const bool finished = child.waitForFinished(120000);
    if (!finished)
        child.kill();
    const QByteArray output = child.readAllStandardOutput();
    const QByteArray errors = child.readAllStandardError();
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith("FACTS "))
            m_facts = QJsonDocument::fromJson(line.mid(6)).object();
    }
    if (!finished || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0
        || m_facts.isEmpty()) {
        qWarning("child '%s' (LANG=%s) exited with %d:\n%s", qPrintable(scenario), qPrintable(lang),
            child.exitCode(), errors.constData());
        return false;
    }
    return true;
}

void TestLocalisation::firstStartOnRussianDesktop()
{
    QVERIFY(runScenario(QStringLiteral("first-start"), QStringLiteral("ru_RU.UTF-8")));

    QCOMPARE(m_facts.value(QLatin1String("locale")).toString(), QStringLiteral("ru_RU"));
    const QString home = m_facts.value(QLatin1String("home")).toString();
    QVERIFY(home.startsWith(m_tempPath));
    QCOMPARE(m_facts.value(QLatin1String("dataDir")).toString(), home + QStringLiteral("/.Kelmora/Tarvix"));
    QVERIFY(m_facts.value(QLatin1String("dataDirExists")).toBool());
    QCOMPARE(m_facts.value(QLatin1String("HostDown.wav")).toString(), QStringLiteral("embedded"));
    QCOMPARE(m_facts.value(QLatin1String("HostUp.wav")).toString(), QStringLiteral("embedded"));

    compareTexts(m_facts.value(QLatin1String("texts")).toObject(), embeddedRussian());
    if (QTest::currentTestFailed())
        return;

    compareStartBoxes(m_facts.value(QLatin1String("boxes")).toArray(), embeddedRussian());
    if (QTest::currentTestFailed())
        return;
    const QJsonObject question = m_facts.value(QLatin1String("boxes")).toArray().last().toObject();
    QCOMPARE(shownButtons(question), (QStringList {QStringLiteral("Да"), QStringLiteral("Нет")}));
}

void TestLocalisation::otherLocalesShowEnglish_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("locale");

    QTest::newRow("C.UTF-8") << "C.UTF-8"
                             << "C";
    QTest::newRow("American English") << "en_US.UTF-8"
                                      << "en_US";
    QTest::newRow("German, which has no catalogue") << "de_DE.UTF-8"
                                                    << "de_DE";
}

void TestLocalisation::otherLocalesShowEnglish()
{
    QFETCH(QString, lang);
    QFETCH(QString, locale);

    QVERIFY(runScenario(QStringLiteral("first-start"), lang));
    QCOMPARE(m_facts.value(QLatin1String("locale")).toString(), locale);
    QCOMPARE(m_facts.value(QLatin1String("HostDown.wav")).toString(), QStringLiteral("embedded"));
    compareTexts(m_facts.value(QLatin1String("texts")).toObject(), english());
    compareStartBoxes(m_facts.value(QLatin1String("boxes")).toArray(), english());
    if (QTest::currentTestFailed())
        return;
    const QJsonObject question = m_facts.value(QLatin1String("boxes")).toArray().last().toObject();
    QCOMPARE(shownButtons(question), (QStringList {QStringLiteral("No"), QStringLiteral("Yes")}));
}

// The user's catalogue replaces the embedded one as a whole: what it leaves out stays English.
void TestLocalisation::usersTranslationWinsOverEmbedded()
{
    QVERIFY(runScenario(QStringLiteral("user-translation"), QStringLiteral("ru_RU.UTF-8")));
    const QJsonObject texts = m_facts.value(QLatin1String("texts")).toObject();
    compareTexts(texts, usersRussian());
    QCOMPARE(
        strings(texts.value(QLatin1String("trayMenu"))).last(), usersRussian().app("TarvixClass", "Exit"));
    QCOMPARE(strings(texts.value(QLatin1String("tabs"))).first(), QStringLiteral("General"));
    QCOMPARE(texts.value(QLatin1String("yes")).toString(), usersRussian().qt("&Yes"));
}

void TestLocalisation::existingSoundIsKept()
{
    QVERIFY(runScenario(QStringLiteral("existing-sound"), QStringLiteral("ru_RU.UTF-8")));
    QCOMPARE(m_facts.value(QLatin1String("HostDown.wav")).toString(), QStringLiteral("user's"));
    QCOMPARE(m_facts.value(QLatin1String("HostUp.wav")).toString(), QStringLiteral("embedded"));
}

void TestLocalisation::unwritableHomeFallsBackToTemporaryDirectory()
{
    QVERIFY(runScenario(QStringLiteral("unwritable-home"), QStringLiteral("ru_RU.UTF-8")));
    QVERIFY(m_facts.value(QLatin1String("home")).toString().endsWith(QLatin1String("/file/home")));
    QCOMPARE(m_facts.value(QLatin1String("tempPath")).toString(), m_tempPath);
    QCOMPARE(m_facts.value(QLatin1String("dataDir")).toString(), m_tempPath);
    QCOMPARE(m_facts.value(QLatin1String("HostDown.wav")).toString(), QStringLiteral("embedded"));
    QCOMPARE(m_facts.value(QLatin1String("HostUp.wav")).toString(), QStringLiteral("embedded"));
    // Translations on disk are looked for there too.
    compareTexts(m_facts.value(QLatin1String("texts")).toObject(), usersRussian());
}

void TestLocalisation::disablingLocalizationSwitchesToEnglishAndBack()
{
    QVERIFY(runScenario(QStringLiteral("disable-localization"), QStringLiteral("ru_RU.UTF-8")));
    QCOMPARE(m_facts.value(QLatin1String("boxes")).toArray().size(), 0);
    compareTexts(m_facts.value(QLatin1String("texts")).toObject(), embeddedRussian(), true);
    if (QTest::currentTestFailed())
        return;
    compareTexts(m_facts.value(QLatin1String("disabled")).toObject(), english(), true);
    if (QTest::currentTestFailed())
        return;
    compareTexts(m_facts.value(QLatin1String("enabledAgain")).toObject(), embeddedRussian(), true);
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
