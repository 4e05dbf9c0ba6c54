#include "monitor/pagewalk.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUrl>

// The page walk's decisions on real Nagios 4.4.6 pages: which rows are new problems, with what
// name, address and status, and which entries are gone and whether their recovery is announced.
class TestPageWalk : public QObject
{
    Q_OBJECT

private slots:
    void firstPage_data();
    void firstPage();
    void unchangedProblems_data();
    void unchangedProblems();
    void pageSequence_data();
    void pageSequence();
    void unreadablePages_data();
    void unreadablePages();
    void jsonSequence_data();
    void jsonSequence();
};

namespace {

const QString prefix = QStringLiteral("nagios.example.lan:8080/nagios/cgi-bin/");

QString fixture(const QString& name)
{
    QFile file(QStringLiteral(TARVIX_FIXTURES_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read fixture %s", qPrintable(name));
    return pageText(file.readAll());
}

PageKind kindOf(const QString& fixtureName)
{
    return fixtureName.endsWith(QLatin1String("services.html")) ? PageKind::Services : PageKind::Hosts;
}

// Every status class, a server on a port of its own, and the filters of one mode.
MonitorSettings settingsFor(bool allExcept = true, const QStringList& list = {})
{
    MonitorSettings settings;
    settings.serverAddress = QStringLiteral("nagios.example.lan");
    settings.serverPort = QStringLiteral("8080");
    settings.nagiosExecDir = QStringLiteral("/nagios/cgi-bin/");
    settings.allExceptSpecifedHosts = settings.allExceptSpecifedSrvcs = allExcept;
    settings.onlyListedHosts = settings.onlyListedSrvcs = !allExcept;
    settings.hostsList = settings.servicesList = list;
    return settings;
}

PagePlan plan(PageKind kind, const QString& text, const ProblemList& problems,
    const MonitorSettings& settings = settingsFor())
{
    BasicStatusChoice all {true, true, true, true, true};
    const PageRule rule {kind == PageKind::Hosts ? basicHostsRegExp(all) : basicServicesRegExp(all)};
    return planPage(kind, text, rule, settings, problems);
}

QString linkEncoded(const QString& name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name, " ").replace(' ', '+'));
}

QStringList names(const PagePlan& plan)
{
    QStringList result;
    for (const NewProblem& problem : plan.added)
        result << problem.name;
    return result;
}

// "name +" for an announced recovery, "name -" for a silent one.
QStringList gone(const PagePlan& plan)
{
    QStringList result;
    for (const GoneProblem& problem : plan.gone)
        result << problem.name + (problem.announced ? QLatin1String(" +") : QLatin1String(" -"));
    return result;
}

// "name|status|output|flags" with the flags of rowText in tst_statusjson: S soft, A acknowledged,
// D in downtime, F flapping, N notifications off.
QString shownText(const QString& name, const QString& status, const ProblemDetails& details)
{
    QString flags;
    flags += details.softState ? QStringLiteral("S") : QString();
    flags += details.acknowledged ? QStringLiteral("A") : QString();
    flags += details.inDowntime ? QStringLiteral("D") : QString();
    flags += details.flapping ? QStringLiteral("F") : QString();
    flags += details.notificationsEnabled ? QString() : QStringLiteral("N");
    return QStringList {name, status, details.output, flags}.join(QLatin1Char('|'));
}

// A statusjson.cgi servicelist answer with these services, "host|service|STATUS|flags|output";
// "file:NAME" a captured answer.
QByteArray jsonServices(const QStringList& services)
{
    if (services.size() == 1 && services.first().startsWith(QLatin1String("file:"))) {
        QFile file(QStringLiteral(TARVIX_TEST_DATA_DIR "/statusjson/") + services.first().mid(5));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(services.first()));
        return file.readAll();
    }
    const QHash<QString, int> bits {{"WARNING", 4}, {"UNKNOWN", 8}, {"CRITICAL", 16}};
    QJsonObject hosts;
    for (const QString& service : services) {
        const QStringList fields = service.split(QLatin1Char('|'));
        const QString flags = fields.at(3);
        QJsonObject host = hosts.value(fields.at(0)).toObject();
        host.insert(fields.at(1),
            QJsonObject {{"host_name", fields.at(0)}, {"description", fields.at(1)},
                {"plugin_output", fields.at(4)}, {"status", bits.value(fields.at(2))},
                {"state_type", flags.contains('S') ? 0 : 1}, {"current_attempt", 1}, {"max_attempts", 3},
                {"problem_has_been_acknowledged", flags.contains('A')},
                {"scheduled_downtime_depth", flags.contains('D') ? 2 : 0},
                {"is_flapping", flags.contains('F')}, {"notifications_enabled", !flags.contains('N')},
                {"last_state_change", 1796693512000.0}});
        hosts.insert(fields.at(0), host);
    }
    const QJsonObject result {{"cgi", "statusjson.cgi"}, {"user", "tarvix"}, {"query", "servicelist"},
        {"type_code", 0}, {"type_text", "Success"}, {"message", ""}};
    return QJsonDocument(QJsonObject {{"format_version", 0}, {"result", result},
                             {"data", QJsonObject {{"selectors", QJsonObject()}, {"servicelist", hosts}}}})
        .toJson();
}

} // namespace

