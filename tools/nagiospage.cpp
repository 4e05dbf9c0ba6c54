#include "tools/nagiospage.h"

#include <QLocale>

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace NagiosPage {

namespace {

// A trimmed copy of the head of the real Nagios 4.4.6 status pages, with @NAME@ slots; what differs
// between the hosts and the services page is in HeadParts.
const char kPageHead[] = R"NAG(<html>
<head>
<link rel="shortcut icon" href="/nagios4/images/favicon.ico" type="image/ico">
<title>
Current Network Status
</title>
<link rel='stylesheet' type='text/css' href='/nagios4/stylesheets/common.css' />
<link rel='stylesheet' type='text/css' href='/nagios4/stylesheets/status.css' />
<LINK REL='stylesheet' TYPE='text/css' HREF='/nagios4/stylesheets/nag_funcs.css'>
<script type='text/javascript' src='/nagios4/js/jquery-1.12.4.min.js'></script>
<script type='text/javascript' src='/nagios4/js/nag_funcs.js'></script>
<script type='text/javascript'>
var vbox, vBoxId='@BOXID@', vboxText = '<a href=https://www.nagios.com/tours target=_blank>Click here to watch the entire Nagios Core 4 Tour!</a>';
$(document).ready(function() {
$('#top_page_numbers').append($('#bottom_page_numbers').html() );
var user = '@USER@';
vBoxId += ';' + user;vbox = new vidbox({pos:'lr',vidurl:'https://www.youtube.com/embed/@VIDEO@',text:vboxText,vidid:vBoxId});
});
function set_limit(url) { 
this.location = url+'&limit='+$('#limit').val();
  }
</script>
</head>
<body class='status'>

<!-- Produced by Nagios (https://www.nagios.org).  Copyright (c) 1999-2007 Ethan Galstad. -->
<table class='headertable'>
<tr>
<td align=left valign=top width=33%>
<TABLE CLASS='infoBox' BORDER=1 CELLSPACING=0 CELLPADDING=0>
<TR><TD CLASS='infoBox'>
<DIV CLASS='infoBoxTitle'>Current Network Status</DIV>
Last Updated: @UPDATED@<BR>
Updated every 90 seconds<br>
Nagios&reg; Core&trade; 4.4.6 - <A HREF='https://www.nagios.org' TARGET='_new' CLASS='homepageURL'>www.nagios.org</A><BR>
Logged in as <i>@USER@</i><BR>
<DIV CLASS='infoBoxBadProcStatus'>- Notifications are disabled</DIV><DIV CLASS='infoBoxBadProcStatus'>- Service checks are disabled</DIV></TD></TR>
</TABLE>
<table class='linkBox'>
<tr><td class='linkBox'>
@LINKS@
</td></tr>
</table>
</td>
<td align=center valign=top width=33%>
<div class='hostTotals'>Host Status Totals</div>
<table border=0 cellspacing=0 cellpadding=0>
<tr><td>
<table class='hostTotals'>
<tr>
<th class='hostTotals'><a class='hostTotals' href='@HOSTTOTALS@&hoststatustypes=2'>Up</a></th>
<th class='hostTotals'><a class='hostTotals' href='@HOSTTOTALS@&hoststatustypes=4'>Down</a></th>
<th class='hostTotals'><a class='hostTotals' href='@HOSTTOTALS@&hoststatustypes=8'>Unreachable</a></th>
<th class='hostTotals'><a class='hostTotals' href='@HOSTTOTALS@&hoststatustypes=1'>Pending</a></th>
</tr>
<tr>
@TOTAL@
@TOTAL@
@TOTAL@
@TOTAL@
</tr>
</table>
</td></tr><tr><td align='center'>
<table class='hostTotals'>
<tr>
<th class='hostTotals'><a class='hostTotals' href='@HOSTTOTALS@&hoststatustypes=12'><em>All Problems</em></a></th>
<th class='hostTotals'><a class='hostTotals' href='@HOSTTOTALS@'><em>All Types</em></a></th>
</tr><tr>
@TOTAL@
@TOTAL@
</tr>
</table>
</td></tr>
</table>
</div>
</td>
<td align=center valign=top width=33%>
<div class='serviceTotals'>Service Status Totals</div>
<table border='0' cellspacing='0' cellpadding='0'>
<tr><td>
<table class='serviceTotals'>
<tr>
<th class='serviceTotals'><a class='serviceTotals' href='status.cgi?@SERVICETOTALS@&servicestatustypes=2&hoststatustypes=@HOSTTYPES@'>Ok</a></th>
<th class='serviceTotals'><a class='serviceTotals' href='status.cgi?@SERVICETOTALS@&servicestatustypes=4&hoststatustypes=@HOSTTYPES@'>Warning</a></th>
<th class='serviceTotals'><a class='serviceTotals' href='status.cgi?@SERVICETOTALS@&servicestatustypes=8&hoststatustypes=@HOSTTYPES@'>Unknown</a></th>
<th class='serviceTotals'><a class='serviceTotals' href='status.cgi?@SERVICETOTALS@&servicestatustypes=16&hoststatustypes=@HOSTTYPES@'>Critical</a></th>
<th class='serviceTotals'><a class='serviceTotals' href='status.cgi?@SERVICETOTALS@&servicestatustypes=1&hoststatustypes=@HOSTTYPES@'>Pending</a></th>
</tr>
<tr>
@TOTAL@
@TOTAL@
@TOTAL@
@TOTAL@
@TOTAL@
</tr>
</table>
</td></tr><tr><td align='center'>
<table class='serviceTotals'>
<tr>
<th class='serviceTotals'><a class='serviceTotals' href='status.cgi?@SERVICETOTALS@&servicestatustypes=28&hoststatustypes=@HOSTTYPES@'><em>All Problems</em></a></th>
<th class='serviceTotals'><a class='serviceTotals' href='status.cgi?@SERVICETOTALS@&hoststatustypes=@HOSTTYPES@'><em>All Types</em></a></th>
</tr><tr>
@TOTAL@
@TOTAL@
</tr>
</table>
</td></tr>
</table>
</div>
</td>
<td align=right valign=bottom>
</td>
</tr>
</table>
<table class='pageTitle' border='0' width='100%'>
<tr>
<td valign=top align=left width=33%>
<table class='filter'>
<tr><td class='filter'>
<table border=0 cellspacing=2 cellpadding=0>
<tr><td colspan=2 valign=top align=left class='filterTitle'>Display Filters:</td></tr><tr><td valign=top align=left class='filterName'>Host Status Types:</td><td valign=top align=left class='filterValue'>@HOSTFILTER@</td></tr><tr><td valign=top align=left class='filterName'>Host Properties:</td><td valign=top align=left class='filterValue'>Any</td></tr>
<tr><td valign=top align=left class='filterName'>Service Status Types:</td><td valign=top align=left class='filterValue'>@SERVICEFILTER@</td></tr><tr><td valign=top align=left class='filterName'>Service Properties:</td><td valign=top align=left class='filterValue'>Any</td></tr></table>
</td></tr></table>
</td><td valign=top align=center width=33%>
<div align='center' class='statusTitle'>@TITLE@</div>
<br></td>
<td valign=top align=right width=33%></td>
</tr>
</table>
@EXTRA@
<div id='pagelimit'>
<div id='result_limit'>
<label for='limit'>Limit Results: </label>
<select onchange='set_limit("@URL@")' name='limit' id='limit'>
@LIMITOPTIONS@
</select></div>
<div id='top_page_numbers'></div>
</div>
@TABLE@
<tr>
@COLUMNS@
</tr>
)NAG";

// What the head of the hosts and of the services page fill in.
struct HeadParts
{
    const char* boxId;
    const char* video;
    const char* links; // the link box
    const char* hostTotals; // the address of the host totals' links
    const char* serviceTotals; // the query of the service totals' links
    const char* hostTypes; // ... and the host types they ask for
    const char* title;
    const char* table;
    const char* columns; // the header row
};

const HeadParts kHostsHead {"status14", "nNiRr0hDZag",
    "<a href='status.cgi?hostgroup=all&style=detail'>View Service Status Detail For All Host Groups</a><br>\n"
    "<a href='status.cgi?hostgroup=all&style=overview'>View Status Overview For All Host Groups</a><br>\n"
    "<a href='status.cgi?hostgroup=all&style=summary'>View Status Summary For All Host Groups</a><br>\n"
    "<a href='status.cgi?hostgroup=all&style=grid'>View Status Grid For All Host Groups</a><br>",
    "status.cgi?hostgroup=all&style=hostdetail", "hostgroup=all&style=detail", "12",
    "Host Status Details For All Host Groups",
    "<div align='center'>\n<table border=0 class='status' width='100%'>",
    R"NAG(<th class='status'>Host&nbsp;<a href='@URL@&sorttype=1&sortoption=1'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by host name (ascending)' TITLE='Sort by host name (ascending)'></a><a href='@URL@&sorttype=2&sortoption=1'><IMG SRC='/nagios4/images/down.gif' border=0 ALT='Sort by host name (descending)' TITLE='Sort by host name (descending)'></a></th><th class='status'>Status&nbsp;<a href='@URL@&sorttype=1&sortoption=8'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by host status (ascending)' TITLE='Sort by host status (ascending)'></a><a href='@URL@&sorttype=2&sortoption=8'><IMG SRC='/nagios4/images/down.gif' border=0 ALT='Sort by host status (descending)' TITLE='Sort by host status (descending)'></a></th><th class='status'>Last Check&nbsp;<a href='@URL@&sorttype=1&sortoption=4'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by last check time (ascending)' TITLE='Sort by last check time (ascending)'></a><a href='@URL@&sorttype=2&sortoption=4'><IMG SRC='/nagios4/images/down.gif' border=0 ALT='Sort by last check time (descending)' TITLE='Sort by last check time (descending)'></a></th><th class='status'>Duration&nbsp;<a href='@URL@&sorttype=1&sortoption=6'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by state duration (ascending)' TITLE='Sort by state duration (ascending)'></a><a href='@URL@&sorttype=2&sortoption=6'><IMG SRC='/nagios4/images/down.gif' border=0 ALT='Sort by state duration time (descending)' TITLE='Sort by state duration time (descending)'></a></th><th class='status'>Status Information</th>)NAG"};

const HeadParts kServicesHead {"status00", "ahDIJcbSEFM",
    "<a href='history.cgi?host=all'>View History For all hosts</a><br>\n"
    "<a href='notifications.cgi?host=all'>View Notifications For All Hosts</a>\n"
    "<br /><a href='status.cgi?hostgroup=all&style=hostdetail'>View Host Status Detail For All Hosts</a>",
    "status.cgi?host=all&servicestatustypes=28", "host=all", "15", "Service Status Details For All Hosts",
    "<table border=0 width=100% class='status'>",
    R"NAG(<th class='status'>Host&nbsp;<a href='@URL@&sorttype=1&sortoption=1'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by host name (ascending)' TITLE='Sort by host name (ascending)'></a><a href='@URL@&sorttype=2&sortoption=1'><IMG SRC='/nagios4/images/down.gif' border=0 ALT='Sort by host name (descending)' TITLE='Sort by host name (descending)'></a></th><th class='status'>Service&nbsp;<a href='@URL@&sorttype=1&sortoption=2'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by service name (ascending)' TITLE='Sort by service name (ascending)'></a><a href='@URL@&sorttype=2&sortoption=2'><IMG SRC='/nagios4/images/down.gif' border=0 ALT='Sort by service name (descending)' TITLE='Sort by service name (descending)'></a></th><th class='status'>Status&nbsp;<a href='@URL@&sorttype=1&sortoption=3'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by service status (ascending)' TITLE='Sort by service status (ascending)'></a><a href='@URL@&sorttype=2&sortoption=3'><IMG SRC='/nagios4/images/down.gif' border=0 ALT='Sort by service status (descending)' TITLE='Sort by service status (descending)'></a></th><th class='status'>Last Check&nbsp;<a href='@URL@&sorttype=1&sortoption=4'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by last check time (ascending)' TITLE='Sort by last check time (ascending)'></a><a href='@URL@&sorttype=2&sortoption=4'><IMG SRC='/nagios4/images/down.gif' border=0 ALT='Sort by last check time (descending)' TITLE='Sort by last check time (descending)'></a></th><th class='status'>Duration&nbsp;<a href='@URL@&sorttype=1&sortoption=6'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by state duration (ascending)' TITLE='Sort by state duration (ascending)'></a><a href='@URL@&sorttype=2&sortoption=6'><IMG SRC='/nagios4/images/down.gif' border=0 ALT='Sort by state duration time (descending)' TITLE='Sort by state duration time (descending)'></a></th><th class='status'>Attempt&nbsp;<a href='@URL@&sorttype=1&sortoption=5'><IMG SRC='/nagios4/images/up.gif' border=0 ALT='Sort by current attempt (ascending)' TITLE='Sort by current attempt (ascending)'></a><a href='@URL@&sorttype=2&sortoption=5'><IMG SRC='/nagios4/images/down.gif' border=0 ALT='Sort by current attempt (descending)' TITLE='Sort by current attempt (descending)'></a></th><th class='status'>Status Information</th>)NAG"};

const char kFooter[]
    = "\n<!-- Produced by Nagios (https://www.nagios.org).  Copyright (c) 1999-2007 Ethan Galstad. -->\n"
      "</body>\n</html>\n";

const char kNagiosStopped[] = R"NAG(<html>
<head>
<link rel="shortcut icon" href="/nagios4/images/favicon.ico" type="image/ico">
<title>
Current Network Status
</title>
<script type='text/javascript' src='/nagios4/js/jquery-1.12.4.min.js'></script>
<script type='text/javascript' src='/nagios4/js/nag_funcs.js'></script>
<script type='text/javascript'>
var vbox, vBoxId='@BOXID@', vboxText = '<a href=https://www.nagios.com/tours target=_blank>Click here to watch the entire Nagios Core 4 Tour!</a>';
$(document).ready(function() {
$('#top_page_numbers').append($('#bottom_page_numbers').html() );
var user = '(null)';
vBoxId += ';' + user;vbox = new vidbox({pos:'lr',vidurl:'https://www.youtube.com/embed/@VIDEO@',text:vboxText,vidid:vBoxId});
});
function set_limit(url) { 
this.location = url+'&limit='+$('#limit').val();
  }
</script>
</head>
<body class='status'>

<!-- Produced by Nagios (https://www.nagios.org).  Copyright (c) 1999-2007 Ethan Galstad. -->
<H1>Whoops!</H1>
<P><STRONG><FONT COLOR='RED'>Error: Could not read host and service status information!</FONT></STRONG></P>
<P>
The most common cause of this error message (especially for new users), is the fact that Nagios is not actually running.  If Nagios is indeed not running, this is a normal error message.  It simply indicates that the CGIs could not obtain the current status of hosts and services that are being monitored.  If you've just installed things, make sure you read the documentation on starting Nagios.
</P>
<P>
Some other things you should check in order to resolve this error include:
</P>
<P>
<OL>
<LI>Check the Nagios log file for messages relating to startup or status data errors.
<LI>Always verify configuration options using the <b>-v</b> command-line option before starting or restarting Nagios!
</OL>
</P>
<P>
Make sure you read the documentation on installing, configuring and running Nagios thoroughly before continuing.  If all else fails, try sending a message to one of the mailing lists.  More information can be found at <a href='https://www.nagios.org'>https://www.nagios.org</a>.
</P>

<!-- Produced by Nagios (https://www.nagios.org).  Copyright (c) 1999-2007 Ethan Galstad. -->
</body>
</html>
)NAG";

using HostState = NagiosSimulator::HostState;
using ServiceState = NagiosSimulator::ServiceState;

constexpr int kAllHostTypes = 1 | 2 | 4 | 8;
constexpr int kHostProblems = 4 | 8;
constexpr int kAllServiceTypes = 1 | 2 | 4 | 8 | 16;
constexpr int kServiceProblems = 4 | 8 | 16;
constexpr int kDefaultResultLimit = 100;

void replaceSlot(QByteArray& text, const char* slot, const QByteArray& value)
{
    text.replace(QByteArray(slot), value);
}

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

// "Sun Dec 6 20:40:22 UTC 2026", as the CGI prints its last update.
QByteArray updatedText(const QDateTime& now)
{
    return QLocale::c().toString(now.toUTC(), QStringLiteral("ddd MMM d hh:mm:ss 'UTC' yyyy")).toUtf8();
}

QByteArray checkTimeText(const QDateTime& time)
{
    return QLocale::c().toString(time.toUTC(), QStringLiteral("MM-dd-yyyy hh:mm:ss")).toUtf8();
}

QByteArray durationText(const QDateTime& since, const QDateTime& now)
{
    qint64 seconds = since.isValid() ? std::max<qint64>(0, since.secsTo(now)) : 0;
    const qint64 days = seconds / 86400;
    seconds %= 86400;
    return QString::asprintf(
        "%2lldd %2lldh %2lldm %2llds", days, seconds / 3600, (seconds % 3600) / 60, seconds % 60)
        .toUtf8();
}

int intParameter(const QUrlQuery& query, const QString& name, int fallback)
{
    if (!query.hasQueryItem(name))
        return fallback;
    bool ok = false;
    const int value = query.queryItemValue(name).toInt(&ok);
    return ok ? value : fallback;
}

struct Paging
{
    int limit = kDefaultResultLimit;
    int start = 0;
};

Paging pagingOf(const QUrlQuery& query)
{
    Paging paging;
    paging.limit = std::max(0, intParameter(query, QStringLiteral("limit"), kDefaultResultLimit));
    paging.start = std::max(0, intParameter(query, QStringLiteral("start"), 0));
    return paging;
}

QByteArray limitOptions(int limit)
{
    QByteArray text;
    const int values[] = {50, 100, 250, 1000, 0};
    for (int value : values) {
        text += "<option " + QByteArray(limit == value ? "selected='selected'" : "") + " value='"
            + number(value) + "'>" + (value == 0 ? QByteArray("All") : number(value)) + "</option>\n";
    }
    text.chop(1);
    return text;
}

QByteArray hostFilterText(int mask)
{
    if (mask == kAllHostTypes)
        return "All";
    if (mask == kHostProblems)
        return "All problems";
    QByteArray text;
    const std::pair<int, const char*> names[]
        = {{1, " Pending"}, {2, " Up"}, {4, " Down"}, {8, " Unreachable"}};
    for (const auto& [bit, name] : names) {
        if (mask & bit)
            text += (text.isEmpty() ? "" : " |") + QByteArray(name);
    }
    return text;
}

QByteArray serviceFilterText(int mask)
{
    if (mask == kAllServiceTypes)
        return "All";
    if (mask == kServiceProblems)
        return "All Problems";
    QByteArray text;
    const std::pair<int, const char*> names[]
        = {{1, " Pending"}, {2, " Ok"}, {8, " Unknown"}, {4, " Warning"}, {16, " Critical"}};
    for (const auto& [bit, name] : names) {
        if (mask & bit)
            text += (text.isEmpty() ? "" : " |") + QByteArray(name);
    }
    return text;
}

QByteArray totalCell(const char* prefix, const char* suffix, qint64 count)
{
    return "<td class='" + QByteArray(prefix) + (count > 0 ? QByteArray(suffix) : QByteArray()) + "'>"
        + number(count) + "</td>";
}

// The 13 numbers of the host and service totals boxes in the page head, over the whole installation.
QList<QByteArray> totalCells(const Installation& installation, bool empty)
{
    qint64 hosts[4] = {};
    qint64 services[5] = {};
    if (!empty) {
        for (const auto& [name, host] : installation) {
            ++hosts[int(host.state)];
            for (const auto& [description, service] : host.services)
                ++services[int(service.state)];
        }
    }
    const qint64 up = hosts[int(HostState::Up)], down = hosts[int(HostState::Down)],
                 unreachable = hosts[int(HostState::Unreachable)],
                 hostPending = hosts[int(HostState::Pending)];
    const qint64 ok = services[int(ServiceState::Ok)], warning = services[int(ServiceState::Warning)],
                 unknown = services[int(ServiceState::Unknown)],
                 critical = services[int(ServiceState::Critical)],
                 servicePending = services[int(ServiceState::Pending)];
    return {
        totalCell("hostTotals", "UP", up),
        totalCell("hostTotals", "DOWN", down),
        totalCell("hostTotals", "UNREACHABLE", unreachable),
        totalCell("hostTotals", "PENDING", hostPending),
        totalCell("hostTotals", "PROBLEMS", down + unreachable),
        totalCell("hostTotals", "", up + down + unreachable + hostPending),
        totalCell("serviceTotals", "OK", ok),
        totalCell("serviceTotals", "WARNING", warning),
        totalCell("serviceTotals", "UNKNOWN", unknown),
        totalCell("serviceTotals", "CRITICAL", critical),
        totalCell("serviceTotals", "PENDING", servicePending),
        totalCell("serviceTotals", "PROBLEMS", warning + unknown + critical),
        totalCell("serviceTotals", "", ok + warning + unknown + critical + servicePending),
    };
}

// Filler and odd bytes go in comment lines before the status table, where no row pattern looks
// but every byte still has to travel and be read. Written straight into the page: padding can be
// large, and the page must not exist in several copies.
void appendExtraLines(QByteArray& out, const Options& options)
{
    if (options.injectNul)
        out += QByteArray("<!-- a NUL byte: ") + '\0' + " -->\n";
    if (options.injectInvalidUtf8)
        out += "<!-- bytes that are not UTF-8: \xff\xfe\xc3\x28 \xed\xa0\x80 -->\n";
    if (options.padding > 0) {
        const qint64 stop = out.size() + options.padding;
        const QByteArray line
            = "<!-- padding: filler that no row pattern matches " + QByteArray(48, '-') + " -->\n";
        while (out.size() < stop)
            out += line;
    }
}

// Starts the page in `out`, reserving room for `rowBytes` more.
void appendPageHead(QByteArray& out, const HeadParts& parts, const Installation& installation,
    const Options& options, const QByteArray& url, int hostMask, int serviceMask, int limit, bool emptyTotals,
    qint64 rowBytes)
{
    QByteArray head(kPageHead);
    replaceSlot(head, "@BOXID@", parts.boxId);
    replaceSlot(head, "@VIDEO@", parts.video);
    replaceSlot(head, "@LINKS@", parts.links);
    replaceSlot(head, "@HOSTTOTALS@", parts.hostTotals);
    replaceSlot(head, "@SERVICETOTALS@", parts.serviceTotals);
    replaceSlot(head, "@HOSTTYPES@", parts.hostTypes);
    replaceSlot(head, "@TITLE@", parts.title);
    replaceSlot(head, "@TABLE@", parts.table);
    replaceSlot(head, "@COLUMNS@", parts.columns);
    replaceSlot(head, "@USER@", htmlEncode(options.user));
    replaceSlot(head, "@UPDATED@",
        updatedText(options.now.isValid() ? options.now : QDateTime::currentDateTimeUtc()));
    replaceSlot(head, "@HOSTFILTER@", hostFilterText(hostMask));
    replaceSlot(head, "@SERVICEFILTER@", serviceFilterText(serviceMask));
    replaceSlot(head, "@URL@", url);
    replaceSlot(head, "@LIMITOPTIONS@", limitOptions(limit));
    for (const QByteArray& cell : totalCells(installation, emptyTotals)) {
        const qsizetype at = head.indexOf("@TOTAL@");
        if (at < 0)
            break;
        head.replace(at, 7, cell);
    }
    const QByteArray extraSlot = "@EXTRA@\n";
    const qsizetype extraAt = head.indexOf(extraSlot);
    out.reserve(head.size() + std::max<qint64>(0, options.padding) + rowBytes + 8192);
    out += head.left(extraAt);
    appendExtraLines(out, options);
    out += head.mid(extraAt + extraSlot.size());
}

// Nagios' create_pagenumbers(): the totals line, with page links when the result limit cut the list.
QByteArray pageNumbers(qint64 total, const QByteArray& url, const Paging& paging, bool services)
{
    const char* kind = services ? "Services" : "Hosts";
    const QByteArray after = services ? "\n</div>\n" : "\n\n";
    if (paging.limit == 0 || total <= paging.limit) {
        return "<br /><div class='itemTotalsTitle'>Results 1 - " + number(total) + " of " + number(total)
            + " Matching " + kind + "</div>" + after;
    }
    const qint64 limit = paging.limit;
    const qint64 pages = total / limit;
    const qint64 previous = std::max<qint64>(0, paging.start - limit);
    const QByteArray limitText = "&limit=" + number(limit);
    QByteArray text = "<div id='bottom_page_numbers'>\n<div class='inner_numbers'>\n";
    text += "<a href='" + url + "&start=0" + limitText
        + "' class='pagenumber' title='First Page'><img src='/nagios4/images/b_first2.png' height='15' "
          "width='15' "
          "alt='<<' /></a>\n";
    text += "<a href='" + url + "&start=" + number(previous) + limitText
        + "' class='pagenumber' title='Previous Page'><img src='/nagios4/images/b_prev2.png' height='15' "
          "width='10' alt='<' /></a>\n";
    const qint64 links = pages + (total % limit ? 1 : 0);
    for (qint64 page = 0; page < links; ++page) {
        const qint64 start = page * limit;
        if (start == paging.start)
            text += "<div class='pagenumber current_page'> " + number(page + 1) + " </div>\n";
        else
            text += "<a class='pagenumber' href='" + url + "&start=" + number(start) + limitText
                + "' title='Page " + number(page + 1) + "'> " + number(page + 1) + " </a>\n";
    }
    text += "<a href='" + url + "&start=" + number(paging.start + limit) + limitText
        + "' class='pagenumber' title='Next Page'><img src='/nagios4/images/b_next2.png' height='15' "
          "width='10' "
          "alt='>' /></a>\n";
    text += "<a href='" + url + "&start=" + number(pages * limit) + limitText
        + "' class='pagenumber' title='Last Page'><img src='/nagios4/images/b_last2.png' height='15' "
          "width='15' "
          "alt='>>' /></a>\n";
    text += "</div> <!-- end inner_page_numbers div -->\n";
    // Nagios prints the zero-based start here.
    text += "<br /><div class='itemTotalsTitle'>Results " + number(paging.start) + " - "
        + number(std::min(total, paging.start + limit)) + " of " + number(total) + " Matching " + kind
        + "</div>" + after;
    text += "</div> <!-- end bottom_page_numbers div -->\n\n";
    return text;
}

struct HostClasses
{
    QByteArray status; // name and status cells
    QByteArray background; // the other cells
    QByteArray text;
};

HostClasses hostClasses(const Host& host, bool odd)
{
    const QByteArray evenOdd = odd ? "Even" : "Odd";
    auto problem = [&host](const char* name) {
        const QByteArray state(name);
        const QByteArray suffix = host.acknowledged ? "ACK" : host.inDowntime ? "SCHED" : "";
        return HostClasses {"HOST" + state, "BG" + state + suffix, state};
    };
    switch (host.state) {
    case HostState::Up:
        return {"HOSTUP", evenOdd, "UP"};
    case HostState::Down:
        return problem("DOWN");
    case HostState::Unreachable:
        return problem("UNREACHABLE");
    case HostState::Pending:
        break;
    }
    return {"PENDING", evenOdd, "PENDING"};
}

// The class of the host cell on the services page.
QByteArray hostCellClass(const Host& host, bool odd)
{
    if (host.state == HostState::Down || host.state == HostState::Unreachable) {
        const QByteArray state = host.state == HostState::Down ? "HOSTDOWN" : "HOSTUNREACHABLE";
        return state + (host.acknowledged ? "ACK" : host.inDowntime ? "SCHED" : "");
    }
    return odd ? "Even" : "Odd";
}

QByteArray serviceStateText(ServiceState state)
{
    switch (state) {
    case ServiceState::Ok:
        return "OK";
    case ServiceState::Warning:
        return "WARNING";
    case ServiceState::Critical:
        return "CRITICAL";
    case ServiceState::Unknown:
        return "UNKNOWN";
    case ServiceState::Pending:
        break;
    }
    return "PENDING";
}

struct ServiceClasses
{
    QByteArray status;
    QByteArray background;
};

ServiceClasses serviceClasses(const Service& service, bool odd)
{
    if (service.state == ServiceState::Ok || service.state == ServiceState::Pending)
        return {serviceStateText(service.state), odd ? "Even" : "Odd"};
    const QByteArray state = serviceStateText(service.state);
    if (service.acknowledged)
        return {state + "ACK", "BG" + state + "ACK"};
    if (service.inDowntime)
        return {state, "BG" + state + "SCHED"};
    return {state, "BG" + state};
}

QByteArray icon(const QByteArray& link, const char* image, const char* text)
{
    return "<td ALIGN=center valign=center><a href='" + link + "'><IMG SRC='/nagios4/images/" + image
        + "' border=0 WIDTH=20 HEIGHT=20 ALT='" + text + "' TITLE='" + text + "'></a></td>";
}

const char kHostNotificationsOff[] = "Notifications for this host have been disabled";
const char kHostPassiveOnly[]
    = "Active checks of this host have been disabled - only passive checks are being accepted";

void appendHostRow(QByteArray& out, const QByteArray& name, const Host& host, bool odd, const QDateTime& now)
{
    const HostClasses classes = hostClasses(host, odd);
    const QByteArray encoded = urlEncode(name);
    const QByteArray link = "extinfo.cgi?type=1&host=" + encoded;
    out += "<tr>\n<td class='status" + classes.status
        + "'><table border=0 WIDTH='100%' cellpadding=0 cellspacing=0>\n<tr>\n<td align='left'>\n"
          "<table border=0 cellpadding=0 cellspacing=0>\n<tr>\n";
    out += "<td align=left valign=center class='status" + classes.status + "'><a href='" + link + "' title='"
        + htmlEncode(host.address) + "'>" + htmlEncode(name) + "</a>&nbsp;</td>\n";
    out += "</tr>\n</table>\n</td>\n<td align=right valign=center>\n<table border=0 cellpadding=0 "
           "cellspacing=0>\n"
           "<tr>\n";
    if (host.acknowledged)
        out += icon(link + "#comments", "ack.gif", "This host problem has been acknowledged");
    if (host.acknowledged || host.inDowntime)
        out += icon(link + "#comments", "comment.gif", "This host has 1 comment associated with it");
    out += icon(link, "ndisabled.gif", kHostNotificationsOff);
    out += icon(link, "passiveonly.gif", kHostPassiveOnly);
    if (host.inDowntime)
        out += icon(link, "downtime.gif", "This host is currently in a period of scheduled downtime");
    out += "<td><a href='status.cgi?host=" + encoded
        + "'><img src='/nagios4/images/status2.gif' border=0 alt='View Service Details For This Host' "
          "title='View Service Details For This Host'></a></td>\n";
    out += "</tr>\n</table>\n</td>\n</tr>\n</table>\n</td>\n";
    out += "<td class='status" + classes.status + "'>" + classes.text + "</td>\n";
    const bool pending = host.state == HostState::Pending;
    out += "<td class='status" + classes.background + "' nowrap>"
        + (pending ? QByteArray("N/A") : checkTimeText(now)) + "</td>\n";
    out += "<td class='status" + classes.background + "' nowrap>" + durationText(host.lastChange, now)
        + "</td>\n";
    out += "<td class='status" + classes.background + "' valign='center'>" + htmlEncode(host.output)
        + "&nbsp;</td>\n</tr>\n";
}

void appendHostCell(QByteArray& out, const QByteArray& name, const Host& host, bool odd)
{
    const QByteArray cellClass = hostCellClass(host, odd);
    const QByteArray link = "extinfo.cgi?type=1&host=" + urlEncode(name);
    out += "<td class='status" + cellClass
        + "'><table border=0 width='100%' cellpadding=0 cellspacing=0>\n<tr>\n<td align='left'>\n"
          "<table border=0 cellpadding=0 cellspacing=0>\n<tr>\n";
    out += "<td align=left valign=center class='status" + cellClass + "'><a href='" + link + "' title='"
        + htmlEncode(host.address) + "'>" + htmlEncode(name) + "</a></td>\n";
    out += "</tr>\n</table>\n</td>\n<td align=right valign=center>\n<table border=0 cellpadding=0 "
           "cellspacing=0>\n"
           "<tr>\n";
    out += icon(link, "ndisabled.gif", kHostNotificationsOff);
    out += "<td ALIGN=center valign=center><a href='" + link
        + "'><IMG SRC='/nagios4/images/passiveonly.gif' border=0 WIDTH=20 HEIGHT=20 ALT='" + kHostPassiveOnly
        + "' TITLE='Checks of this host have been disabled'></a></td></tr>\n";
    out += "</table>\n</td>\n</tr>\n</table>\n</td>\n";
}

void appendServiceCells(QByteArray& out, const QByteArray& hostName, const QByteArray& description,
    const Service& service, bool odd, const QDateTime& now)
{
    const ServiceClasses classes = serviceClasses(service, odd);
    const QByteArray& bg = classes.background;
    const QByteArray link
        = "extinfo.cgi?type=2&host=" + urlEncode(hostName) + "&service=" + urlEncode(description);
    out += "<td class='status" + bg
        + "'><table border=0 WIDTH='100%' cellspacing=0 cellpadding=0><tr><td align='left'><table border=0 "
          "cellspacing=0 cellpadding=0>\n<tr>\n";
    out += "<td align='left' valign=center class='status" + bg + "'><a href='" + link + "'>"
        + htmlEncode(description) + "</a></td></tr>\n";
    out += "</table>\n</td>\n<td ALIGN=RIGHT class='status" + bg
        + "'>\n<table border=0 cellspacing=0 cellpadding=0>\n<tr>\n";
    if (service.acknowledged || service.inDowntime)
        out += icon(link + "#comments", "comment.gif", "This service has 1 comment associated with it");
    if (service.acknowledged)
        out += icon(link + "#comments", "ack.gif", "This service problem has been acknowledged");
    out += icon(link, "passiveonly.gif",
        "Active checks of the service have been disabled - only passive checks are being accepted");
    out += icon(link, "ndisabled.gif", "Notifications for this service have been disabled");
    if (service.inDowntime)
        out += icon(link, "downtime.gif", "This service is currently in a period of scheduled downtime");
    out += "</tr>\n</table>\n</td>\n</tr></table></td>\n";
    out += "<td class='status" + classes.status + "'>" + serviceStateText(service.state) + "</td>\n";
    const bool pending = service.state == ServiceState::Pending;
    out += "<td class='status" + bg + "' nowrap>" + (pending ? QByteArray("N/A") : checkTimeText(now))
        + "</td>\n";
    out += "<td class='status" + bg + "' nowrap>" + durationText(service.lastChange, now) + "</td>\n";
    out += "<td class='status" + bg + "'>1/1</td>\n";
    out += "<td class='status" + bg + "' valign='center'>" + htmlEncode(service.output)
        + "&nbsp;</td>\n</tr>\n";
}

// What a status.cgi query asks for, with the address Nagios rebuilds from it for its own links.
struct PageRequest
{
    QByteArray url;
    int hostMask = kAllHostTypes;
    int serviceMask = kAllServiceTypes;
    Paging paging;
    QByteArray hostName; // empty: all hosts
};

PageRequest hostsRequest(const QUrlQuery& query)
{
    PageRequest request;
    request.hostMask = intParameter(query, QStringLiteral("hoststatustypes"), kAllHostTypes);
    request.serviceMask = intParameter(query, QStringLiteral("servicestatustypes"), kAllServiceTypes);
    request.paging = pagingOf(query);
    request.url = "status.cgi?hostgroup=all&style=hostdetail";
    if (query.hasQueryItem(QStringLiteral("hoststatustypes")))
        request.url += "&hoststatustypes=" + number(request.hostMask);
    return request;
}

PageRequest servicesRequest(const QUrlQuery& query)
{
    PageRequest request;
    request.hostMask = intParameter(query, QStringLiteral("hoststatustypes"), kAllHostTypes);
    request.serviceMask = intParameter(query, QStringLiteral("servicestatustypes"), kAllServiceTypes);
    request.paging = pagingOf(query);
    request.hostName = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded).toUtf8();
    if (request.hostName == "all")
        request.hostName.clear();
    request.url
        = "status.cgi?host=" + (request.hostName.isEmpty() ? QByteArray("all") : urlEncode(request.hostName));
    if (query.hasQueryItem(QStringLiteral("servicestatustypes")))
        request.url += "&servicestatustypes=" + number(request.serviceMask);
    if (query.hasQueryItem(QStringLiteral("hoststatustypes")))
        request.url += "&hoststatustypes=" + number(request.hostMask);
    return request;
}

} // namespace

int hostStateBit(HostState state)
{
    switch (state) {
    case HostState::Pending:
        return 1;
    case HostState::Up:
        return 2;
    case HostState::Down:
        return 4;
    case HostState::Unreachable:
        return 8;
    }
    return 0;
}

int serviceStateBit(ServiceState state)
{
    switch (state) {
    case ServiceState::Pending:
        return 1;
    case ServiceState::Ok:
        return 2;
    case ServiceState::Warning:
        return 4;
    case ServiceState::Unknown:
        return 8;
    case ServiceState::Critical:
        return 16;
    }
    return 0;
}

QByteArray hostsPage(const Installation& installation, const QUrlQuery& query, const Options& options)
{
    const PageRequest request = hostsRequest(query);
    const int mask = request.hostMask;
    const Paging& paging = request.paging;
    const QByteArray& url = request.url;

    std::vector<Installation::const_iterator> rows;
    for (auto it = installation.begin(); it != installation.end(); ++it) {
        if (mask & hostStateBit(it->second.state))
            rows.push_back(it);
    }
    const qint64 total = qint64(rows.size());
    const qint64 first = paging.limit == 0 ? 0 : paging.start;
    const qint64 end = paging.limit == 0 ? total : std::min(total, first + paging.limit);

    QByteArray out;
    appendPageHead(out, kHostsHead, installation, options, url, mask, request.serviceMask, paging.limit,
        false, std::max<qint64>(0, end - first) * 2600);
    const QDateTime now = options.now.isValid() ? options.now : QDateTime::currentDateTimeUtc();
    bool odd = false;
    for (qint64 index = first; index < end; ++index) {
        odd = !odd;
        appendHostRow(out, rows[size_t(index)]->first, rows[size_t(index)]->second, odd, now);
    }
    out += "</table>\n</div>\n";
    out += pageNumbers(total, url, paging, false);
    out += kFooter;
    return out;
}

QByteArray servicesPage(const Installation& installation, const QUrlQuery& query, const Options& options)
{
    const PageRequest request = servicesRequest(query);
    const int hostMask = request.hostMask;
    const int mask = request.serviceMask;
    const Paging& paging = request.paging;
    const QByteArray& url = request.url;

    struct Row
    {
        const QByteArray* hostName;
        const Host* host;
        const QByteArray* description;
        const Service* service;
    };
    std::vector<Row> rows;
    for (const auto& [name, host] : installation) {
        if ((!request.hostName.isEmpty() && name != request.hostName)
            || !(hostMask & hostStateBit(host.state)))
            continue;
        for (const auto& [description, service] : host.services) {
            if (mask & serviceStateBit(service.state))
                rows.push_back({&name, &host, &description, &service});
        }
    }
    const qint64 total = qint64(rows.size());
    const qint64 first = paging.limit == 0 ? 0 : paging.start;
    const qint64 end = paging.limit == 0 ? total : std::min(total, first + paging.limit);

    QByteArray out;
    appendPageHead(out, kServicesHead, installation, options, url, hostMask, mask, paging.limit, false,
        std::max<qint64>(0, end - first) * 3300);
    const QDateTime now = options.now.isValid() ? options.now : QDateTime::currentDateTimeUtc();
    bool odd = false;
    const QByteArray* lastHost = nullptr;
    for (qint64 index = first; index < end; ++index) {
        const Row& row = rows[size_t(index)];
        odd = !odd;
        const bool newHost = lastHost == nullptr || *lastHost != *row.hostName;
        if (newHost && lastHost != nullptr)
            out += "<tr><td colspan='6'></td></tr>\n<tr><td colspan='6'></td></tr>\n";
        out += "<tr>\n";
        if (newHost)
            appendHostCell(out, *row.hostName, *row.host, odd);
        else
            out += "<td></td>\n";
        appendServiceCells(out, *row.hostName, *row.description, *row.service, odd, now);
        lastHost = row.hostName;
    }
    out += "</table>\n";
    out += pageNumbers(total, url, paging, true);
    out += kFooter;
    return out;
}

QByteArray noRightsPage(
    const Installation& installation, const QUrlQuery& query, bool hosts, const Options& options)
{
    Options plain = options;
    plain.padding = 0;
    plain.injectNul = false;
    plain.injectInvalidUtf8 = false;
    const PageRequest request = hosts ? hostsRequest(query) : servicesRequest(query);
    QByteArray out;
    appendPageHead(out, hosts ? kHostsHead : kServicesHead, installation, plain, request.url,
        request.hostMask, request.serviceMask, request.paging.limit, true, 0);
    out += hosts ? "</table>\n</div>\n" : "</table>\n";
    out += "<P><div class='errorMessage'>It appears as though you do not have permission to view information "
           "for any "
           "of the "
        + QByteArray(hosts ? "hosts" : "services") + " you requested...</div></P>\n";
    out += "<P><div class='errorDescription'>If you believe this is an error, check the HTTP server "
           "authentication "
           "requirements for accessing this CGI<br>and check the authorization options in your CGI "
           "configuration "
           "file.</div></P>\n";
    out += kFooter;
    return out;
}

QByteArray nagiosStoppedPage(bool hosts)
{
    QByteArray page(kNagiosStopped);
    replaceSlot(page, "@BOXID@", hosts ? "status14" : "status00");
    replaceSlot(page, "@VIDEO@", hosts ? "nNiRr0hDZag" : "ahDIJcbSEFM");
    return page;
}

namespace {

const char kCommandHead[] = R"NAG(<html>
<head>
<link rel="shortcut icon" href="/nagios4/images/favicon.ico" type="image/ico">
<title>
External Command Interface
</title>
<LINK REL='stylesheet' TYPE='text/css' HREF='/nagios4/stylesheets/common.css'>
<LINK REL='stylesheet' TYPE='text/css' HREF='/nagios4/stylesheets/cmd.css'>
</head>
<body CLASS='cmd'>

<!-- Produced by Nagios (https://www.nagios.org).  Copyright (c) 1999-2007 Ethan Galstad. -->
<table border=0 width=100%>
<tr>
<td align=left valign=top width=33%>
<TABLE CLASS='infoBox' BORDER=1 CELLSPACING=0 CELLPADDING=0>
<TR><TD CLASS='infoBox'>
<DIV CLASS='infoBoxTitle'>External Command Interface</DIV>
Last Updated: @UPDATED@<BR>
Nagios&reg; Core&trade; 4.4.6 - <A HREF='https://www.nagios.org' TARGET='_new' CLASS='homepageURL'>www.nagios.org</A><BR>
Logged in as <i>@USER@</i><BR>
<DIV CLASS='infoBoxBadProcStatus'>- Notifications are disabled</DIV></TD></TR>
</TABLE>
</td>
<td align=center valign=top width=33%>
</td>
<td align=right valign=bottom width=33%>
</td>
</tr>
</table>
)NAG";

// The form between its title and its fields; @NAGFORMID@ is the CSRF field or nothing.
const char kCommandFormStart[] = R"NAG(<p>
<div align='center'>
<table border=0 width=90%>
<tr>
<td align=center valign=top>
<DIV ALIGN=CENTER CLASS='optBoxTitle'>Command Options</DIV>
<TABLE CELLSPACING=0 CELLPADDING=0 BORDER=1 CLASS='optBox'>
<TR><TD CLASS='optBoxItem'>
<form method='post' action='cmd.cgi'>
@NAGFORMID@<TABLE CELLSPACING=0 CELLPADDING=0 CLASS='optBox'>
<tr><td><INPUT TYPE='HIDDEN' NAME='cmd_typ' VALUE='@TYPE@'><INPUT TYPE='HIDDEN' NAME='cmd_mod' VALUE='2'></td></tr>
<tr><td CLASS='optBoxRequiredItem'>Host Name:</td><td><b><INPUT TYPE='TEXT' NAME='host' VALUE='@HOST@'></b></td></tr>
)NAG";

// What follows the fields; @OBJECT@ is "host" or "service".
const char kCommandFormEnd[] = R"NAG(<tr><td CLASS='optBoxItem' COLSPAN=2></td></tr>
<tr><td CLASS='optBoxItem'></td><td CLASS='optBoxItem'><INPUT TYPE='submit' NAME='btnSubmit' VALUE='Commit'> <INPUT TYPE='reset' VALUE='Reset'></td></tr>
</table>
</form>
</td>
</tr>
</table>
</td>
<td align=center valign=top width=50%>
<DIV ALIGN=CENTER CLASS='descriptionTitle'>Command Description</DIV>
<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=0 CLASS='commandDescription'>
<TR><TD CLASS='commandDescription'>
@DESCRIPTION@</TD></TR>
</TABLE>
</td>
</tr>
</table>
</div>
</p>
<P><DIV CLASS='infoMessage'>Please enter all required information before committing the command.<br>Required fields are marked in red.<br>Failure to supply all required values will result in an error.</DIV></P>
)NAG";

