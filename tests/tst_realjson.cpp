#include "linkrecorder.h"
#include "monitor/serverlink.h"
#include "realnagiosbed.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTest>

namespace {

bool waitIdle(const ServerLink& link)
{
    return QTest::qWaitFor([&link] { return link.pendingRequests() == 0; }, 30000);
}

int entryCount(const ServerLink& link)
{
    return link.problems(StatusList::Hosts).size() + link.problems(StatusList::Services).size();
}

} // namespace

// A server's link on its own, without a tray, against the real Nagios of scripts/real-nagios with
// its JSON status: what Nagios holds about a problem, the hiding filters, and the answers that must
// never read as "all is well".
class TestRealJson : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void jsonStatus_data();
    void jsonStatus();

private:
    // The server's settings with the JSON source, these keys by name on top.
    StoredSettings settingsWith(const QVariantMap& edits) const;
    // "HOST|SERVICE|FIELD|VALUE": what Nagios' statusjson.cgi shows now (no SERVICE for a host).
    bool nagiosShows(const QString& condition) const;
    // Every entry's "since when" is Nagios' own time of the change, to the millisecond it gives.
    void sinceWhenIsNagios(const ServerLink& link) const;

    RealNagiosBed m_bed;
    bool m_nagiosStopped = false;
};

void TestRealJson::initTestCase()
{
    REQUIRE_REAL_NAGIOS(m_bed);
}

// Every row starts from a critical service and a down host, nothing acknowledged or in downtime.
void TestRealJson::init()
{
    const QString web01 = QStringLiteral("web01");
    const QString http = QStringLiteral("HTTP Check");
    if (m_bed.field(web01, http, "scheduled_downtime_depth").toInt() > 0) {
        QVERIFY(m_bed.runScript({"command", "DEL_DOWNTIME_BY_HOST_NAME;web01"}));
        QTRY_COMPARE_WITH_TIMEOUT(m_bed.field(web01, http, "scheduled_downtime_depth").toInt(), 0, 30000);
    }
    QVERIFY(m_bed.runScript({"reset"}));
    // Both in one write: Nagios shows them at its next status update.
    QVERIFY(m_bed.runScript({"command", "PROCESS_SERVICE_CHECK_RESULT;web01;HTTP Check;2;HTTP CRITICAL - 503",
        "PROCESS_HOST_CHECK_RESULT;lab printer;1;PING CRITICAL - 100% loss"}));
    QTRY_VERIFY_WITH_TIMEOUT(nagiosShows(QStringLiteral("web01|HTTP Check|status|16"))
            && nagiosShows(QStringLiteral("lab printer||status|4")),
        30000);
}

void TestRealJson::cleanup()
{
    if (std::exchange(m_nagiosStopped, false))
        QVERIFY(m_bed.runScript({"start-nagios"}));
}

void TestRealJson::cleanupTestCase()
{
    if (m_bed.port() != 0)
        QVERIFY(m_bed.runScript({"reset"}));
}

StoredSettings TestRealJson::settingsWith(const QVariantMap& edits) const
{
    QVariantMap named = m_bed.serverSettings();
    named.insert(QStringLiteral("StatusSource"), statusSourceJson);
    named.insert(QStringLiteral("RequestPeriod"), 600);
    named.insert(edits);
    StoredSettings values = StoredSettings::defaults();
    for (auto it = named.cbegin(); it != named.cend(); ++it) {
        for (const SettingEntry& entry : settingsTable()) {
            if (QLatin1String(entry.name) == it.key())
                values.set(entry.key, it.value());
        }
    }
    return values;
}

bool TestRealJson::nagiosShows(const QString& condition) const
{
    const QStringList parts = condition.split(QLatin1Char('|'));
    return m_bed.field(parts.at(0), parts.at(1), parts.at(2).toLatin1().constData()).toVariant().toString()
        == parts.at(3);
}

void TestRealJson::sinceWhenIsNagios(const ServerLink& link) const
{
    for (const StatusList list : {StatusList::Hosts, StatusList::Services}) {
        for (const ProblemList::Entry& entry : link.problems(list).entries()) {
            const bool host = list == StatusList::Hosts;
            QCOMPARE(entry.details.lastStateChange.toMSecsSinceEpoch(),
                qint64(m_bed.field(host ? entry.name : entry.hostName, entry.serviceName, "last_state_change")
                           .toDouble()));
        }
    }
}

