#pragma once

#include "monitor/pagewalk.h"
#include "monitor/problemdetails.h"
#include "notify/changeeventkind.h"

#include <QList>
#include <QString>

// One status change to tell the user about.
struct Announcement
{
    QString name;
    ChangeEventKind kind = HostProblem;
    QString url;
    QString status;
    // 0 for a single change. Otherwise this stands for that many changes of its kind that are not
    // announced one by one; its status is theirs when they share one, else empty.
    int summarised = 0;
    // The object as Nagios names it in commands; the service is empty for a host. Initialised, so
    // that brace lists may leave them out.
    QString host {};
    QString service {};
    // The server the change happened on, where its commands go.
    QString serverId {};
    // The plugin output and since when, where the status source tells them.
    ProblemDetails details {};
};

// A page's changes on one server as they are announced, in the plan's order: its new problems, then
// the recoveries its filters let be told. The names lead with `namePrefix` ("prod: " with several
// servers); the addresses with the server's scheme.
QList<Announcement> announcementsOf(const PagePlan& plan, const ProblemList& problems, bool hosts,
    const QString& scheme, const QString& serverId, const QString& namePrefix);

// How long a problem has lasted, as a popup or a menu entry tells it: "since 10:41, 2 h 5 min", with
// the date when it began on another day; empty when the start is unknown.
QString problemDuration(const QDateTime& since, const QDateTime& now);

// A problem's status, output and duration, one to a line, for a tooltip.
QString problemSummary(const QString& status, const ProblemDetails& details, const QDateTime& now);

// Nagios can be told about a single problem whose object is known: acknowledge it, check it again.
bool offersCommands(const Announcement& change);

// Fills the object from the page address's "host=" and "service=" items, decoded as Nagios encodes
// them ("+" for a blank), for a change that came without it.
void setObjectFromUrl(Announcement& change);

// A walk that finds a flood of changes must not open a window for each: at most `limit` changes of a
// kind (problems, recoveries) are announced, in their order; when there are more, the last of those
// becomes a summary of itself and all the rest. A walk with a few changes passes unchanged.
QList<Announcement> limitAnnouncements(const QList<Announcement>& changes, int limit);
