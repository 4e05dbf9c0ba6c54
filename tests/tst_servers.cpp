#include "tarvixharness.h"

#include "config/settingsstore.h"

#include <QListWidget>
#include <QSettings>

namespace {

const QString web = QStringLiteral("web-01");

QStringList menuTexts(const QMenu& menu)
{
    QStringList texts;
    const QList<QAction*> actions = menu.actions();
    for (int i = 2; i < actions.size(); ++i)
        texts << actions.at(i)->text();
    return texts;
}

} // namespace

// Two simulated Nagios servers at once: each one's problems under its name, each one's failure its
// own, commands to the right server, and the server list of the configuration window.
class TestServers : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void eachServerOnItsOwn();
    void commandGoesToItsServer();
    void serverListInTheWindow();

private:
    std::unique_ptr<TarvixRun> m_run;
    std::unique_ptr<NagiosSimulator> m_lab;
};

void TestServers::init()
{
    REQUIRE_SYSTEM_TRAY();
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
    m_run.reset();
    m_run = std::make_unique<TarvixRun>();
    m_lab = std::make_unique<NagiosSimulator>();
    QVERIFY(m_lab->start());
}

// The menus hold a section per server, the tooltip a line; popups and balloons lead with the
// server's name. One server failing neither hides nor stops the other, and announces nothing itself.
void TestServers::eachServerOnItsOwn()
{
    BalloonWatcher balloons;
    DialogAnswerer answerer(QMessageBox::No);
    TarvixRun& run = *m_run;
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    m_lab->setService(web, QStringLiteral("Disk"), NagiosSimulator::ServiceState::Warning);
    QVariantMap settings = harness::secondServer(*m_lab);
    settings.insert(QStringLiteral("FlashesInTray"), false);
    QVERIFY(run.startAndWait(settings));

    QCOMPARE(run.access->link(1).id(), QStringLiteral("lab7"));
    QCOMPARE(menuTexts(run.access->hostsMenu()), QStringList({"prod", web, "lab", "         < empty >"}));
    QCOMPARE(menuTexts(run.access->servicesMenu()),
        QStringList({"prod", "         < empty >", "lab", QStringLiteral("Disk:") + web}));
    const QStringList tip = run.toolTip().split(QLatin1Char('\n'));
    QCOMPARE(tip.size(), 3);
    QVERIFY2(tip.at(1).startsWith(QStringLiteral("prod: hosts down: 1, problem services: 0, data of ")),
        qPrintable(tip.at(1)));
    QVERIFY2(tip.at(2).startsWith(QStringLiteral("lab: hosts down: 0, problem services: 1, data of ")),
        qPrintable(tip.at(2)));
    QStringList messages;
    for (const BalloonWatcher::Balloon& balloon : balloons.balloons)
        messages << balloon.message;
    messages.sort();
    QCOMPARE(messages,
        QStringList({"Name: lab: Disk:web-01\nStatus: WARNING", "Name: prod: web-01\nStatus: HOSTDOWN"}));

    // The lab goes away; prod changes meanwhile.
    m_lab->stop();
    run.sim.setHost(QStringLiteral("app-02"), NagiosSimulator::HostState::Down);
    balloons.balloons.clear();
    for (int poll = 0; poll < 7; ++poll)
        QVERIFY(run.pollAndWait());
    QTRY_COMPARE(answerer.seen.size(), 2); // one question per list of the lab
    QVERIFY2(answerer.seen.first().text.startsWith(QStringLiteral("Server lab:\nDuring the execution")),
        qPrintable(answerer.seen.first().text));
    QCOMPARE(
        menuTexts(run.access->hostsMenu()), QStringList({"prod", web, "app-02", "lab", "< not reachable >"}));
    // The lab's problem stays listed: failing is no recovery.
    QCOMPARE(menuTexts(run.access->servicesMenu()),
        QStringList({"prod", "         < empty >", "lab", QStringLiteral("Disk:") + web}));
    QVERIFY(run.access->link(1).errorReported());
    QVERIFY(!run.access->link(0).errorReported());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::problemIcon));
    QVERIFY2(run.toolTip().contains(QStringLiteral("\nlab: HTTP error ocurred: Connection refused")),
        qPrintable(run.toolTip()));
    QCOMPARE(balloons.balloons.first().message, QStringLiteral("Name: prod: app-02\nStatus: HOSTDOWN"));
    for (const BalloonWatcher::Balloon& balloon : balloons.balloons)
        QVERIFY2(!balloon.message.contains(QLatin1String("Status: Service Up")), qPrintable(balloon.message));
    QVERIFY(run.access->link(0).isPolling());
    QVERIFY(run.access->link(1).isPolling());

    // Back again: only the lab's state ends, with its name.
    QVERIFY(m_lab->start(false, m_lab->port()));
    QVERIFY(run.pollAndWait());
    QVERIFY(!run.access->link(1).errorReported());
    QVERIFY(harness::showsIcon(run.access->trayIcon(), ResourcePaths::normalIcon));
    QCOMPARE(
        balloons.balloons.last().message, QStringLiteral("lab: Connection with the server is established."));
}

