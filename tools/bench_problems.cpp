// Times the problems window with 10,000 problems of two servers: filling the model, sorting the
// proxy by each column, filtering as the user types, and polls that change 5,000 rows or replace
// 2,000, each with the time the table then takes to lay itself out and paint, as CPU time of the
// GUI thread. Prints figures; it passes or fails nothing. scripts/problems-figures builds it in
// Release and runs it offscreen.
#include "app/problemswindow.h"
#include "monitor/problemsfilter.h"
#include "monitor/problemsmodel.h"

#include <QApplication>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cstdio>
#include <ctime>
#include <functional>

namespace {

constexpr int problemsPerServer = 5000;

const QDateTime now = QDateTime(QDate(2026, 12, 8), QTime(12, 0), QTimeZone::utc());

// The i-th problem of a server; `generation` changes the status and output of every other one.
ProblemList::Entry problem(int i, int generation)
{
    static const QString statuses[]
        = {QStringLiteral("CRITICAL"), QStringLiteral("WARNING"), QStringLiteral("UNKNOWN")};
    ProblemList::Entry entry;
    entry.hostName = QStringLiteral("node-%1.gen.example.lan").arg(i / 3 + 1, 5, 10, QLatin1Char('0'));
    entry.serviceName = QStringLiteral("Service %1").arg(i % 3 + 1, 3, 10, QLatin1Char('0'));
    entry.name = entry.serviceName + QLatin1Char(':') + entry.hostName;
    entry.data = QStringLiteral("nagios.example/cgi-bin/extinfo.cgi?type=2&host=") + entry.hostName;
    const int shift = i % 2 == 0 ? generation : 0;
    entry.status = statuses[(i * 7 + shift) % 3];
    entry.details.output = QStringLiteral("%1 - check %2 answered after %3 ms")
                               .arg(entry.status)
                               .arg(i)
                               .arg((i * 37 + shift * 11) % 10000);
    entry.details.lastStateChange = now.addSecs(-((i * 7919) % (10 * 86400)));
    entry.details.maxAttempts = 3;
    entry.details.attempt = 1 + (i + shift) % 3;
    entry.details.softState = entry.details.attempt < 3;
    entry.details.acknowledged = i % 11 == 0;
    entry.details.inDowntime = i % 17 == 0;
    return entry;
}

// `skipEvery`: every n-th problem has recovered; `from`: the first index, so that new ones follow.
ProblemList problems(int generation, int skipEvery = 0, int from = 0)
{
    ProblemList list;
    list.reserve(problemsPerServer);
    for (int i = from; i < from + problemsPerServer; ++i) {
        if (skipEvery > 0 && i % skipEvery == 0)
            continue;
        list.append(problem(i, generation));
    }
    return list;
}

// The GUI thread's own CPU time: on a machine that other work shares, the wall clock would time
// the others too.
double threadMs()
{
    timespec cpu {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    return double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6;
}

double msOf(const std::function<void()>& work)
{
    const double start = threadMs();
    work();
    return threadMs() - start;
}

// What the table does after a change: the delayed layout and one paint of what is in view.
double relayout(QTableView* view)
{
    return msOf([view] {
        QApplication::processEvents();
        view->viewport()->repaint();
    });
}

void feed(ProblemsModel& model, const ProblemList& a, const ProblemList& b)
{
    const QString http = QStringLiteral("http://");
    model.setServerProblems(QStringLiteral("default"), QStringLiteral("prod"), http, StatusList::Services, a);
    model.setServerProblems(QStringLiteral("lab7"), QStringLiteral("lab"), http, StatusList::Services, b);
}

} // namespace

int main(int argc, char** argv)
{
    // The window keeps its state in the settings: not in the user's.
    QTemporaryDir settingsHome;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settingsHome.path()));
    QApplication app(argc, argv);

    ProblemsModel model;
    model.setReferenceTime(now);
    const ProblemList first = problems(0);
    std::printf("Problems window with %d problems of two servers\n", 2 * problemsPerServer);
    std::printf("  model filled:                       %8.1f ms\n", msOf([&] { feed(model, first, first); }));

    ProblemsWindow window(&model);
    window.resize(1200, 800);
    QTableView* view = window.table();
    const double shown = msOf([&] {
        window.show();
        QApplication::processEvents();
    });
    std::printf("  window shown (sorted by status):    %8.1f ms\n", shown);

    ProblemsFilter* filter = window.filter();
    std::printf("  sort, proxy / then the table's relayout:\n");
    for (const int column : {ProblemsModel::StatusColumn, ProblemsModel::HostColumn,
             ProblemsModel::ServiceColumn, ProblemsModel::DurationColumn, ProblemsModel::AttemptColumn,
             ProblemsModel::OutputColumn, ProblemsModel::FlagsColumn, ProblemsModel::ServerColumn}) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            const double sorted = msOf([&] { filter->sort(column, order); });
            std::printf("    %-10s %-4s %8.1f ms / %6.1f ms\n",
                qPrintable(model.headerData(column, Qt::Horizontal).toString()),
                order == Qt::AscendingOrder ? "up" : "down", sorted, relayout(view));
        }
    }
    filter->sort(ProblemsModel::StatusColumn, Qt::DescendingOrder);
    relayout(view);

    std::printf("  filter typed key by key, proxy / relayout (rows left):\n");
    const QString typed = QStringLiteral("node-0042");
    for (int length = 1; length <= typed.size(); ++length) {
        const double filtered = msOf([&] { filter->setFilterText(typed.left(length)); });
        std::printf("    %-10s %8.1f ms / %6.1f ms  (%d)\n", qPrintable(typed.left(length)), filtered,
            relayout(view), filter->rowCount());
    }
    const double typedOutput = msOf([&] { filter->setFilterText(QStringLiteral("after 42")); });
    std::printf(
        "    %-10s %8.1f ms / %6.1f ms  (%d)\n", "after 42", typedOutput, relayout(view), filter->rowCount());
    const double cleared = msOf([&] { filter->setFilterText(QString()); });
    std::printf("    cleared    %8.1f ms / %6.1f ms  (%d)\n", cleared, relayout(view), filter->rowCount());

    const ProblemList changed = problems(1);
    const double update = msOf([&] { feed(model, changed, changed); });
    std::printf("  poll changing %d rows (status, output, attempt), sorted by status:\n", problemsPerServer);
    std::printf("    model and proxy %8.1f ms, table relayout %6.1f ms\n", update, relayout(view));
    const ProblemList replaced = problems(1, 5, 1000);
    const double replace = msOf([&] { feed(model, replaced, replaced); });
    std::printf("  poll with 2,000 gone (every 5th, scattered) and 2,000 new:\n");
    std::printf("    model and proxy %8.1f ms, table relayout %6.1f ms\n", replace, relayout(view));
    return 0;
}
