#include "tools/simulatorcommands.h"

#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

// The control commands the simulator reads from stdin, a control file or a test: a table of word,
// argument shape and handler, which also writes the usage text.

bool parseHostState(const QString& text, NagiosSimulator::HostState* state)
{
    const QString upper = text.trimmed().toUpper();
    if (upper == QLatin1String("UP"))
        *state = NagiosSimulator::HostState::Up;
    else if (upper == QLatin1String("DOWN"))
        *state = NagiosSimulator::HostState::Down;
    else if (upper == QLatin1String("UNREACHABLE"))
        *state = NagiosSimulator::HostState::Unreachable;
    else if (upper == QLatin1String("PENDING"))
        *state = NagiosSimulator::HostState::Pending;
    else
        return false;
    return true;
}

bool parseServiceState(const QString& text, NagiosSimulator::ServiceState* state)
{
    const QString upper = text.trimmed().toUpper();
    if (upper == QLatin1String("OK"))
        *state = NagiosSimulator::ServiceState::Ok;
    else if (upper == QLatin1String("WARNING"))
        *state = NagiosSimulator::ServiceState::Warning;
    else if (upper == QLatin1String("CRITICAL"))
        *state = NagiosSimulator::ServiceState::Critical;
    else if (upper == QLatin1String("UNKNOWN"))
        *state = NagiosSimulator::ServiceState::Unknown;
    else if (upper == QLatin1String("PENDING"))
        *state = NagiosSimulator::ServiceState::Pending;
    else
        return false;
    return true;
}