const char kAcknowledgeFields[]
    = R"NAG(<tr><td CLASS='optBoxItem'>Sticky Acknowledgement:</td><td><b><INPUT TYPE='checkbox' NAME='sticky_ack' CHECKED></b></td></tr>
<tr><td CLASS='optBoxItem'>Send Notification:</td><td><b><INPUT TYPE='checkbox' NAME='send_notification' CHECKED></b></td></tr>
<tr><td CLASS='optBoxItem'>Persistent Comment:</td><td><b><INPUT TYPE='checkbox' NAME='persistent' ></b></td></tr>
<tr><td CLASS='optBoxRequiredItem'>Author (Your Name):</td><td><b><INPUT TYPE='TEXT' NAME='com_author' VALUE='@USER@' ></b></td></tr>
<tr><td CLASS='optBoxRequiredItem'>Comment:</td><td><b><INPUT TYPE='TEXT' NAME='com_data' VALUE='' SIZE=40></b></td></tr>
)NAG";

const char kAcknowledgeDescription[]
    = R"NAG(This command is used to acknowledge a @OBJECT@ problem.  When a @OBJECT@ problem is acknowledged, future notifications about problems are temporarily disabled until the @OBJECT@ changes from its current state.
If you want acknowledgement to disable notifications until the @OBJECT@ recovers, check the 'Sticky Acknowledgement' checkbox.
Contacts for this @OBJECT@ will receive a notification about the acknowledgement, so they are aware that someone is working on the problem.  Additionally, a comment will also be added to the @OBJECT@.
Make sure to enter your name and fill in a brief description of what you are doing in the comment field.  If you would like the @OBJECT@ comment to remain once the acknowledgement is removed, check
the 'Persistent Comment' checkbox.  If you do not want an acknowledgement notification sent out to the appropriate contacts, uncheck the 'Send Notification' checkbox.
)NAG";

