#include "tools/nagiosjson.h"

#include "tools/nagiospage.h"

#include <QSet>

#include <memory>
#include <tuple>
#include <utility>
#include <vector>

namespace NagiosJson {

namespace {

using HostState = NagiosSimulator::HostState;
using ServiceState = NagiosSimulator::ServiceState;

// Every option of statusjson.cgi 4.4.6, as its "Option Invalid" answer lists them.
const QSet<QString>& knownOptions()
{
    static const QSet<QString> options {"query", "formatoptions", "start", "count", "parenthost", "childhost",
        "details", "dateformat", "hostname", "hostgroup", "hoststatus", "servicegroup", "servicestatus",
        "parentservice", "childservice", "contactgroup", "servicedescription", "checktimeperiod",
        "hostnotificationtimeperiod", "servicenotificationtimeperiod", "checkcommand", "eventhandler",
        "commenttypes", "entrytypes", "persistence", "expiring", "downtimeobjecttypes", "downtimetypes",
        "triggered", "triggeredby", "ineffect", "commentid", "downtimeid", "contactname", "hosttimefield",
        "servicetimefield", "commenttimefield", "downtimetimefield", "starttime", "endtime"};
    return options;
}

// One JSON object as Nagios writes it: members in the order given, one per line.
class JsonObject
{
public:
    // Keys are written as given: escaped already.
    JsonObject& number(const QByteArray& key, qint64 value) { return raw(key, QByteArray::number(value)); }
    JsonObject& flag(const QByteArray& key, bool value) { return raw(key, value ? "true" : "false"); }
    JsonObject& text(const QByteArray& key, const QByteArray& value) { return raw(key, '"' + value + '"'); }
    JsonObject& decimal(const QByteArray& key, double value)
    {
        return raw(key, QByteArray::number(value, 'f', 2));
    }
    JsonObject& raw(const QByteArray& escapedKey, const QByteArray& value)
    {
        m_members.emplace_back(escapedKey, value, nullptr);
        return *this;
    }
    JsonObject& object(const QByteArray& escapedKey, JsonObject child)
    {
        m_members.emplace_back(escapedKey, QByteArray(), std::make_shared<JsonObject>(std::move(child)));
        return *this;
    }

