// Times the services page walk (decode, rows, filters, change detection) on pages of the size a
// large Nagios installation sends: up to 6,000 problem rows, 10.8 MB and 155,000 lines.
//
//     bench_pagewalk            generated pages with 100 ... 6,000 problem rows, and the largest
//                               again with an expert expression
//     bench_pagewalk PAGE.html  a saved hosts or services page
//     bench_pagewalk --write N  prints the generated page with N problem rows

#include "config/monitorsettings.h"
#include "monitor/problemlist.h"
#include "monitor/statusrules.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringView>
#include <QUrl>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

// The page around the rows, shortened from a Nagios 4.4 services page.
const char pageHead[] = R"(<html>
<head>
<link rel="shortcut icon" href="/nagios4/images/favicon.ico" type="image/ico">
<title>
Current Network Status
</title>
<link rel='stylesheet' type='text/css' href='/nagios4/stylesheets/common.css' />
<link rel='stylesheet' type='text/css' href='/nagios4/stylesheets/status.css' />
<script type='text/javascript' src='/nagios4/js/jquery-1.12.4.min.js'></script>
</head>
<body class='status'>
<table class='headertable'>
<tr>
<td align=left valign=top width=33%>
<TABLE CLASS='infoBox' BORDER=1 CELLSPACING=0 CELLPADDING=0>
<TR><TD CLASS='infoBox'>
<DIV CLASS='infoBoxTitle'>Current Network Status</DIV>
Last Updated: Sun Dec 6 20:40:26 UTC 2026<BR>
</TD></TR>
</TABLE>
</td>
</tr>
</table>
<div align='center' class='statusTitle'>Service Status Details For All Hosts</div>
<table border=0 width=100% class='status'>
<tr>
<th class='status'>Host&nbsp;<a href='status.cgi?host=all&servicestatustypes=28&sorttype=1&sortoption=1'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by host name (ascending)' TITLE='Sort by host name (ascending)'></a></th><th class='status'>Service&nbsp;</th><th class='status'>Status&nbsp;</th><th class='status'>Last Check&nbsp;</th><th class='status'>Duration&nbsp;</th><th class='status'>Attempt&nbsp;</th><th class='status'>Status Information</th>
</tr>
)";

const char pageTail[] = R"(</table>
<br /><div class='itemTotalsTitle'>Results 1 - %1 of %1 Matching Services</div>
</div>

<!-- Produced by Nagios (https://www.nagios.org).  Copyright (c) 1999-2007 Ethan Galstad. -->
</body>
</html>
)";

// The host cell Nagios writes before a host's first service; %1 link host, %2 host, %3 address.
const char hostCell[] = R"(<td class='statusEven'><table border=0 width='100%' cellpadding=0 cellspacing=0>
<tr>
<td align='left'>
<table border=0 cellpadding=0 cellspacing=0>
<tr>
<td align=left valign=center class='statusEven'><a href='extinfo.cgi?type=1&host=%1' title='%3'>%2</a></td>
</tr>
</table>
</td>
<td align=right valign=center>
<table border=0 cellpadding=0 cellspacing=0>
<tr>
<td ALIGN=center valign=center><a href='extinfo.cgi?type=1&host=%1'><IMG SRC='/nagios4/images/ndisabled.gif' border=0 WIDTH=20 HEIGHT=20 ALT='Notifications for this host have been disabled' TITLE='Notifications for this host have been disabled'></a></td><td ALIGN=center valign=center><a href='extinfo.cgi?type=1&host=%1'><IMG SRC='/nagios4/images/passiveonly.gif' border=0 WIDTH=20 HEIGHT=20 ALT='Active checks of this host have been disabled - only passive checks are being accepted' TITLE='Checks of this host have been disabled'></a></td></tr>
</table>
</td>
</tr>
</table>
</td>
)";

// A service's cells; %1 state, %2 link host, %3 link service, %4 service, %5 plugin output.
const char serviceCells[]
    = R"(<td class='statusBG%1'><table border=0 WIDTH='100%' cellspacing=0 cellpadding=0><tr><td align='left'><table border=0 cellspacing=0 cellpadding=0>
