#pragma once

#include "config/monitorsettings.h"
#include "monitor/problemdetails.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// The rules that read a Nagios status page. The program does not parse HTML: it cuts the page
// into lines and tries one regular expression per page kind on every line; three captures of a
// matching line give the row's status class, its relative link and its name.
//
// Expressions run on QRegularExpression, case-insensitive and with Unicode character classes
// (Qt 4's QRegExp, whose patterns users keep in their settings, matched \s, \w and friends by
// Unicode properties). On every line of the captured Nagios pages the built-in expressions give
// the same matches and captures as QRegExp did. They differ only on a line that holds two rows,
// which Nagios never writes: the greedy first ".*" then takes the last row of the line.

// Page patterns with "status_list" standing for the alternation of the chosen status classes.
// Patterns of this shape with plain class names (the built-in and basic ones) are matched by a
// dedicated scan that gives the expression's own matches and captures, many times faster.
extern const QString hostsRegExpTemplate;
extern const QString srvcsRegExpTemplate;
extern const QString statusListMark; // "status_list"

// The five status check boxes of the basic configuration.
struct BasicStatusChoice
{
    bool hostDown = false;
    bool hostUnreachable = false;
    bool serviceCritical = false;
    bool serviceWarning = false;
    bool serviceUnknown = false;
};

// The hosts template with the chosen classes, e.g. "(statusHOSTUNREACHABLE)" for only unreachable.
QString basicHostsRegExp(const BasicStatusChoice& choice);
QString basicServicesRegExp(const BasicStatusChoice& choice);

// An expression with the capture numbers of a row's status class, link and name; 0 selects the
// whole match, a number beyond the expression's groups an empty text.
struct PageRule
{
    QString pattern;
    int statusPos = 1;
    int linkPos = 2;
    int namePos = 3;
    // A user's expression may backtrack for ever on a long line: past this much time over one page
    // the page counts as unread. The built-in expressions never come near it.
    int timeLimitMs = 2000;
};

// One problem row of a page.
struct StatusRow
{
    // Host name, or service name + ":" + host name (URL-decoded from the link). Names from the
    // name cell are HTML-decoded: "R&amp;D" is the host "R&D".
    QString name;
    QString link; // relative link as written on the page
    QString status; // status class without "status" (hosts) or "statusBG" (services)
    QString serviceName; // services only: the name without ":" and host, for the row test
    ProblemDetails details; // what the status source tells beyond that; none from a status page
};

// The body's bytes before the first NUL, decoded as UTF-8 (invalid sequences become U+FFFD).
QString pageText(const QByteArray& body);

// Lines are the pieces between "\n", empty ones dropped; a "\r" before the "\n" stays in the line.
// A line is a row when the expression is found in it from position 0; an expression that does
// not compile finds nothing. Rows come in page order, duplicates included.
// `ok`, when given, turns false when the expression failed on the page: the engine gave up on a
// line (its match limit: catastrophic backtracking) or the page took longer than the rule's time
// limit. The rows are then not the page's, and reading stops.
QList<StatusRow> extractHostRows(const QString& text, const PageRule& rule, bool* ok = nullptr);
// A service row also needs "host=<name>&" in its link; a line whose link has none is dropped.
// The host part of the link is URL-decoded ("lab+printer" is the host "lab printer"), because
// Nagios 4 encodes host names in its links while the name cell holds them raw.
QList<StatusRow> extractServiceRows(const QString& text, const PageRule& rule, bool* ok = nullptr);

// A status page always carries its totals line; Nagios' own error pages answered with 200 (not
// running, no permission) do not. With no rows either, such a page is not a status page.
bool looksLikeStatusPage(const QString& text);

// The totals line that Nagios writes after the status table: "Results 1 - 4 of 4 Matching Hosts",
// or, when its result limit cut the list, "Results 0 - 100 of 5919 Matching Services" (the first
// number then zero-based).
struct PageTotals
{
    bool found = false;
    int listed = -1; // rows the page lists; -1 when the line's numbers could not be read
    int matching = -1; // rows that match the request

    bool cut() const { return listed >= 0 && listed < matching; }
};
PageTotals readPageTotals(const QString& text);

// One "ServicesList" entry: "SERVICE" names the service on any host, "SERVICE:HOST1:HOST2" on
// the listed hosts only. Parts are split at ":" with empty parts dropped, so an entry without any
// non-empty part (a lone ":") has no service name and matches nothing.
class ServiceFilterEntry
{
public:
    explicit ServiceFilterEntry(const QString& entry);

    // Service and host compared in lower case; an empty host list stands for every host.
    bool matches(const QString& service, const QString& host) const;

private:
    QString m_serviceName;
    QStringList m_hostNames;
};

// Filter predicates. "Listed" means equal to a list entry as a whole string, ignoring case.
// Does a host row count as a problem: unlisted hosts unless only listed ones count, listed hosts
// unless all except the listed ones count.
bool hostRowCounts(const MonitorSettings& settings, const QString& hostName);
// Is the recovery of a host that left the page announced: with "all except specified", unless
// listed; otherwise only when listed. An empty list announces all in the first mode, none in the
// second.
bool hostRecoveryAnnounced(const MonitorSettings& settings, const QString& hostName);
// The same as the host row test, with the bare service name compared against whole entries: an
// entry "HTTP:web1" therefore never lists a row.
bool serviceRowCounts(const MonitorSettings& settings, const QString& serviceName);
// Of the entry's own service and host (as its row gave them): a list entry equal to the whole
// service name matches it, as in the row test, and so does an entry read as ServiceFilterEntry.
// So "HTTP:web1" governs the recovery of HTTP on web1, and "Disk: /var" that of "Disk: /var".
bool serviceRecoveryAnnounced(
    const MonitorSettings& settings, const QString& serviceName, const QString& hostName);