const char kCheckFields[]
    = R"NAG(<tr><td CLASS='optBoxRequiredItem'>Check Time:</td><td><b><INPUT TYPE='TEXT' NAME='start_time' VALUE='@TIME@'></b></td></tr>
<tr><td CLASS='optBoxItem'>Force Check:</td><td><b><INPUT TYPE='checkbox' NAME='force_check' ></b></td></tr>
)NAG";

const char kCheckDescription[]
    = R"NAG(This command is used to schedule the next check of a particular @OBJECT@.  Nagios will re-queue the @OBJECT@ to be checked at the time you specify.
If you select the <i>force check</i> option, Nagios will force a check of the @OBJECT@ regardless of both what time the scheduled check occurs and whether or not checks are enabled for the @OBJECT@.
)NAG";

// The downtime form after its Service row; @CHILDREN@ is the host form's child hosts choice.
const char kDowntimeFields[]
    = R"NAG(<tr><td CLASS='optBoxRequiredItem'>Author (Your Name):</td><td><b><INPUT TYPE='TEXT' NAME='com_author' VALUE='@USER@' ></b></td></tr>
<tr><td CLASS='optBoxRequiredItem'>Comment:</td><td><b><INPUT TYPE='TEXT' NAME='com_data' VALUE='' SIZE=40></b></td></tr>
<tr><td CLASS='optBoxItem'><br></td></tr>
<tr><td CLASS='optBoxItem'>Triggered By:</td><td>
<select name='trigger'>
<option value='0'>N/A
</select>
</td></tr>
<tr><td CLASS='optBoxItem'><br></td></tr>
<tr><td CLASS='optBoxRequiredItem'>Start Time:</td><td><b><INPUT TYPE='TEXT' NAME='start_time' VALUE='@TIME@'></b></td></tr>
<tr><td CLASS='optBoxRequiredItem'>End Time:</td><td><b><INPUT TYPE='TEXT' NAME='end_time' VALUE='@END@'></b></td></tr>
<tr><td CLASS='optBoxItem'>Type:</td><td><b><SELECT NAME='fixed'><OPTION VALUE=1>Fixed
<OPTION VALUE=0>Flexible
</SELECT>
</b></td></tr>
<tr><td CLASS='optBoxItem'>If Flexible, Duration:</td><td><table border=0><tr>
<td align=right><INPUT TYPE='TEXT' NAME='hours' VALUE='2' SIZE=2 MAXLENGTH=2></td>
<td align=left>Hours</td>
<td align=right><INPUT TYPE='TEXT' NAME='minutes' VALUE='0' SIZE=2 MAXLENGTH=2></td>
<td align=left>Minutes</td>
</tr></table>
</td></tr>
<tr><td CLASS='optBoxItem'><br></td></tr>
@CHILDREN@<tr><td CLASS='optBoxItem'><br></td></tr>
)NAG";

