#include "tarvixharness.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

// How the program starts and ends: the wait for a configuration, what its window says of one and
// what a save puts in force, the questions whose answers end it with their exit statuses, "Exit",
// a desktop without a tray, and the language and data directory it starts with; these last run
// this executable again as a child.
// The checks themselves and every key's way through the form and the file are tested on their own.
class TestLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init();

    void invalidConfigurationWaits();
    void rejectedThenSavedAndRestarted();
    void saveAppliesTheWindow_data();
    void saveAppliesTheWindow();
    void questions_data();
    void questions();
    void certificateTrustedOnFirstUse();
    void trickledAnswerEndsAndCounts();
    void noSystemTray();
    void localisation_data();
    void localisation();
};

namespace {

const char trayChild[] = "--tray-child";
const char localeChild[] = "--locale-child";
const QString hostsTitle = QStringLiteral("Tarvix: HTTP error status of hosts request");
const QString servicesTitle = QStringLiteral("Tarvix: HTTP error status of services request");

// The child waits this many seconds for a tray, prints each message box as it appears and answers
// it with Ok.
int runChild(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TemporaryProfile profile;
    QElapsedTimer started;
    started.start();
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, qApp, [&started] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                std::printf("box|%s|%s|%lld\n", qUtf8Printable(box->windowTitle()),
                    qUtf8Printable(box->text()), static_cast<long long>(started.elapsed()));
                std::fflush(stdout);
                box->done(QMessageBox::Ok);
            }
        }
    });
    boxes.start(20);
    Tarvix::systemTrayWaitSeconds = QByteArray(argv[2]).toInt();
    Tarvix tarvix;
    return 0;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString userTranslationsDir = QStringLiteral(TARVIX_USER_TRANSLATIONS_DIR);
const QByteArray usersOwnSound = "the user's own sound";

// The general tab, "Exit" in the tray menu and Qt's own "Yes", as shown.
QString visibleTexts(TarvixTestAccess& access)
{
    const QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    return QStringList(
        {access.widget<QTabWidget>("tabConfig")->tabText(0), access.trayMenu().actions().constLast()->text(),
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

int runLocaleChild(const QString& scenario)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
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
            access.widget<QCheckBox>("cbDisableLocalization")->setChecked(disable);
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

void TestLifecycle::init()
{
    REQUIRE_SYSTEM_TRAY();
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
}

// Nothing is polled until a valid configuration is saved; then at once, with the built-in queries.
void TestLifecycle::invalidConfigurationWaits()
{
    BalloonWatcher balloons;
    DialogAnswerer answerer(QMessageBox::Ok);
    TarvixRun run;
    QVERIFY(run.start({{"ServerAddress", QString()}}));

    QCOMPARE(answerer.texts(),
        QStringList({"No server address of Nagios found.",
            "The program is not configured correctly. Please enter the correct settings."}));
    QVERIFY(run.tarvix->isVisible());
    QCOMPARE(run.access->widget<QTabWidget>("tabConfig")->currentIndex(), int(GeneralTab));
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));
    QVERIFY(!run.access->link().isPolling());
    QCOMPARE(run.sim.requestCount(), 0);

    run.access->widget<QLineEdit>("edServerAddress")->setText(QStringLiteral("127.0.0.1"));
    QTest::mouseClick(run.access->widget<QPushButton>("btnSave"), Qt::LeftButton);
    QVERIFY(!run.tarvix->isVisible());
    QVERIFY(run.waitIdle());
    QStringList queries;
    for (const RecordedRequest& request : run.sim.requests())
        queries << request.query;
    QCOMPARE(queries,
        QStringList({QStringLiteral("hostgroup=all&style=hostdetail&hoststatustypes=12&limit=0"),
            QStringLiteral("host=all&servicestatustypes=28&limit=0")}));
    QCOMPARE(run.access->link().pollIntervalMs(), 600 * 1000);
    // The first good answer ends the error state.
    QVERIFY(!run.access->errorReported());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::normalIcon));
    QCOMPARE(balloons.titles(), QStringList {QStringLiteral("Tarvix")});
}

