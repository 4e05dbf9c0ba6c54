#include "notify/acknowledgedialog.h"
#include "realnagiosbed.h"
#include "tarvixharness.h"

#include "config/monitorsettings.h"

#include <algorithm>

namespace {

const QString web01 = QStringLiteral("web01");

// The open popups' names (led by the server's), of the recoveries or of the problems, sorted.
QStringList popupNames(bool recovery)
{
    QStringList result;
    for (QWidget* popup : harness::popups()) {
        if (harness::isRecoveryPopup(popup) == recovery)
            result << harness::popupName(popup);
    }
    result.sort();
    return result;
}

// The menu's entries, each after its server's header, as "header / entry @ port of its page".
QStringList sections(const QMenu& menu)
{
    QStringList result;
    QString header;
    const QList<QAction*> actions = menu.actions();
    for (int i = 2; i < actions.size(); ++i) {
        const QAction* action = actions.at(i);
        if (!action->data().isValid()) {
            if (action->font().bold())
                header = action->text();
            else
                result << header + QStringLiteral(" / ") + action->text().trimmed();
            continue;
        }
        const QString address = action->data().toString();
        result << header + QStringLiteral(" / ") + action->text() + QStringLiteral(" @ ")
                + address.section(QLatin1Char(':'), 1).section(QLatin1Char('/'), 0, 0);
    }
    return result;
}

} // namespace

// The real main object watches three servers at once: the two real Nagios of scripts/real-nagios
// (one through its status pages, one through its JSON status) and the simulator. Each server's
// problems are told under its name; an acknowledgement goes to the popup's own server; one Nagios
// stopped fails on its own while the other's changes are told.
class TestRealServers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void eachServersProblemsUnderItsName();
    void acknowledgementGoesToItsServer();
    void stoppedServerFailsOnItsOwn();

private:
    QString port(const RealNagiosBed& bed) const { return QString::number(bed.port()); }

    RealNagiosBed m_north {1};
    RealNagiosBed m_south {2};
    std::unique_ptr<TarvixRun> m_run;
    BalloonWatcher m_balloons;
    bool m_bedsLoaded = false;
    bool m_northStopped = false;
};

void TestRealServers::initTestCase()
{
    REQUIRE_SYSTEM_TRAY();
    REQUIRE_REAL_NAGIOS(m_north);
    REQUIRE_REAL_NAGIOS(m_south);
    m_bedsLoaded = true;
    // The same host down on all three; a problem service of its own on each real one.
    QVERIFY(m_north.runScript({"reset"}));
    QVERIFY(m_north.runScript({"set", "host", web01, "DOWN", "PING CRITICAL - north"}));
    QVERIFY(m_north.runScript({"set", "service", "db01", "Disk: /var", "WARNING"}));
    QVERIFY(m_south.runScript({"reset"}));
    QVERIFY(m_south.runScript({"set", "host", web01, "DOWN", "PING CRITICAL - south"}));
    QVERIFY(m_south.runScript({"set", "service", web01, "HTTP Check", "CRITICAL", "HTTP CRITICAL - 503"}));

    m_run = std::make_unique<TarvixRun>();
    m_run->sim.setHost(web01, NagiosSimulator::HostState::Down);
    QVariantMap settings = m_north.serverSettings();
    settings.insert(m_south.serverSettings(QStringLiteral("Servers/south/")));
    settings.insert({{"Name", "north"}, {"StatusSource", statusSourceCgi}, {"Servers/south/Name", "south"},
        {"Servers/south/StatusSource", statusSourceJson}, {"Servers/sim/Name", "sim"},
        {"Servers/sim/ServerAddress", "127.0.0.1"},
        {"Servers/sim/HTTPPort", QString::number(m_run->sim.port())}, {"Servers/Order", "default,south,sim"},
        {"UseTrayMessages", false}, {"FlashesInTray", false}});
    QVERIFY(m_run->startAndWait(settings));
    QCOMPARE(m_run->tarvix->serverLinks().size(), 3);
}

void TestRealServers::cleanupTestCase()
{
    m_run.reset();
    if (!m_bedsLoaded)
        return;
    if (m_northStopped)
        QVERIFY(m_north.runScript({"start-nagios"}));
    // A recovery also ends the acknowledgement.
    QVERIFY(m_south.runScript({"reset"}));
}

