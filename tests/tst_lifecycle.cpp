#include "tarvixharness.h"

#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

// How the running program starts and ends: the first poll or the wait for a configuration, the
// questions whose answers end it with their exit statuses, "Exit", the destructor, and a desktop
// without (or not yet with) a system tray. Some cases run this executable again as a child.
class TestLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void invalidConfigurationWaits();
    void exitFromTrayMenu();
    void authenticationQuestion_data();
    void authenticationQuestion();
    void badStatusQuestion_data();
    void badStatusQuestion();
    void networkErrorQuestion_data();
    void networkErrorQuestion();
    void sslQuestion_data();
    void sslQuestion();
    void sslCertificateAllowed();
    void noSystemTray();
    void waitsForSystemTray();
};

namespace {

const char noTrayChild[] = "--no-tray-child";
const char waitForTrayChild[] = "--wait-for-tray-child";

QStringList titlesOf(const DialogAnswerer& answerer)
{
    QStringList titles;
    for (const DialogAnswerer::Seen& seen : answerer.seen())
        titles << seen.title;
    return titles;
}

QString hostsTitle()
{
    return QStringLiteral("Tarvix: HTTP error status of hosts request");
}

QString servicesTitle()
{
    return QStringLiteral("Tarvix: HTTP error status of services request");
}

void print(const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// The child prints each message box as it appears (the process may end right after it) and
// answers it with Ok.
void reportAndAnswerBoxes(const QElapsedTimer& started)
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, qApp, [&started] {
        const QWidgetList widgets = QApplication::topLevelWidgets();
        for (QWidget* widget : widgets) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible())
                continue;
            print(QStringLiteral("box|%1|%2|%3|%4")
                      .arg(int(box->icon()))
                      .arg(box->windowTitle(), box->text())
                      .arg(started.elapsed()));
            box->done(QMessageBox::Ok);
        }
    });
    timer->start(20);
}

// A valid configuration; the server is never reached before the child ends.
void writeChildSettings(const TemporaryProfile& profile)
{
    profile.writeSettings({{QStringLiteral("ServerAddress"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("HTTPPort"), QStringLiteral("9")}, {QStringLiteral("RequestPeriod"), 600},
        {QStringLiteral("DisableLocalization"), true}});
}

int runChild(int argc, char* argv[], bool waitForTray)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TemporaryProfile profile;
    writeChildSettings(profile);
    QElapsedTimer started;
    started.start();
    reportAndAnswerBoxes(started);
    if (waitForTray) {
        Tarvix::systemTrayWaitSeconds = 20;
        print(QSystemTrayIcon::isSystemTrayAvailable() ? QStringLiteral("tray already there")
                                                       : QStringLiteral("no tray yet"));
    } else {
        Tarvix::systemTrayWaitSeconds = 1;
    }
    Tarvix tarvix;
    print(QStringLiteral("up after %1 ms, tray %2")
              .arg(started.elapsed())
              .arg(QSystemTrayIcon::isSystemTrayAvailable() ? QStringLiteral("available")
                                                            : QStringLiteral("missing")));
    return 0;
}