// A rejected configuration shows its first problem and writes nothing; a saved one narrows the
// file's permissions, and a new start shows and uses what was saved.
void TestLifecycle::rejectedThenSavedAndRestarted()
{
    DialogAnswerer answerer(QMessageBox::Ok);
    TarvixRun run;
    QVERIFY(run.start());
    const QString file = run.profile.settingsFile();
    run.access->showConfig();
    QVERIFY(QFile::setPermissions(
        file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray storedBefore = fileBytes(file);
    run.access->widget<QLineEdit>("edServerPort")->clear();
    run.access->widget<QCheckBox>("cbUseHTTPAuth")->setChecked(true);
    run.access->widget<QTabWidget>("tabConfig")->setCurrentIndex(HostFilteringTab);

    run.access->save();
    QCOMPARE(answerer.texts(),
        QStringList({QStringLiteral("Server port is not specified and will be installed in the default."),
            QStringLiteral("Not specified HTTP username.")}));
    QCOMPARE(answerer.seen.last().title, QStringLiteral("Tarvix: configuration error"));
    QCOMPARE(run.access->widget<QLineEdit>("edServerPort")->text(), QStringLiteral("80"));
    QCOMPARE(run.access->widget<QTabWidget>("tabConfig")->currentIndex(), int(GeneralTab));
    QCOMPARE(run.tarvix->focusWidget(), run.access->widget<QLineEdit>("edLogin"));
    QVERIFY(run.tarvix->isVisible());
    QCOMPARE(fileBytes(file), storedBefore);

    const QString hostsRegExp = QStringLiteral(R"rx(<td class='(\w+)'><a href='(\S+)'>(.+)</a>)rx");
    run.access->widget<QLineEdit>("edServerPort")->setText(QString::number(run.sim.port()));
    run.access->widget<QLineEdit>("edLogin")->setText(QStringLiteral("operator"));
    run.access->widget<QLineEdit>("edPassword")->setText(QStringLiteral("s3cret pass"));
    run.access->widget<QRadioButton>("rbExpertRegExpConfig")->setChecked(true);
    run.access->widget<QCheckBox>("cbHostsRegExp")->setChecked(true);
    run.access->widget<QLineEdit>("edHostsRegExp")->setText(hostsRegExp);
    run.access->widget<QLineEdit>("edHostStatRxPos")->setText(QStringLiteral("3"));
    run.access->widget<QRadioButton>("rbSrvcsOnLMK")->setChecked(true);
    answerer.seen.clear();
    run.access->save();
    QCOMPARE(answerer.texts(), QStringList());
    QVERIFY(!run.tarvix->isVisible());
    QCOMPARE(QFileInfo(file).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    QCOMPARE(run.profile.storedValue(QStringLiteral("Password")).toString(), QStringLiteral("s3cret pass"));

    run.stop();
    run.construct();
    QCOMPARE(answerer.texts(), QStringList());
    QCOMPARE(run.access->settings().hostsRegExp, hostsRegExp);
    QCOMPARE(run.access->settings().hostStatRxPos, 3);
    QCOMPARE(run.access->settings().numMenuOnLMK, 2);
    run.access->showConfig();
    QCOMPARE(run.access->widget<QLineEdit>("edPassword")->text(), QStringLiteral("s3cret pass"));
}

void TestLifecycle::saveAppliesTheWindow_data()
{
    QTest::addColumn<QVariantMap>("edits");
    QTest::addColumn<int>("recreations"); // of the HTTP client
    QTest::addColumn<QString>("question"); // what the window asks on the way, answered Yes

    const QString https = QStringLiteral("Set the server port to a default value for HTTPS protocol (443)?");
    QTest::newRow("address changed: the same client")
        << QVariantMap {{"edServerAddress", "localhost"}} << 0 << QString();
    QTest::newRow("certificate choice only") << QVariantMap {{"rbAllowInvalidCert", true}} << 1 << QString();
    QTest::newRow("protocol only: the HTTPS port offered")
        << QVariantMap {{"cbUseHttps", true}} << 1 << https;
    QTest::newRow("protocol and certificate choice")
        << QVariantMap {{"cbUseHttps", true}, {"rbAllowInvalidCert", true}} << 2 << https;
    QTest::newRow("hosts monitoring switched off: its late answer is not taken")
        << QVariantMap {{"cbEnableHosts", false}} << 0 << QString();
}

void TestLifecycle::saveAppliesTheWindow()
{
    QFETCH(QVariantMap, edits);
    QFETCH(int, recreations);
    QFETCH(QString, question);
    const bool hostsOff = edits.contains(QStringLiteral("cbEnableHosts"));
    DialogAnswerer answerer(QMessageBox::Yes);
    TarvixRun run;
    run.sim.setNeverAnswer(true);
    // No monitoring but where it is the point: an HTTPS poll of the plain simulator would fail.
    const bool monitoring = hostsOff;
    QVERIFY(run.start({{"EnableHostsMonitoring", monitoring}, {"EnableSrvcsMonitoring", monitoring}}));
    QCOMPARE(run.access->link().requestId(StatusList::Hosts) > 0, monitoring);
    run.access->showConfig();
    QVERIFY(harness::setWidgets(*run.tarvix, edits));
    QCOMPARE(answerer.texts(), question.isEmpty() ? QStringList() : QStringList {question});
    QCOMPARE(
        run.access->widget<QLineEdit>("edServerPort")->text() == QLatin1String("443"), !question.isEmpty());
    HttpClient* const before = run.access->http();

    run.access->save();

    // Replaced clients are deleted later, so right after the save each re-creation has left one.
    QCOMPARE(int(run.tarvix->findChildren<HttpClient*>().size()) - 1, recreations);
    QCOMPARE(run.access->http() != before, recreations > 0);
    QCOMPARE(run.access->settings().denySslCert,
        run.access->widget<QRadioButton>("rbDenyInvalidCert")->isChecked());
    QCOMPARE(run.access->settings().useHttps, run.access->widget<QCheckBox>("cbUseHttps")->isChecked());
    if (hostsOff) {
        QCOMPARE(run.access->link().requestId(StatusList::Hosts), 0);
        QVERIFY(run.access->link().requestId(StatusList::Services) > 0);
        QCOMPARE(run.hostEntries(), QStringList {run.access->widget<QAction>("actionUnmonitored")->text()});
    }
}

void TestLifecycle::questions_data()
{
    QTest::addColumn<QString>("fault"); // a simulator command, or "https" for its certificate
    QTest::addColumn<QString>("mended"); // the command that ends the fault
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<int>("polls"); // the poll whose answers bring the question
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("status"); // the exit status, or loopConditionMet when the program goes on
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("text"); // how the question starts
    QTest::addColumn<QString>("then"); // where a program that goes on is

    const int met = harness::loopConditionMet;
    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    const QVariantMap wrongPassword {{"UseHTTPAuth", true}, {"Login", "tarvix"}, {"Password", "wrong"}};
    const QVariantMap hostsOnly {{"EnableSrvcsMonitoring", false}};
    const QVariantMap denyCertificate {{"DenySSLCert", true}};
    const QString login = QStringLiteral("Invalid password or username. Terminate application? Clicking "
                                         "\"No\" will open the program settings.");
    const QString badStatus
        = QStringLiteral("Error query status: Server '127.0.0.1' return error 404\nTerminate "
                         "application? (Cancel button will open the program settings.)");
    const QString network = QStringLiteral("During the execution of the query an error occurred:\n'");
    const QString ssl = QStringLiteral("Server certificate 127.0.0.1:");
    const QStringList hosts {hostsTitle};
    const QStringList sslTitle {QStringLiteral("Tarvix: SSL error")};
    const auto row = [](const char* name, const char* fault, const QVariantMap& settings, int polls,
                         int answer, int status, const QStringList& titles, const QString& text,
                         const char* then, const char* mended = "") {
        QTest::newRow(name) << QString::fromLatin1(fault) << QString::fromLatin1(mended) << settings << polls
                            << answer << status << titles << text << QString::fromLatin1(then);
    };

    // Both requests fail, yet one question: a second would pile up behind the first.
    row("wrong password, Yes: status 2", "auth tarvix secret", wrongPassword, 1, yes, 2, hosts, login, "");
    row("wrong password, No: the settings at the user name", "auth tarvix secret", wrongPassword, 1, no, met,
        hosts, login, "user name");
    row("404, Yes: status 0", "status 404", hostsOnly, 1, yes, 0, hosts, badStatus, "");
    row("services 404, No: polling goes on", "status 404", {{"EnableHostsMonitoring", false}}, 1, no, met,
        {servicesTitle}, badStatus, "polling", "status 0");
    // Six failures in a row are tolerated, counted for each list on its own.
    row("network errors of both lists: a question each, and again at the next", "closemidbody on", {}, 7, no,
        met, {hostsTitle, servicesTitle}, network, "polling");
    row("certificate, Yes: status 0", "https", denyCertificate, 1, yes, 0, sslTitle, ssl, "");
    row("certificate, No: the settings on Misc", "https", denyCertificate, 1, no, met, sslTitle, ssl, "Misc");
}

void TestLifecycle::questions()
{
    QFETCH(QString, fault);
    QFETCH(QString, mended);
    QFETCH(QVariantMap, settings);
    QFETCH(int, polls);
    QFETCH(int, answer);
    QFETCH(int, status);
    QFETCH(QStringList, titles);
    QFETCH(QString, text);
    QFETCH(QString, then);

    // A box before its time is answered No and fails the test rather than hanging it.
    DialogAnswerer answerer(polls > 1 ? QMessageBox::No : QMessageBox::NoButton);
    TarvixRun run(fault == QLatin1String("https"));
    QVERIFY(fault == QLatin1String("https") || run.sim.applyCommand(fault));
    QVERIFY2(run.start(settings), qPrintable(run.sim.errorString()));
    for (int poll = 2; poll <= polls; ++poll) {
        QVERIFY(run.waitIdle());
        QVERIFY(answerer.seen.isEmpty());
        if (poll == polls)
            answerer.answerAllWith(QMessageBox::NoButton);
        run.access->poll();
    }
    // Answered once every request of the poll has failed.
    bool answered = false;
    QTimer gate;
    QObject::connect(&gate, &QTimer::timeout, &answerer, [&] {
        if (!answered && run.access->http()->pendingRequestCount() == 0) {
            answerer.answerAllWith(QMessageBox::StandardButton(answer));
            answered = true;
        }
    });
    gate.start(10);

    QCOMPARE(harness::runApplication(10000,
                 [&] {
                     return answered && answerer.seen.size() == titles.size()
                         && run.access->http()->pendingRequestCount() == 0
                         && (run.access->link().isPolling() || run.tarvix->isVisible());
                 }),
        status);
    QStringList seenTitles;
    for (const DialogAnswerer::Seen& box : answerer.seen) {
        seenTitles << box.title;
        QVERIFY2(box.text.startsWith(text), qPrintable(box.text));
    }
    seenTitles.sort();
    QCOMPARE(seenTitles, titles);
    if (then.isEmpty())
        return;
    QCOMPARE(run.access->link().isPolling(), then == QLatin1String("polling"));
    QCOMPARE(run.tarvix->isVisible(), then != QLatin1String("polling"));
    if (then == QLatin1String("user name"))
        QCOMPARE(run.tarvix->focusWidget(), run.access->widget<QLineEdit>("edLogin"));
    else if (then != QLatin1String("polling"))
        QCOMPARE(run.access->widget<QTabWidget>("tabConfig")->currentIndex(),
            int(then == "Misc" ? MiscTab : GeneralTab));
    if (then != QLatin1String("polling"))
        return;
    // Polling goes on: the next error asks again, the next good answer ends the error state.
    answerer.seen.clear();
    QVERIFY(mended.isEmpty() || run.sim.applyCommand(mended));
    QVERIFY(run.pollAndWait());
    QCOMPARE(answerer.seen.size(), mended.isEmpty() ? titles.size() : 0);
    QCOMPARE(run.access->errorReported(), mended.isEmpty());
}

// The certificate question shows the fingerprint and offers to trust the certificate: its key is
// pinned for the server and stored, and polling goes on. A stored key that no longer matches asks
// again, saying that the certificate changed.
void TestLifecycle::certificateTrustedOnFirstUse()
{
    QStringList asked;
    QTimer answering;
    QObject::connect(&answering, &QTimer::timeout, [&asked] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        asked << box->text();
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == QLatin1String("Trust this certificate"))
                button->click();
        }
    });
    answering.start(20);
    TarvixRun run(true);
    run.sim.setHost(QStringLiteral("web-01"), NagiosSimulator::HostState::Down);
    QVERIFY2(run.start({{"DenySSLCert", true}}), qPrintable(run.sim.errorString()));
    QTRY_COMPARE(asked.size(), 1);
    QVERIFY2(asked.first().contains(QStringLiteral("SHA-256 fingerprint: ")), qPrintable(asked.first()));
    QVERIFY(!asked.first().contains(QLatin1String("has changed")));
    const QString pin = run.profile.storedValue(QStringLiteral("PinnedPublicKey")).toString();
    QVERIFY2(pin.startsWith(QLatin1String("sha256//")), qPrintable(pin));
    QVERIFY(run.pollAndWait());
    QTRY_COMPARE(run.hostEntries(), QStringList {QStringLiteral("web-01")});
    QVERIFY(!run.access->errorReported());
    QCOMPARE(asked.size(), 1);

    run.stop();
    run.profile.writeSettings({{"PinnedPublicKey", QStringLiteral("sha256//") + QString(43, u'A') + u'='}});
    run.construct();
    QTRY_COMPARE(asked.size(), 2);
    QVERIFY2(asked.last().startsWith(QLatin1String("The server's certificate has changed")),
        qPrintable(asked.last()));
}

