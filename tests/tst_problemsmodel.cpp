#include "monitor/problemsfilter.h"
#include "monitor/problemsmodel.h"
#include "monitor/serverlink.h"
#include "tools/nagiossimulator.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

namespace {

const QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc());

// "name|status|output|minutes ago|attempt/max|flags": a service is "service:host"; flags are
// letters a(cknowledged) d(owntime) s(oft) f(lapping) n(otifications off).
ProblemList::Entry entry(const QString& line)
{
    const QStringList f = line.split(QLatin1Char('|'));
    ProblemList::Entry e;
    e.name = f.at(0);
    const qsizetype colon = e.name.indexOf(QLatin1Char(':'));
    if (colon > 0) {
        e.serviceName = e.name.left(colon);
        e.hostName = e.name.mid(colon + 1);
    }
    e.data = QStringLiteral("nagios.example/cgi-bin/extinfo.cgi?host=") + e.name;
    e.status = f.value(1, QStringLiteral("CRITICAL"));
    e.details.output = f.value(2);
    if (!f.value(3).isEmpty())
        e.details.lastStateChange = now.addSecs(-60 * f.at(3).toLongLong());
    const QStringList attempts = f.value(4).split(QLatin1Char('/'));
    if (attempts.size() == 2) {
        e.details.attempt = attempts.at(0).toInt();
        e.details.maxAttempts = attempts.at(1).toInt();
    }
    const QString flags = f.value(5);
    e.details.acknowledged = flags.contains(QLatin1Char('a'));
    e.details.inDowntime = flags.contains(QLatin1Char('d'));
    e.details.softState = flags.contains(QLatin1Char('s'));
    e.details.flapping = flags.contains(QLatin1Char('f'));
    e.details.notificationsEnabled = !flags.contains(QLatin1Char('n'));
    return e;
}

ProblemList listOf(const QStringList& lines)
{
    ProblemList list;
    for (const QString& line : lines)
        list.append(entry(line));
    return list;
}

void feed(ProblemsModel& model, const QString& server, StatusList list, const QStringList& lines)
{
    model.setServerProblems(server, server.toUpper(), QStringLiteral("https://"), list, listOf(lines));
}

QStringList columnTexts(const QAbstractItemModel& model, int column, int role = Qt::DisplayRole)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data(role).toString();
    return texts;
}

} // namespace

// The problems window's model and its sorting and filtering proxy, without widgets.
class TestProblemsModel : public QObject
{
    Q_OBJECT

private slots:
    void rowsShowTheLists();
    void sort_data();
    void sort();
    void filter_data();
    void filter();
    void pollKeepsIdentity_data();
    void pollKeepsIdentity();
    void changesResort_data();
    void changesResort();
    void newUntilSeen();
    void followsARealLink();
};

// Hosts and services of two servers, each row's columns and roles.
void TestProblemsModel::rowsShowTheLists()
{
    ProblemsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setReferenceTime(now);
    feed(model, "prod", StatusList::Hosts, {"web-01|HOSTDOWN|PING CRITICAL - 100% loss|125"});
    feed(model, "prod", StatusList::Services, {"HTTP:web-01|WARNING|slow|3|2/5|sdfn"});
    feed(model, "lab", StatusList::Services, {"Disk:db|UNKNOWN||||a"});
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.serverCount(), 2);
    const auto cells = [&model](int row) {
        QStringList texts;
        for (int c = 0; c < ProblemsModel::ColumnCount; ++c)
            texts << model.index(row, c).data().toString();
        return texts.join(QLatin1Char('|'));
    };
    QCOMPARE(cells(0), "PROD|web-01||DOWN|2 h 5 min||PING CRITICAL - 100% loss|");
    QCOMPARE(cells(1),
        "PROD|web-01|HTTP|WARNING|3 min|2/5 soft|slow|in downtime, soft state, flapping, notifications off");
    QCOMPARE(cells(2), "LAB|db|Disk|UNKNOWN||||acknowledged");
    QCOMPARE(columnTexts(model, 0, ProblemsModel::StatusColorRole),
        QStringList({"#F83838", "#FFFF00", "#FF9900"}));
    QCOMPARE(model.index(1, 0).data(ProblemsModel::UrlRole).toString(),
        "https://nagios.example/cgi-bin/extinfo.cgi?host=HTTP:web-01");
    QCOMPARE(model.index(1, 0).data(ProblemsModel::ServiceRole).toString(), "HTTP");
    QCOMPARE(model.index(0, 0).data(ProblemsModel::ServiceRole).toString(), QString());
    QCOMPARE(model.index(2, 0).data(ProblemsModel::ServerIdRole).toString(), "lab");
    QCOMPARE(model.index(0, ProblemsModel::OutputColumn).data(Qt::ToolTipRole).toString(),
        "PING CRITICAL - 100% loss");
}