void TestPageWalk::firstPage_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("appended");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("hosts in page order") << "02-hosts-down/hosts.html" << QString()
                                         << QStringList {"WEB-01|HOSTDOWN", "branch-switch|HOSTUNREACHABLE",
                                                "core-router|HOSTDOWN", "сервер-1|HOSTDOWN"};
    QTest::newRow("a duplicate row, in any case, counts once: the first wins")
        << "04-host-down-services-critical/hosts.html"
        << "<td class='statusHOSTUNREACHABLE'><a href='extinfo.cgi?type=1&host=DB'>DB.EXAMPLE.LAN</a>\n"
        << QStringList {"db.example.lan|HOSTDOWN"};
    QTest::newRow("services: acknowledged and downtimed ones are no problems")
        << "06-ack-downtime/services.html" << QString()
        << QStringList {"Replication Lag:db.example.lan|CRITICAL", "IMAP:mail-01|CRITICAL"};
    QTest::newRow("services: host names URL-decoded from the link")
        << "03-services-mixed/services.html"
        << "<td class='statusBGCRITICAL'><a href='extinfo.cgi?type=2&host=a%3Ab%2Bc&service=X'>X</a>\n"
        << QStringList {"Disk: /var:WEB-01|WARNING", "HTTP Check:WEB-01|CRITICAL",
               "C++ Build Agent:app-1|CRITICAL", "App Health:app-10|UNKNOWN", "MySQL:db.example.lan|CRITICAL",
               "Replication Lag:db.example.lan|UNKNOWN", "Toner Level:lab printer|WARNING",
               "SMTP:mail-01|CRITICAL",
               "A very long service description that keeps going well past sixty "
               "characters:the-quite-extraordinarily-long-hostname-of-the-reporting-cluster.example.lan|"
               "CRITICAL",
               "PING:web-02|WARNING", "Проверка диска:сервер-1|WARNING", "X:a:b+c|CRITICAL"};
}

void TestPageWalk::firstPage()
{
    QFETCH(QString, page);
    QFETCH(QString, appended);
    QFETCH(QStringList, expected);

    const PageKind kind = kindOf(page);
    ProblemList problems;
    const PagePlan first = plan(kind, fixture(page) + appended, problems);
    QVERIFY(first.gone.isEmpty());
    applyPlan(PagePlan(first), problems);
    QCOMPARE(problems.size(), first.added.size());
    QStringList actual;
    for (int i = 0; i < problems.size(); ++i) {
        const NewProblem& problem = first.added.at(i);
        actual << problem.name + QLatin1Char('|') + problem.status;
        // The address is the page's link, which encodes the names.
        QString link = "extinfo.cgi?type=1&host=" + linkEncoded(problem.name);
        if (kind == PageKind::Services) {
            QCOMPARE(problem.serviceName + QLatin1Char(':') + problem.hostName, problem.name);
            link = "extinfo.cgi?type=2&host=" + linkEncoded(problem.hostName)
                + "&service=" + linkEncoded(problem.serviceName);
        }
        QCOMPARE(problem.address, prefix + link);
        // The entries keep what the rows gave them.
        const ProblemList::Entry& entry = problems.at(i);
        QCOMPARE(QStringList({entry.name, entry.data, entry.serviceName, entry.hostName}),
            QStringList({problem.name, problem.address, problem.serviceName, problem.hostName}));
    }
    QCOMPARE(actual, expected);
}

