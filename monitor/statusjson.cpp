#include "monitor/statusjson.h"

#include <QByteArrayView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QTimeZone>

#include <algorithm>

namespace {

const QString statusJsonCgi = QStringLiteral("statusjson.cgi");

// Nagios' status bits in the JSON status.
constexpr int hostDownBit = 4;
constexpr int hostUnreachableBit = 8;
constexpr int serviceWarningBit = 4;
constexpr int serviceUnknownBit = 8;
constexpr int serviceCriticalBit = 16;

// Year 9999: later times are no times Nagios writes.
constexpr qint64 latestMsecs = Q_INT64_C(253402300799000);

QString statusQuery(
    const char* query, const char* parameter, const QStringList& chosen, const QStringList& all)
{
    return QStringLiteral("statusjson.cgi?query=%1&details=true&%2=%3")
        .arg(QLatin1String(query), QLatin1String(parameter),
            (chosen.isEmpty() ? all : chosen).join(QLatin1Char('+')));
}

QString hostStatusWord(int status)
{
    switch (status) {
    case hostDownBit:
        return QStringLiteral("DOWN");
    case hostUnreachableBit:
        return QStringLiteral("UNREACHABLE");
    default:
        return {};
    }
}

QString serviceStatusWord(int status)
{
    switch (status) {
    case serviceWarningBit:
        return QStringLiteral("WARNING");
    case serviceUnknownBit:
        return QStringLiteral("UNKNOWN");
    case serviceCriticalBit:
        return QStringLiteral("CRITICAL");
    default:
        return {};
    }
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char hexDigit(int value)
{
    return "0123456789abcdef"[value & 0xF];
}

// Qt reads an escape JSON lacks as the bare letter ("\a" as "a"): such text must be mended first.
bool hasInvalidEscape(const QByteArray& body)
{
    const qsizetype size = body.size();
    for (qsizetype i = body.indexOf('\\'); i >= 0 && i < size; i = body.indexOf('\\', i)) {
        const char escaped = i + 1 < size ? body.at(i + 1) : '\0';
        switch (escaped) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            i += 2;
            break;
        case 'u':
            if (i + 5 < size && isHexDigit(body.at(i + 2)) && isHexDigit(body.at(i + 3))
                && isHexDigit(body.at(i + 4)) && isHexDigit(body.at(i + 5))) {
                i += 6;
                break;
            }
            return true;
        default:
            return true;
        }
    }
    return false;
}

QDateTime timeOf(const QJsonValue& value)
{
    const qint64 msecs = value.toInteger(0);
    if (msecs <= 0 || msecs > latestMsecs)
        return {};
    return QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc());
}

ProblemDetails detailsOf(const QJsonObject& object)
{
    ProblemDetails details;
    QString output = object.value(QLatin1String("plugin_output")).toString();
    const qsizetype lineEnd = output.indexOf(QLatin1Char('\n'));
    output.truncate(std::min<qsizetype>(lineEnd < 0 ? output.size() : lineEnd, maxJsonOutputLength));
    details.output = std::move(output);
    details.lastStateChange = timeOf(object.value(QLatin1String("last_state_change")));
    details.attempt = std::max(0, object.value(QLatin1String("current_attempt")).toInt(0));
    details.maxAttempts = std::max(0, object.value(QLatin1String("max_attempts")).toInt(0));
    details.softState = object.value(QLatin1String("state_type")).toInt(1) == 0;
    details.acknowledged = object.value(QLatin1String("problem_has_been_acknowledged")).toBool(false);
    details.inDowntime = object.value(QLatin1String("scheduled_downtime_depth")).toInt(0) > 0;
    details.flapping = object.value(QLatin1String("is_flapping")).toBool(false);
    details.notificationsEnabled = object.value(QLatin1String("notifications_enabled")).toBool(true);
    return details;
}

