#include "app/tooltiptext.h"
#include "monitor/listhealth.h"

#include <QTest>

// One list that fails on every poll must show, whatever the other list does.
class TestListHealth : public QObject
{
    Q_OBJECT

private slots:
    void eachListCountsOnItsOwn();
    void tooltipNamesTheStaleList();
};

void TestListHealth::eachListCountsOnItsOwn()
{
    const QDateTime start(QDate(2026, 12, 7), QTime(9, 0));
    ListHealth health;
    health.answered(StatusList::Services, start);
    for (int poll = 1; poll <= 7; ++poll) {
        QCOMPARE(health.failed(StatusList::Services, start.addSecs(15 * poll)), poll);
        QVERIFY(!health.answered(StatusList::Hosts, start.addSecs(15 * poll)));
    }
    QCOMPARE(health.failures(StatusList::Hosts), 0);
    QVERIFY(!health.anyStale());
    health.markStale(StatusList::Services);
    QVERIFY(health.anyStale());
    QCOMPARE(health.staleSince(StatusList::Services), start); // its last good data

    QVERIFY(health.answered(StatusList::Services, start.addSecs(200))); // back: told once
    QVERIFY(!health.anyStale());
    QCOMPARE(health.failures(StatusList::Services), 0);
    QVERIFY(!health.answered(StatusList::Services, start.addSecs(215)));

    // A list that never answered is stale since its first failure.
    ListHealth fresh;
    fresh.failed(StatusList::Hosts, start.addSecs(300));
    fresh.failed(StatusList::Hosts, start.addSecs(315));
    QCOMPARE(fresh.staleSince(StatusList::Hosts), start.addSecs(300));
}

void TestListHealth::tooltipNamesTheStaleList()
{
    ToolTipState state;
    state.serverAddress = QStringLiteral("nagios.lan");
    state.scheme = QStringLiteral("http://");
    state.serverPort = QStringLiteral("80");
    state.hostsDown = 2;
    state.servicesStaleSince = QDateTime(QDate(2026, 12, 7), QTime(9, 5, 30));
    const QDateTime now(QDate(2026, 12, 7), QTime(9, 10));
    QCOMPARE(trayToolTipText(state, false, QString(), now),
        QStringLiteral(
            "Tarvix (http://nagios.lan:80)\nHosts down count: 2\nData obtained: 09:10:00 07.12.2026"
            "\nThe list of problem services is stale since 09:05:30 07.12.2026"));
    QVERIFY(trayToolTipText(state, true, QStringLiteral("HTTP error"), now)
                .endsWith(QStringLiteral(
                    "HTTP error\nThe list of problem services is stale since 09:05:30 07.12.2026")));
}

QTEST_APPLESS_MAIN(TestListHealth)
#include "tst_listhealth.moc"