void TestPageWalk::unchangedProblems_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("updated"); // entries whose shown status changes

    QTest::newRow("the same page again") << "03-services-mixed/services.html" << QString() << QString() << 0;
    QTest::newRow("a host changes its status") << "02-hosts-down/hosts.html"
                                               << "statusHOSTUNREACHABLE"
                                               << "statusHOSTDOWN" << 1;
    QTest::newRow("a service changes its status") << "03-services-mixed/services.html"
                                                  << "statusBGUNKNOWN"
                                                  << "statusBGCRITICAL" << 2;
    QTest::newRow("a host name in other case") << "02-hosts-down/hosts.html"
                                               << ">WEB-01<"
                                               << ">web-01<" << 0;
    QTest::newRow("a Cyrillic host name in other case") << "02-hosts-down/hosts.html"
                                                        << ">сервер-1<"
                                                        << ">СЕРВЕР-1<" << 0;
    QTest::newRow("a service's host in other case") << "03-services-mixed/services.html"
                                                    << "host=lab+printer"
                                                    << "host=LAB+Printer" << 0;
}

void TestPageWalk::unchangedProblems()
{
    QFETCH(QString, page);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(int, updated);

    const PageKind kind = kindOf(page);
    const QString text = fixture(page);
    ProblemList problems;
    applyPlan(plan(kind, text, problems), problems);
    QVERIFY(problems.size() > 0);
    QVERIFY(before.isEmpty() || text.contains(before));
    const PagePlan next = plan(kind, QString(text).replace(before, after), problems);
    QVERIFY(next.isEmpty());
    // A status that changed is shown, not announced.
    QCOMPARE(next.updated.size(), updated);
    for (const UpdatedProblem& problem : next.updated)
        QCOMPARE(problem.status, after.mid(kind == PageKind::Services ? 8 : 6));
    // An empty text is no page: nothing is gone.
    QVERIFY(plan(kind, QString(), problems).isEmpty());
}

void TestPageWalk::pageSequence_data()
{
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<bool>("allExcept");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("gone");

    const QString hosts02 = QStringLiteral("02-hosts-down/hosts.html");
    const QString hosts06 = QStringLiteral("06-ack-downtime/hosts.html");
    const QString services04 = QStringLiteral("04-host-down-services-critical/services.html");
    const QString services06 = QStringLiteral("06-ack-downtime/services.html");
    const QString noServices = QStringLiteral("01-all-ok/services.html");
    const QStringList hosts02Gone {"WEB-01 -", "branch-switch -", "core-router -", "сервер-1 -"};
    const QStringList db = {"Disk: /var:db.example.lan", "MySQL:db.example.lan", "PING:db.example.lan",
        "Replication Lag:db.example.lan", "SSH:db.example.lan"};

    QTest::newRow("hosts: new ones in page order, then the gone ones oldest first")
        << QStringList {hosts02, hosts06} << true << QStringList {} << QStringList {"web-02"}
        << QStringList {"branch-switch +", "core-router +", "сервер-1 +"};
    QTest::newRow("hosts all except listed, any case: listed ones leave silently")
        << QStringList {hosts02, hosts06} << true << QStringList {"web-01", "CORE-ROUTER"}
        << QStringList {"web-02"}
        << QStringList {"WEB-01 -", "branch-switch +", "core-router -", "сервер-1 +"};
    QTest::newRow("hosts only listed: whole names, Cyrillic in any case")
        << QStringList {hosts02, hosts06} << false << QStringList {"СЕРВЕР-1", "web-02", "WEB-0"}
        << QStringList {"web-02"}
        << QStringList {"WEB-01 -", "branch-switch -", "core-router -", "сервер-1 +"};
    QTest::newRow("hosts only listed, empty list: nothing counts, nothing is announced")
        << QStringList {hosts02, hosts02} << false << QStringList {} << QStringList {} << hosts02Gone;
    QTest::newRow("a problem that comes back is new again")
        << QStringList {hosts02, hosts06, hosts02} << true << QStringList {}
        << QStringList {"branch-switch", "core-router", "сервер-1"} << QStringList {"web-02 +"};
    QTest::newRow("services: known ones stay, new ones in page order")
        << QStringList {services06, services04} << true << QStringList {}
        << QStringList {db.at(0), db.at(1), db.at(2), db.at(4)} << QStringList {"IMAP:mail-01 +"};
    QTest::newRow("services all except a bare name: its rows count on no host")
        << QStringList {services06, services04} << true << QStringList {"ping"}
        << QStringList {db.at(0), db.at(1), db.at(4)} << QStringList {"IMAP:mail-01 +"};
    QTest::newRow("services all except: bare names on any host, SERVICE:HOST on that host only")
        << QStringList {services04, noServices} << true
        << QStringList {"mysql", "PING:web-02", "SSH:DB.EXAMPLE.LAN"} << QStringList {}
        << QStringList {db.at(0) + " +", db.at(1) + " -", db.at(2) + " +", db.at(3) + " +", db.at(4) + " -"};
    QTest::newRow("services only listed: an entry equal to a service name that holds a colon")
        << QStringList {services04, noServices} << false << QStringList {"disk: /VAR", "PING"}
        << QStringList {}
        << QStringList {db.at(0) + " +", db.at(1) + " -", db.at(2) + " +", db.at(3) + " -", db.at(4) + " -"};
    QTest::newRow("services only SERVICE:HOST listed: no row counts, its recovery is announced")
        << QStringList {services04, services04} << false << QStringList {"MySQL:db.example.lan"}
        << QStringList {}
        << QStringList {db.at(0) + " -", db.at(1) + " +", db.at(2) + " -", db.at(3) + " -", db.at(4) + " -"};
}

