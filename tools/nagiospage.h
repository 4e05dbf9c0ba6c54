#pragma once

#include "tools/nagiossimulator.h"

#include <QByteArray>
#include <QDateTime>
#include <QUrlQuery>

#include <map>

// The HTML of Nagios 4.4.6 status.cgi, line for line where a line-by-line reader looks, and the
// other bodies the simulated server answers with. Pure functions over a snapshot of the model.
namespace NagiosPage {

struct Service
{
    NagiosSimulator::ServiceState state = NagiosSimulator::ServiceState::Ok;
    QByteArray output; // UTF-8, not yet escaped
    bool acknowledged = false;
    bool inDowntime = false;
    QDateTime lastChange;
    int attempt = 1; // below maxAttempts: a soft state
    int maxAttempts = 1;
    bool flapping = false;
    bool notificationsEnabled = true;
};

struct Host
{
    NagiosSimulator::HostState state = NagiosSimulator::HostState::Up;
    QByteArray address;
    QByteArray output;
    bool acknowledged = false;
    bool inDowntime = false;
    QDateTime lastChange;
    int attempt = 1;
    int maxAttempts = 1;
    bool flapping = false;
    bool notificationsEnabled = true;
    std::map<QByteArray, Service> services; // byte order of the UTF-8 description, as Nagios sorts
};

using Installation = std::map<QByteArray, Host>;

struct Options
{
    QByteArray user = "nagiosadmin";
    qint64 padding = 0;
    bool injectNul = false;
    bool injectInvalidUtf8 = false;
    QDateTime now; // the time the page shows; invalid: the current time
};

// The bits of status.cgi's hoststatustypes and servicestatustypes.
int hostStateBit(NagiosSimulator::HostState state);
int serviceStateBit(NagiosSimulator::ServiceState state);

QByteArray hostsPage(const Installation& installation, const QUrlQuery& query, const Options& options);
QByteArray servicesPage(const Installation& installation, const QUrlQuery& query, const Options& options);
// Nagios' answer (status 200) to a user who may see none of the hosts or services asked for.
QByteArray noRightsPage(
    const Installation& installation, const QUrlQuery& query, bool hosts, const Options& options);
QByteArray nagiosStoppedPage(bool hosts);

// cmd.cgi's answers with status 200, worded as Nagios 4.4.6 words them.
enum class CommandAnswer {
    Submitted,
    NotAuthorized, // no command rights, or no such host or service
    NoPermission, // a read-only user, already for the form
    CsrfFailed,
    NoAuthor,
    NoComment,
    BadStartTime,
    BadTimes, // a downtime's start or end unreadable, or the end not after the start
    NoCommand,
    UnknownCommand,
};
// The command form of cmd_typ 7, 33, 34, 55, 56 or 96 (any other type: UnknownCommand's page). An empty
// `csrfId` leaves the nagFormId field out, as Nagios before its CSRF protection.
QByteArray commandFormPage(int type, const QByteArray& host, const QByteArray& service,
    const QByteArray& csrfId, const Options& options);
QByteArray commandAnswerPage(CommandAnswer answer, const Options& options);
// Apache's own body for a status code; `location` is used by redirects.
QByteArray apachePage(int code, quint16 port, const QByteArray& location = {});
QByteArray reasonPhrase(int code);

QByteArray urlEncode(const QByteArray& utf8);
QByteArray htmlEncode(const QByteArray& utf8);
QByteArray gzip(const QByteArray& data);

} // namespace NagiosPage