// Ends a helper process that this test started.
void stopProcess(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

void TestLifecycle::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void TestLifecycle::init()
{
    // The children bring their own display situation.
    if (QByteArray(QTest::currentTestFunction()) != "noSystemTray"
        && QByteArray(QTest::currentTestFunction()) != "waitsForSystemTray")
        REQUIRE_SYSTEM_TRAY();
}

void TestLifecycle::cleanup()
{
    const QList<QWidget*> popups = harness::topLevelsOfClass("InformationWindow");
    for (QWidget* popup : popups)
        popup->close();
}

void TestLifecycle::invalidConfigurationWaits()
{
    BalloonWatcher balloons;
    DialogAnswerer answerer;
    answerer.answerAllWith(QMessageBox::Ok);
    TarvixRun run;
    QVERIFY(run.startServer());
    // Everything points at the server, but the user's hosts request is empty.
    run.start({{QStringLiteral("UseUserDefHostsRequest"), true},
        {QStringLiteral("UserDefHostsRequest"), QString()}});

    QCOMPARE(answerer.texts(),
        (QStringList {QStringLiteral("No request for the status of hosts."),
            QStringLiteral("The program is not configured correctly. Please enter the correct settings.")}));
    QCOMPARE(answerer.seen().at(1).title, QStringLiteral("Tarvix: configuration error."));
    QCOMPARE(answerer.seen().at(1).icon, QMessageBox::Warning);
    QVERIFY(run.tarvix->isVisible());
    QCOMPARE(run.access->ui().tabConfig->currentIndex(), 0);
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));
    QCOMPARE(run.access->trayIcon().toolTip(),
        QStringLiteral(
            "Tarvix (http://127.0.0.1:%1)\nWrong configuration. The program needs to be reconfigured.")
            .arg(run.sim.port()));
    QVERIFY(!run.access->pollTimer().isActive());
    QCOMPARE(run.access->http()->pendingRequestCount(), 0);
    QCOMPARE(run.sim.requestCount(), 0);

    // A valid configuration saved: polled at once; the first good answer ends the error state.
    run.access->ui().cbHostsRequest->setChecked(false);
    run.access->save();
    QVERIFY(run.waitIdle());
    QCOMPARE(run.sim.requestCount(), 2);
    QVERIFY(!run.tarvix->isVisible());
    QVERIFY(run.access->pollTimer().isActive());
    QVERIFY(!run.access->errorReported());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::normalIcon));
    QCOMPARE(balloons.titles(), QStringList {QStringLiteral("Tarvix")});
    QCOMPARE(balloons.balloons.at(0).message, QStringLiteral("Connection with the server is established."));
}

void TestLifecycle::exitFromTrayMenu()
{
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setNeverAnswer(true);
    run.start();
    QTRY_COMPARE(run.sim.openConnectionCount(), 1);
    QTRY_COMPARE(run.sim.requestCount(), 1);

    QTimer::singleShot(0, run.access->ui().actionQuit, &QAction::trigger);
    QCOMPARE(harness::runApplication(5000), 0);

    // Ending the loop leaves the request in flight to the destructor, which aborts it.
    QCOMPARE(run.sim.openConnectionCount(), 1);
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

    // The answer waits until the services request has failed too, while the question is open.
    bool answered = false;
    QTimer gate;
    QObject::connect(&gate, &QTimer::timeout, &answerer, [&] {
        if (!answered && run.access->http()->pendingRequestCount() == 0) {
            answerer.answer(QMessageBox::StandardButton(answer));
            answered = true;
        }
    });
    gate.start(10);

    const int status = harness::runApplication(10000, [&] { return answered && run.tarvix->isVisible(); });
    QCOMPARE(status, expectedStatus);
    QCOMPARE(answerer.seen().size(), 1);
    const DialogAnswerer::Seen& seen = answerer.seen().at(0);
    QCOMPARE(seen.title, hostsTitle());
    QCOMPARE(seen.text,
        QStringLiteral("Invalid password or username. Terminate application? Clicking \"No\" will open the "
                       "program settings."));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(seen.defaultButton, QMessageBox::No);
    QVERIFY(run.access->errorReported());
    QVERIFY(!run.access->pollTimer().isActive());
    QCOMPARE(run.access->trayIcon().toolTip(),
        QStringLiteral(
            "Tarvix (http://127.0.0.1:%1)\nHTTP error ocurred:\nInvalid password or username.\nMonitoring "
            "is impossible.")
            .arg(run.sim.port()));
    if (answer == QMessageBox::No) {
        QVERIFY(run.tarvix->isVisible());
        QCOMPARE(run.tarvix->focusWidget(), run.access->ui().edLogin);
    }
}