// All pages but the last are walked with every row counting; the last with the filters.
void TestPageWalk::pageSequence()
{
    QFETCH(QStringList, pages);
    QFETCH(bool, allExcept);
    QFETCH(QStringList, list);
    QFETCH(QStringList, added);
    QFETCH(QStringList, gone);

    const PageKind kind = kindOf(pages.first());
    ProblemList problems;
    for (const QString& page : pages.first(pages.size() - 1))
        applyPlan(plan(kind, fixture(page), problems), problems);
    const PagePlan last = plan(kind, fixture(pages.last()), problems, settingsFor(allExcept, list));
    QCOMPARE(names(last), added);
    QCOMPARE(::gone(last), gone);
    for (const GoneProblem& problem : last.gone) {
        const ProblemList::Entry& entry = problems.at(problem.entry);
        QCOMPARE(QStringList({problem.name, problem.address}), QStringList({entry.name, entry.data}));
    }
}

void TestPageWalk::unreadablePages_data()
{
    QTest::addColumn<QString>("next");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("pattern"); // empty: the built-in expression
    QTest::addColumn<int>("timeLimitMs");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QString>("totals"); // listed/matching
    QTest::addColumn<QStringList>("gone");

    const QString web1
        = "<td class='statusBGCRITICAL'><a href='extinfo.cgi?type=2&host=web1&service=HTTP'>HTTP</a>\n";
    const QString web2
        = "<td class='statusBGCRITICAL'><a href='extinfo.cgi?type=2&host=web2&service=PING'>PING</a>";
    const auto totals = [](const char* numbers) {
        return QStringLiteral("\n<div class='itemTotalsTitle'>Results %1 Matching Services</div>\n")
            .arg(QLatin1String(numbers));
    };
    const QString status = "status.cgi?host=all&servicestatustypes=28&limit=0";
    // PCRE2 gives up backtracking through a long plugin output after the name.
    const QString backtracking = R"(<td class='(statusBGCRITICAL)'><a href='(\S+)'>([^<]+)</a>((\w+\s?)*)$)";
    const QString cells = QString("<td class='statusOdd'>some cell of the table</td>\n").repeated(20000);
    const int whole = int(PageVerdict::Whole);
    const int cut = int(PageVerdict::CutByServer);
    const int failed = int(PageVerdict::ExpressionFailed);

    QTest::newRow("rows without the totals line: cut short")
        << web1 << status << QString() << 2000 << int(PageVerdict::Incomplete) << "-1/-1" << QStringList();
    QTest::newRow("the same from another CGI: whole") << web1 << "extinfo.cgi?type=0" << QString() << 2000
                                                      << whole << "-1/-1" << QStringList {"PING:web2 +"};
    QTest::newRow("no rows, no totals: Nagios' error page")
        << "<p class='errorMessage'>Error: Could not read host and service status information!</p>\n"
        << status << QString() << 2000 << int(PageVerdict::NotStatusPage) << "-1/-1" << QStringList();
    QTest::newRow("an empty answer") << QString() << status << QString() << 2000
                                     << int(PageVerdict::NotStatusPage) << "-1/-1" << QStringList();
    QTest::newRow("the server's result limit cut the list")
        << web1 + web2 + totals("0 - 100 of 5919") << status << QString() << 2000 << cut << "100/5919"
        << QStringList();
    QTest::newRow("the last page of a cut list") << web1 + totals("100 - 200 of 200") << status << QString()
                                                 << 2000 << cut << "100/200" << QStringList();
    QTest::newRow("a list as long as the limit is whole")
        << web1 + totals("1 - 100 of 100") << status << QString() << 2000 << whole << "100/100"
        << QStringList {"PING:web2 +"};
    QTest::newRow("the engine gives up on a known problem's line")
        << web1 + web2 + QString(3000, 'x') + "!" + totals("1 - 2 of 2") << status << backtracking << 2000
        << failed << "-1/-1" << QStringList();
    QTest::newRow("an expression past its time limit")
        << web1 + cells + totals("1 - 1 of 1") << status << defaultSrvcsRegExp + "(?:)" << 0 << failed
        << "-1/-1" << QStringList();
    QTest::newRow("the built-in template has no time limit")
        << web1 + cells + totals("1 - 1 of 1") << status << QString() << 0 << whole << "1/1"
        << QStringList {"PING:web2 +"};
}

