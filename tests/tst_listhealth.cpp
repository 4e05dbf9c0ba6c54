#include "monitor/listhealth.h"

#include <QTest>

// One list that fails on every poll must show, whatever the other list does.
class TestListHealth : public QObject
{
    Q_OBJECT

private slots:
    void eachListCountsOnItsOwn();
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

QTEST_APPLESS_MAIN(TestListHealth)
#include "tst_listhealth.moc"
