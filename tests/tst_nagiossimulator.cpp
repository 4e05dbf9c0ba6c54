#include "tools/nagiospage.h"
#include "tools/nagiossimulator.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

// The simulated server stands in for Nagios in the other tests: its pages must be Nagios' own.
class TestNagiosSimulator : public QObject
{
    Q_OBJECT

private slots:
    void pagesMatchRealNagios_data();
    void pagesMatchRealNagios();
    void maskAndLimitSelectRows_data();
    void maskAndLimitSelectRows();
    void commands_data();
    void commands();
};

void TestNagiosSimulator::pagesMatchRealNagios_data()
{
    using Answer = NagiosPage::CommandAnswer;
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("query"); // status pages
    QTest::addColumn<int>("type"); // command pages: the form of this cmd_typ, 0: the answer
    QTest::addColumn<int>("answer");
    const QString scenario = QStringLiteral("04-host-down-services-critical/");
    QTest::newRow("hosts") << scenario + "hosts.html"
                           << "hostgroup=all&style=hostdetail&hoststatustypes=12" << 0 << 0;
    QTest::newRow("services") << scenario + "services.html"
                              << "host=all&servicestatustypes=28" << 0 << 0;
    QTest::newRow("acknowledgement form of a service") << "cmd/ack-service-form.html" << QString() << 34 << 0;
    QTest::newRow("check form of a host") << "cmd/check-host-form.html" << QString() << 96 << 0;
    QTest::newRow("submitted") << "cmd/submitted.html" << QString() << 0 << int(Answer::Submitted);
    QTest::newRow("not authorized") << "cmd/not-authorized.html" << QString() << 0
                                    << int(Answer::NotAuthorized);
    QTest::newRow("CSRF refusal") << "cmd/csrf-error.html" << QString() << 0 << int(Answer::CsrfFailed);
}

// Line by line, with what differs between two captures (clocks, durations, addresses, the user)
// blanked; of the status pages the table rows.
void TestNagiosSimulator::pagesMatchRealNagios()
{
    QFETCH(QString, file);
    QFETCH(QString, query);
    QFETCH(int, type);
    QFETCH(int, answer);
    static const QRegularExpression volatileParts(QStringLiteral(
        "\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d| *\\d+d +\\d+h +\\d+m +\\d+s|title='127[0-9.]*'"
        "|Last Updated: [^<]*|Logged in as <i>[^<]*"));
    const auto lines = [&query](const QByteArray& page) {
        const QStringList all
            = QString::fromUtf8(page).replace(volatileParts, QStringLiteral("X")).split(QLatin1Char('\n'));
        return query.isEmpty() ? all : all.filter(QRegularExpression(QStringLiteral("^<td .*class='status")));
    };
    QFile real(QStringLiteral(TARVIX_FIXTURES_DIR "/") + file);
    QVERIFY(real.open(QIODevice::ReadOnly));
    const QStringList expected = lines(real.readAll());
    QVERIFY(!expected.isEmpty());

    NagiosSimulator sim;
    QVERIFY(
        sim.loadScenario(QStringLiteral(TARVIX_FIXTURES_DIR "/04-host-down-services-critical/scenario.tsv")));
    NagiosPage::Options options;
    options.user = "tarvix";
    QByteArray page;
    if (!query.isEmpty())
        page = file.endsWith(QLatin1String("hosts.html")) ? sim.hostsPage(query) : sim.servicesPage(query);
    else if (type != 0)
        page = NagiosPage::commandFormPage(type, "web01", "HTTP Check", "216231b1f16e9e8", options);
    else
        page = NagiosPage::commandAnswerPage(NagiosPage::CommandAnswer(answer), options);
    QCOMPARE(lines(page), expected);
}

void TestNagiosSimulator::maskAndLimitSelectRows_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("totals");
    QTest::newRow("hosts 12: DOWN and UNREACHABLE") << "hostgroup=all&style=hostdetail&hoststatustypes=12"
                                                    << "Results 1 - 2 of 2 Matching Hosts";
    QTest::newRow("hosts 8: UNREACHABLE only") << "hostgroup=all&style=hostdetail&hoststatustypes=8"
                                               << "Results 1 - 1 of 1 Matching Hosts";
    QTest::newRow("services 28: WARNING UNKNOWN CRITICAL") << "host=all&servicestatustypes=28&limit=0"
                                                           << "Results 1 - 152 of 152 Matching Services";
    QTest::newRow("services 4: WARNING only") << "host=all&servicestatustypes=4&limit=0"
                                              << "Results 1 - 1 of 1 Matching Services";
    QTest::newRow("limit and start pick a later page") << "host=all&servicestatustypes=16&limit=50&start=100"
                                                       << "Results 100 - 150 of 150 Matching Services";
    QTest::newRow("default limit 100 cuts, zero-based like Nagios")
        << "host=all&servicestatustypes=16"
        << "Results 0 - 100 of 150 Matching Services";
}

void TestNagiosSimulator::maskAndLimitSelectRows()
{
    QFETCH(QString, query);
    QFETCH(QString, totals);
    NagiosSimulator sim;
    sim.setHost(QStringLiteral("web-01"), NagiosSimulator::HostState::Down);
    sim.setHost(QStringLiteral("switch"), NagiosSimulator::HostState::Unreachable);
    sim.setHost(QStringLiteral("printer"), NagiosSimulator::HostState::Up);
    sim.setService(QStringLiteral("web-01"), QStringLiteral("Disk"), NagiosSimulator::ServiceState::Warning);
    sim.setService(QStringLiteral("web-01"), QStringLiteral("Agent"), NagiosSimulator::ServiceState::Unknown);
    sim.setService(QStringLiteral("web-01"), QStringLiteral("PING"), NagiosSimulator::ServiceState::Ok);
    sim.addGeneratedServices(15, 10, NagiosSimulator::ServiceState::Critical);
    const QByteArray page
        = query.contains(QLatin1String("hoststatustypes")) ? sim.hostsPage(query) : sim.servicesPage(query);
    static const QRegularExpression title(QStringLiteral("<div class='itemTotalsTitle'>([^<]*)</div>"));
    QCOMPARE(title.match(QString::fromUtf8(page)).captured(1), totals);
}

void TestNagiosSimulator::commands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("quoted name, output of several words")
        << "host \"lab printer\" DOWN CRITICAL - gone" << true;
    QTest::newRow("service without HOST|DESC") << "service web-01 CRITICAL" << false;
    QTest::newRow("sizes in K, M or G") << "gzipbomb 2G" << true;
    QTest::newRow("a number that is none") << "trickle soon" << false;
    QTest::newRow("too many arguments") << "clear now" << false;
    QTest::newRow("comment") << "# neveranswer on" << true;
}

void TestNagiosSimulator::commands()
{
    QFETCH(QString, line);
    QFETCH(bool, accepted);
    NagiosSimulator sim;
    QString error;
    QCOMPARE(sim.applyCommand(line, &error), accepted);
    QCOMPARE(error.isEmpty(), accepted);
}

QTEST_GUILESS_MAIN(TestNagiosSimulator)
#include "tst_nagiossimulator.moc"