// The answer's result and, when it is a successful answer to `query` (or `otherQuery`), its data
// object.
JsonResult readResult(
    const QByteArray& body, QLatin1String query, QLatin1String otherQuery, QJsonObject* data)
{
    JsonResult result;
    const auto start = std::find_if_not(
        body.cbegin(), body.cend(), [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
    // A stopped Nagios answers an empty line; an HTML page is no JSON status either.
    if (start == body.cend() || *start != '{')
        return result;
    // Nagios writes "\a" and "\v", which JSON lacks.
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(repairedJson(body, &result.repaired), &error);
    if (error.error != QJsonParseError::NoError) {
        result.verdict = JsonVerdict::Unreadable;
        return result;
    }
    const QJsonObject root = document.object();
    const QJsonValue resultValue = root.value(QLatin1String("result"));
    if (!resultValue.isObject())
        return result;
    const QJsonObject fields = resultValue.toObject();
    result.typeCode = fields.value(QLatin1String("type_code")).toInt(-1);
    result.message = fields.value(QLatin1String("message")).toString();
    if (result.message.isEmpty() && result.typeCode != 0)
        result.message = fields.value(QLatin1String("type_text")).toString();
    result.user = fields.value(QLatin1String("user")).toString();
    result.lastDataUpdate = timeOf(fields.value(QLatin1String("last_data_update")));
    const QString answered = fields.value(QLatin1String("query")).toString();
    if (result.typeCode != 0 || (answered != query && answered != otherQuery))
        return result;
    const QJsonValue dataValue = root.value(QLatin1String("data"));
    if (!dataValue.isObject())
        return result;
    *data = dataValue.toObject();
    result.verdict = JsonVerdict::Whole;
    return result;
}

JsonStatusList readList(const QByteArray& body, bool services)
{
    JsonStatusList list;
    QJsonObject data;
    const QLatin1String query = services ? QLatin1String("servicelist") : QLatin1String("hostlist");
    list.result = readResult(body, query, query, &data);
    if (list.result.verdict != JsonVerdict::Whole)
        return list;
    const QJsonValue objects
        = data.value(services ? QLatin1String("servicelist") : QLatin1String("hostlist"));
    if (!objects.isObject()) {
        list.result.verdict = JsonVerdict::NotStatusAnswer;
        return list;
    }
    const auto tooMany = [&list]() {
        if (list.rows.size() < maxJsonRows)
            return false;
        list.rows.clear();
        list.result.verdict = JsonVerdict::Unreadable;
        return true;
    };

    const QJsonObject hosts = objects.toObject();
    for (auto host = hosts.constBegin(); host != hosts.constEnd(); ++host) {
        const QString hostName = host.key();
        if (hostName.isEmpty())
            continue;
        const QJsonObject hostObject = host.value().toObject();
        if (!services) {
            const QString status = hostStatusWord(hostObject.value(QLatin1String("status")).toInt(0));
            if (status.isEmpty())
                continue;
            if (tooMany())
                return list;
            StatusRow row;
            row.name = hostName;
            row.link = QLatin1String("extinfo.cgi?type=1&host=") + nagiosUrlEncode(hostName);
            row.status = status;
            row.details = detailsOf(hostObject);
            list.rows.append(std::move(row));
            continue;
        }
        const QString hostLink = QLatin1String("extinfo.cgi?type=2&host=") + nagiosUrlEncode(hostName);
        for (auto service = hostObject.constBegin(); service != hostObject.constEnd(); ++service) {
            const QString description = service.key();
            const QJsonObject serviceObject = service.value().toObject();
            const QString status = serviceStatusWord(serviceObject.value(QLatin1String("status")).toInt(0));
            if (description.isEmpty() || status.isEmpty())
                continue;
            if (tooMany())
                return list;
            StatusRow row;
            row.name = description + QLatin1Char(':') + hostName;
            row.link = hostLink + QLatin1String("&service=") + nagiosUrlEncode(description);
            row.status = status;
            row.serviceName = description;
            row.details = detailsOf(serviceObject);
            list.rows.append(std::move(row));
        }
    }
    return list;
}

} // namespace

QString jsonHostsQuery(const MonitorSettings& settings)
{
    QStringList chosen;
    if (settings.useHostDownStat)
        chosen << QStringLiteral("down");
    if (settings.useHostUnreachStat)
        chosen << QStringLiteral("unreachable");
    return statusQuery(
        "hostlist", "hoststatus", chosen, {QStringLiteral("down"), QStringLiteral("unreachable")});
}

QString jsonServicesQuery(const MonitorSettings& settings)
{
    QStringList chosen;
    if (settings.useSrvWarnStat)
        chosen << QStringLiteral("warning");
    if (settings.useSrvCritStat)
        chosen << QStringLiteral("critical");
    if (settings.useSrvUnknStat)
        chosen << QStringLiteral("unknown");
    return statusQuery("servicelist", "servicestatus", chosen,
        {QStringLiteral("warning"), QStringLiteral("critical"), QStringLiteral("unknown")});
}

QString jsonHostCountQuery()
{
    return statusJsonCgi + QLatin1String("?query=hostcount");
}

QString jsonServiceCountQuery()
{
    return statusJsonCgi + QLatin1String("?query=servicecount");
}

QString nagiosUrlEncode(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray encoded;
    encoded.reserve(utf8.size());
    for (const char c : utf8) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-'
            || c == '_') {
            encoded.append(c);
        } else if (c == ' ') {
            encoded.append('+');
        } else {
            const auto byte = static_cast<unsigned char>(c);
            encoded.append('%')
                .append(QByteArray::number(byte >> 4, 16).toUpper())
                .append(QByteArray::number(byte & 0xF, 16).toUpper());
        }
    }
    return QString::fromLatin1(encoded);
}