void TestLifecycle::badStatusQuestion_data()
{
    QTest::addColumn<bool>("hostsRequest");
    QTest::addColumn<int>("statusCode");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("expectedStatus");

    QTest::newRow("404, Yes ends the program with status 0") << true << 404 << int(QMessageBox::Yes) << 0;
    QTest::newRow("500, No goes on polling")
        << true << 500 << int(QMessageBox::No) << harness::loopConditionMet;
    QTest::newRow("services request, 404, No goes on polling")
        << false << 404 << int(QMessageBox::No) << harness::loopConditionMet;
    QTest::newRow("404, Cancel opens the configuration")
        << true << 404 << int(QMessageBox::Cancel) << harness::loopConditionMet;
}

void TestLifecycle::badStatusQuestion()
{
    QFETCH(bool, hostsRequest);
    QFETCH(int, statusCode);
    QFETCH(int, answer);
    QFETCH(int, expectedStatus);

    BalloonWatcher balloons;
    DialogAnswerer answerer;
    answerer.answer(QMessageBox::StandardButton(answer));
    TarvixRun run;
    QVERIFY(run.startServer());
    run.sim.setFixedStatus(statusCode);
    // One request kind, so one question.
    run.start(
        {{hostsRequest ? QStringLiteral("EnableSrvcsMonitoring") : QStringLiteral("EnableHostsMonitoring"),
            false}});

    const int status = harness::runApplication(10000, [&] {
        return answerer.seen().size() == 1 && (run.access->pollTimer().isActive() || run.tarvix->isVisible());
    });
    QCOMPARE(status, expectedStatus);
    QCOMPARE(answerer.seen().size(), 1);
    const DialogAnswerer::Seen& seen = answerer.seen().at(0);
    QCOMPARE(seen.title, hostsRequest ? hostsTitle() : servicesTitle());
    QCOMPARE(seen.text,
        QStringLiteral(
            "Error query status: Server '127.0.0.1' return error %1\nTerminate application? (Cancel "
            "button will open the program settings.)")
            .arg(statusCode));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(seen.defaultButton, QMessageBox::Cancel);
    QVERIFY(run.access->errorReported());
    QCOMPARE(run.access->trayIcon().toolTip(),
        QStringLiteral("Tarvix (http://127.0.0.1:%1)\nHTTP error ocurred:\nServer '127.0.0.1' return error "
                       "%2\nMonitoring is impossible.")
            .arg(run.sim.port())
            .arg(statusCode));

    if (answer == QMessageBox::Cancel) {
        QVERIFY(run.tarvix->isVisible());
        QVERIFY(!run.access->pollTimer().isActive());
    }
    if (answer == QMessageBox::No) {
        QVERIFY(run.access->pollTimer().isActive());
        QVERIFY(!run.tarvix->isVisible());
        // The error state lasts until the next good answer.
        run.sim.setFixedStatus(0);
        QVERIFY(run.pollAndWait());
        QVERIFY(!run.access->errorReported());
        QCOMPARE(balloons.titles(), QStringList {QStringLiteral("Tarvix")});
        QCOMPARE(
            balloons.balloons.at(0).message, QStringLiteral("Connection with the server is established."));
    }
}

void TestLifecycle::networkErrorQuestion_data()
{
    QTest::addColumn<bool>("bothKinds");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("expectedStatus");

    QTest::newRow("Yes ends the program with status 1") << false << int(QMessageBox::Yes) << 1;
    QTest::newRow("No goes on polling, the eighth error asks again")
        << false << int(QMessageBox::No) << harness::loopConditionMet;
    QTest::newRow("both kinds count together") << true << int(QMessageBox::No) << harness::loopConditionMet;
}

