#pragma once

#include "config/monitorsettings.h"
#include "monitor/statusrules.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// Nagios' JSON status (statusjson.cgi, Nagios Core 4.0.7 and later): the queries Tarvix sends and a
// reader of the answers that trusts nothing in them.

// "statusjson.cgi?query=hostlist&details=true&hoststatus=down+unreachable" with the chosen host
// statuses, and "...query=servicelist&details=true&servicestatus=warning+critical+unknown" with the
// chosen service statuses. The CGI rejects any parameter it does not know, so there are no others.
// With no status chosen the query asks for every problem status; the walk then counts none of them.
QString jsonHostsQuery(const MonitorSettings& settings);
QString jsonServicesQuery(const MonitorSettings& settings);
// "statusjson.cgi?query=hostcount" and "...=servicecount": how many objects the user may see.
QString jsonHostCountQuery();
QString jsonServiceCountQuery();

// Nagios' url_encode(), as it writes the links of its pages: [A-Za-z0-9._-] stay, a blank becomes
// "+", every other byte of the UTF-8 text "%XX".
QString nagiosUrlEncode(const QString& text);

// Whether an answer could be read as the JSON status asked for.
enum class JsonVerdict {
    Whole,
    // Not a JSON status answer: an empty body (what a stopped Nagios answers), an HTML page, JSON of
    // another shape or query, or Nagios' own refusal (result.type_code other than 0).
    NotStatusAnswer,
    // It begins as JSON but cannot be read even with its bytes mended, or holds more rows than
    // any Nagios serves.
    Unreadable,
};

// The "result" part of an answer.
struct JsonResult
{
    JsonVerdict verdict = JsonVerdict::NotStatusAnswer;
    int typeCode = -1; // result.type_code: 0 success, 3 an invalid option, ...; -1 when absent
    QString message; // result.message, else result.type_text, to show the user when it refused
    QString user; // result.user: the user Nagios took the request for
    QDateTime lastDataUpdate; // when Nagios last wrote its status; invalid when absent
    // Nagios wrote invalid escapes or raw control characters that had to be mended first.
    bool repaired = false;
};

// A hostlist or servicelist answer with details=true. Its rows carry what the status pages give
// (name, link as Nagios writes it for the object, status word DOWN, UNREACHABLE, WARNING, CRITICAL
// or UNKNOWN) and the details; objects in another state (UP, OK, PENDING) are no rows.
struct JsonStatusList
{
    JsonResult result;
    QList<StatusRow> rows; // in the order of the answer: hosts, and the services of a host, by name
};

// A hostcount or servicecount answer.
struct JsonStatusCounts
{
    JsonResult result;
    // The objects the user may see, of every state. 0 at a working site means the user may see
    // nothing: Nagios then answers every list empty, as if all were well.
    qint64 total = 0;
};

// The most rows one answer may give; past it the answer is Unreadable.
constexpr int maxJsonRows = 1000000;
// A plugin output's first line is cut to this many characters.
constexpr int maxJsonOutputLength = 4096;

JsonStatusList readJsonHostList(const QByteArray& body);
JsonStatusList readJsonServiceList(const QByteArray& body);
JsonStatusCounts readJsonCounts(const QByteArray& body);

// The bytes made readable where Nagios writes them invalid. Qt's reader takes an escape that JSON
// lacks as the bare letter ("\a" as "a") and stops at bytes that are no UTF-8; when there are any,
// inside strings "\a" and "\v" become the characters Nagios meant, any other unknown escape (and a
// "\u" without four hex digits) a literal backslash, a raw control character \u00XX, and bytes that
// are no UTF-8 U+FFFD. Otherwise the bytes come back as they are. `changed` tells which.
QByteArray repairedJson(const QByteArray& body, bool* changed = nullptr);
