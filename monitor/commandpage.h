#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

// What Tarvix reads from the pages of Nagios' cmd.cgi, bytes from the server: the fields of the
// command form, and whether an answer confirms the command or refuses it. A page ends at its first
// NUL byte; a sentence read from it is shown to the user, on one line and at most
// maxCommandReasonLength characters long, so that a hostile server cannot fill the screen.

constexpr int maxCommandReasonLength = 300;

struct CommandAnswer
{
    bool confirmed = false;
    QString reason; // Nagios' confirmation or refusal; empty when the page says neither
};

// An error sentence wins over a confirmation: claiming success wrongly is the worse mistake.
CommandAnswer readCommandAnswer(const QByteArray& page);

// cmd.cgi's refusal on the page (an errorMessage box or an "Error: ..." line); empty when none.
QString commandRefusal(const QByteArray& page);

// The named hidden and text inputs of the first form on the page, in page order, with their
// values. Check boxes are left out: which are ticked is the command's choice. Empty when the page
// has no form.
QList<QPair<QString, QString>> commandFormFields(const QByteArray& page);

// A downtime's start and end as cmd.cgi wants them: in the server's own date format (Nagios'
// date_format: us "MM-dd-yyyy", euro "dd-MM-yyyy", iso8601 "yyyy-MM-dd", strict-iso8601 with a "T"
// before the time) and by the server's clock, both read from the form's default start time, which
// is the server's now. us and euro tell apart by which reading lies nearer to `now`. The start is
// `startOffsetSeconds` after the form's, the end `durationMinutes` after the start; both empty when
// the form's start time is in none of the formats.
struct DowntimeTimes
{
    QString start;
    QString end;
};
DowntimeTimes downtimeTimes(
    const QString& formStartTime, qint64 startOffsetSeconds, int durationMinutes, const QDateTime& now);
