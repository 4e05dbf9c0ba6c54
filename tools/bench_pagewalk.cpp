// Times the services page walk (decode, rows, filters, change detection) on pages of the size a
// large Nagios installation sends: up to 6,000 problem rows, 10.8 MB and 155,000 lines.
//
//     bench_pagewalk            generated pages with 100 ... 6,000 problem rows, and the largest
//                               again with an expert expression
//     bench_pagewalk PAGE.html  a saved hosts or services page
//     bench_pagewalk --write N  prints the generated page with N problem rows
//     bench_pagewalk --site     the simulated 5,919-problem site (2,000 hosts) as status.cgi page
//                               and as statusjson.cgi answer: sizes, plain and gzip, and walks
//     bench_pagewalk ANSWER.json a saved statusjson.cgi servicelist answer

#include "config/monitorsettings.h"
#include "monitor/pagewalk.h"
#include "monitor/statusjson.h"
#include "tools/nagiospage.h"
#include "tools/nagiossimulator.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QStringView>
#include <QTimeZone>
#include <QUrlQuery>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

// A services page with `problems` problem rows as the simulated server writes it: three or four
// problem services per host, grouped under their host, and every fiftieth host with a name that
// its links have to encode.
QByteArray servicesPage(int problems)
{
    using State = NagiosSimulator::ServiceState;
    static const State states[] = {State::Critical, State::Warning, State::Critical, State::Unknown};
    static const char* const services[]
        = {"HTTP Check", "Disk: /var/lib/postgresql", "PING", "Swap Usage", "C++ Build Agent", "SSH"};
    static const char* const outputs[] = {
        "HTTP CRITICAL: HTTP/1.1 503 Service Unavailable",
        "DISK WARNING - free space: /var/lib/postgresql 812 MB (8%)",
        "PING CRITICAL - Packet loss = 100%",
        "SWAP UNKNOWN - could not read /proc/meminfo",
        "CRITICAL - agent <offline> & build queue stuck",
        "CRITICAL - Socket timeout after 10 seconds",
    };
    // A fixed clock keeps the page the same from run to run.
    NagiosPage::Options options;
    options.now = QDateTime(QDate(2026, 12, 6), QTime(20, 40, 26), QTimeZone::utc());

    NagiosPage::Installation installation;
    int row = 0;
    for (int host = 0; row < problems; ++host) {
        const QByteArray name = host % 50 == 7
            ? "lab printer " + QByteArray::number(host)
            : QString::asprintf("app-%05d.dc%d.example.lan", host, host % 4).toUtf8();
        NagiosPage::Host& entry = installation[name];
        entry.address = QString::asprintf("10.%d.%d.%d", host / 65536, host / 256 % 256, host % 256).toUtf8();
        const int count = host % 3 == 0 ? 4 : 3;
        for (int i = 0; i < count && row < problems; ++i, ++row) {
            const int kind = (host + i) % 6;
            NagiosPage::Service& service = entry.services[services[kind]];
            service.state = states[(host + i) % 4];
            service.output = outputs[kind];
            service.lastChange = options.now.addSecs(-15452 - host);
        }
    }
    return NagiosPage::servicesPage(
        installation, QUrlQuery(QStringLiteral("host=all&servicestatustypes=28&limit=0")), options);
}

struct Walk
{
    int added = 0;
    int gone = 0;
};

// What the page routines do with a page, the menus and announcements left out.
Walk walkPage(const QByteArray& body, bool services, const PageRule& rule, const MonitorSettings& settings,
    ProblemList& list)
{
    PagePlan plan
        = planPage(services ? PageKind::Services : PageKind::Hosts, pageText(body), rule, settings, list);
    const Walk walk {static_cast<int>(plan.added.size()), static_cast<int>(plan.gone.size())};
    applyPlan(std::move(plan), list);
    return walk;
}

// Decoding and cutting into lines alone: what any line-by-line walk has to pay.
int decodeAndSplit(const QByteArray& body)
{
    const QString text = pageText(body);
    const QStringView page(text);
    int lines = 0;
    qsizetype start = 0;
    while (start < page.size()) {
        qsizetype end = page.indexOf(u'\n', start);
        if (end < 0)
            end = page.size();
        lines += end > start ? 1 : 0;
        start = end + 1;
    }
    return lines;
}