// A server that sends a byte now and then would keep a request alive for ever; later polls must
// not pile up behind it, and the answer's end by the time limit counts as a failure of its list.
void TestLifecycle::trickledAnswerEndsAndCounts()
{
    TarvixRun run;
    run.sim.setTrickle(50);
    QVERIFY(run.start({{"EnableSrvcsMonitoring", false}}));
    run.access->http()->setTotalTimeout(600);
    QTRY_COMPARE(run.sim.requestCount(), 1);
    run.access->poll();
    run.access->poll();
    QVERIFY(run.waitIdle());
    QCOMPARE(run.sim.requestCount(), 1); // the polls did not ask again while the answer was coming
    QCOMPARE(run.access->link().listHealth().failures(StatusList::Hosts), 1);

    run.sim.setTrickle(0);
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.access->link().listHealth().failures(StatusList::Hosts), 0);
}

// Started before the panel, it waits for a tray; without one it gives up with a message and
// status 255. The child's display has none.
void TestLifecycle::noSystemTray()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A session bus could offer a tray of its own.
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The child ends in exit(), past its profile's clean-up: the profile goes here with this folder.
    QTemporaryDir temporary;
    environment.insert(QStringLiteral("TMPDIR"), temporary.path());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(
        QCoreApplication::applicationFilePath(), {QString::fromLatin1(trayChild), QStringLiteral("1")});
    QVERIFY(child.waitForFinished(30000));
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 255);
    const QStringList parts = output.trimmed().split(QLatin1Char('|'));
    QCOMPARE(parts.mid(0, 3),
        QStringList({"box", "Systray", "I couldn't detect any system tray on this system."}));
    QVERIFY2(parts.value(3).toInt() >= 1000, qPrintable(output));
}