void TestProblemsModel::sort_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<Qt::SortOrder>("order");
    QTest::addColumn<QStringList>("hosts"); // in the proxy's order

    QTest::newRow("status by severity, not by name")
        << int(ProblemsModel::StatusColumn) << Qt::DescendingOrder << QStringList({"d", "a", "c", "b"});
    QTest::newRow("duration by seconds, unknown shortest")
        << int(ProblemsModel::DurationColumn) << Qt::AscendingOrder << QStringList({"c", "a", "d", "b"});
    QTest::newRow("host ignoring case")
        << int(ProblemsModel::HostColumn) << Qt::AscendingOrder << QStringList({"a", "b", "c", "d"});
    QTest::newRow("attempt as a number")
        << int(ProblemsModel::AttemptColumn) << Qt::AscendingOrder << QStringList({"c", "a", "d", "b"});
}

void TestProblemsModel::sort()
{
    QFETCH(int, column);
    QFETCH(Qt::SortOrder, order);
    QFETCH(QStringList, hosts);
    ProblemsModel model;
    model.setReferenceTime(now);
    // WARNING sorts before CRITICAL by name; 9 minutes before 50 by text.
    feed(model, "prod", StatusList::Services,
        {"x:B|WARNING|out|600|10/10", "x:a|CRITICAL|out|9|2/3", "x:c|UNKNOWN|out||", "y:d|DOWN|out|50|9/9"});
    ProblemsFilter filter;
    filter.setProblemsModel(&model);
    filter.sort(column, order);
    QCOMPARE(columnTexts(filter, ProblemsModel::HostColumn).join(QLatin1Char(',')).toLower(),
        hosts.join(QLatin1Char(',')));
}

void TestProblemsModel::filter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("host, ignoring case") << "WEB" << QStringList({"web-01", "HTTP:web-01"});
    QTest::newRow("service") << "disk" << QStringList({"Disk:db"});
    QTest::newRow("output") << "timeout" << QStringList({"HTTP:web-01"});
    QTest::newRow("not the status") << "critical" << QStringList();
    QTest::newRow("blanks around the text are not typed words") << "  db " << QStringList({"Disk:db"});
    QTest::newRow("empty: everything") << "" << QStringList({"web-01", "HTTP:web-01", "Disk:db"});
}

void TestProblemsModel::filter()
{
    QFETCH(QString, text);
    QFETCH(QStringList, names);
    ProblemsModel model;
    feed(model, "prod", StatusList::Hosts, {"web-01|DOWN|down"});
    feed(model, "prod", StatusList::Services, {"HTTP:web-01|CRITICAL|Socket Timeout after 10 s"});
    feed(model, "lab", StatusList::Services, {"Disk:db|WARNING|80% used"});
    ProblemsFilter filter;
    filter.setProblemsModel(&model);
    filter.setFilterText(text);
    QCOMPARE(columnTexts(filter, 0, ProblemsModel::NameRole), names);
}