const char kChildHostsField[]
    = R"NAG(<tr><td CLASS='optBoxItem'>Child Hosts:</td><td><b><SELECT name='childoptions'><option value='0'>Do nothing with child hosts
<option value='1'>Schedule triggered downtime for all child hosts
<option value='2'>Schedule non-triggered downtime for all child hosts
</SELECT>
</b></td></tr>
)NAG";

const char kDowntimeDescription[]
    = R"NAG(This command is used to schedule downtime for a particular @OBJECT@.  During the specified downtime, Nagios will not send notifications out about the @OBJECT@.
When the scheduled downtime expires, Nagios will send out notifications for this @OBJECT@ as it normally would.  Scheduled downtimes are preserved
across program shutdowns and restarts.  Both the start and end times should be specified in the following format:  <b>mm/dd/yyyy hh:mm:ss</b>.
If you select the <i>fixed</i> option, the downtime will be in effect between the start and end times you specify.  If you do not select the <i>fixed</i>
option, Nagios will treat this as "flexible" downtime.  Flexible downtime starts when the @PROBLEM@ (sometime between the
start and end times you specified) and lasts as long as the duration of time you enter.  The duration fields do not apply for fixed downtime.
)NAG";

const char kReturn[]
    = "<A HREF='javascript:window.history.go(-2)'>Return from whence you came</A></DIV></P>\n";