QByteArray repairedJson(const QByteArray& body, bool* changed)
{
    if (changed)
        *changed = false;
    if (!hasInvalidEscape(body) && QByteArrayView(body).isValidUtf8())
        return body;
    if (changed)
        *changed = true;
    const QByteArray utf8 = QByteArrayView(body).isValidUtf8() ? body : QString::fromUtf8(body).toUtf8();
    QByteArray repaired;
    repaired.reserve(utf8.size() + utf8.size() / 16);
    bool inString = false;
    const qsizetype size = utf8.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = utf8.at(i);
        if (!inString || c == '"') {
            inString = inString ? false : c == '"';
            repaired.append(c);
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            repaired.append("\\u00").append(hexDigit(c >> 4)).append(hexDigit(c));
            continue;
        }
        if (c != '\\') {
            repaired.append(c);
            continue;
        }
        const char escaped = i + 1 < size ? utf8.at(i + 1) : '\0';
        switch (escaped) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            repaired.append(c).append(escaped);
            ++i;
            break;
        case 'a':
            repaired.append("\\u0007");
            ++i;
            break;
        case 'v':
            repaired.append("\\u000b");
            ++i;
            break;
        case 'u':
            if (i + 5 < size && isHexDigit(utf8.at(i + 2)) && isHexDigit(utf8.at(i + 3))
                && isHexDigit(utf8.at(i + 4)) && isHexDigit(utf8.at(i + 5))) {
                repaired.append(utf8.constData() + i, 6);
                i += 5;
                break;
            }
            [[fallthrough]];
        default:
            // A backslash that escapes nothing JSON knows stands for itself.
            repaired.append("\\\\");
            break;
        }
    }
    return repaired;
}

JsonStatusList readJsonHostList(const QByteArray& body)
{
    return readList(body, false);
}

JsonStatusList readJsonServiceList(const QByteArray& body)
{
    return readList(body, true);
}

JsonStatusCounts readJsonCounts(const QByteArray& body)
{
    JsonStatusCounts counts;
    QJsonObject data;
    counts.result = readResult(body, QLatin1String("hostcount"), QLatin1String("servicecount"), &data);
    if (counts.result.verdict != JsonVerdict::Whole)
        return counts;
    const QJsonValue count = data.value(QLatin1String("count"));
    if (!count.isObject()) {
        counts.result.verdict = JsonVerdict::NotStatusAnswer;
        return counts;
    }
    const QJsonObject states = count.toObject();
    for (auto state = states.constBegin(); state != states.constEnd(); ++state)
        counts.total += std::clamp<qint64>(state.value().toInteger(0), 0, Q_INT64_C(1) << 40);
    return counts;
}
