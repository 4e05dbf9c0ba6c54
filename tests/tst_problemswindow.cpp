#include "app/problemswindow.h"
#include "monitor/problemsfilter.h"
#include "monitor/problemsmodel.h"
#include "notify/acknowledgedialog.h"
#include "notify/downtimedialog.h"
#include "tarvixharness.h"

#include <QClipboard>
#include <QHeaderView>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

namespace {

const QString web = QStringLiteral("web-01");

// "server id/name" of every row, in the table's order.
QStringList rowKeys(const ProblemsWindow& window)
{
    QStringList keys;
    const QAbstractItemModel* model = window.table()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        keys << index.data(ProblemsModel::ServerIdRole).toString() + QLatin1Char('/')
                + index.data(ProblemsModel::NameRole).toString();
    }
    return keys;
}

QStringList selectedKeys(const ProblemsWindow& window)
{
    QStringList keys;
    for (const CommandBatch::Target& target : window.selectedProblems())
        keys << target.serverId + QLatin1Char('/') + target.name;
    return keys;
}

void select(ProblemsWindow& window, const QStringList& keys)
{
    QTableView* view = window.table();
    view->clearSelection();
    const QStringList all = rowKeys(window);
    for (const QString& key : keys)
        view->selectionModel()->select(view->model()->index(int(all.indexOf(key)), 0),
            QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// One selection range, as a drag or Shift+click makes it.
void selectRange(ProblemsWindow& window, const QString& first, const QString& last)
{
    QTableView* view = window.table();
    const QStringList all = rowKeys(window);
    view->selectionModel()->select(
        QItemSelection(view->model()->index(int(all.indexOf(first)), 0),
            view->model()->index(int(all.indexOf(last)), ProblemsModel::ColumnCount - 1)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// Shortcuts reach only the active window.
bool activate(QWidget& window)
{
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

QString describe(const TakenCommand& c)
{
    return QStringLiteral("%1;%2;%3;%4;%5")
        .arg(c.type)
        .arg(c.host, c.service, c.comment)
        .arg(c.durationMinutes);
}

QStringList describe(const QList<TakenCommand>& commands)
{
    QStringList texts;
    for (const TakenCommand& command : commands)
        texts << describe(command);
    return texts;
}

} // namespace

// The problems window of the real main object against two simulated servers.
class TestProblemsWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void opensFromTheTray_data();
    void opensFromTheTray();
    void tableOfBothServers();
    void selectionAndViewSurviveAPoll();
    void commandGoesToEachServer_data();
    void commandGoesToEachServer();
    void closeHidesAndRemembers();

private:
    ProblemsWindow* window() const { return m_run->access->widget<ProblemsWindow>("ProblemsWindowClass"); }
    QAction* action(const char* name) const { return window()->findChild<QAction*>(QLatin1String(name)); }
    // Both servers with their problems, the window open.
    bool startBoth();

    std::unique_ptr<TarvixRun> m_run;
    std::unique_ptr<NagiosSimulator> m_lab;
};

void TestProblemsWindow::init()
{
    REQUIRE_SYSTEM_TRAY();
    QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
    m_run.reset();
    m_run = std::make_unique<TarvixRun>();
    m_lab = std::make_unique<NagiosSimulator>();
    QVERIFY(m_lab->start());
}

bool TestProblemsWindow::startBoth()
{
    m_run->sim.setHost(web, NagiosSimulator::HostState::Down);
    m_run->sim.setService(web, QStringLiteral("HTTP"), NagiosSimulator::ServiceState::Critical);
    m_lab->setHost(web, NagiosSimulator::HostState::Down);
    m_lab->setService(QStringLiteral("db"), QStringLiteral("Disk"), NagiosSimulator::ServiceState::Warning);
    if (!m_run->startAndWait(harness::secondServer(*m_lab)))
        return false;
    m_run->access->action("actionProblems")->trigger();
    return window() && window()->isVisible();
}

void TestProblemsWindow::opensFromTheTray_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("opens");
    QTest::newRow("the menu's Problems…") << 0 << "menu" << true;
    QTest::newRow("left click in mode 3") << 3 << "left" << true;
    QTest::newRow("middle click in mode 3: nothing") << 3 << "middle" << false;
}

// With one server the server column is hidden; the title counts the rows.
void TestProblemsWindow::opensFromTheTray()
{
    QFETCH(int, mode);
    QFETCH(QString, how);
    QFETCH(bool, opens);
    TarvixRun& run = *m_run;
    run.sim.setHost(web, NagiosSimulator::HostState::Down);
    QVERIFY(run.startAndWait({{"NumMenuOnLMK", mode}}));
    const QList<QAction*> trayActions = run.access->trayMenu().actions();
    QCOMPARE(trayActions.indexOf(run.access->action("actionProblems")) + 1,
        trayActions.indexOf(run.access->action("actionConfig")));
    if (how == QLatin1String("menu"))
        run.access->action("actionProblems")->trigger();
    else if (how == QLatin1String("left"))
        run.access->activate(QSystemTrayIcon::Trigger);
    else if (how == QLatin1String("middle"))
        run.access->activate(QSystemTrayIcon::MiddleClick);
    QCOMPARE(window() && window()->isVisible(), opens);
    if (!opens)
        return;
    QCOMPARE(window()->windowTitle(), QStringLiteral("Tarvix: problems (1)"));
    QVERIFY(window()->table()->isColumnHidden(ProblemsModel::ServerColumn));
}

// Rows of both servers, the server column shown, sorting and filtering through the window's widgets.
void TestProblemsWindow::tableOfBothServers()
{
    QVERIFY(startBoth());
    ProblemsWindow& w = *window();
    QTableView* view = w.table();
    QVERIFY(!view->isColumnHidden(ProblemsModel::ServerColumn));
    QCOMPARE(w.windowTitle(), QStringLiteral("Tarvix: problems (4)"));
    // Most severe first: the two DOWN hosts, then CRITICAL, then WARNING.
    QCOMPARE(rowKeys(w).mid(2), QStringList({"default/HTTP:web-01", "lab7/Disk:db"}));
    view->horizontalHeader()->setSortIndicator(ProblemsModel::ServiceColumn, Qt::DescendingOrder);
    QCOMPARE(rowKeys(w).mid(0, 2), QStringList({"default/HTTP:web-01", "lab7/Disk:db"}));

    auto* filter = w.findChild<QLineEdit*>(QStringLiteral("edFilter"));
    QTest::keyClicks(filter, QStringLiteral("DISK"));
    QCOMPARE(rowKeys(w), QStringList({"lab7/Disk:db"}));
    QCOMPARE(w.windowTitle(), QStringLiteral("Tarvix: problems (1 of 4)"));
    filter->clear();
    QCOMPARE(view->model()->rowCount(), 4);

    // Return opens the selected problem's page on its own server; Ctrl+F goes to the filter.
    UrlCatcher catcher;
    select(w, {"lab7/web-01"});
    QVERIFY(activate(w));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(catcher.urls,
        QList<QUrl>({QUrl(m_lab->baseUrl() + "/nagios/cgi-bin/extinfo.cgi?type=1&host=web-01")}));
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    QTRY_VERIFY(filter->hasFocus());
}

// A poll brings a problem that sorts in among the selected rows and changes another: the selected
// problems stay selected, the new one is not, the row at the top stays at the top, and only the new
// one is bold once the window was left.
void TestProblemsWindow::selectionAndViewSurviveAPoll()
{
    for (int i = 10; i < 70; ++i)
        m_run->sim.setHost(QStringLiteral("node-%1").arg(i), NagiosSimulator::HostState::Down);
    QVERIFY(startBoth());
    ProblemsWindow& w = *window();
    QTableView* view = w.table();
    view->sortByColumn(ProblemsModel::HostColumn, Qt::AscendingOrder);
    w.resize(800, 300);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    selectRange(w, "default/node-30", "default/node-32");
    view->scrollTo(view->model()->index(20, 0), QAbstractItemView::PositionAtTop);
    const QString top = view->indexAt(QPoint(1, 1)).data(ProblemsModel::NameRole).toString();
    QCOMPARE(top, QStringLiteral("node-29"));
    w.hide();
    QCOMPARE(view->model()->index(0, 0).data(ProblemsModel::NewRole).toBool(), false);

    m_run->sim.setHost(QStringLiteral("node-31b"), NagiosSimulator::HostState::Down);
    m_run->sim.setHost(QStringLiteral("node-111"), NagiosSimulator::HostState::Down);
    m_run->sim.setHost(QStringLiteral("node-32"), NagiosSimulator::HostState::Unreachable);
    m_run->sim.setHost(QStringLiteral("node-12"), NagiosSimulator::HostState::Up);
    m_run->sim.setHost(QStringLiteral("node-13"), NagiosSimulator::HostState::Up);
    QVERIFY(m_run->pollAndWait());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(selectedKeys(w), QStringList({"default/node-30", "default/node-31", "default/node-32"}));
    QCOMPARE(view->indexAt(QPoint(1, 1)).data(ProblemsModel::NameRole).toString(), top);
    QStringList bold;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (view->model()->index(row, 0).data(ProblemsModel::NewRole).toBool())
            bold << view->model()->index(row, 0).data(ProblemsModel::NameRole).toString();
    }
    QCOMPARE(bold, QStringList({"node-111", "node-31b"}));

    // Left while another window is active, it was looked at all the same.
    QWidget other;
    other.show();
    QVERIFY(activate(other));
    m_run->sim.setHost(QStringLiteral("node-112"), NagiosSimulator::HostState::Down);
    QVERIFY(m_run->pollAndWait());
    w.hide();
    const QModelIndexList added = view->model()->match(
        view->model()->index(0, 0), ProblemsModel::NameRole, QStringLiteral("node-112"));
    QCOMPARE(added.size(), 1);
    QVERIFY(!added.first().data(ProblemsModel::NewRole).toBool());
}

void TestProblemsWindow::commandGoesToEachServer_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("prodTook");
    QTest::addColumn<QStringList>("labTook");
    QTest::addColumn<QString>("result");

    QTest::newRow("one acknowledgement dialog for web-01 on both servers")
        << "actionAcknowledgeProblems" << QStringList({"default/web-01", "lab7/web-01"})
        << QStringList({"33;web-01;;Both down;0"}) << QStringList({"33;web-01;;Both down;0"})
        << "Acknowledged: 2.";
    QTest::newRow("a downtime of 1 h 30 min for the lab's service")
        << "actionScheduleDowntime" << QStringList({"lab7/Disk:db"}) << QStringList()
        << QStringList({"56;db;Disk;Both down;90"}) << "Downtime scheduled: 1.";
    QTest::newRow("recheck with Ctrl+R")
        << "Ctrl+R" << QStringList({"default/HTTP:web-01"}) << QStringList({"7;web-01;HTTP;;0"})
        << QStringList() << "Recheck requested: 1.";
}

// Each selected problem's command reaches its own server, which then polls at once.
void TestProblemsWindow::commandGoesToEachServer()
{
    QFETCH(QString, action);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, prodTook);
    QFETCH(QStringList, labTook);
    QFETCH(QString, result);
    QVERIFY(startBoth());
    ProblemsWindow& w = *window();
    select(w, rows);
    const int labRequests = m_lab->requestCount();
    if (action == QLatin1String("Ctrl+R")) {
        QVERIFY(activate(w));
        w.table()->setFocus();
        QTest::keyClick(w.table(), Qt::Key_R, Qt::ControlModifier);
    } else {
        this->action(action.toLatin1().constData())->trigger();
    }
    if (action == QLatin1String("actionAcknowledgeProblems")) {
        AcknowledgeDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = harness::shownDialog<AcknowledgeDialog>()) != nullptr);
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lbName"))->text(), QStringLiteral("2 problems"));
        harness::confirmDialog(dialog, QStringLiteral("Both down"));
    } else if (action == QLatin1String("actionScheduleDowntime")) {
        DowntimeDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = harness::shownDialog<DowntimeDialog>()) != nullptr);
        dialog->findChild<QSpinBox*>(QStringLiteral("spinHours"))->setValue(1);
        dialog->findChild<QSpinBox*>(QStringLiteral("spinMinutes"))->setValue(30);
        harness::confirmDialog(dialog, QStringLiteral("Both down"));
    }
    auto* status = w.findChild<QLabel*>(QStringLiteral("lbStatusLine"));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), result, 10000);
    QCOMPARE(describe(m_run->sim.takenCommands()), prodTook);
    QCOMPARE(describe(m_lab->takenCommands()), labTook);
    if (!labTook.isEmpty())
        QTRY_VERIFY(m_lab->requestCount() > labRequests + 2 * labTook.size());
}