// Nagios' escape_string() for form values: letters, digits, blank and "-._:" stay, other ASCII
// becomes &#N;, and other bytes are dropped (the CGIs run in the C locale).
QByteArray formEscape(const QByteArray& utf8)
{
    QByteArray out;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80)
            continue;
        if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')
            || c == ' ' || c == '-' || c == '.' || c == '_' || c == ':')
            out += c;
        else
            out += "&#" + number(byte) + ';';
    }
    return out;
}

QByteArray commandHead(const Options& options)
{
    QByteArray head(kCommandHead);
    replaceSlot(head, "@USER@", htmlEncode(options.user));
    replaceSlot(head, "@UPDATED@",
        updatedText(options.now.isValid() ? options.now : QDateTime::currentDateTimeUtc()));
    return head;
}

} // namespace

QByteArray commandFormPage(int type, const QByteArray& host, const QByteArray& service,
    const QByteArray& csrfId, const Options& options)
{
    const bool acknowledge = type == 33 || type == 34;
    const bool downtime = type == 55 || type == 56;
    const bool onService = type == 7 || type == 34 || type == 56;
    if (!acknowledge && !downtime && type != 96 && type != 7)
        return commandAnswerPage(CommandAnswer::UnknownCommand, options);
    const QByteArray object = onService ? "service" : "host";
    QByteArray out = commandHead(options);
    out += "<P><DIV ALIGN=CENTER CLASS='cmdType'>You are requesting to "
        + QByteArray(acknowledge ? "acknowledge a " + object + " problem"
                : downtime       ? "schedule downtime for a particular " + object
                                 : "schedule a " + object + " check")
        + "</DIV></p>\n";
    QByteArray start(kCommandFormStart);
    // The real field lacks its closing '>'.
    replaceSlot(start, "@NAGFORMID@",
        csrfId.isEmpty() ? QByteArray() : "<INPUT TYPE='hidden' NAME='nagFormId' VALUE='" + csrfId + "'\n");
    replaceSlot(start, "@TYPE@", number(type));
    replaceSlot(start, "@HOST@", formEscape(host));
    out += start;
    if (onService) {
        // The acknowledgement and downtime forms really leave this row open.
        out += "<tr><td CLASS='optBoxRequiredItem'>Service:</td><td><b><INPUT TYPE='TEXT' NAME='service' "
               "VALUE='"
            + formEscape(service) + (acknowledge || downtime ? "'>" : "'></b></td></tr>\n");
    }
    QByteArray fields(acknowledge ? kAcknowledgeFields : downtime ? kDowntimeFields : kCheckFields);
    const QDateTime now = options.now.isValid() ? options.now : QDateTime::currentDateTimeUtc();
    replaceSlot(fields, "@USER@", formEscape(options.user));
    replaceSlot(fields, "@TIME@", checkTimeText(now));
    if (downtime) {
        // Nagios offers two hours from now.
        replaceSlot(fields, "@END@", checkTimeText(now.addSecs(7200)));
        replaceSlot(fields, "@CHILDREN@", onService ? QByteArray() : QByteArray(kChildHostsField));
    }
    out += fields;
    QByteArray end(kCommandFormEnd);
    QByteArray description(acknowledge ? kAcknowledgeDescription
            : downtime                 ? kDowntimeDescription
                                       : kCheckDescription);
    replaceSlot(description, "@PROBLEM@",
        onService ? "service enters a non-OK state" : "host goes down or becomes unreachable");
    replaceSlot(end, "@DESCRIPTION@", description);
    replaceSlot(end, "@OBJECT@", object);
    out += end;
    out += kFooter + 1;
    return out;
}

