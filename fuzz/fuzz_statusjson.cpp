// Nagios' JSON status read and walked: the body is read as a host list, a service list and a count,
// and walked as a hosts and a services answer against entries taken from real answers, with the
// hiding filters and status choices the input picks. The rows must stay bounded and the plans hold
// together; any break aborts with what broke.
//
// Input: byte 0 holds the five hiding filters (bits 0-4: acknowledged, downtime, soft, flapping,
// notifications off) and the filter mode (bit 5); byte 1 the five status choices (bits 0-4); byte 2
// which entries exist (hosts: bits 0-2, services: bits 3-7, of the captured problems). The rest is
// the body.

#include "monitor/pagewalk.h"
#include "monitor/statusjson.h"
#include "planchecks.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

constexpr size_t headerSize = 3;

QList<ProblemList::Entry> entriesFrom(PageKind kind, const char* answer)
{
    QFile file(QStringLiteral(TARVIX_TEST_DATA_DIR "/statusjson/") + QLatin1String(answer));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", answer);
        std::abort();
    }
    MonitorSettings settings;
    settings.serverAddress = QStringLiteral("nagios.example.lan");
    settings.nagiosExecDir = QStringLiteral("/nagios/cgi-bin/");
    settings.useSrvUnknStat = true;
    ProblemList problems;
    applyPlan(planJsonPage(kind, file.readAll(), settings, problems), problems);
    return problems.entries();
}

// The problems of two real answers: three hosts, six services.
struct Fixtures
{
    QList<ProblemList::Entry> hosts = entriesFrom(PageKind::Hosts, "hostlist-problems.json");
    QList<ProblemList::Entry> services = entriesFrom(PageKind::Services, "servicelist-problems.json");
};

const Fixtures& fixtures()
{
    static const Fixtures instance;
    return instance;
}

void read(PageKind kind, const QByteArray& body)
{
    const JsonStatusList list
        = kind == PageKind::Services ? readJsonServiceList(body) : readJsonHostList(body);
    check(list.rows.size() <= maxJsonRows && list.rows.size() <= body.size() / 8 + 1, "too many rows", kind,
        QString::number(list.rows.size()));
    check(list.result.verdict == JsonVerdict::Whole || list.rows.isEmpty(), "rows from an answer not whole",
        kind);
    for (const StatusRow& row : list.rows) {
        check(!row.name.isEmpty() && !row.status.isEmpty(), "a row without name or status", kind, row.name);
        check(row.details.output.size() <= maxJsonOutputLength
                && !row.details.output.contains(QLatin1Char('\n')),
            "an output too long or of more than a line", kind, row.details.output);
        check(row.details.attempt >= 0 && row.details.maxAttempts >= 0, "a negative attempt", kind, row.name);
    }
    const JsonStatusCounts counts = readJsonCounts(body);
    check(counts.total >= 0 && (counts.result.verdict == JsonVerdict::Whole || counts.total == 0),
        "counts without a whole answer", kind);
    bool changed = true;
    const QByteArray repaired = repairedJson(body, &changed);
    check(changed || repaired == body, "bytes changed without a word", kind);
}

void walk(PageKind kind, const QByteArray& body, const MonitorSettings& settings,
    const QList<ProblemList::Entry>& known, unsigned present)
{
    ProblemList problems = presentEntries(known, present);
    const bool services = kind == PageKind::Services;

    PagePlan plan = planJsonPage(kind, body, settings, problems);
    check(plan.verdict == PageVerdict::Whole || plan.verdict == PageVerdict::NotStatusPage
            || plan.verdict == PageVerdict::Unreadable,
        "a verdict of the status pages", kind, QString::number(static_cast<int>(plan.verdict)));
    check(plan.verdict == PageVerdict::Whole || (plan.isEmpty() && plan.updated.isEmpty()),
        "an answer that is not whole changes something", kind,
        QString::number(static_cast<int>(plan.verdict)));

    checkGone(plan, problems, kind);
    QSet<int> goneEntries;
    for (const GoneProblem& gone : std::as_const(plan.gone)) {
        check(!(gone.quiet && gone.announced), "a quiet leave announced", kind, gone.name);
        goneEntries.insert(gone.entry);
    }
    int previous = -1;
    for (const UpdatedProblem& updated : std::as_const(plan.updated)) {
        check(updated.entry > previous && updated.entry < problems.size()
                && !goneEntries.contains(updated.entry),
            "an updated index is out of range, out of order or gone", kind, QString::number(updated.entry));
        const ProblemList::Entry& entry = problems.at(updated.entry);
        check(updated.status != entry.status || updated.details != entry.details,
            "an update that changes nothing", kind, entry.name);
        previous = updated.entry;
    }

    const QString prefix = settings.serverAuthority() + settings.nagiosExecDir;
    for (qsizetype i = 0; i < plan.added.size(); ++i) {
        const NewProblem& added = plan.added.at(i);
        check(!added.name.isEmpty(), "a new problem without a name", kind);
        check(added.address.startsWith(
                  prefix + (services ? "extinfo.cgi?type=2&host=" : "extinfo.cgi?type=1&host=")),
            "an address that is not the object's extinfo.cgi page", kind, added.address);
        check(detailsCount(settings, added.details), "a hidden problem is new", kind, added.name);
        checkNewProblem(plan, i, problems, settings, kind);
    }
    checkApplied(std::move(plan), problems, kind);
    const PagePlan again = planJsonPage(kind, body, settings, problems);
    if (!again.isEmpty() || !again.updated.isEmpty()) {
        check(false, "the same answer changes something after its plan was applied", kind,
            !again.added.isEmpty()      ? again.added.first().name
                : !again.gone.isEmpty() ? again.gone.first().name
                                        : problems.at(again.updated.first().entry).name);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fixtures();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < headerSize)
        return 0;
    MonitorSettings settings;
    settings.serverAddress = QStringLiteral("nagios.example.lan");
    settings.nagiosExecDir = QStringLiteral("/cgi-bin/nagios4/");
    settings.hideAcknowledged = (data[0] & 1) != 0;
    settings.hideDowntime = (data[0] & 2) != 0;
    settings.hideSoftStates = (data[0] & 4) != 0;
    settings.hideFlapping = (data[0] & 8) != 0;
    settings.hideNotificationsOff = (data[0] & 16) != 0;
    settings.allExceptSpecifedHosts = settings.allExceptSpecifedSrvcs = (data[0] & 32) != 0;
    settings.onlyListedHosts = settings.onlyListedSrvcs = !settings.allExceptSpecifedHosts;
    settings.hostsList = {QStringLiteral("WEB01")};
    settings.servicesList = {QStringLiteral("ping")};
    settings.useHostDownStat = (data[1] & 1) != 0;
    settings.useHostUnreachStat = (data[1] & 2) != 0;
    settings.useSrvWarnStat = (data[1] & 4) != 0;
    settings.useSrvCritStat = (data[1] & 8) != 0;
    settings.useSrvUnknStat = (data[1] & 16) != 0;

    const QByteArray body = QByteArray::fromRawData(
        reinterpret_cast<const char*>(data + headerSize), static_cast<qsizetype>(size - headerSize));
    read(PageKind::Hosts, body);
    read(PageKind::Services, body);
    walk(PageKind::Hosts, body, settings, fixtures().hosts, data[2] & 0x07);
    walk(PageKind::Services, body, settings, fixtures().services, data[2] >> 3);
    return 0;
}