namespace {

using HostState = NagiosSimulator::HostState;
using ServiceState = NagiosSimulator::ServiceState;

// Splits a command line at blanks; "double quotes" keep blanks inside one word.
QStringList commandWords(const QString& line)
{
    QStringList words;
    QString word;
    bool quoted = false;
    bool inWord = false;
    for (const QChar c : line) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            inWord = true;
        } else if (c.isSpace() && !quoted) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

bool parseSwitch(const QString& text, bool* on)
{
    const QString lower = text.toLower();
    if (lower == QLatin1String("on") || lower == QLatin1String("1") || lower == QLatin1String("true")
        || lower == QLatin1String("yes")) {
        *on = true;
        return true;
    }
    if (lower == QLatin1String("off") || lower == QLatin1String("0") || lower == QLatin1String("false")
        || lower == QLatin1String("no")) {
        *on = false;
        return true;
    }
    return false;
}

using Arguments = QStringList;
using Handler = std::function<bool(NagiosSimulator& sim, const Arguments& args, QString* error)>;

// One control command: its word, the shape of its arguments for the usage text, how many it takes
// (-1: any number, the last ones joined by blanks) and what it does.
struct Command
{
    const char* word;
    const char* arguments;
    int minArguments;
    int maxArguments;
    const char* help;
    Handler run;
};

bool fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

// A count or size, with an optional binary K, M or G.
bool parseAmount(const QString& text, qint64 maximum, qint64* value)
{
    QString digits = text.trimmed().toUpper();
    qint64 unit = 1;
    if (digits.endsWith(QLatin1Char('K')) || digits.endsWith(QLatin1Char('M'))
        || digits.endsWith(QLatin1Char('G'))) {
        unit = qint64(1) << (digits.endsWith(QLatin1Char('K')) ? 10
                       : digits.endsWith(QLatin1Char('M'))     ? 20
                                                               : 30);
        digits.chop(1);
    }
    bool ok = false;
    const qint64 number = digits.toLongLong(&ok);
    if (!ok || number < 0 || number > maximum / unit)
        return false;
    *value = number * unit;
    return true;
}

template <typename T> Handler amount(void (NagiosSimulator::*setter)(T), qint64 maximum)
{
    return [setter, maximum](NagiosSimulator& sim, const Arguments& args, QString* error) {
        qint64 value = 0;
        if (!parseAmount(args.at(0), maximum, &value))
            return fail(error, QStringLiteral("bad number %1").arg(args.at(0)));
        (sim.*setter)(T(value));
        return true;
    };
}

Handler onOff(void (NagiosSimulator::*setter)(bool))
{
    return [setter](NagiosSimulator& sim, const Arguments& args, QString* error) {
        bool on = false;
        if (!parseSwitch(args.at(0), &on))
            return fail(error, QStringLiteral("expected on or off, not %1").arg(args.at(0)));
        (sim.*setter)(on);
        return true;
    };
}

// "HOST|DESC": the host and the service, or the host alone without '|'.
std::pair<QString, QString> splitObject(const QString& text)
{
    const qsizetype bar = text.indexOf(QLatin1Char('|'));
    return bar < 0 ? std::pair {text, QString()} : std::pair {text.left(bar), text.mid(bar + 1)};
}

Handler acknowledgeOrDowntime(void (NagiosSimulator::*setter)(const QString&, const QString&, bool))
{
    return [setter](NagiosSimulator& sim, const Arguments& args, QString* error) {
        bool on = false;
        if (!parseSwitch(args.at(1), &on))
            return fail(error, QStringLiteral("expected on or off, not %1").arg(args.at(1)));
        const auto [host, description] = splitObject(args.at(0));
        (sim.*setter)(host, description, on);
        return true;
    };
}

const std::vector<Command>& commands()
{
    using Sim = NagiosSimulator;
    constexpr qint64 maxInt = std::numeric_limits<int>::max();
    constexpr qint64 maxSize = qint64(1) << 50;
    static const std::vector<Command> table = {
        {"host", "NAME STATE [OUTPUT]", 2, -1, "set a host UP, DOWN, UNREACHABLE or PENDING",
            [](Sim& sim, const Arguments& args, QString* error) {
                Sim::HostState state;
                if (!parseHostState(args.at(1), &state))
                    return fail(error, QStringLiteral("unknown host state %1").arg(args.at(1)));
                sim.setHost(args.at(0), state, {}, args.mid(2).join(QLatin1Char(' ')));
                return true;
            }},
        {"service", "HOST|DESC STATE [OUTPUT]", 2, -1,
            "set a service OK, WARNING, CRITICAL, UNKNOWN or PENDING",
            [](Sim& sim, const Arguments& args, QString* error) {
                const auto [host, description] = splitObject(args.at(0));
                if (description.isEmpty())
                    return fail(error, QStringLiteral("expected HOST|DESC, not %1").arg(args.at(0)));
                Sim::ServiceState state;
                if (!parseServiceState(args.at(1), &state))
                    return fail(error, QStringLiteral("unknown service state %1").arg(args.at(1)));
                sim.setService(host, description, state, args.mid(2).join(QLatin1Char(' ')));
                return true;
            }},
        {"remove", "NAME[|DESC]", 1, 1, "remove a host or a service",
            [](Sim& sim, const Arguments& args, QString*) {
                const auto [host, description] = splitObject(args.at(0));
                if (description.isEmpty())
                    sim.removeHost(host);
                else
                    sim.removeService(host, description);
                return true;
            }},
        {"ack", "NAME[|DESC] on|off", 2, 2, "acknowledge a problem",
            acknowledgeOrDowntime(&Sim::setAcknowledged)},
        {"downtime", "NAME[|DESC] on|off", 2, 2, "schedule a downtime",
            acknowledgeOrDowntime(&Sim::setInDowntime)},
        {"attempt", "NAME[|DESC] N MAX", 3, 3, "check attempt N of MAX: a soft state below MAX",
            [](Sim& sim, const Arguments& args, QString* error) {
                bool attemptOk = false;
                bool maxOk = false;
                const int attempt = args.at(1).toInt(&attemptOk);
                const int maxAttempts = args.at(2).toInt(&maxOk);
                if (!attemptOk || !maxOk || attempt < 1 || maxAttempts < attempt)
                    return fail(error,
                        QStringLiteral("expected 1 <= N <= MAX, not %1 %2").arg(args.at(1), args.at(2)));
                const auto [host, description] = splitObject(args.at(0));
                sim.setAttempts(host, description, attempt, maxAttempts);
                return true;
            }},
        {"flapping", "NAME[|DESC] on|off", 2, 2, "Nagios finds it flapping",
            acknowledgeOrDowntime(&Sim::setFlapping)},
        {"notifications", "NAME[|DESC] on|off", 2, 2, "its notifications enabled or not",
            acknowledgeOrDowntime(&Sim::setNotificationsEnabled)},
        {"clear", "", 0, 0, "remove every host",
            [](Sim& sim, const Arguments&, QString*) {
                sim.clear();
                return true;
            }},
        {"scenario", "FILE", 1, -1, "load a scenario.tsv",
            [](Sim& sim, const Arguments& args, QString* error) {
                const QString file = args.join(QLatin1Char(' '));
                return sim.loadScenario(file)
                    || fail(error, QStringLiteral("cannot load scenario %1").arg(file));
            }},
        {"cgidir", "DIR", 1, 1, "serve status.cgi under DIR",
            [](Sim& sim, const Arguments& args, QString*) {
                sim.setCgiDirectory(args.at(0));
                return true;
            }},
        {"status", "CODE", 1, 1, "answer every request with this status (0: off)",
            [](Sim& sim, const Arguments& args, QString* error) {
                bool ok = false;
                const int code = args.at(0).toInt(&ok);
                if (!ok || (code != 0 && (code < 100 || code > 599)))
                    return fail(error, QStringLiteral("bad status %1").arg(args.at(0)));
                sim.setFixedStatus(code);
                return true;
            }},
        {"errorpage", "stopped|norights|none", 1, 1, "Nagios' own error pages (status 200)",
            [](Sim& sim, const Arguments& args, QString* error) {
                const QString page = args.at(0).toLower();
                if (page == QLatin1String("stopped"))
                    sim.setErrorPage(Sim::ErrorPage::NagiosStopped);
                else if (page == QLatin1String("norights"))
                    sim.setErrorPage(Sim::ErrorPage::NoRights);
                else if (page == QLatin1String("none"))
                    sim.setErrorPage(Sim::ErrorPage::None);
                else
                    return fail(error, QStringLiteral("unknown error page %1").arg(args.at(0)));
                return true;
            }},
        {"auth", "USER PASS [digest]|off", 1, 3, "require Basic (or Digest) authentication, or not",
            [](Sim& sim, const Arguments& args, QString* error) {
                if (args.size() == 2)
                    sim.requireBasicAuth(args.at(0), args.at(1));
                else if (args.size() == 3 && args.at(2).toLower() == QLatin1String("digest"))
                    sim.requireDigestAuth(args.at(0), args.at(1));
                else if (args.size() == 1 && args.at(0).toLower() == QLatin1String("off"))
                    sim.requireBasicAuth({}, {});
                else
                    return fail(error, QStringLiteral("expected USER PASS [digest] or off"));
                return true;
            }},
        {"csrf", "on|off", 1, 1, "cmd.cgi's NagFormId cookie and field, checked", onOff(&Sim::setCsrfCheck)},
        {"cmdrights", "all|none|readonly", 1, 1, "what cmd.cgi lets the user do",
            [](Sim& sim, const Arguments& args, QString* error) {
                const QString rights = args.at(0).toLower();
                if (rights == QLatin1String("all"))
                    sim.setCommandRights(Sim::CommandRights::All);
                else if (rights == QLatin1String("none"))
                    sim.setCommandRights(Sim::CommandRights::None);
                else if (rights == QLatin1String("readonly"))
                    sim.setCommandRights(Sim::CommandRights::ReadOnly);
                else
                    return fail(
                        error, QStringLiteral("expected all, none or readonly, not %1").arg(args.at(0)));
                return true;
            }},
        {"delay", "MS", 1, 1, "answer each request this late", amount(&Sim::setResponseDelay, maxInt)},
        {"padding", "BYTES", 1, 1, "filler lines before the status table", amount(&Sim::setPadding, maxSize)},
        {"gzip", "on|off", 1, 1, "gzip when the client asks for it", onOff(&Sim::setGzipWhenAsked)},
        {"chunked", "on|off", 1, 1, "send the pages chunked", onOff(&Sim::setChunked)},
        {"nul", "on|off", 1, 1, "a NUL byte before the status table", onOff(&Sim::setInjectNul)},
        {"badutf8", "on|off", 1, 1, "invalid UTF-8 before the status table",
            onOff(&Sim::setInjectInvalidUtf8)},
        {"neveraccept", "on|off", 1, 1, "new connections hang in the TCP handshake",
            onOff(&Sim::setNeverAccept)},
        {"tlsstall", "on|off", 1, 1, "accept connections, never answer the TLS handshake",
            onOff(&Sim::setStallHandshake)},
        {"neveranswer", "on|off", 1, 1, "read each request, never answer", onOff(&Sim::setNeverAnswer)},
        {"trickle", "MS", 1, 1, "headers at once, then one body byte every MS (0: off)",
            amount(&Sim::setTrickle, maxInt)},
        {"closemidbody", "on|off", 1, 1, "close after half the body announced by Content-Length",
            onOff(&Sim::setCloseMidBody)},
        {"cutpage", "on|off", 1, 1, "end the page cleanly in the middle of its table",
            onOff(&Sim::setCutPage)},
        {"headers", "COUNT", 1, 1, "this many extra header lines", amount(&Sim::setHeaderLines, maxInt)},
        {"gzipbomb", "BYTES", 1, 1, "a small gzip body that inflates to BYTES spaces (0: off)",
            amount(&Sim::setGzipBomb, maxSize)},
        {"longline", "BYTES", 1, 1, "a body of BYTES without a line end (0: off)",
            amount(&Sim::setLongLine, maxSize)},
        {"endless", "on|off", 1, 1, "a chunked body that never ends", onOff(&Sim::setEndlessBody)},
    };
    return table;
}

} // namespace

bool NagiosSimulator::applyCommand(const QString& line, QString* error)
{
    const QStringList words = commandWords(line);
    if (words.isEmpty() || words.first().startsWith(QLatin1Char('#')))
        return true;
    const QString word = words.first().toLower();
    const Arguments args = words.mid(1);
    for (const Command& command : commands()) {
        if (word != QLatin1String(command.word))
            continue;
        if (args.size() < command.minArguments
            || (command.maxArguments >= 0 && args.size() > command.maxArguments))
            return fail(error, QStringLiteral("usage: %1 %2").arg(word, QLatin1String(command.arguments)));
        return command.run(*this, args, error);
    }
    return fail(error, QStringLiteral("unknown command: %1").arg(line.trimmed()));
}

QString NagiosSimulator::commandUsage()
{
    QString usage;
    for (const Command& command : commands()) {
        usage += QStringLiteral("  %1 %2  %3\n")
                     .arg(QLatin1String(command.word), -12)
                     .arg(QLatin1String(command.arguments), -25)
                     .arg(QLatin1String(command.help));
    }
    return usage;
}
