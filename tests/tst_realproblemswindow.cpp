#include "app/problemswindow.h"
#include "monitor/problemsmodel.h"
#include "notify/acknowledgedialog.h"
#include "notify/downtimedialog.h"
#include "realnagiosbed.h"
#include "tarvixharness.h"

#include <QSpinBox>
#include <QTableView>

// The problems window of the real main object sends its commands to the real Nagios of
// scripts/real-nagios; statusjson.cgi tells what Nagios then holds.
class TestRealProblemsWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void acknowledgementShowsInNagios();
    void downtimeShowsInNagios();

private:
    ProblemsWindow* window() const { return m_run->access->widget<ProblemsWindow>("ProblemsWindowClass"); }
    void select(const QStringList& names);

    RealNagiosBed m_bed;
    std::unique_ptr<TarvixRun> m_run;
};

void TestRealProblemsWindow::initTestCase()
{
    REQUIRE_SYSTEM_TRAY();
    REQUIRE_REAL_NAGIOS(m_bed);
    QVERIFY(m_bed.runScript({"reset"}));
    QVERIFY(m_bed.runScript({"set", "service", "web01", "HTTP Check", "CRITICAL", "HTTP CRITICAL - 503"}));
    QVERIFY(m_bed.runScript({"set", "service", "db01", "PING", "CRITICAL", "PING CRITICAL - 100% loss"}));
    QVERIFY(m_bed.runScript({"set", "host", "lab printer", "DOWN"}));
    m_run = std::make_unique<TarvixRun>();
    QVERIFY(m_run->start(m_bed.serverSettings()));
    m_run->access->action("actionProblems")->trigger();
    QVERIFY(window());
    QTRY_COMPARE_WITH_TIMEOUT(window()->table()->model()->rowCount(), 3, 30000);
}

// Downtimes outlive a reset; the other tests of the test bed start without them.
void TestRealProblemsWindow::cleanupTestCase()
{
    m_run.reset();
    if (!m_bed.env("TARVIX_REAL_NAGIOS_SCRIPT").isEmpty()) {
        QVERIFY(m_bed.runScript({"command", "DEL_DOWNTIME_BY_HOST_NAME;db01"}));
        QVERIFY(m_bed.runScript({"reset"}));
    }
}

void TestRealProblemsWindow::select(const QStringList& names)
{
    QTableView* view = window()->table();
    view->clearSelection();
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        const QModelIndex index = view->model()->index(row, 0);
        if (names.contains(index.data(ProblemsModel::NameRole).toString()))
            view->selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QCOMPARE(window()->selectedProblems().size(), names.size());
}

// A service and a host in one dialog, each acknowledged in Nagios.
void TestRealProblemsWindow::acknowledgementShowsInNagios()
{
    select({"HTTP Check:web01", "lab printer"});
    window()->findChild<QAction*>(QStringLiteral("actionAcknowledgeProblems"))->trigger();
    auto* dialog = window()->findChild<AcknowledgeDialog*>();
    QVERIFY(dialog);
    harness::confirmDialog(dialog, QStringLiteral("From the table"));
    QTRY_VERIFY_WITH_TIMEOUT(
        m_bed.field(QStringLiteral("web01"), QStringLiteral("HTTP Check"), "problem_has_been_acknowledged")
            .toBool(),
        30000);
    QTRY_VERIFY_WITH_TIMEOUT(
        m_bed.field(QStringLiteral("lab printer"), {}, "problem_has_been_acknowledged").toBool(), 30000);
    QTRY_COMPARE(window()->findChild<QLabel*>(QStringLiteral("lbStatusLine"))->text(),
        QStringLiteral("Acknowledged: 2."));
}

// Fixed, from now, for 45 minutes: Nagios holds it as the dialog asked, and it is in effect at once.
void TestRealProblemsWindow::downtimeShowsInNagios()
{
    select({"PING:db01"});
    window()->findChild<QAction*>(QStringLiteral("actionScheduleDowntime"))->trigger();
    auto* dialog = window()->findChild<DowntimeDialog*>();
    QVERIFY(dialog);
    dialog->findChild<QSpinBox*>(QStringLiteral("spinHours"))->setValue(0);
    dialog->findChild<QSpinBox*>(QStringLiteral("spinMinutes"))->setValue(45);
    harness::confirmDialog(dialog, QStringLiteral("Switch replaced"));
    QTRY_COMPARE_WITH_TIMEOUT(
        m_bed.field(QStringLiteral("db01"), QStringLiteral("PING"), "scheduled_downtime_depth").toInt(), 1,
        30000);
    const QJsonObject downtimes = m_bed.statusJson(QStringLiteral("query=downtimelist&details=true"))
                                      .value("downtimelist")
                                      .toObject();
    QCOMPARE(downtimes.size(), 1);
    const QJsonObject downtime = downtimes.begin()->toObject();
    QCOMPARE(downtime.value("comment").toString(), QStringLiteral("Switch replaced"));
    QCOMPARE(downtime.value("fixed").toBool(), true);
    QCOMPARE(downtime.value("duration").toInt(), 45 * 60);
    const double start = downtime.value("start_time").toDouble();
    QVERIFY2(
        qAbs(start / 1000 - QDateTime::currentSecsSinceEpoch()) < 120, qPrintable(QString::number(start)));
}

QTEST_MAIN(TestRealProblemsWindow)
#include "tst_realproblemswindow.moc"