void TestRealJson::jsonStatus_data()
{
    QTest::addColumn<QVariantMap>("edits"); // settings keys from the start
    QTest::addColumn<QStringList>("then"); // the script's arguments, '|' between them; %now, %end
    QTest::addColumn<QString>("until"); // what Nagios shows before the second poll
    QTest::addColumn<QVariantMap>("thenEdits"); // settings keys changed before the second poll
    QTest::addColumn<QStringList>("events"); // of the second poll

    const QVariantMap none;
    const QString acknowledge
        = QStringLiteral("command|ACKNOWLEDGE_SVC_PROBLEM;web01;HTTP Check;2;0;0;tarvix;Looking");
    const QString acknowledged = QStringLiteral("web01|HTTP Check|problem_has_been_acknowledged|true");
    const QString downtime = QStringLiteral(
        "command|SCHEDULE_SVC_DOWNTIME;web01;HTTP Check;%now;%end;1;0;7200;tarvix;Maintenance");
    const QString inDowntime = QStringLiteral("web01|HTTP Check|scheduled_downtime_depth|1");
    // Nagios' own check of "Retried Check" reports CRITICAL: the first of three attempts.
    const QString forcedCheck = QStringLiteral("command|SCHEDULE_FORCED_SVC_CHECK;app01;Retried Check;%now");
    const QString retriedCritical = QStringLiteral("app01|Retried Check|status|16");

    QTest::newRow("a recovery is announced")
        << none << QStringList {"set|service|web01|HTTP Check|OK"} << QString() << none
        << QStringList {"recovered HTTP Check:web01"};
    QTest::newRow("the same state again: since when stays the change's time")
        << none << QStringList {"set|service|web01|HTTP Check|CRITICAL|HTTP CRITICAL - 503"} << QString()
        << none << QStringList();
    QTest::newRow("status and output follow the poll without an announcement")
        << none << QStringList {"set|service|web01|HTTP Check|WARNING|HTTP WARNING - slow"} << QString()
        << none << QStringList {"shows HTTP Check:web01 WARNING"};
    QTest::newRow("acknowledged, not hidden: stays, its flag shown")
        << none << QStringList {acknowledge} << acknowledged << none
        << QStringList {"shows HTTP Check:web01 CRITICAL acknowledged"};
    QTest::newRow("acknowledged and hidden: leaves quietly, no recovery")
        << QVariantMap {{"HideAcknowledged", true}} << QStringList {acknowledge} << acknowledged << none
        << QStringList {"quietly gone HTTP Check:web01"};
    QTest::newRow("an acknowledged host, hidden: leaves quietly")
        << QVariantMap {{"HideAcknowledged", true}}
        << QStringList {"command|ACKNOWLEDGE_HOST_PROBLEM;lab printer;2;0;0;tarvix;Moving it"}
        << QStringLiteral("lab printer||problem_has_been_acknowledged|true") << none
        << QStringList {"quietly gone lab printer"};
    QTest::newRow("in downtime, not hidden: stays, its flag shown")
        << none << QStringList {downtime} << inDowntime << none
        << QStringList {"shows HTTP Check:web01 CRITICAL downtime"};
    QTest::newRow("in downtime and hidden: leaves quietly, no recovery")
        << QVariantMap {{"HideDowntime", true}} << QStringList {downtime} << inDowntime << none
        << QStringList {"quietly gone HTTP Check:web01"};
    QTest::newRow("a soft state, not hidden: announced with its attempt")
        << none << QStringList {forcedCheck} << retriedCritical << none
        << QStringList {"new Retried Check:app01 CRITICAL \"CHECK CRITICAL - retried by Nagios\" soft 1/3"};
    QTest::newRow("a soft state, hidden: not announced")
        << QVariantMap {{"HideSoftStates", true}} << QStringList {forcedCheck} << retriedCritical << none
        << QStringList();
    QTest::newRow("Nagios stopped: the error state, the entries kept")
        << none << QStringList {"stop-nagios"} << QString() << none
        << QStringList(2, "error The server's answer is not a status page.");
    QTest::newRow("a user who may see nothing: the error state, the entries kept")
        << none << QStringList() << QString() << QVariantMap {{"Login", "nobody"}, {"Password", "nobody"}}
        << QStringList(2,
               "error Nagios shows the user \"nobody\" no hosts or services: check authorized_for_all_hosts "
               "and authorized_for_all_services in its cgi.cfg.");
}

void TestRealJson::jsonStatus()
{
    QFETCH(QVariantMap, edits);
    QFETCH(QStringList, then);
    QFETCH(QString, until);
    QFETCH(QVariantMap, thenEdits);
    QFETCH(QStringList, events);

    ServerLink link(QStringLiteral("default"));
    link.applySettings(settingsWith(edits));
    LinkRecorder recorder(&link);
    link.startPolling();
    QVERIFY(waitIdle(link));
    QCOMPARE(recorder.takeEvents(),
        QStringList({"new HTTP Check:web01 CRITICAL \"HTTP CRITICAL - 503\"",
            "new lab printer DOWN \"PING CRITICAL - 100% loss\""}));
    sinceWhenIsNagios(link);
    if (QTest::currentTestFailed())
        return;
    const ProblemList::Entry& service = link.problems(StatusList::Services).at(0);
    QVERIFY(service.details.lastStateChange.secsTo(QDateTime::currentDateTime()) < 60);
    // Nagios keeps whole seconds: a check in a later one tells its time from the change's.
    QTRY_VERIFY(QDateTime::currentSecsSinceEpoch() > service.details.lastStateChange.toSecsSinceEpoch());

    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (QString step : then) {
        step.replace(QLatin1String("%now"), QString::number(now))
            .replace(QLatin1String("%end"), QString::number(now + 7200));
        m_nagiosStopped = m_nagiosStopped || step == QLatin1String("stop-nagios");
        QVERIFY2(m_bed.runScript(step.split(QLatin1Char('|'))), qPrintable(step));
    }
    if (!until.isEmpty())
        QTRY_VERIFY2_WITH_TIMEOUT(nagiosShows(until), qPrintable(until), 30000);
    if (!thenEdits.isEmpty()) {
        edits.insert(thenEdits);
        link.applySettings(settingsWith(edits));
    }
    const int entriesBefore = entryCount(link);
    link.httpGetInfo();
    QVERIFY(waitIdle(link));
    events.sort();
    QCOMPARE(recorder.takeEvents(), events);
    // A failure keeps every entry; only what was announced or left quietly changes the lists.
    const qsizetype added = events.filter(QRegularExpression(QStringLiteral("^new "))).size();
    const qsizetype gone
        = events.filter(QRegularExpression(QStringLiteral("^(recovered|quietly gone) "))).size();
    QCOMPARE(entryCount(link), entriesBefore + added - gone);
    QCOMPARE(link.errorReported(), events.join(QLatin1Char('\n')).contains(QLatin1String("error ")));
    if (!m_nagiosStopped)
        sinceWhenIsNagios(link);
    link.stopPolling();
}

QTEST_GUILESS_MAIN(TestRealJson)
#include "tst_realjson.moc"