QByteArray commandAnswerPage(CommandAnswer answer, const Options& options)
{
    auto error = [](const char* sentence, const QByteArray& description) {
        return "<P><DIV CLASS='errorMessage'>" + QByteArray(sentence)
            + "</DIV></P>\n<P><DIV CLASS='errorDescription'>" + description;
    };
    const QByteArray goBack
        = "Go <A HREF='javascript:window.history.go(-1)'>back</A> and verify that you entered "
          "all required information correctly.<BR>\n"
        + QByteArray(kReturn);
    QByteArray out = commandHead(options);
    switch (answer) {
    case CommandAnswer::Submitted:
        return out
            + "<P><DIV CLASS='infoMessage'>Your command request was successfully submitted to Nagios for "
              "processing.<BR><BR>\nNote: It may take a while before the command is actually "
              "processed.<BR><BR>\n<A HREF='javascript:window.history.go(-2)'>Done</A></DIV></P>\n"
            + (kFooter + 1);
    case CommandAnswer::UnknownCommand:
        return out
            + "<P><DIV ALIGN=CENTER CLASS='cmdType'>You are requesting to execute an unknown command.  Shame "
              "on "
              "you!</DIV>\n"
            + (kFooter + 1);
    case CommandAnswer::NotAuthorized:
        out += error("Sorry, but you are not authorized to commit the specified command.",
            "Read the section of the documentation that deals with authentication and authorization in the "
            "CGIs "
            "for more information.<BR><BR>\n"
                + QByteArray(kReturn));
        break;
    case CommandAnswer::NoPermission:
        out += error("It appears as though you do not have permission to submit the command you requested...",
            "If you believe this is an error, check the HTTP server authentication requirements for "
            "accessing "
            "this CGI<br>and check the authorization options in your CGI configuration file.</DIV></P>\n");
        break;
    case CommandAnswer::CsrfFailed:
        out += "<p>Error: Invalid or missing CSRF cookie!</p>\n";
        break;
    case CommandAnswer::NoAuthor:
        out += error("Author was not entered", goBack);
        break;
    case CommandAnswer::NoComment:
        out += error("Comment was not entered", goBack);
        break;
    case CommandAnswer::BadStartTime:
        out += error("Start time must be non-zero or bad format has been submitted.", goBack);
        break;
    case CommandAnswer::BadTimes:
        out += error("Start or end time not valid", goBack);
        break;
    case CommandAnswer::NoCommand:
        out += "<P><DIV CLASS='errorMessage'>Error: No command was specified</DIV></P>\n";
        break;
    }
    return out + kFooter;
}

