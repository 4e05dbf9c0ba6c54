#pragma once

#include "config/monitorsettings.h"
#include "monitor/problemlist.h"
#include "monitor/statusrules.h"

#include <QList>
#include <QString>

class QObject;

enum class PageKind { Hosts, Services };

// A row of the page that is not yet an entry.
struct NewProblem
{
    QString name; // display name: host, or service + ":" + host
    QString address; // page address without scheme: server, CGI directory and the row's link
    QString status; // status class without "status" / "statusBG", or the JSON status' word
    QString serviceName; // services only
    QString hostName; // services only, URL-decoded from the link
    ProblemDetails details;
};

// An entry still on the page whose status or details changed: what it shows follows the page, but
// a known problem is not announced again.
struct UpdatedProblem
{
    int entry = -1; // index into the entries the plan was made from
    QString status;
    ProblemDetails details;
};

// An entry whose name is no longer among the page's counted rows.
struct GoneProblem
{
    int entry = -1; // index into the entries the plan was made from
    QString name;
    QString address;
    bool announced = false; // does the filter let its recovery be announced
    // Still a problem in the JSON status, but now hidden by a filter (acknowledged, in downtime...):
    // it leaves without a word, never announced as a recovery.
    bool quiet = false;
};

// Whether a page may be compared with the entries. Any verdict but Whole leaves the entries as
// they are: comparing a page that lacks rows would announce their problems as recovered.
enum class PageVerdict {
    Whole,
    NotStatusPage, // status.cgi answered without rows or totals: an error or a login page
    Incomplete, // rows, but not the totals line that follows the table: the page was cut short
    CutByServer, // the totals line says the server's result limit left entries out
    ExpressionFailed, // the expression gave up on a line or ran out of time
    Unreadable, // JSON status that cannot be read even with its bytes mended
    // The JSON lists are empty, and the counts say the user may see no object at all: not "all is
    // well", but a user without rights (or a Nagios without hosts).
    NothingVisible,
};

// What one page changes, in the order the changes are announced: the new problems in page order,
// then the gone entries oldest first.
struct PagePlan
{
    PageVerdict verdict = PageVerdict::Whole;
    PageTotals totals; // the page's totals line, for a status.cgi request
    QList<NewProblem> added;
    QList<GoneProblem> gone;
    QList<UpdatedProblem> updated; // in entry order; never announced
    QString serverMessage; // why Nagios refused a JSON status request, in its words

    // Nothing to announce (updates are not announced).
    bool isEmpty() const { return added.isEmpty() && gone.isEmpty(); }
};

// Walks a page: its rows by the rule, those the filters count, compared with the entries (names
// ignoring case; duplicates on the page count once). An empty text is no page and changes nothing.
// The answer to a status.cgi request must end with its totals line listing every matching row;
// when it does not, or the expression fails, the plan holds the verdict and no changes.
PagePlan planPage(PageKind kind, const QString& text, const PageRule& rule, const MonitorSettings& settings,
    const ProblemList& problems);

// The same for an answer of statusjson.cgi (jsonHostsQuery, jsonServicesQuery): its rows, those the
// name filters, the status choices and the hiding filters count, compared with the entries as a
// page's are. An entry whose object is still in the answer but now hidden leaves quietly. Any
// answer but a whole JSON status list (a stopped Nagios, a refusal, unreadable JSON) gives the
// verdict NotStatusPage or Unreadable and no changes.
PagePlan planJsonPage(
    PageKind kind, const QByteArray& body, const MonitorSettings& settings, const ProblemList& problems);

// Does a problem with these details count, or does a filter of the server hide it.
bool detailsCount(const MonitorSettings& settings, const ProblemDetails& details);

// Brings the entries the plan was made from in line with it: updates the changed ones, appends the
// new problems in plan order, the i-th with handles[i] (none when there are fewer handles), and
// removes the gone ones. The plan's texts move into the entries.
void applyPlan(PagePlan&& plan, ProblemList& problems, const QList<QObject*>& handles = {});
