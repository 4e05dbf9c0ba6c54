#pragma once

#include <QDateTime>
#include <QString>

// What a status source tells about a problem beyond its name and status. Nagios' status pages give
// none of it; its JSON status gives all of it.
struct ProblemDetails
{
    QString output; // the first line of the plugin output
    QDateTime lastStateChange; // invalid: unknown
    int attempt = 0; // the current check attempt; 0: unknown
    int maxAttempts = 0;
    bool softState = false; // a soft state: Nagios has not yet retried up to maxAttempts
    bool acknowledged = false;
    bool inDowntime = false;
    bool flapping = false;
    bool notificationsEnabled = true;

    friend bool operator==(const ProblemDetails& a, const ProblemDetails& b)
    {
        return a.output == b.output && a.lastStateChange == b.lastStateChange && a.attempt == b.attempt
            && a.maxAttempts == b.maxAttempts && a.softState == b.softState
            && a.acknowledged == b.acknowledged && a.inDowntime == b.inDowntime && a.flapping == b.flapping
            && a.notificationsEnabled == b.notificationsEnabled;
    }
    friend bool operator!=(const ProblemDetails& a, const ProblemDetails& b) { return !(a == b); }
};