QByteArray reasonPhrase(int code)
{
    switch (code) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 407:
        return "Proxy Authentication Required";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    }
    return "Unknown Reason";
}

QByteArray apachePage(int code, quint16 port, const QByteArray& location)
{
    const QByteArray reason = reasonPhrase(code);
    QByteArray text;
    switch (code) {
    case 301:
    case 302:
        text = "<p>The document has moved <a href=\"" + location + "\">here</a>.</p>\n";
        break;
    case 401:
        text = "<p>This server could not verify that you\nare authorized to access the document\nrequested.  "
               "Either "
               "you supplied the wrong\ncredentials (e.g., bad password), or your\nbrowser doesn't "
               "understand how to "
               "supply\nthe credentials required.</p>\n";
        break;
    case 404:
        text = "<p>The requested URL was not found on this server.</p>\n";
        break;
    case 500:
        text = "<p>The server encountered an internal error or\nmisconfiguration and was unable to "
               "complete\nyour "
               "request.</p>\n<p>Please contact the server administrator at \n webmaster@localhost to inform "
               "them of "
               "the time this error occurred,\n and the actions you performed just before this "
               "error.</p>\n<p>More "
               "information about this error may be available\nin the server error log.</p>\n";
        break;
    default:
        text = "<p>The server answered " + number(code) + " " + reason + ".</p>\n";
        break;
    }
    const QByteArray title = number(code) + " " + reason;
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\" \"http://www.w3.org/TR/html4/strict.dtd\">\n"
           "<html><head>\n<title>"
        + title + "</title>\n</head><body>\n<h1>" + (code == 404 ? QByteArray("Not Found") : reason)
        + "</h1>\n" + text + "<hr>\n<address>Apache/2.4.71 (Debian) Server at 127.0.0.1 Port " + number(port)
        + "</address>\n</body></html>\n";
}

QByteArray urlEncode(const QByteArray& utf8)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')
            || byte == '.' || byte == '-' || byte == '_') {
            out += c;
        } else if (byte == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0f];
        }
    }
    return out;
}

QByteArray htmlEncode(const QByteArray& utf8)
{
    QByteArray out;
    out.reserve(utf8.size() + 16);
    for (const char c : utf8) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray gzip(const QByteArray& data)
{
    z_stream stream {};
    // 15 window bits + 16 asks zlib for the gzip wrapper.
    if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out;
    out.resize(qsizetype(deflateBound(&stream, uLong(data.size()))));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    const auto written = qsizetype(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        return {};
    out.truncate(written);
    return out;
}

} // namespace NagiosPage
