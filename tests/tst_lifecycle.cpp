#include "tarvixharness.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

// How the program starts and ends: the wait for a configuration, the questions whose answers end
// it with their exit statuses, "Exit", and a desktop without (or not yet with) a tray. The tray
// cases run this executable again as a child.
class TestLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init();

    void invalidConfigurationWaits();
    void exitFromTrayMenu();
    void authenticationQuestion_data();
    void authenticationQuestion();
    void badStatusQuestion_data();
    void badStatusQuestion();
    void networkErrorQuestion_data();
    void networkErrorQuestion();
    void trickledAnswerEndsAndCounts();
    void oneFailingListIsNotHidden();
    void sslQuestion_data();
    void sslQuestion();
    void noSystemTray();
    void waitsForSystemTray();
};

namespace {

const char noTrayChild[] = "--no-tray-child";
const char waitForTrayChild[] = "--wait-for-tray-child";
const QString hostsTitle = QStringLiteral("Tarvix: HTTP error status of hosts request");
const QString servicesTitle = QStringLiteral("Tarvix: HTTP error status of services request");

void print(const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// The child prints each message box as it appears and answers it with Ok.
int runChild(int argc, char* argv[], bool waitForTray)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TemporaryProfile profile;
    profile.writeSettings({{QStringLiteral("ServerAddress"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("HTTPPort"), QStringLiteral("9")}, {QStringLiteral("RequestPeriod"), 600},
        {QStringLiteral("DisableLocalization"), true}});
    QElapsedTimer started;
    started.start();
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, qApp, [&started] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box && box->isVisible()) {
                print(QStringLiteral("box|%1|%2|%3")
                          .arg(box->windowTitle(), box->text())
                          .arg(started.elapsed()));
                box->done(QMessageBox::Ok);
            }
        }
    });
    boxes.start(20);
    Tarvix::systemTrayWaitSeconds = waitForTray ? 20 : 1;
    if (waitForTray)
        print(QSystemTrayIcon::isSystemTrayAvailable() ? QStringLiteral("tray already there")
                                                       : QStringLiteral("no tray yet"));
    Tarvix tarvix;
    print(QStringLiteral("up after %1 ms").arg(started.elapsed()));
    return 0;
}

QProcessEnvironment childEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A session bus could offer a tray of its own.
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    return environment;
}

} // namespace

void TestLifecycle::init()
{
    // The children bring their own display.
    if (!QByteArray(QTest::currentTestFunction()).endsWith("SystemTray"))
        REQUIRE_SYSTEM_TRAY();
}

void TestLifecycle::invalidConfigurationWaits()
{
    BalloonWatcher balloons;
    DialogAnswerer answerer;
    answerer.answerAllWith(QMessageBox::Ok);
    TarvixRun run;
    QVERIFY(run.startServer());
    run.start({{QStringLiteral("UseUserDefHostsRequest"), true},
        {QStringLiteral("UserDefHostsRequest"), QString()}});

    QCOMPARE(answerer.texts(),
        (QStringList {QStringLiteral("No request for the status of hosts."),
            QStringLiteral("The program is not configured correctly. Please enter the correct settings.")}));
    QVERIFY(run.tarvix->isVisible());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));
    QVERIFY(!run.access->pollTimer().isActive());
    QCOMPARE(run.sim.requestCount(), 0);

    // Saved valid: polled at once, and the first good answer ends the error state.
    run.access->ui().cbHostsRequest->setChecked(false);
    run.access->save();
    QVERIFY(run.waitIdle());
    QCOMPARE(run.sim.requestCount(), 2);
    QVERIFY(run.access->pollTimer().isActive());
    QVERIFY(!run.access->errorReported());
    QCOMPARE(balloons.titles(), QStringList {QStringLiteral("Tarvix")});
}

void TestLifecycle::exitFromTrayMenu()
{
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setNeverAnswer(true);
    run.start();
    QTRY_COMPARE(run.sim.requestCount(), 1);

    QTimer::singleShot(0, run.access->ui().actionQuit, &QAction::trigger);
    QCOMPARE(harness::runApplication(5000), 0);
    // The destructor aborts the request still in flight.
    run.stop();
    QTRY_COMPARE(run.sim.openConnectionCount(), 0);
}

void TestLifecycle::authenticationQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("expectedStatus");

    QTest::newRow("Yes ends the program with status 2") << int(QMessageBox::Yes) << 2;
    QTest::newRow("No opens the configuration at the login")
        << int(QMessageBox::No) << harness::loopConditionMet;
}