void TestLifecycle::networkErrorQuestion()
{
    QFETCH(bool, bothKinds);
    QFETCH(int, answer);
    QFETCH(int, expectedStatus);

    DialogAnswerer answerer;
    // A box before its time would be answered No and then fail the test, not hang it.
    answerer.answerAllWith(QMessageBox::No);
    TarvixRun run;
    // A port that nobody listens on: the connection is refused at once.
    QVERIFY(run.startServer());
    run.sim.stop();
    run.start({{QStringLiteral("EnableSrvcsMonitoring"), bothKinds}});
    const int errorsPerPoll = bothKinds ? 2 : 1;

    QVERIFY(run.waitIdle());
    while (run.access->httpErrorCount() + errorsPerPoll < 7) {
        QVERIFY(run.pollAndWait());
        QVERIFY2(answerer.seen().isEmpty(),
            qPrintable(QStringLiteral("asked after %1 errors").arg(run.access->httpErrorCount())));
    }
    QCOMPARE(run.access->httpErrorCount(), 6);
    QVERIFY(run.access->pollTimer().isActive());

    answerer.answer(QMessageBox::StandardButton(answer));
    run.access->poll();
    const int status = harness::runApplication(10000, [&] {
        return answerer.seen().size() == errorsPerPoll && run.access->http()->pendingRequestCount() == 0;
    });
    QCOMPARE(status, expectedStatus);
    // Both boxes are open at once when both kinds fail; they are answered in no fixed order.
    QStringList titles = titlesOf(answerer);
    titles.sort();
    QCOMPARE(titles, bothKinds ? (QStringList {hostsTitle(), servicesTitle()}) : QStringList {hostsTitle()});
    const DialogAnswerer::Seen& seen = answerer.seen().at(0);
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(seen.defaultButton, QMessageBox::No);
    const QString head = QStringLiteral("During the execution of the query an error occurred:\n'");
    const QString tail = QStringLiteral("'\nTerminate application?");
    QVERIFY2(seen.text.startsWith(head) && seen.text.endsWith(tail), qPrintable(seen.text));
    const QString reason = seen.text.mid(head.size(), seen.text.size() - head.size() - tail.size());
    QVERIFY(!reason.isEmpty());
    QCOMPARE(run.access->trayIcon().toolTip(),
        QStringLiteral("Tarvix (http://127.0.0.1:%1)\nHTTP error ocurred:\n%2\nMonitoring is impossible.")
            .arg(run.sim.port())
            .arg(reason));
    QVERIFY(run.access->errorReported());
    if (expectedStatus != harness::loopConditionMet)
        return;

    // After No polling goes on, and the next error asks again.
    QVERIFY(run.access->pollTimer().isActive());
    answerer.clear();
    QVERIFY(run.pollAndWait());
    QCOMPARE(answerer.seen().size(), errorsPerPoll);
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

    const int status = harness::runApplication(
        10000, [&] { return answerer.seen().size() == 1 && run.tarvix->isVisible(); });
    QCOMPARE(status, expectedStatus);
    // Both requests meet the certificate, one question.
    QVERIFY(run.waitIdle());
    QCOMPARE(answerer.seen().size(), 1);
    const DialogAnswerer::Seen& seen = answerer.seen().at(0);
    QCOMPARE(seen.title, QStringLiteral("Tarvix: SSL error"));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(seen.defaultButton, QMessageBox::No);
    const QString head = QStringLiteral("Server certificate 127.0.0.1:%1 contains the following errors:\n")
                             .arg(run.sim.port());
    const QString tail
        = QStringLiteral("\n\"Yes\" - terminate the execution of the program\n\"No\" - open settings. On "
                         "the  tab \"Misc\", you can allowSSL certificates which contain errors.");
    QVERIFY2(seen.text.startsWith(head) && seen.text.endsWith(tail), qPrintable(seen.text));
    // One numbered line per certificate problem.
    const QStringList problems = seen.text.mid(head.size(), seen.text.size() - head.size() - tail.size())
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!problems.isEmpty());
    for (int i = 0; i < problems.size(); ++i)
        QVERIFY2(problems.at(i).startsWith(QStringLiteral("%1) ").arg(i + 1)), qPrintable(problems.at(i)));

    QVERIFY(run.access->errorReported());
    QVERIFY(!run.access->pollTimer().isActive());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));
    QCOMPARE(run.access->trayIcon().toolTip(),
        QStringLiteral("Tarvix (https://127.0.0.1:%1)\nSSL error ocurred. Monitoring is impossible.")
            .arg(run.sim.port()));
    QCOMPARE(run.hostEntries(), QStringList {QStringLiteral("         < empty >")});
    if (answer == QMessageBox::No)
        QCOMPARE(run.access->ui().tabConfig->currentIndex(), 4);
}