// The same host name on both servers: the lab's popup acknowledges on the lab.
void TestServers::commandGoesToItsServer()
{
    TarvixRun& run = *m_run;
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    m_lab->setHost(web, NagiosSimulator::HostState::Down);
    QVariantMap settings = harness::secondServer(*m_lab);
    settings.insert(QStringLiteral("UseTrayMessages"), false);
    QVERIFY(run.startAndWait(settings));
    QWidget* labPopup = nullptr;
    for (QWidget* popup : harness::popups()) {
        if (popup->findChild<QLabel*>(QStringLiteral("lbHostLink"))->text().contains(QLatin1String("lab: ")))
            labPopup = popup;
    }
    QVERIFY(labPopup);
    labPopup->findChild<QPushButton*>(QStringLiteral("btnRecheck"))->click();
    QTRY_COMPARE(m_lab->checkCount(web), 1);
    QCOMPARE(run.sim.checkCount(web), 0);
}

// Added in the window, a server is polled once saved; switched off it is not; removed, its keys go.
// A problem of a server is told with its name, and the window shows that server.
void TestServers::serverListInTheWindow()
{
    DialogAnswerer answerer(QMessageBox::Ok);
    TarvixRun& run = *m_run;
    m_lab->setService(web, QStringLiteral("Disk"), NagiosSimulator::ServiceState::Critical);
    QVERIFY(run.startAndWait());
    QCOMPARE(run.tarvix->serverLinks().size(), 1);
    auto* list = run.access->widget<QListWidget>("listServers");

    run.access->showConfig();
    QCOMPARE(list->count(), 1);
    run.access->widget<QPushButton>("btnAddServer")->click();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->currentRow(), 1);
    QCOMPARE(run.access->widget<QLineEdit>("edServerAddress")->text(), QString());
    list->setCurrentRow(0);
    run.access->save();
    QCOMPARE(answerer.texts(), QStringList {"New server: No server address of Nagios found."});
    QCOMPARE(list->currentRow(), 1);
    QCOMPARE(run.tarvix->focusWidget(), run.access->widget<QLineEdit>("edServerAddress"));

    QVERIFY(run.access->saveInWindow({{"edServerAddress", "127.0.0.1"},
        {"edServerPort", QString::number(m_lab->port())}, {"cbUseHttps", false}}));
    QCOMPARE(run.tarvix->serverLinks().size(), 2);
    QVERIFY(run.waitIdle());
    QTRY_COMPARE(menuTexts(run.access->servicesMenu()),
        QStringList({"127.0.0.1", "         < empty >", "127.0.0.1", QStringLiteral("Disk:") + web}));
    const QString id = run.access->link(1).id();
    QCOMPARE(run.profile.storedValue(QStringLiteral("Servers/Order")).toString(), "default," + id);
    QCOMPARE(run.profile.storedValue("Servers/" + id + "/StatusSource").toString(), statusSourceJson);

    run.access->showConfig();
    list->item(1)->setCheckState(Qt::Unchecked);
    run.access->save();
    QCOMPARE(run.tarvix->serverLinks().size(), 1);
    QCOMPARE(menuTexts(run.access->servicesMenu()), QStringList({"         < empty >"}));
    const int asked = m_lab->requestCount();
    QVERIFY(run.pollAndWait());
    QCOMPARE(m_lab->requestCount(), asked);

    run.access->showConfig();
    list->setCurrentRow(1);
    run.access->widget<QPushButton>("btnRemoveServer")->click();
    QVERIFY(!run.access->widget<QPushButton>("btnRemoveServer")->isEnabled());
    run.access->save();
    QCOMPARE(run.profile.storedValue(QStringLiteral("Servers/Order")).toString(), QStringLiteral("default"));
    QVERIFY(!run.profile.storedValue("Servers/" + id + "/ServerAddress").isValid());
    QCOMPARE(
        run.profile.storedValue(QStringLiteral("ServerAddress")).toString(), QStringLiteral("127.0.0.1"));
}

QTEST_MAIN(TestServers)
#include "tst_servers.moc"