// A popup each, led by its server's name; each menu entry under its server's header, its page on
// that server.
void TestRealServers::eachServersProblemsUnderItsName()
{
    QTRY_COMPARE_WITH_TIMEOUT(popupNames(false),
        QStringList({"north: Disk: /var:db01", "north: web01", "sim: web01", "south: HTTP Check:web01",
            "south: web01"}),
        30000);
    QVERIFY(popupNames(true).isEmpty());
    const QString north = port(m_north);
    const QString south = port(m_south);
    const QString sim = QString::number(m_run->sim.port());
    QCOMPARE(sections(m_run->access->hostsMenu()),
        QStringList({"north / web01 @ " + north, "south / web01 @ " + south, "sim / web01 @ " + sim}));
    QCOMPARE(sections(m_run->access->servicesMenu()),
        QStringList({"north / Disk: /var:db01 @ " + north, "south / HTTP Check:web01 @ " + south,
            "sim / < empty >"}));
    const QStringList tip = m_run->toolTip().split(QLatin1Char('\n'));
    QCOMPARE(tip.size(), 4);
    QVERIFY2(tip.at(1).startsWith(QStringLiteral("north: hosts down: 1, problem services: 1, data of ")),
        qPrintable(tip.at(1)));
    QVERIFY2(tip.at(2).startsWith(QStringLiteral("south: hosts down: 1, problem services: 1, data of ")),
        qPrintable(tip.at(2)));
    QVERIFY2(tip.at(3).startsWith(QStringLiteral("sim: hosts down: 1, problem services: 0, data of ")),
        qPrintable(tip.at(3)));
}

// The same host on every server: south's popup acknowledges on south's Nagios alone.
void TestRealServers::acknowledgementGoesToItsServer()
{
    const QList<QWidget*> popups = harness::popups();
    const auto south = std::find_if(popups.cbegin(), popups.cend(),
        [](const QWidget* popup) { return harness::popupName(popup) == QLatin1String("south: web01"); });
    QVERIFY(south != popups.cend());
    QWidget* popup = *south;
    popup->findChild<QPushButton*>(QStringLiteral("btnAcknowledge"))->click();
    AcknowledgeDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = harness::shownDialog<AcknowledgeDialog>()) != nullptr);
    harness::confirmDialog(dialog, QStringLiteral("South's web01"));
    QTRY_COMPARE_WITH_TIMEOUT(popup->findChild<QLabel*>(QStringLiteral("lbCommandState"))->toolTip(),
        QStringLiteral("Acknowledged"), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(m_south.field(web01, {}, "problem_has_been_acknowledged").toBool(), 30000);
    QVERIFY(!m_north.field(web01, {}, "problem_has_been_acknowledged").toBool());
    QVERIFY(m_run->sim.takenCommands().isEmpty());
    // An acknowledged host is still down: no recovery anywhere.
    QVERIFY(m_run->pollAndWait());
    QVERIFY(popupNames(true).isEmpty());
}

// North's Nagios stops while south's and the simulator's problems change: north's entries stay
// and its tooltip line tells why; the others' changes are told as ever; nothing recovers falsely.
void TestRealServers::stoppedServerFailsOnItsOwn()
{
    QVERIFY(m_north.runScript({"stop-nagios"}));
    m_northStopped = true;
    QVERIFY(m_south.runScript({"set", "service", web01, "PING", "CRITICAL", "PING CRITICAL - 100% loss"}));
    QVERIFY(m_south.runScript({"set", "service", web01, "HTTP Check", "OK"}));
    m_run->sim.setHost(QStringLiteral("app-02"), NagiosSimulator::HostState::Down);
    m_balloons.balloons.clear();
    // Polls beyond the failures a server is forgiven.
    for (int poll = 0; poll <= LinkMachine::toleratedFailures; ++poll)
        QVERIFY(m_run->pollAndWait());

    QVERIFY(m_run->access->link(0).errorReported());
    QVERIFY(!m_run->access->link(1).errorReported());
    QVERIFY(!m_run->access->link(2).errorReported());
    QVERIFY(harness::showsIcon(m_run->access->trayIcon(), ResourcePaths::problemIcon));
    const QStringList tip = m_run->toolTip().split(QLatin1Char('\n'));
    QCOMPARE(tip.size(), 4);
    QVERIFY2(tip.at(1).startsWith(QStringLiteral("north: HTTP error ocurred: The server's answer is not a "
                                                 "status page. Monitoring is impossible. (since ")),
        qPrintable(tip.at(1)));
    QVERIFY2(tip.at(2).startsWith(QStringLiteral("south: hosts down: 1, problem services: 1, data of ")),
        qPrintable(tip.at(2)));
    QVERIFY2(tip.at(3).startsWith(QStringLiteral("sim: hosts down: 2, problem services: 0, data of ")),
        qPrintable(tip.at(3)));
    QCOMPARE(m_balloons.balloons.size(), 1);
    QCOMPARE(m_balloons.balloons.first().message.trimmed(),
        QStringLiteral("north: The server's answer is not a status page."));

    QCOMPARE(popupNames(true), QStringList({"south: HTTP Check:web01"}));
    QCOMPARE(popupNames(false),
        QStringList({"north: Disk: /var:db01", "north: web01", "sim: app-02", "sim: web01",
            "south: HTTP Check:web01", "south: PING:web01", "south: web01"}));
    const QString north = port(m_north);
    QCOMPARE(sections(m_run->access->hostsMenu()).first(), "north / web01 @ " + north);
    QCOMPARE(sections(m_run->access->servicesMenu()),
        QStringList({"north / Disk: /var:db01 @ " + north, "south / PING:web01 @ " + port(m_south),
            "sim / < empty >"}));
}

QTEST_MAIN(TestRealServers)
#include "tst_realservers.moc"
