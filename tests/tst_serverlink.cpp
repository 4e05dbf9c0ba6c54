#include "linkrecorder.h"
#include "monitor/serverlink.h"
#include "monitor/httpclient.h"
#include "tools/nagiossimulator.h"

#include <QRegularExpression>
#include <QTest>

namespace {

bool waitIdle(const ServerLink& link)
{
    return QTest::qWaitFor([&link] { return link.pendingRequests() == 0; }, 10000);
}

} // namespace

// A server's link on its own, without a tray, against the simulated Nagios: the JSON status, its
// details and hiding filters, and the answers that must never read as "all is well".
class TestServerLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void jsonStatus_data();
    void jsonStatus();
    void commandPollWhileConnecting();

private:
    std::unique_ptr<NagiosSimulator> m_sim;
};

void TestServerLink::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
    m_sim = std::make_unique<NagiosSimulator>();
    QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
}

void TestServerLink::jsonStatus_data()
{
    QTest::addColumn<QVariantMap>("edits"); // settings keys
    QTest::addColumn<QStringList>("then"); // simulator commands before the second poll
    QTest::addColumn<QStringList>("events"); // of the second poll

    const QStringList none;
    QTest::newRow("a recovery is announced")
        << QVariantMap() << QStringList {"service web-01|HTTP OK"} << QStringList {"recovered HTTP:web-01"};
    QTest::newRow("acknowledged, not hidden: stays, its flag shown")
        << QVariantMap() << QStringList {"ack web-01|HTTP on"}
        << QStringList {"shows HTTP:web-01 CRITICAL acknowledged"};
    QTest::newRow("acknowledged and hidden: leaves quietly")
        << QVariantMap {{"HideAcknowledged", true}} << QStringList {"ack web-01|HTTP on"}
        << QStringList {"quietly gone HTTP:web-01"};
    QTest::newRow("in downtime and hidden: leaves quietly")
        << QVariantMap {{"HideDowntime", true}} << QStringList {"downtime web-01|HTTP on"}
        << QStringList {"quietly gone HTTP:web-01"};
    QTest::newRow("a new soft problem is hidden")
        << QVariantMap {{"HideSoftStates", true}}
        << QStringList {"service db-02|Disk CRITICAL Disk full", "attempt db-02|Disk 1 3"} << none;
    QTest::newRow("status and output follow the poll without an announcement")
        << QVariantMap() << QStringList {"service web-01|HTTP WARNING HTTP slow"}
        << QStringList {"shows HTTP:web-01 WARNING"};
    QTest::newRow("Nagios stopped: the error state, the list as it was")
        << QVariantMap() << QStringList {"errorpage stopped"}
        << QStringList(2, "error The server's answer is not a status page.");
    QTest::newRow("a user who may see nothing: the error state, no recovery")
        << QVariantMap() << QStringList {"errorpage norights"}
        << QStringList(2,
               "error Nagios shows the user \"nagiosadmin\" no hosts or services: check "
               "authorized_for_all_hosts "
               "and authorized_for_all_services in its cgi.cfg.");
    QTest::newRow("everything recovers: the counts show it is true")
        << QVariantMap() << QStringList {"service web-01|HTTP OK", "host db-03 UP"}
        << QStringList {"recovered HTTP:web-01", "recovered db-03"};
}

void TestServerLink::jsonStatus()
{
    QFETCH(QVariantMap, edits);
    QFETCH(QStringList, then);
    QFETCH(QStringList, events);

    QVERIFY(m_sim->applyCommand(QStringLiteral("service web-01|HTTP CRITICAL \"HTTP CRITICAL - 503\"")));
    QVERIFY(m_sim->applyCommand(QStringLiteral("host db-03 DOWN \"PING CRITICAL - 100% loss\"")));
    StoredSettings values = StoredSettings::defaults();
    values.set(SettingKey::ServerAddress, QStringLiteral("127.0.0.1"));
    values.set(SettingKey::HttpPort, QString::number(m_sim->port()));
    values.set(SettingKey::StatusSource, statusSourceJson);
    for (auto it = edits.cbegin(); it != edits.cend(); ++it) {
        for (const SettingEntry& entry : settingsTable()) {
            if (QLatin1String(entry.name) == it.key())
                values.set(entry.key, it.value());
        }
    }
    ServerLink link(QStringLiteral("default"));
    link.applySettings(values);
    LinkRecorder recorder(&link);
    link.startPolling();
    QVERIFY(waitIdle(link));
    QCOMPARE(recorder.takeEvents(),
        QStringList({"new HTTP:web-01 CRITICAL \"HTTP CRITICAL - 503\"",
            "new db-03 DOWN \"PING CRITICAL - 100% loss\""}));

    for (const QString& command : then)
        QVERIFY2(m_sim->applyCommand(command), qPrintable(command));
    link.httpGetInfo();
    QVERIFY(waitIdle(link));
    QCOMPARE(recorder.takeEvents(), events);
    link.stopPolling();
}

// The poll after a command is no poll period: a connect that began a moment ago is no time-out,
// whatever the period.
void TestServerLink::commandPollWhileConnecting()
{
    m_sim->setNeverAccept(true);
    StoredSettings values = StoredSettings::defaults();
    values.set(SettingKey::ServerAddress, QStringLiteral("127.0.0.1"));
    values.set(SettingKey::HttpPort, QString::number(m_sim->port()));
    values.set(SettingKey::RequestPeriod, 600);
    ServerLink link(QStringLiteral("default"));
    link.applySettings(values);
    LinkRecorder recorder(&link);
    link.startPolling();
    QCOMPARE(link.client()->state(), HttpClient::Connecting);
    link.commandTaken();
    QCOMPARE(recorder.takeEvents(), QStringList());
    QVERIFY(!link.errorReported());
    link.stopPolling();
}

QTEST_GUILESS_MAIN(TestServerLink)
#include "tst_serverlink.moc"