    void write(QByteArray& out, int depth) const
    {
        out += "{\n";
        const QByteArray indent(2 * (depth + 1), ' ');
        for (std::size_t i = 0; i < m_members.size(); ++i) {
            const auto& [key, value, child] = m_members[i];
            out += indent + '"' + key + "\": ";
            if (child)
                child->write(out, depth + 1);
            else
                out += value;
            out += i + 1 < m_members.size() ? ",\n" : "\n";
        }
        out += QByteArray(2 * depth, ' ') + '}';
    }

private:
    std::vector<std::tuple<QByteArray, QByteArray, std::shared_ptr<JsonObject>>> m_members;
};

qint64 msecs(const QDateTime& time)
{
    return time.isValid() ? time.toMSecsSinceEpoch() : 0;
}

// A status filter ("down+unreachable", already decoded to blanks) as bits; 0 when a word is unknown.
int statusBits(const QString& words, bool hosts)
{
    static const QHash<QString, int> hostWords {{"pending", 1}, {"up", 2}, {"down", 4}, {"unreachable", 8}};
    static const QHash<QString, int> serviceWords {
        {"pending", 1}, {"ok", 2}, {"warning", 4}, {"unknown", 8}, {"critical", 16}};
    int bits = 0;
    for (const QString& word : words.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int bit = (hosts ? hostWords : serviceWords).value(word.toLower());
        if (bit == 0)
            return 0;
        bits |= bit;
    }
    return bits;
}

// What the C locale's mbstowcs() leaves of a plugin output: nothing when a byte is not ASCII.
QByteArray outputInCLocale(const QByteArray& utf8)
{
    for (const char c : utf8) {
        if (static_cast<unsigned char>(c) > 0x7F)
            return {};
    }
    return escaped(utf8);
}

std::pair<QByteArray, QByteArray> splitOutput(const QByteArray& output)
{
    const qsizetype lineEnd = output.indexOf('\n');
    if (lineEnd < 0)
        return {output, {}};
    return {output.left(lineEnd), output.mid(lineEnd + 1)};
}

JsonObject hostObject(const QByteArray& name, const NagiosPage::Host& host, qint64 now)
{
    const bool problem = host.state == HostState::Down || host.state == HostState::Unreachable;
    const auto [first, rest] = splitOutput(host.output);
    JsonObject object;
    object.text("name", escaped(name))
        .text("plugin_output", outputInCLocale(first))
        .text("long_plugin_output", outputInCLocale(rest))
        .text("perf_data", "")
        .number("status", NagiosPage::hostStateBit(host.state))
        .number("last_update", now)
        .flag("has_been_checked", host.state != HostState::Pending)
        .flag("should_be_scheduled", false)
        .number("current_attempt", host.attempt)
        .number("max_attempts", host.maxAttempts)
        .number("last_check", host.state == HostState::Pending ? 0 : now)
        .number("next_check", 0)
        .number("check_options", 0)
        .number("check_type", 1)
        .number("last_state_change", msecs(host.lastChange))
        .number("last_hard_state_change", msecs(host.lastChange))
        .number("last_hard_state",
            host.state == HostState::Down              ? 1
                : host.state == HostState::Unreachable ? 2
                                                       : 0)
        .number("last_time_up", problem ? msecs(host.lastChange) : now)
        .number("last_time_down", 0)
        .number("last_time_unreachable", 0)
        .number("state_type", host.attempt < host.maxAttempts ? 0 : 1)
        .number("last_notification", 0)
        .number("next_notification", 0)
        .flag("no_more_notifications", false)
        .flag("notifications_enabled", host.notificationsEnabled)
        .flag("problem_has_been_acknowledged", host.acknowledged)
        .number("acknowledgement_type", host.acknowledged ? 2 : 0)
        .number("current_notification_number", 0)
        .flag("accept_passive_checks", true)
        .flag("event_handler_enabled", true)
        .flag("checks_enabled", false)
        .flag("flap_detection_enabled", host.flapping)
        .flag("is_flapping", host.flapping)
        .decimal("percent_state_change", host.flapping ? 52.5 : 0)
        .decimal("latency", 0.25)
        .decimal("execution_time", 0)
        .number("scheduled_downtime_depth", host.inDowntime ? 1 : 0)
        .flag("process_performance_data", true)
        .flag("obsess", true);
    return object;
}

JsonObject serviceObject(
    const QByteArray& hostName, const QByteArray& description, const NagiosPage::Service& service, qint64 now)
{
    const auto [first, rest] = splitOutput(service.output);
    const qint64 since = msecs(service.lastChange);
    JsonObject object;
    object.text("host_name", escaped(hostName))
        .text("description", escaped(description))
        .text("plugin_output", outputInCLocale(first))
        .text("long_plugin_output", outputInCLocale(rest))
        .text("perf_data", "")
        .number("max_attempts", service.maxAttempts)
        .number("current_attempt", service.attempt)
        .number("status", NagiosPage::serviceStateBit(service.state))
        .number("last_update", now)
        .flag("has_been_checked", service.state != ServiceState::Pending)
        .flag("should_be_scheduled", false)
        .number("last_check", service.state == ServiceState::Pending ? 0 : now)
        .number("check_options", 0)
        .number("check_type", 1)
        .flag("checks_enabled", false)
        .number("last_state_change", since)
        .number("last_hard_state_change", since)
        .number("last_hard_state",
            NagiosPage::serviceStateBit(service.state) == 16      ? 2
                : NagiosPage::serviceStateBit(service.state) == 4 ? 1
                                                                  : 0)
        .number("last_time_ok", service.state == ServiceState::Ok ? now : since)
        .number("last_time_warning", service.state == ServiceState::Warning ? now : 0)
        .number("last_time_unknown", service.state == ServiceState::Unknown ? now : 0)
        .number("last_time_critical", service.state == ServiceState::Critical ? now : 0)
        .number("state_type", service.attempt < service.maxAttempts ? 0 : 1)
        .number("last_notification", 0)
        .number("next_notification", 0)
        .number("next_check", 0)
        .flag("no_more_notifications", false)
        .flag("notifications_enabled", service.notificationsEnabled)
        .flag("problem_has_been_acknowledged", service.acknowledged)
        .number("acknowledgement_type", service.acknowledged ? 2 : 0)
        .number("current_notification_number", 0)
        .flag("accept_passive_checks", true)
        .flag("event_handler_enabled", true)
        .flag("flap_detection_enabled", service.flapping)
        .flag("is_flapping", service.flapping)
        .decimal("percent_state_change", service.flapping ? 52.5 : 0)
        .decimal("latency", 0.25)
        .decimal("execution_time", 0)
        .number("scheduled_downtime_depth", service.inDowntime ? 1 : 0)
        .flag("process_performance_data", true)
        .flag("obsess", true);
    return object;
}

QByteArray document(JsonObject result, JsonObject data)
{
    JsonObject root;
    root.number("format_version", 0).object("result", std::move(result)).object("data", std::move(data));
    QByteArray out;
    root.write(out, 0);
    return out + '\n';
}

JsonObject resultObject(const QByteArray& query, const NagiosPage::Options& options, qint64 now)
{
    JsonObject result;
    result.number("query_time", now)
        .text("cgi", "statusjson.cgi")
        .text("user", escaped(options.user))
        .text("query", query)
        .text("query_status", "released")
        .number("program_start", now - 3600000)
        .number("last_data_update", now)
        .number("type_code", 0)
        .text("type_text", "Success")
        .text("message", "");
    return result;
}

QByteArray refusal(const QByteArray& query, const QByteArray& message, qint64 now)
{
    JsonObject result;
    result.number("query_time", now)
        .text("cgi", "statusjson.cgi")
        .text("query", query)
        .text("query_status", "released")
        .number("program_start", 0)
        .number("type_code", 3)
        .text("type_text", "Option Invalid")
        .text("message", escaped(message));
    // The real CGI adds its whole help (data.options) here; the simulator keeps it short.
    JsonObject data;
    data.object("options", JsonObject());
    return document(std::move(result), std::move(data));
}

} // namespace

QByteArray escaped(const QByteArray& utf8)
{
    QByteArray out;
    out.reserve(utf8.size());
    for (const char c : utf8) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\a':
            out += "\\a";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\v':
            out += "\\v";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\x05':
            out += "\\u0004";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out += "\\u00" + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
            else
                out += c;
        }
    }
    return out;
}

