#pragma once

#include "tools/nagiospage.h"

#include <QByteArray>
#include <QUrlQuery>

// The JSON of Nagios 4.4.6 statusjson.cgi, line for line as the real CGI writes it (two blanks per
// level, "key": value, one per line), for the queries hostlist, servicelist, hostcount and
// servicecount. Pure functions over a snapshot of the model.
namespace NagiosJson {

// The answer to `query`. Any parameter the real CGI does not know is refused as the real CGI
// refuses it (type_code 3, "Invalid option: 'NAME'."). Strings are escaped as Nagios escapes them,
// with its slips: 0x07 as "\a", 0x0B as "\v", 0x05 as "\u0004"; and, as under Apache's C locale,
// a plugin output with a byte above 0x7F becomes "" (host and service names stay as they are).
QByteArray answer(
    const NagiosPage::Installation& installation, const QUrlQuery& query, const NagiosPage::Options& options);
// A stopped Nagios has removed its status file: the CGI answers a line end and nothing else.
QByteArray nagiosStoppedAnswer();

// Nagios' json_escape_string() for a UTF-8 text, in the C locale.
QByteArray escaped(const QByteArray& utf8);

} // namespace NagiosJson
