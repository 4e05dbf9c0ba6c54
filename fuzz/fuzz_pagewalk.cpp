// The page walk on whole answers: the body's bytes become the page text, which is walked as a hosts
// page and as a services page against entries taken from real pages, with the filters in either
// mode. The plans must hold together; any break aborts with what broke.
//
// Input: byte 0 holds the hosts mode (bit 0), the services mode (bit 1), HTTPS (bit 2), a port of
// its own (bit 3) and which of four host names are listed (bits 4-7); byte 1 which of four service
// entries are listed (bits 0-3), the CGI directory (bit 4) and whether the requests are the
// default status.cgi ones (bit 5), whose answers must end with their totals line; byte 2 the five
// status choices;
// bytes 3-4 which entries exist (hosts: bits 0-3, services: bits 4-15). The rest is the body.

#include "monitor/pagewalk.h"
#include "planchecks.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

constexpr size_t headerSize = 5;

const QStringList hostNames = {QStringLiteral("web-01"), QStringLiteral("CORE-ROUTER"),
    QStringLiteral("СЕРВЕР-1"), QStringLiteral("web-02")};
const QStringList serviceEntries = {QStringLiteral("ping"), QStringLiteral("MySQL:db.example.lan"),
    QStringLiteral("HTTP Check:web-01"), QStringLiteral("Проверка диска")};

BasicStatusChoice choiceOf(uint8_t bits)
{
    return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0, (bits & 16) != 0};
}

PageRule ruleFor(PageKind kind, const BasicStatusChoice& choice)
{
    return {kind == PageKind::Hosts ? basicHostsRegExp(choice) : basicServicesRegExp(choice)};
}

QList<ProblemList::Entry> entriesFrom(PageKind kind, const char* fixture)
{
    QFile file(QStringLiteral(TARVIX_FIXTURES_DIR "/") + QLatin1String(fixture));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", fixture);
        std::abort();
    }
    MonitorSettings settings;
    settings.serverAddress = QStringLiteral("nagios.example.lan");
    settings.nagiosExecDir = QStringLiteral("/nagios/cgi-bin/");
    ProblemList problems;
    applyPlan(planPage(kind, pageText(file.readAll()), ruleFor(kind, choiceOf(0x1F)), settings, problems),
        problems);
    return problems.entries();
}

// The problems of two real pages: four hosts, twelve services.
struct Fixtures
{
    QList<ProblemList::Entry> hosts = entriesFrom(PageKind::Hosts, "02-hosts-down/hosts.html");
    QList<ProblemList::Entry> services = entriesFrom(PageKind::Services, "03-services-mixed/services.html");
};

const Fixtures& fixtures()
{
    static const Fixtures instance;
    return instance;
}

QStringList chosen(const QStringList& from, unsigned bits)
{
    QStringList result;
    for (qsizetype i = 0; i < from.size(); ++i) {
        if ((bits >> i) & 1)
            result.append(from.at(i));
    }
    return result;
}

void walk(PageKind kind, const QString& text, const PageRule& rule, const MonitorSettings& settings,
    const QList<ProblemList::Entry>& known, unsigned present)
{
    ProblemList problems = presentEntries(known, present);
    const bool services = kind == PageKind::Services;

    PagePlan plan = planPage(kind, text, rule, settings, problems);
    check(!text.isEmpty() || plan.isEmpty(), "an empty text changes something", kind);
    const bool statusCgi = settings.hostsRequest.contains(QLatin1String("status.cgi"));
    check(
        statusCgi || plan.verdict == PageVerdict::Whole, "a verdict on the answer of another request", kind);
    check(plan.verdict != PageVerdict::ExpressionFailed, "a built-in expression failed", kind);
    check(plan.verdict == PageVerdict::Whole || plan.isEmpty(), "a page that is not whole changes something",
        kind, QString::number(static_cast<int>(plan.verdict)));

    checkGone(plan, problems, kind);

    const QString prefix = settings.serverAuthority() + settings.nagiosExecDir;
    for (qsizetype i = 0; i < plan.added.size(); ++i) {
        const NewProblem& added = plan.added.at(i);
        check(!added.name.isEmpty() || services, "a new host without a name", kind);
        check(added.address.startsWith(prefix), "an address without server and CGI directory", kind,
            added.address);
        check(services || (added.serviceName.isEmpty() && added.hostName.isEmpty()),
            "a host with service parts", kind, added.name);
        checkNewProblem(plan, i, problems, settings, kind);
    }
    checkApplied(std::move(plan), problems, kind);
    const PagePlan again = planPage(kind, text, rule, settings, problems);
    if (!again.isEmpty()) {
        check(false, "the same page changes something after its plan was applied", kind,
            again.added.isEmpty() ? again.gone.first().name : again.added.first().name);
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
    settings.allExceptSpecifedHosts = (data[0] & 1) != 0;
    settings.onlyListedHosts = !settings.allExceptSpecifedHosts;
    settings.allExceptSpecifedSrvcs = (data[0] & 2) != 0;
    settings.onlyListedSrvcs = !settings.allExceptSpecifedSrvcs;
    settings.useHttps = (data[0] & 4) != 0;
    settings.serverPort = (data[0] & 8) != 0 ? QStringLiteral("8080") : QString();
    settings.serverAddress = QStringLiteral("nagios.example.lan");
    settings.hostsList = chosen(hostNames, data[0] >> 4);
    settings.servicesList = chosen(serviceEntries, data[1] & 0x0F);
    settings.nagiosExecDir
        = (data[1] & 0x10) != 0 ? QStringLiteral("/cgi-bin/nagios4/") : QStringLiteral("/nagios/cgi-bin/");
    if ((data[1] & 0x20) != 0) {
        settings.hostsRequest = defaultHostsRequest;
        settings.servicesRequest = defaultServicesRequest;
    }
    const BasicStatusChoice choice = choiceOf(data[2]);
    const unsigned present = data[3] | (data[4] << 8);

    const QString text = pageText(QByteArray::fromRawData(
        reinterpret_cast<const char*>(data + headerSize), static_cast<qsizetype>(size - headerSize)));
    walk(PageKind::Hosts, text, ruleFor(PageKind::Hosts, choice), settings, fixtures().hosts, present & 0x0F);
    walk(PageKind::Services, text, ruleFor(PageKind::Services, choice), settings, fixtures().services,
        present >> 4);
    return 0;
}