QByteArray nagiosStoppedAnswer()
{
    return "\n";
}

QByteArray answer(
    const NagiosPage::Installation& installation, const QUrlQuery& query, const NagiosPage::Options& options)
{
    const qint64 now
        = msecs(options.now.isValid() ? options.now : QDateTime::currentDateTimeUtc()) / 1000 * 1000;
    const QByteArray queryName = query.queryItemValue(QStringLiteral("query")).toUtf8();
    for (const auto& [key, value] : query.queryItems()) {
        if (!knownOptions().contains(key))
            return refusal(queryName, "Invalid option: '" + key.toUtf8() + "'.", now);
    }
    const bool hosts = queryName == "hostlist" || queryName == "hostcount";
    if (!hosts && queryName != "servicelist" && queryName != "servicecount")
        return refusal(
            queryName, "The simulator answers hostlist, servicelist, hostcount and servicecount.", now);
    const QString statusKey = hosts ? QStringLiteral("hoststatus") : QStringLiteral("servicestatus");
    const bool filtered = query.hasQueryItem(statusKey);
    const int bits = filtered
        ? statusBits(
            query.queryItemValue(statusKey, QUrl::FullyDecoded).replace(QLatin1Char('+'), QLatin1Char(' ')),
            hosts)
        : 0;
    if (filtered && bits == 0)
        return refusal(queryName, "Invalid value for " + statusKey.toUtf8() + '.', now);
    const bool details = query.queryItemValue(QStringLiteral("details")) == QLatin1String("true");

    JsonObject selectors;
    if (filtered)
        selectors.number(hosts ? "hoststatus" : "service_status", bits);
    JsonObject data;
    data.object("selectors", std::move(selectors));

    if (queryName.endsWith("count")) {
        std::vector<std::pair<const char*, int>> counts = hosts
            ? std::vector<std::pair<const char*, int>> {{"up", 2}, {"down", 4}, {"unreachable", 8},
                {"pending", 1}}
            : std::vector<std::pair<const char*, int>> {
                {"ok", 2}, {"warning", 4}, {"critical", 16}, {"unknown", 8}, {"pending", 1}};
        JsonObject count;
        for (const auto& [word, bit] : counts) {
            qint64 number = 0;
            for (const auto& [name, host] : installation) {
                if (hosts) {
                    number += NagiosPage::hostStateBit(host.state) == bit ? 1 : 0;
                    continue;
                }
                for (const auto& [description, service] : host.services)
                    number += NagiosPage::serviceStateBit(service.state) == bit ? 1 : 0;
            }
            count.number(word, number);
        }
        data.object("count", std::move(count));
        return document(resultObject(queryName, options, now), std::move(data));
    }

    JsonObject list;
    for (const auto& [name, host] : installation) {
        if (hosts) {
            if (filtered && (NagiosPage::hostStateBit(host.state) & bits) == 0)
                continue;
            if (details)
                list.object(escaped(name), hostObject(name, host, now));
            else
                list.number(escaped(name), NagiosPage::hostStateBit(host.state));
            continue;
        }
        JsonObject services;
        bool any = false;
        for (const auto& [description, service] : host.services) {
            if (filtered && (NagiosPage::serviceStateBit(service.state) & bits) == 0)
                continue;
            any = true;
            if (details)
                services.object(escaped(description), serviceObject(name, description, service, now));
            else
                services.number(escaped(description), NagiosPage::serviceStateBit(service.state));
        }
        if (any)
            list.object(escaped(name), std::move(services));
    }
    data.object(hosts ? "hostlist" : "servicelist", std::move(list));
    return document(resultObject(queryName, options, now), std::move(data));
}

} // namespace NagiosJson