<tr>
<td align='left' valign=center class='statusBG%1'><a href='extinfo.cgi?type=2&host=%2&service=%3'>%4</a></td></tr>
</table>
</td>
<td ALIGN=RIGHT class='statusBG%1'>
<table border=0 cellspacing=0 cellpadding=0>
<tr>
<td ALIGN=center valign=center><a href='extinfo.cgi?type=2&host=%2&service=%3'><IMG SRC='/nagios4/images/passiveonly.gif' border=0 WIDTH=20 HEIGHT=20 ALT='Active checks of the service have been disabled - only passive checks are being accepted' TITLE='Active checks of the service have been disabled - only passive checks are being accepted'></a></td><td ALIGN=center valign=center><a href='extinfo.cgi?type=2&host=%2&service=%3'><IMG SRC='/nagios4/images/ndisabled.gif' border=0 WIDTH=20 HEIGHT=20 ALT='Notifications for this service have been disabled' TITLE='Notifications for this service have been disabled'></a></td></tr>
</table>
</td>
</tr></table></td>
<td class='status%1'>%1</td>
<td class='statusBG%1' nowrap>12-06-2026 20:40:24</td>
<td class='statusBG%1' nowrap> 0d  4h 17m 32s</td>
<td class='statusBG%1'>3/3</td>
<td class='statusBG%1' valign='center'>%5&nbsp;</td>
</tr>
)";

QString linkEncoded(const QString& name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name, " ").replace(' ', '+'));
}

// A services page with `problems` rows, two or three services per host as Nagios groups them.
QByteArray servicesPage(int problems)
{
    static const char* const states[] = {"CRITICAL", "WARNING", "CRITICAL", "UNKNOWN"};
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

    QString page = QString::fromLatin1(pageHead);
    page.reserve(problems * 1900 + 8192);
    int row = 0;
    for (int host = 0; row < problems; ++host) {
        const QString hostName = host % 50 == 7
            ? QStringLiteral("lab printer %1").arg(host)
            : QStringLiteral("app-%1.dc%2.example.lan").arg(host, 5, 10, QLatin1Char('0')).arg(host % 4);
        const QString hostLink = linkEncoded(hostName);
        const int count = host % 3 == 0 ? 4 : 3;
        for (int i = 0; i < count && row < problems; ++i, ++row) {
            const int kind = (host + i) % 6;
            page += QLatin1String("<tr>\n");
            if (i == 0)
                page += QString::fromLatin1(hostCell).arg(hostLink, hostName,
                    QStringLiteral("10.%1.%2.%3").arg(host / 65536).arg(host / 256 % 256).arg(host % 256));
            else
                page += QLatin1String("<td></td>\n");
            const QString service = QString::fromLatin1(services[kind]);
            page += QString::fromLatin1(serviceCells)
                        .arg(QLatin1String(states[(host + i) % 4]), hostLink, linkEncoded(service), service,
                            QString::fromLatin1(outputs[kind]));
        }
        page += QLatin1String("<tr><td colspan='6'></td></tr>\n<tr><td colspan='6'></td></tr>\n");
    }
    page += QString::fromLatin1(pageTail).arg(problems);
    return page.toUtf8();
}

struct Walk
{
    int rows = 0;
    int added = 0;
    int gone = 0;
};

// What the services page routine does with a page, the menus and announcements left out.
Walk walkPage(const QByteArray& body, bool services, const PageRule& rule, const MonitorSettings& settings,
    ProblemList& list)
{
    Walk walk;
    const QString text = pageText(body);
    if (text.isEmpty())
        return walk;
    QList<StatusRow> counted = services ? extractServiceRows(text, rule) : extractHostRows(text, rule);
    counted.removeIf([&](const StatusRow& row) {
        return !(services ? serviceRowCounts(settings, row.serviceName) : hostRowCounts(settings, row.name));
    });
    walk.rows = static_cast<int>(counted.size());
    const ProblemChanges changes = list.compare(counted);
    const QString prefix = settings.serverAddress + settings.nagiosExecDir;
    for (const int row : changes.newRows)
        list.append(counted.at(row).name, prefix + counted.at(row).link);
    for (const int entry : changes.goneEntries) {
        const QString& name = list.at(entry).name;
        if (services ? serviceRecoveryAnnounced(settings, name) : hostRecoveryAnnounced(settings, name))
            ++walk.gone;
    }
    list.removeEntries(changes.goneEntries);
    walk.added = static_cast<int>(changes.newRows.size());
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
    const double perEntry = list.isEmpty() ? 0.0 : static_cast<double>(after - before) / list.size();

    const bool changesRight = (expectedRows < 0 || first.rows == expectedRows) && first.added == first.rows
        && again.added == 0 && again.gone == 0 && empty.gone == first.rows && empty.rows == 0;
    std::printf("%-14s %6d %8.2f %7d %8.2f %9.2f %9.2f %7.2f %9.2f %8.0f %s\n", qPrintable(label), first.rows,
        static_cast<double>(body.size()) / 1e6, lines, floorMs, firstMs, repeatMs, repeatMs / floorMs,
        emptyMs, perEntry, changesRight ? "ok" : "WRONG CHANGES");
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
