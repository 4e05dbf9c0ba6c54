#include "tarvixharness.h"

#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QTest>

// The configuration window of the real main object: what it says of a configuration and what a
// save puts in force. The checks themselves and every key's way through the form and the file are
// tested on their own.
class TestConfigWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init();

    void rejectedThenSavedAndRestarted();
    void httpsToggleAsksForPort_data();
    void httpsToggleAsksForPort();
    void saveAppliesTheWindow_data();
    void saveAppliesTheWindow();
    void editing();
};

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestConfigWindow::init()
{
    REQUIRE_SYSTEM_TRAY();
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
}

// A rejected configuration shows its first problem and writes nothing; a saved one narrows the
// file's permissions, and a new start shows and uses what was saved.
void TestConfigWindow::rejectedThenSavedAndRestarted()
{
    DialogAnswerer answerer(QMessageBox::Ok);
    TarvixRun run;
    QVERIFY(run.start());
    Ui::TarvixClass& ui = run.access->ui();
    const QString file = run.profile.settingsFile();
    run.access->showConfig();
    QVERIFY(QFile::setPermissions(
        file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    const QByteArray storedBefore = fileBytes(file);
    ui.edServerPort->clear();
    ui.cbUseHTTPAuth->setChecked(true);
    ui.tabConfig->setCurrentIndex(HostFilteringTab);

    run.access->save();
    QCOMPARE(answerer.texts(),
        QStringList({QStringLiteral("Server port is not specified and will be installed in the default."),
            QStringLiteral("Not specified HTTP username.")}));
    QCOMPARE(answerer.seen.last().title, QStringLiteral("Tarvix: configuration error"));
    QCOMPARE(ui.edServerPort->text(), QStringLiteral("80"));
    QCOMPARE(ui.tabConfig->currentIndex(), int(GeneralTab));
    QCOMPARE(run.tarvix->focusWidget(), ui.edLogin);
    QVERIFY(run.tarvix->isVisible());
    QCOMPARE(fileBytes(file), storedBefore);

    const QString hostsRegExp = QStringLiteral(R"rx(<td class='(\w+)'><a href='(\S+)'>(.+)</a>)rx");
    ui.edServerPort->setText(QString::number(run.sim.port()));
    ui.edLogin->setText(QStringLiteral("operator"));
    ui.edPassword->setText(QStringLiteral("s3cret pass"));
    ui.rbExpertRegExpConfig->setChecked(true);
    ui.cbHostsRegExp->setChecked(true);
    ui.edHostsRegExp->setText(hostsRegExp);
    ui.edHostStatRxPos->setText(QStringLiteral("3"));
    ui.rbSrvcsOnLMK->setChecked(true);
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
    QCOMPARE(run.access->ui().edPassword->text(), QStringLiteral("s3cret pass"));
}

void TestConfigWindow::httpsToggleAsksForPort_data()
{
    QTest::addColumn<bool>("startHttps");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("portAfter");
    const QString toHttps
        = QStringLiteral("Set the server port to a default value for HTTPS protocol (443)?");
    QTest::newRow("to https, yes") << false << int(QMessageBox::Yes) << toHttps << "443";
    QTest::newRow("to https, no") << false << int(QMessageBox::No) << toHttps << "8080";
    QTest::newRow("to http, yes") << true << int(QMessageBox::Yes)
                                  << "Set the server port to the default value for the HTTP protocol (80)?"
                                  << "80";
}

void TestConfigWindow::httpsToggleAsksForPort()
{
    QFETCH(bool, startHttps);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(QString, portAfter);
    DialogAnswerer answerer;
    TarvixRun run;
    // No monitoring: an HTTPS poll of the plain simulator would bring its own questions.
    QVERIFY(run.start({{"UseHTTPS", startHttps}, {"HTTPPort", "8080"}, {"HTTPSPort", "8080"},
        {"EnableHostsMonitoring", false}, {"EnableSrvcsMonitoring", false}}));
    run.access->showConfig();
    answerer.answerAllWith(QMessageBox::StandardButton(answer));

    QTest::mouseClick(run.access->ui().cbUseHttps, Qt::LeftButton);

    QCOMPARE(answerer.texts(), QStringList {question});
    QCOMPARE(answerer.seen.first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(run.access->ui().edServerPort->text(), portAfter);
    QCOMPARE(run.access->ui().grBoxSsl->isEnabled(), !startHttps);
    QCOMPARE(run.access->settings().useHttps, startHttps); // nothing is in force before a save
}

void TestConfigWindow::saveAppliesTheWindow_data()
{
    QTest::addColumn<QVariantMap>("edits");
    QTest::addColumn<int>("recreations"); // of the HTTP client

    QTest::newRow("address changed: the same client") << QVariantMap {{"edServerAddress", "localhost"}} << 0;
    QTest::newRow("certificate choice only") << QVariantMap {{"rbAllowInvalidCert", true}} << 1;
    QTest::newRow("protocol only") << QVariantMap {{"cbUseHttps", true}} << 1;
    QTest::newRow("protocol and certificate choice")
        << QVariantMap {{"cbUseHttps", true}, {"rbAllowInvalidCert", true}} << 2;
    QTest::newRow("hosts monitoring switched off: its late answer is not taken")
        << QVariantMap {{"cbEnableHosts", false}} << 0;
}

void TestConfigWindow::saveAppliesTheWindow()
{
    QFETCH(QVariantMap, edits);
    QFETCH(int, recreations);
    const bool hostsOff = edits.contains(QStringLiteral("cbEnableHosts"));
    DialogAnswerer answerer(QMessageBox::No);
    TarvixRun run;
    run.sim.setNeverAnswer(true);
    // No monitoring but where it is the point: an HTTPS poll of the plain simulator would fail.
    const bool monitoring = hostsOff;
    QVERIFY(run.start({{"EnableHostsMonitoring", monitoring}, {"EnableSrvcsMonitoring", monitoring}}));
    QCOMPARE(run.access->hostsRequestId() > 0, monitoring);
    run.access->showConfig();
    QVERIFY(harness::setWidgets(*run.tarvix, edits));
    HttpClient* const before = run.access->http();

    run.access->save();

    // Replaced clients are deleted later, so right after the save each re-creation has left one.
    QCOMPARE(int(run.tarvix->findChildren<HttpClient*>().size()) - 1, recreations);
    QCOMPARE(run.access->http() != before, recreations > 0);
    QCOMPARE(run.access->settings().denySslCert, run.access->ui().rbDenyInvalidCert->isChecked());
    QCOMPARE(run.access->settings().useHttps, run.access->ui().cbUseHttps->isChecked());
    if (hostsOff) {
        QCOMPARE(run.access->hostsRequestId(), 0);
        QVERIFY(run.access->servicesRequestId() > 0);
        QCOMPARE(run.hostEntries(), QStringList {run.access->ui().actionUnmonitored->text()});
    }
}

// Tray messages take the place of popups, and the auto-close settings with them; the host list
// takes no empty name and is stored as it shows.
void TestConfigWindow::editing()
{
    DialogAnswerer answerer(QMessageBox::Ok);
    TarvixRun run;
    QVERIFY(run.start({{"AutoClose", false}}));
    run.access->showConfig();
    Ui::TarvixClass& ui = run.access->ui();
    const auto enabled = [&ui] {
        return QList<bool> {ui.cbAutoClose->isEnabled(), ui.spinBoxClose->isEnabled(),
            ui.lbMinutes->isEnabled(), ui.cbPopupsStayOnTop->isEnabled(), ui.cbOpenUrlFromTray->isEnabled()};
    };
    QCOMPARE(enabled(), QList<bool>({false, false, false, false, true}));
    ui.cbUseTrayMessages->setChecked(false);
    QCOMPARE(enabled(), QList<bool>({true, false, false, true, false}));
    ui.cbAutoClose->setChecked(true);
    ui.cbUseTrayMessages->setChecked(true);
    ui.cbUseTrayMessages->setChecked(false);
    QCOMPARE(enabled(), QList<bool>({true, true, true, true, false}));

    QTest::mouseClick(ui.btnAddHost, Qt::LeftButton);
    QCOMPARE(ui.listHosts->count(), 0);
    for (const char* name : {"web1", "db2", "app3"}) {
        ui.edAddHost->setText(name);
        QTest::mouseClick(ui.btnAddHost, Qt::LeftButton);
    }
    QCOMPARE(ui.edAddHost->text(), QString());
    ui.listHosts->item(0)->setSelected(true);
    ui.listHosts->item(1)->setSelected(true);
    QTest::mouseClick(ui.btnDelHost, Qt::LeftButton);
    run.access->save();
    QCOMPARE(run.profile.storedValue(QStringLiteral("HostsList")).toString(), QStringLiteral("web1|"));
}

QTEST_MAIN(TestConfigWindow)
#include "tst_configwindow.moc"