void TestLifecycle::authenticationQuestion()
{
    QFETCH(int, answer);
    QFETCH(int, expectedStatus);

    DialogAnswerer answerer;
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.requireBasicAuth(QStringLiteral("tarvix"), QStringLiteral("secret"));
    run.start({{QStringLiteral("UseHTTPAuth"), true}, {QStringLiteral("Login"), QStringLiteral("tarvix")},
        {QStringLiteral("Password"), QStringLiteral("wrong")}});

    // Answered once the services request has failed too: still one question.
    bool answered = false;
    QTimer gate;
    QObject::connect(&gate, &QTimer::timeout, &answerer, [&] {
        if (!answered && run.access->http()->pendingRequestCount() == 0) {
            answerer.answer(QMessageBox::StandardButton(answer));
            answered = true;
        }
    });
    gate.start(10);

    QCOMPARE(
        harness::runApplication(10000, [&] { return answered && run.tarvix->isVisible(); }), expectedStatus);
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().at(0).title, hostsTitle);
    QCOMPARE(answerer.seen().at(0).text,
        QStringLiteral("Invalid password or username. Terminate application? Clicking \"No\" will open the "
                       "program settings."));
    QVERIFY(!run.access->pollTimer().isActive());
    if (answer == QMessageBox::No)
        QCOMPARE(run.tarvix->focusWidget(), run.access->ui().edLogin);
}

void TestLifecycle::badStatusQuestion_data()
{
    QTest::addColumn<bool>("hostsRequest");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("expectedStatus");

    QTest::newRow("404, Yes ends the program with status 0") << true << int(QMessageBox::Yes) << 0;
    QTest::newRow("services 404, No goes on polling")
        << false << int(QMessageBox::No) << harness::loopConditionMet;
    QTest::newRow("404, Cancel opens the configuration")
        << true << int(QMessageBox::Cancel) << harness::loopConditionMet;
}

void TestLifecycle::badStatusQuestion()
{
    QFETCH(bool, hostsRequest);
    QFETCH(int, answer);
    QFETCH(int, expectedStatus);

    DialogAnswerer answerer;
    answerer.answer(QMessageBox::StandardButton(answer));
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setFixedStatus(404);
    // One request kind, so one question.
    run.start(
        {{hostsRequest ? QStringLiteral("EnableSrvcsMonitoring") : QStringLiteral("EnableHostsMonitoring"),
            false}});

    QCOMPARE(harness::runApplication(10000,
                 [&] {
                     return answerer.seen().size() == 1
                         && (run.access->pollTimer().isActive() || run.tarvix->isVisible());
                 }),
        expectedStatus);
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().at(0).title, hostsRequest ? hostsTitle : servicesTitle);
    QCOMPARE(answerer.seen().at(0).text,
        QStringLiteral(
            "Error query status: Server '127.0.0.1' return error 404\nTerminate application? (Cancel "
            "button will open the program settings.)"));
    QCOMPARE(run.tarvix->isVisible(), answer == QMessageBox::Cancel);
    QCOMPARE(run.access->pollTimer().isActive(), answer == QMessageBox::No);
    if (answer == QMessageBox::No) {
        run.sim.setFixedStatus(0);
        QVERIFY(run.pollAndWait());
        QVERIFY(!run.access->errorReported());
    }
}

void TestLifecycle::networkErrorQuestion_data()
{
    QTest::addColumn<bool>("bothKinds");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("expectedStatus");

    QTest::newRow("Yes ends the program with status 1") << false << int(QMessageBox::Yes) << 1;
    QTest::newRow("No goes on, the next error asks again")
        << false << int(QMessageBox::No) << harness::loopConditionMet;
    QTest::newRow("both kinds fail, each counts its own")
        << true << int(QMessageBox::No) << harness::loopConditionMet;
}