void TestProblemsModel::pollKeepsIdentity_data()
{
    QTest::addColumn<int>("hostCount");
    QTest::addColumn<int>("goneEvery"); // every n-th host recovers
    QTest::newRow("a few gone: removed range by range") << 12 << 4;
    QTest::newRow("many scattered gone: moved together, then removed") << 200 << 2;
}

// A poll changes one row, removes others and adds one: the selection and the persistent indexes of
// the proxy stay on their problems, no reset happens, only the changed rows are told.
void TestProblemsModel::pollKeepsIdentity()
{
    QFETCH(int, hostCount);
    QFETCH(int, goneEvery);
    ProblemsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QStringList before;
    for (int i = 0; i < hostCount; ++i)
        before << QStringLiteral("host-%1|DOWN|down").arg(i, 3, 10, QLatin1Char('0'));
    feed(model, "prod", StatusList::Hosts, before);
    feed(model, "lab", StatusList::Hosts, {"lab-1|DOWN|down"});
    ProblemsFilter filter;
    filter.setProblemsModel(&model);
    filter.sort(ProblemsModel::HostColumn, Qt::DescendingOrder);
    QItemSelectionModel selection(&filter);
    const auto proxyRowOf = [&filter](const QString& name) {
        const QStringList names = columnTexts(filter, 0, ProblemsModel::NameRole);
        return int(names.indexOf(name));
    };
    const QString kept = QStringLiteral("host-001");
    const QString changed = QStringLiteral("HOST-003"); // the server changed the case
    selection.select(
        filter.index(proxyRowOf(kept), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QPersistentModelIndex persistent
        = filter.index(proxyRowOf("host-003"), ProblemsModel::OutputColumn);
    const QPersistentModelIndex lab = filter.index(proxyRowOf("lab-1"), 0);

    QStringList after;
    for (int i = 0; i < hostCount; ++i) {
        if (i % goneEvery == 0)
            continue;
        after << (i == 3 ? changed + QStringLiteral("|UNREACHABLE|unreachable now")
                         : QStringLiteral("host-%1|DOWN|down").arg(i, 3, 10, QLatin1Char('0')));
    }
    after << QStringLiteral("zz-new|DOWN|down");
    QSignalSpy resets(&filter, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    feed(model, "prod", StatusList::Hosts, after);

    QCOMPARE(resets.size(), 0);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.first().at(0).toModelIndex().row(), changes.first().at(1).toModelIndex().row());
    QCOMPARE(filter.rowCount(), int(after.size()) + 1);
    QVERIFY(persistent.isValid());
    QCOMPARE(persistent.data().toString(), "unreachable now");
    QCOMPARE(persistent.sibling(persistent.row(), 0).data(ProblemsModel::NameRole).toString(), "host-003");
    QCOMPARE(lab.data(ProblemsModel::NameRole).toString(), "lab-1");
    const QModelIndexList selected = selection.selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().data(ProblemsModel::NameRole).toString(), kept);
    QCOMPARE(filter.index(0, 0).data(ProblemsModel::NameRole).toString(), "zz-new");
}

void TestProblemsModel::changesResort_data()
{
    QTest::addColumn<int>("hostCount");
    QTest::addColumn<int>("changeEvery");
    QTest::newRow("a few changed rows, told range by range") << 12 << 5;
    QTest::newRow("many scattered changes, told as one layout change") << 200 << 2;
}

// Changed statuses move their rows in the sorted proxy, which never resets, and the persistent
// indexes follow them.
void TestProblemsModel::changesResort()
{
    QFETCH(int, hostCount);
    QFETCH(int, changeEvery);
    ProblemsModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const auto hosts = [hostCount, changeEvery](bool changed) {
        QStringList lines;
        for (int i = 0; i < hostCount; ++i)
            lines << QStringLiteral("host-%1|%2")
                         .arg(i, 3, 10, QLatin1Char('0'))
                         .arg(changed && i % changeEvery == 0 ? "UNREACHABLE" : "DOWN");
        return lines;
    };
    feed(model, "prod", StatusList::Hosts, hosts(false));
    ProblemsFilter filter;
    filter.setProblemsModel(&model);
    filter.sort(ProblemsModel::StatusColumn, Qt::AscendingOrder);
    // Ties go by host: host-001 second, and the next changed one after the first.
    const QPersistentModelIndex kept = filter.index(1, ProblemsModel::StatusColumn);
    const QPersistentModelIndex changed = filter.index(changeEvery, ProblemsModel::StatusColumn);
    QSignalSpy resets(&filter, &QAbstractItemModel::modelReset);
    feed(model, "prod", StatusList::Hosts, hosts(true));
    QCOMPARE(resets.size(), 0);
    const int unreachable = (hostCount + changeEvery - 1) / changeEvery;
    QCOMPARE(kept.sibling(kept.row(), 0).data(ProblemsModel::NameRole).toString(), "host-001");
    QCOMPARE(kept.row(), unreachable);
    QCOMPARE(changed.data().toString(), "UNREACHABLE");
    QCOMPARE(changed.row(), 1);
    QCOMPARE(filter.index(unreachable - 1, ProblemsModel::StatusColumn).data().toString(), "UNREACHABLE");
    QCOMPARE(filter.index(unreachable, ProblemsModel::StatusColumn).data().toString(), "DOWN");
}

// Rows are new until marked seen; a row that comes back after it went is new again.
void TestProblemsModel::newUntilSeen()
{
    ProblemsModel model;
    feed(model, "prod", StatusList::Hosts, {"a", "b"});
    QCOMPARE(model.newCount(), 2);
    model.markAllSeen();
    QCOMPARE(model.newCount(), 0);
    feed(model, "prod", StatusList::Hosts, {"b", "c"});
    QCOMPARE(columnTexts(model, 0, ProblemsModel::NewRole), QStringList({"false", "true"}));
    feed(model, "prod", StatusList::Hosts, {"b", "c", "a"});
    QCOMPARE(model.newCount(), 2);
    model.removeServer("prod");
    QCOMPARE(model.newCount(), 0);
    QCOMPARE(model.rowCount(), 0);
}

// A real link polls the simulator; its rows come with its polls and go with the link.
void TestProblemsModel::followsARealLink()
{
    NagiosSimulator sim;
    sim.setHost(QStringLiteral("web-01"), NagiosSimulator::HostState::Down);
    sim.setService(QStringLiteral("db"), QStringLiteral("Disk"), NagiosSimulator::ServiceState::Critical);
    QVERIFY(sim.start());
    StoredSettings values = StoredSettings::defaults();
    values.set(SettingKey::ServerAddress, QStringLiteral("127.0.0.1"));
    values.set(SettingKey::HttpPort, QString::number(sim.port()));
    values.set(SettingKey::ServerName, QStringLiteral("lab"));
    auto link = std::make_unique<ServerLink>(QStringLiteral("lab7"));
    link->applySettings(values);
    ProblemsModel model;
    QSignalSpy servers(&model, &ProblemsModel::serversChanged);
    model.addLink(link.get());
    QCOMPARE(servers.size(), 1);
    link->startPolling();
    QTRY_COMPARE(model.rowCount(), 2);
    QCOMPARE(columnTexts(model, ProblemsModel::ServerColumn), QStringList({"lab", "lab"}));
    QCOMPARE(model.index(0, 0).data(ProblemsModel::UrlRole).toString(),
        sim.baseUrl() + QStringLiteral("/nagios/cgi-bin/extinfo.cgi?type=1&host=web-01"));

    sim.setHost(QStringLiteral("web-01"), NagiosSimulator::HostState::Up);
    link->httpGetInfo();
    QTRY_COMPARE(columnTexts(model, ProblemsModel::ServiceColumn), QStringList({"Disk"}));
    link.reset();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.serverCount(), 0);
}

QTEST_GUILESS_MAIN(TestProblemsModel)
#include "tst_problemsmodel.moc"