// Whatever keeps a page from being compared leaves the entries of the whole page before it alone.
void TestPageWalk::unreadablePages()
{
    QFETCH(QString, next);
    QFETCH(QString, request);
    QFETCH(QString, pattern);
    QFETCH(int, timeLimitMs);
    QFETCH(int, verdict);
    QFETCH(QString, totals);
    QFETCH(QStringList, gone);

    MonitorSettings settings = settingsFor();
    settings.servicesRequest = request;
    BasicStatusChoice all {true, true, true, true, true};
    PageRule rule {pattern.isEmpty() ? basicServicesRegExp(all) : pattern};
    const QString whole
        = "<td class='statusBGCRITICAL'><a href='extinfo.cgi?type=2&host=web1&service=HTTP'>HTTP</a>\n"
          "<td class='statusBGCRITICAL'><a href='extinfo.cgi?type=2&host=web2&service=PING'>PING</a>\n"
          "<div class='itemTotalsTitle'>Results 1 - 2 of 2 Matching Services</div>\n";
    ProblemList problems;
    PagePlan first = planPage(PageKind::Services, whole, rule, settings, problems);
    QCOMPARE(first.added.size(), 2);
    applyPlan(std::move(first), problems);

    rule.timeLimitMs = timeLimitMs;
    const PagePlan plan = planPage(PageKind::Services, next, rule, settings, problems);
    QCOMPARE(int(plan.verdict), verdict);
    QCOMPARE(QStringLiteral("%1/%2").arg(plan.totals.listed).arg(plan.totals.matching), totals);
    QCOMPARE(names(plan), QStringList());
    QCOMPARE(::gone(plan), gone);
}