void TestLifecycle::networkErrorQuestion()
{
    QFETCH(bool, bothKinds);
    QFETCH(int, answer);
    QFETCH(int, expectedStatus);

    DialogAnswerer answerer;
    // A box before its time is answered No and fails the test rather than hanging it.
    answerer.answerAllWith(QMessageBox::No);
    TarvixRun run;
    // Nobody listens on the port: refused at once.
    QVERIFY(run.startServer());
    run.sim.stop();
    run.start({{QStringLiteral("EnableSrvcsMonitoring"), bothKinds}});
    const int errorsPerPoll = bothKinds ? 2 : 1;

    QVERIFY(run.waitIdle());
    while (run.access->failures(StatusList::Hosts) < 6) {
        QVERIFY(run.pollAndWait());
        QVERIFY(answerer.seen().isEmpty());
    }
    QCOMPARE(run.access->failures(StatusList::Services), bothKinds ? 6 : 0);

    answerer.answer(QMessageBox::StandardButton(answer));
    run.access->poll();
    QCOMPARE(harness::runApplication(10000,
                 [&] {
                     return answerer.seen().size() == errorsPerPoll
                         && run.access->http()->pendingRequestCount() == 0;
                 }),
        expectedStatus);
    QStringList titles;
    for (const DialogAnswerer::Seen& seen : answerer.seen())
        titles << seen.title;
    titles.sort();
    QCOMPARE(titles, bothKinds ? (QStringList {hostsTitle, servicesTitle}) : QStringList {hostsTitle});
    const QString text = answerer.seen().at(0).text;
    QVERIFY2(text.startsWith(QStringLiteral("During the execution of the query an error occurred:\n'"))
            && text.endsWith(QStringLiteral("'\nTerminate application?")),
        qPrintable(text));
    if (expectedStatus != harness::loopConditionMet)
        return;

    QVERIFY(run.access->pollTimer().isActive());
    answerer.clear();
    QVERIFY(run.pollAndWait());
    QCOMPARE(answerer.seen().size(), errorsPerPoll);
}

// A server that sends a byte now and then would keep a request alive for ever; later polls must
// not pile up behind it, and the answer's end by the time limit counts as a failure of its list.
void TestLifecycle::trickledAnswerEndsAndCounts()
{
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setTrickle(50);
    run.start({{QStringLiteral("EnableSrvcsMonitoring"), false}});
    run.access->http()->setTotalTimeout(600);
    QTRY_COMPARE(run.sim.requestCount(), 1);
    run.access->poll();
    run.access->poll();
    QVERIFY(run.waitIdle());
    QCOMPARE(run.sim.requestCount(), 1); // the polls did not ask again while the answer was coming
    QCOMPARE(run.access->failures(StatusList::Hosts), 1);

    run.sim.setTrickle(0);
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.access->failures(StatusList::Hosts), 0);
}

// The services answer fails on every poll while the hosts answer is fine: the services list must
// not freeze in silence.
void TestLifecycle::oneFailingListIsNotHidden()
{
    DialogAnswerer answerer;
    answerer.answerAllWith(QMessageBox::No);
    BalloonWatcher balloons;
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setHost(QStringLiteral("web1"), NagiosSimulator::HostState::Down);
    run.sim.addGeneratedServices(40, 5, NagiosSimulator::ServiceState::Critical);
    run.start();
    QVERIFY(run.waitIdle());
    const QString stale = QStringLiteral("The list of problem services is stale since");
    run.access->http()->setMaxBodySize(run.sim.hostsPage().size() + 20000);

    for (int poll = 1; poll <= 7; ++poll) {
        QVERIFY(run.pollAndWait());
        QCOMPARE(run.access->failures(StatusList::Services), poll);
    }
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().at(0).title, servicesTitle);
    QVERIFY2(run.toolTip().contains(stale), qPrintable(run.toolTip()));
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));
    QCOMPARE(run.hostEntries(), QStringList {QStringLiteral("web1")});

    // The hosts answers keep coming without ending the error state.
    run.sim.setHost(QStringLiteral("web2"), NagiosSimulator::HostState::Down);
    QVERIFY(run.pollAndWait());
    QCOMPARE(run.hostEntries(), QStringList({QStringLiteral("web1"), QStringLiteral("web2")}));
    QVERIFY(run.toolTip().contains(stale));
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));

    run.access->http()->setMaxBodySize(HttpClient::defaultMaxBodyBytes);
    balloons.balloons.clear();
    QVERIFY(run.pollAndWait());
    QVERIFY(!run.toolTip().contains(stale));
    QVERIFY(!run.access->errorReported());
    QVERIFY(balloons.titles().contains(QStringLiteral("Tarvix")));
}

void TestLifecycle::sslQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("expectedStatus");

    QTest::newRow("Yes ends the program with status 0") << int(QMessageBox::Yes) << 0;
    QTest::newRow("No opens the configuration on its Misc tab")
        << int(QMessageBox::No) << harness::loopConditionMet;
}