void TestLifecycle::sslCertificateAllowed()
{
    DialogAnswerer answerer;
    answerer.answerAllWith(QMessageBox::Ok);
    TarvixRun run;
    QVERIFY2(run.startServer(true), qPrintable(run.sim.errorString()));
    run.sim.setHost(QStringLiteral("WEB-01"), NagiosSimulator::HostState::Down);
    run.start({{QStringLiteral("DenySSLCert"), false}});
    QVERIFY(run.waitIdle());

    QCOMPARE(answerer.seen().size(), 0);
    QCOMPARE(run.sim.requestCount(), 2);
    QCOMPARE(run.hostEntries(), QStringList {QStringLiteral("WEB-01")});
    QCOMPARE(run.log.lines(QStringLiteral("announce ")),
        QStringList {QStringLiteral("announce kind 1 name WEB-01 status HOSTDOWN url ")
            + run.hostUrl(QStringLiteral("WEB-01"))});
}

void TestLifecycle::noSystemTray()
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // A session bus could offer a tray of its own.
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(noTrayChild)});
    QVERIFY2(child.waitForFinished(30000), "the child did not end");
    const QString output = QString::fromUtf8(child.readAllStandardOutput());

    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 255);
    const QStringList boxes
        = output.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^box\\|")));
    QCOMPARE(boxes.size(), 1);
    const QStringList parts = boxes.at(0).split(QLatin1Char('|'));
    QCOMPARE(parts.size(), 5);
    QCOMPARE(parts.at(1).toInt(), int(QMessageBox::Critical));
    QCOMPARE(parts.at(2), QStringLiteral("Systray"));
    QCOMPARE(parts.at(3), QStringLiteral("I couldn't detect any system tray on this system."));
    // It waited for a tray before giving up.
    QVERIFY2(parts.at(4).toInt() >= 1000, qPrintable(boxes.at(0)));
    QVERIFY2(!output.contains(QLatin1String("up after")), qPrintable(output));
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
        {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("800x600x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QByteArray displayNumber;
    QElapsedTimer waited;
    waited.start();
    while (!displayNumber.contains('\n') && waited.elapsed() < 10000 && xvfb.waitForReadyRead(10000))
        displayNumber += xvfb.readAllStandardOutput();
    QVERIFY2(displayNumber.contains('\n'), "Xvfb did not start");
    const QString display = QLatin1Char(':') + QString::fromLatin1(displayNumber.trimmed());

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(waitForTrayChild)});
    QByteArray output;
    waited.restart();
    while (!output.contains('\n') && waited.elapsed() < 10000 && child.waitForReadyRead(10000))
        output += child.readAllStandardOutput();
    QCOMPARE(QString::fromUtf8(output).trimmed(), QStringLiteral("no tray yet"));

    // Still waiting a good while later...
    QVERIFY2(!child.waitForFinished(1500), qPrintable(QString::fromUtf8(output + child.readAll())));
    QProcess trayer;
    trayer.setProcessEnvironment(environment);
    trayer.start(trayerProgram, {QStringLiteral("--edge"), QStringLiteral("top")});
    QVERIFY(trayer.waitForStarted(5000));

    // ...and up as soon as the tray is there.
    const bool ended = child.waitForFinished(20000);
    output += child.readAllStandardOutput();
    stopProcess(child);
    stopProcess(trayer);
    stopProcess(xvfb);
    QVERIFY2(ended, qPrintable(QString::fromUtf8(output)));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QRegularExpressionMatch up
        = QRegularExpression(QStringLiteral("^up after (\\d+) ms, tray available$")).match(lines.at(1));
    QVERIFY2(up.hasMatch(), qPrintable(lines.at(1)));
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