void TestPageWalk::jsonSequence_data()
{
    QTest::addColumn<QList<QStringList>>("pages");
    QTest::addColumn<QStringList>("filters"); // hide...: ack, downtime, soft, flapping, notifications;
                                              // no-unknown: UNKNOWN not chosen
    QTest::addColumn<bool>("fromStart"); // the filters apply to every page, not only the last
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("gone"); // "name +" announced, "name -" silent, "name quiet"
    QTest::addColumn<QStringList>("updated"); // as the entry shows it afterwards

    const QString down = QStringLiteral("web1|HTTP|CRITICAL||HTTP CRITICAL - down");
    const QStringList every {"ack", "downtime", "soft", "flapping", "notifications"};
    const QString captured = QStringLiteral("file:servicelist-problems.json");
    const auto row
        = [](const char* name, const QList<QStringList>& pages, const QStringList& filters, bool fromStart,
              const QStringList& added, const QStringList& gone, const QStringList& updated = {}) {
              QTest::newRow(name) << pages << filters << fromStart << added << gone << updated;
          };

    row("downtime, flapping, notifications off: each leaves quietly",
        {{down, "web2|PING|WARNING||a", "web3|SSH|UNKNOWN||b"},
            {"web1|HTTP|CRITICAL|D|c", "web2|PING|WARNING|F|a", "web3|SSH|UNKNOWN|N|b"}},
        {"downtime", "flapping", "notifications"}, false, {},
        {"HTTP:web1 quiet", "PING:web2 quiet", "SSH:web3 quiet"});
    row("a soft state hidden, then hard: announced as new",
        {{"web1|HTTP|CRITICAL|S|HTTP CRITICAL - down"}, {down}}, {"soft"}, true, {"HTTP:web1"}, {});
    row("acknowledged, then no longer: announced again",
        {{down}, {"web1|HTTP|CRITICAL|A|HTTP CRITICAL - down"}, {down}}, {"ack"}, true, {"HTTP:web1"}, {});
    row("a real recovery is announced whatever the filters", {{down}, {}}, every, false, {}, {"HTTP:web1 +"});
    row("status and output change: shown, not announced",
        {{down}, {"web1|HTTP|WARNING||HTTP WARNING - slow"}}, {}, false, {}, {},
        {"HTTP:web1|WARNING|HTTP WARNING - slow|"});
    row("a status not chosen does not count: the problem recovered",
        {{down}, {"web1|HTTP|UNKNOWN||HTTP UNKNOWN"}}, {"no-unknown"}, false, {}, {"HTTP:web1 +"});
    row("captured: every filter leaves one problem", {{captured}}, every, true, {"HTTP Check:web01"}, {});
    row("captured: the filters on a known list", {{captured}, {captured}}, {"ack", "soft", "notifications"},
        false, {}, {"Retried Check:app01 quiet", "PING:db01 quiet", "PING:web01 quiet"});
}

// Every page but the last is walked and applied with every filter off (unless from the start); the
// last with the filters.
void TestPageWalk::jsonSequence()
{
    QFETCH(QList<QStringList>, pages);
    QFETCH(QStringList, filters);
    QFETCH(bool, fromStart);
    QFETCH(QStringList, added);
    QFETCH(QStringList, gone);
    QFETCH(QStringList, updated);

    MonitorSettings plain = settingsFor();
    plain.useSrvUnknStat = true;
    MonitorSettings filtered = plain;
    filtered.hideAcknowledged = filters.contains("ack");
    filtered.hideDowntime = filters.contains("downtime");
    filtered.hideSoftStates = filters.contains("soft");
    filtered.hideFlapping = filters.contains("flapping");
    filtered.hideNotificationsOff = filters.contains("notifications");
    filtered.useSrvUnknStat = !filters.contains("no-unknown");

    ProblemList problems;
    for (const QStringList& page : pages.first(pages.size() - 1))
        applyPlan(
            planJsonPage(PageKind::Services, jsonServices(page), fromStart ? filtered : plain, problems),
            problems);
    PagePlan last = planJsonPage(PageKind::Services, jsonServices(pages.last()), filtered, problems);
    QCOMPARE(last.verdict, PageVerdict::Whole);
    QCOMPARE(names(last), added);
    QStringList actualGone;
    for (const GoneProblem& problem : last.gone) {
        QVERIFY(!(problem.quiet && problem.announced));
        actualGone << problem.name
                + (problem.quiet            ? QLatin1String(" quiet")
                        : problem.announced ? QLatin1String(" +")
                                            : QLatin1String(" -"));
    }
    QCOMPARE(actualGone, gone);
    for (const NewProblem& problem : last.added) {
        const QString link = "extinfo.cgi?type=2&host=" + linkEncoded(problem.hostName)
            + "&service=" + linkEncoded(problem.serviceName);
        QCOMPARE(problem.address, prefix + link);
    }
    QCOMPARE(last.updated.size(), updated.size());
    applyPlan(std::move(last), problems);
    QStringList shown;
    for (const ProblemList::Entry& entry : problems.entries()) {
        const QString text = shownText(entry.name, entry.status, entry.details);
        if (updated.contains(text))
            shown << text;
    }
    QCOMPARE(shown, updated);
}

QTEST_GUILESS_MAIN(TestPageWalk)
#include "tst_pagewalk.moc"