void TestLifecycle::localisation_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("facts"); // the data directory, the two sounds, the texts shown

    const QString russian = QStringLiteral("Общие/Выход/&Да");
    const auto row = [](const char* name, const char* scenario, const char* lang, const QString& facts) {
        QTest::newRow(name) << QString::fromLatin1(scenario) << QString::fromLatin1(lang) << facts;
    };
    row("other locales: English", "first-start", "de_DE.UTF-8", "home embedded embedded General/Exit/&Yes");
    // The user's catalogue replaces the embedded one as a whole: what it leaves out stays English.
    row("the user's translation and sound win", "user-files", "ru_RU.UTF-8",
        "home user's embedded General/Выход (перевод пользователя)/&Да (перевод пользователя)");
    // Files that others put into the shared temporary directory are never read.
    row("an unwritable home: a private directory of this run", "unwritable-home", "ru_RU.UTF-8",
        "private embedded embedded " + russian);
    row("Russian, then localization disabled: English at once, and back", "disable-localization",
        "ru_RU.UTF-8",
        "home embedded embedded " + russian + ", then General/Exit/&Yes, then " + russian + ", 0 boxes");
}

// The system locale is read once per process, so each case runs a child with its own LANG and an
// empty temporary directory; it prints where its data directory is, the state of the two sounds
// and the texts it shows.
void TestLifecycle::localisation()
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
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(localeChild), scenario});
    if (!child.waitForFinished(120000))
        child.kill();
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(output.section(QStringLiteral("FACTS "), 1).trimmed(), facts);
}

int main(int argc, char* argv[])
{
    if (argc == 3 && qstrcmp(argv[1], trayChild) == 0)
        return runChild(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], localeChild) == 0) {
        QApplication app(argc, argv);
        app.setQuitOnLastWindowClosed(false);
        return runLocaleChild(QString::fromLocal8Bit(argv[2]));
    }

    QApplication app(argc, argv);
    TestLifecycle test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lifecycle.moc"