// Closing hides the window and the program goes on; the rows are seen; the copied text has a title
// line; the sort order comes back at the next start.
void TestProblemsWindow::closeHidesAndRemembers()
{
    QVERIFY(startBoth());
    ProblemsWindow* w = window();
    select(*w, {"lab7/Disk:db", "default/web-01"});
    QVERIFY(activate(*w));
    w->table()->setFocus();
    QTest::keyClick(w->table(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(),
        QStringLiteral("Server\tHost\tService\tStatus\tDuration\tAttempt\tOutput\tFlags\n"
                       "prod\tweb-01\t\tDOWN\t\t\t\t\n"
                       "lab\tdb\tDisk\tWARNING\t\t\t\t\n"));
    w->table()->sortByColumn(ProblemsModel::HostColumn, Qt::DescendingOrder);

    w->close();
    QVERIFY(!w->isVisible());
    QVERIFY(m_run->access->link(0).isPolling());
    QCOMPARE(w->table()->model()->index(0, 0).data(ProblemsModel::NewRole).toBool(), false);
    QVERIFY(m_run->pollAndWait());

    m_run->stop();
    m_run->construct();
    QVERIFY(m_run->waitIdle());
    m_run->access->action("actionProblems")->trigger();
    const QHeaderView* header = window()->table()->horizontalHeader();
    QCOMPARE(header->sortIndicatorSection(), int(ProblemsModel::HostColumn));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(rowKeys(*window()).first(), QStringLiteral("default/HTTP:web-01"));
}

QTEST_MAIN(TestProblemsWindow)
#include "tst_problemswindow.moc"