void TestLifecycle::sslQuestion()
{
    QFETCH(int, answer);
    QFETCH(int, expectedStatus);

    DialogAnswerer answerer;
    answerer.answer(QMessageBox::StandardButton(answer));
    TarvixRun run;
    QVERIFY2(run.startServer(true), qPrintable(run.sim.errorString()));
    run.sim.setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    run.start({{QStringLiteral("DenySSLCert"), true}});

    QCOMPARE(harness::runApplication(
                 10000, [&] { return answerer.seen().size() == 1 && run.tarvix->isVisible(); }),
        expectedStatus);
    // Both requests meet the certificate: one question.
    QVERIFY(run.waitIdle());
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen().at(0).title, QStringLiteral("Tarvix: SSL error"));
    QVERIFY(answerer.seen().at(0).text.startsWith(
        QStringLiteral("Server certificate 127.0.0.1:%1 contains the following errors:\n1) ")
            .arg(run.sim.port())));
    QVERIFY(!run.access->pollTimer().isActive());
    QCOMPARE(run.toolTip(),
        QStringLiteral("Tarvix (https://127.0.0.1:%1)\nSSL error ocurred. Monitoring is impossible.")
            .arg(run.sim.port()));
    QCOMPARE(run.hostEntries(), QStringList {QStringLiteral("         < empty >")});
    if (answer == QMessageBox::No)
        QCOMPARE(run.access->ui().tabConfig->currentIndex(), 4);
}

void TestLifecycle::noSystemTray()
{
    QProcess child;
    QProcessEnvironment environment = childEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(noTrayChild)});
    QVERIFY(child.waitForFinished(30000));
    const QString output = QString::fromUtf8(child.readAllStandardOutput());

    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 255);
    const QStringList parts = output.trimmed().split(QLatin1Char('|'));
    QCOMPARE(parts.size(), 4);
    QCOMPARE(parts.at(1), QStringLiteral("Systray"));
    QCOMPARE(parts.at(2), QStringLiteral("I couldn't detect any system tray on this system."));
    // It waited for a tray before giving up.
    QVERIFY2(parts.at(3).toInt() >= 1000, qPrintable(output));
}

void TestLifecycle::waitsForSystemTray()
{
    const QString xvfbProgram = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString trayerProgram = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    if (xvfbProgram.isEmpty() || trayerProgram.isEmpty()) {
        if (qEnvironmentVariable("TARVIX_REQUIRE_TRAY") == QLatin1String("true"))
            QFAIL("Xvfb and trayer are needed");
        QSKIP("Xvfb and trayer are needed");
    }

    // A display of its own, on which the tray comes up only after the program.
    QProcess xvfb;
    xvfb.start(xvfbProgram,
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
            QStringLiteral("tcp")});
    QByteArray displayNumber;
    while (!displayNumber.contains('\n') && xvfb.waitForReadyRead(10000))
        displayNumber += xvfb.readAllStandardOutput();
    QVERIFY2(displayNumber.contains('\n'), "Xvfb did not start");

    QProcessEnvironment environment = childEnvironment();
    environment.insert(
        QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(displayNumber.trimmed()));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(waitForTrayChild)});
    QByteArray output;
    while (!output.contains('\n') && child.waitForReadyRead(10000))
        output += child.readAllStandardOutput();
    QCOMPARE(output.trimmed(), QByteArray("no tray yet"));

    QVERIFY2(!child.waitForFinished(1500), child.readAll().constData());
    QProcess trayer;
    trayer.setProcessEnvironment(environment);
    trayer.start(trayerProgram, {QStringLiteral("--edge"), QStringLiteral("top")});
    QVERIFY(trayer.waitForStarted(5000));

    const bool ended = child.waitForFinished(20000);
    output += child.readAllStandardOutput();
    for (QProcess* process : {&child, &trayer, &xvfb}) {
        process->kill();
        process->waitForFinished(5000);
    }
    QVERIFY2(ended, output.constData());
    QCOMPARE(child.exitCode(), 0);
    const QRegularExpressionMatch up
        = QRegularExpression(QStringLiteral("\nup after (\\d+) ms\n$")).match(QString::fromUtf8(output));
    QVERIFY2(up.hasMatch(), output.constData());
    QVERIFY(up.captured(1).toInt() >= 1500);
}

int main(int argc, char* argv[])
{
    if (argc > 1 && qstrcmp(argv[1], noTrayChild) == 0)
        return runChild(argc, argv, false);
    if (argc > 1 && qstrcmp(argv[1], waitForTrayChild) == 0)
        return runChild(argc, argv, true);

    QApplication app(argc, argv);
    TestLifecycle test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lifecycle.moc"