double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The fastest of several runs in processor time of this thread: the machine may be busy with
// other work, which wall-clock time would add in.
double bestMs(int runs, const std::function<void()>& prepare, const std::function<void()>& run)
{
    double best = 0.0;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const double start = threadCpuMs();
        run();
        const double elapsed = threadCpuMs() - start;
        best = i == 0 ? elapsed : std::min(best, elapsed);
    }
    return best;
}

size_t heapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

void report(const QString& label, const QByteArray& body, bool services, const PageRule& rule,
    const MonitorSettings& settings, const QByteArray& emptyBody, int expectedRows = -1)
{
    const int runs = body.size() > 4000000 ? 15 : 25;
    int lines = 0;
    const double floorMs = bestMs(
        runs, [] {}, [&] { lines = decodeAndSplit(body); });

    ProblemList list;
    Walk first;
    const double firstMs = bestMs(
        runs, [&] { list.clear(); }, [&] { first = walkPage(body, services, rule, settings, list); });

    Walk again;
    const double repeatMs = bestMs(
        runs, [] {}, [&] { again = walkPage(body, services, rule, settings, list); });

    Walk empty;
    const double emptyMs = bestMs(
        runs,
        [&] {
            list.clear();
            walkPage(body, services, rule, settings, list);
        },
        [&] { empty = walkPage(emptyBody, services, rule, settings, list); });

    list.clear();
    const size_t before = heapInUse();
    walkPage(body, services, rule, settings, list);
    const size_t after = heapInUse();
    const double perEntry = list.size() == 0 ? 0.0 : static_cast<double>(after - before) / list.size();

    const bool changesRight = (expectedRows < 0 || first.added == expectedRows) && again.added == 0
        && again.gone == 0 && list.size() == first.added && empty.gone == first.added && empty.added == 0;
    std::printf("%-14s %6d %8.2f %7d %8.2f %9.2f %9.2f %7.2f %9.2f %8.0f %s\n", qPrintable(label),
        first.added, static_cast<double>(body.size()) / 1e6, lines, floorMs, firstMs, repeatMs,
        repeatMs / floorMs, emptyMs, perEntry, changesRight ? "ok" : "WRONG CHANGES");
}

Walk walkJson(const QByteArray& body, const MonitorSettings& settings, ProblemList& list)
{
    PagePlan plan = planJsonPage(PageKind::Services, body, settings, list);
    const Walk walk {static_cast<int>(plan.added.size()), static_cast<int>(plan.gone.size())};
    applyPlan(std::move(plan), list);
    return walk;
}

// One source's answer: its size plain and gzipped, and the first, a repeated and an empty walk.
void reportSource(const char* label, const QByteArray& body, const QByteArray& emptyBody,
    const std::function<Walk(const QByteArray&, ProblemList&)>& walk, double floorMs)
{
    constexpr int runs = 15;
    ProblemList list;
    Walk first;
    const double firstMs = bestMs(
        runs, [&] { list.clear(); }, [&] { first = walk(body, list); });
    Walk again;
    const double repeatMs = bestMs(
        runs, [] {}, [&] { again = walk(body, list); });
    Walk empty;
    const double emptyMs = bestMs(
        runs,
        [&] {
            list.clear();
            walk(body, list);
        },
        [&] { empty = walk(emptyBody, list); });
    const bool changesRight = again.added == 0 && again.gone == 0 && empty.gone == first.added;
    std::printf("%-12s %6d %8.2f %8.3f %9.2f %9.2f %9.2f %9.2f %s\n", label, first.added,
        static_cast<double>(body.size()) / 1e6, static_cast<double>(NagiosPage::gzip(body).size()) / 1e6,
        floorMs, firstMs, repeatMs, emptyMs, changesRight ? "ok" : "WRONG CHANGES");
}

void reportSourcesHeader()
{
    std::printf("%-12s %6s %8s %8s %9s %9s %9s %9s\n", "answer", "rows", "MB", "gzip MB", "floor ms",
        "first ms", "repeat ms", "empty ms");
}

// The JSON floor is Qt's JSON reader alone, the page's decoding and cutting into lines.
double jsonFloorMs(const QByteArray& body)
{
    return bestMs(
        15, [] {}, [&] { QJsonDocument::fromJson(body); });
}

QString queryOf(const QString& request)
{
    return request.mid(request.indexOf(QLatin1Char('?')) + 1);
}

void printHeader()
{
    std::printf("%-14s %6s %8s %7s %8s %9s %9s %7s %9s %8s\n", "page", "rows", "MB", "lines", "floor ms",
        "first ms", "repeat ms", "x floor", "empty ms", "B/entry");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    MonitorSettings settings;
    settings.serverAddress = QStringLiteral("nagios.example.lan");
    settings.nagiosExecDir = defaultNagiosExecDir;
    // A status.cgi request: the walk reads the page's totals line too.
    settings.hostsRequest = defaultHostsRequest;
    settings.servicesRequest = defaultServicesRequest;

    BasicStatusChoice all;
    all.hostDown = all.hostUnreachable = true;
    all.serviceCritical = all.serviceWarning = all.serviceUnknown = true;
    const PageRule servicesRule {basicServicesRegExp(all)};
    const PageRule hostsRule {basicHostsRegExp(all)};
    const QByteArray emptyPage = servicesPage(0);

    const QStringList arguments = app.arguments();
    if (arguments.size() > 2 && arguments.at(1) == QLatin1String("--write")) {
        const QByteArray page = servicesPage(arguments.at(2).toInt());
        return std::fwrite(page.constData(), 1, static_cast<size_t>(page.size()), stdout)
                == static_cast<size_t>(page.size())
            ? 0
            : 1;
    }
    const auto jsonWalk
        = [&settings](const QByteArray& body, ProblemList& list) { return walkJson(body, settings, list); };
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("--site")) {
        NagiosSimulator site;
        site.setPageTime(QDateTime(QDate(2026, 12, 6), QTime(20, 40, 26), QTimeZone::utc()));
        site.addGeneratedSite(2000, 5919);
        const QString statusQuery = queryOf(settings.servicesRequest);
        const QString jsonQuery = queryOf(jsonServicesQuery(settings));
        const QByteArray page = site.servicesPage(statusQuery);
        const QByteArray json = site.statusJson(jsonQuery);
        NagiosSimulator quiet;
        quiet.addGeneratedSite(2000, 0);
        std::printf("The simulated site: 2,000 hosts, 5,919 CRITICAL services of %d\n", site.serviceCount());
        reportSourcesHeader();
        reportSource(
            "status.cgi", page, quiet.servicesPage(statusQuery),
            [&](const QByteArray& body, ProblemList& list) {
                return walkPage(body, true, servicesRule, settings, list);
            },
            bestMs(
                15, [] {}, [&] { decodeAndSplit(page); }));
        reportSource("statusjson", json, quiet.statusJson(jsonQuery), jsonWalk, jsonFloorMs(json));
        return 0;
    }
    if (arguments.size() > 1 && arguments.at(1).endsWith(QLatin1String(".json"))) {
        QFile file(arguments.at(1));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(arguments.at(1)));
            return 1;
        }
        const QByteArray body = file.readAll();
        NagiosSimulator quiet;
        quiet.addGeneratedSite(1, 0);
        reportSourcesHeader();
        reportSource("statusjson", body, quiet.statusJson(queryOf(jsonServicesQuery(settings))), jsonWalk,
            jsonFloorMs(body));
        return 0;
    }
    if (arguments.size() > 1) {
        QFile file(arguments.at(1));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(arguments.at(1)));
            return 1;
        }
        const QByteArray body = file.readAll();
        const QString text = pageText(body);
        const bool services
            = extractServiceRows(text, servicesRule).size() >= extractHostRows(text, hostsRule).size();
        printHeader();
        report(services ? QStringLiteral("services") : QStringLiteral("hosts"), body, services,
            services ? servicesRule : hostsRule, settings, emptyPage);
        return 0;
    }

    printHeader();
    for (const int problems : {100, 500, 1000, 2000, 4000, 6000})
        report(QStringLiteral("generated"), servicesPage(problems), true, servicesRule, settings, emptyPage,
            problems);
    // An expert expression is no template and runs on the regular-expression engine.
    const PageRule expertRule {servicesRule.pattern + QLatin1String("(?:)")};
    report(QStringLiteral("expert expr."), servicesPage(6000), true, expertRule, settings, emptyPage, 6000);
    return 0;
}
