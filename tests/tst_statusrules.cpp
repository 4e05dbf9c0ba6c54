#include "config/monitorsettings.h"
#include "monitor/statusrules.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <algorithm>

namespace {

const QString fixtures = QStringLiteral(TARVIX_FIXTURES_DIR);

// The templates as written down for the program, typed out here so that a changed template fails.
const QString hostsPrefix = QStringLiteral("^\\s*<td .*\\s?class=['\"](");
const QString srvcsPrefix = QStringLiteral("^\\s*<TD .*\\s?class=['\"](");
const QString suffix = QStringLiteral(")['\"]\\s?.*><a href=['\"](\\S+)['\"].*>(.+)</a>");

QByteArray readBody(const QString& path)
{
    if (path.endsWith(QLatin1String(".xz"))) {
        QProcess xz;
        xz.start(QStringLiteral("xz"), {QStringLiteral("-dc"), path});
        if (!xz.waitForFinished(30000) || xz.exitStatus() != QProcess::NormalExit || xz.exitCode() != 0)
            return {};
        return xz.readAllStandardOutput();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString readPage(const QString& relativePath)
{
    const QByteArray body = readBody(fixtures + QLatin1Char('/') + relativePath);
    if (body.isEmpty())
        qFatal("cannot read fixture %s", qPrintable(relativePath));
    return pageText(body);
}

// Nagios' link encoding: space as "+", everything but letters, digits and "-._~" as %XX.
QString linkEncoded(const QString& name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name, " ").replace(' ', '+'));
}

BasicStatusChoice choiceOf(const QStringList& statuses)
{
    BasicStatusChoice choice;
    choice.hostDown = statuses.contains(QLatin1String("DOWN"));
    choice.hostUnreachable = statuses.contains(QLatin1String("UNREACHABLE"));
    choice.serviceCritical = statuses.contains(QLatin1String("CRITICAL"));
    choice.serviceWarning = statuses.contains(QLatin1String("WARNING"));
    choice.serviceUnknown = statuses.contains(QLatin1String("UNKNOWN"));
    return choice;
}

// "name|link|status" per row, sorted: the tests compare sets and count duplicates.
QStringList describe(const QList<StatusRow>& rows)
{
    QStringList lines;
    for (const StatusRow& row : rows)
        lines.append(row.name + QLatin1Char('|') + row.link + QLatin1Char('|') + row.status);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// What a scenario's problems look like on its pages with the chosen statuses. Acknowledged and
// downtimed services change their class (statusBGCRITICALACK, statusBGWARNINGSCHED), which the
// basic expressions do not name; hosts keep statusHOSTDOWN on the name cell.
QStringList expectedRows(const QString& folder, bool services, const QStringList& statuses)
{
    QFile file(fixtures + QLatin1Char('/') + folder + QLatin1String("/scenario.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read scenario of %s", qPrintable(folder));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList handled;
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if ((f.at(0) == QLatin1String("ack") || f.at(0) == QLatin1String("downtime"))
            && f.at(1) == QLatin1String("service"))
            handled.append(f.at(2) + QLatin1Char('\t') + f.at(3));
    }
    QStringList expected;
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (!services && f.at(0) == QLatin1String("host") && statuses.contains(f.at(2))) {
            expected.append(f.at(1) + QLatin1String("|extinfo.cgi?type=1&host=") + linkEncoded(f.at(1))
                + QLatin1String("|HOST") + f.at(2));
        }
        if (services && f.at(0) == QLatin1String("service") && statuses.contains(f.at(3))
            && !handled.contains(f.at(1) + QLatin1Char('\t') + f.at(2))) {
            expected.append(f.at(2) + QLatin1Char(':') + f.at(1) + QLatin1String("|extinfo.cgi?type=2&host=")
                + linkEncoded(f.at(1)) + QLatin1String("&service=") + linkEncoded(f.at(2)) + QLatin1Char('|')
                + f.at(3));
        }
    }
    std::sort(expected.begin(), expected.end());
    return expected;
}

// The captures 0-4 of a line as extraction reports them (status with "status" removed).
QStringList extractedCaptures(const QString& pattern, const QString& line)
{
    const QList<StatusRow> first = extractHostRows(line, PageRule {pattern, 0, 1, 2});
    const QList<StatusRow> second = extractHostRows(line, PageRule {pattern, 3, 4, -1});
    if (first.isEmpty() || second.isEmpty())
        return {};
    return {first.at(0).status, first.at(0).link, first.at(0).name, second.at(0).status, second.at(0).link,
        second.at(0).name};
}

// The same through the expression itself, as the program specifies it.
QStringList expressionCaptures(const QString& pattern, const QString& line)
{
    static QHash<QString, QRegularExpression> compiled;
    auto known = compiled.find(pattern);
    if (known == compiled.end()) {
        known = compiled.insert(pattern,
            QRegularExpression(pattern,
                QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption));
    }
    const QRegularExpressionMatch match = known->match(line);
    if (!match.hasMatch())
        return {};
    auto status = [](QString text) { return text.remove(QStringLiteral("status"), Qt::CaseSensitive); };
    return {status(match.captured(0)), match.captured(1), match.captured(2), status(match.captured(3)),
        match.captured(4), QString()};
}

QStringList allBasicPatterns()
{
    QStringList patterns;
    for (int bits = 0; bits < 32; ++bits) {
        BasicStatusChoice choice;
        choice.hostDown = bits & 1;
        choice.hostUnreachable = bits & 2;
        choice.serviceCritical = bits & 4;
        choice.serviceWarning = bits & 8;
        choice.serviceUnknown = bits & 16;
        if (bits < 4)
            patterns.append(basicHostsRegExp(choice));
        if ((bits & 3) == 0)
            patterns.append(basicServicesRegExp(choice));
    }
    patterns.append(
        QString(hostsPrefix + QLatin1String("statusEven|statusOdd|StatusBGCRITICALACK") + suffix));
    patterns.append(QString(srvcsPrefix + QLatin1String("statusBGWARNINGSCHED|_|k|s|") + suffix));
    return patterns;
}

} // namespace

class TestStatusRules : public QObject
{
    Q_OBJECT

private slots:
    void basicExpressions_data();
    void basicExpressions();
    void defaultExpressionsAreTheTemplates();
    void fixturePages_data();
    void fixturePages();
    void acknowledgedServicesAreNotProblems();
    void largeHostsPages_data();
    void largeHostsPages();
    void errorPagesHoldNoStatus_data();
    void errorPagesHoldNoStatus();
    void templateScanMatchesExpressionOnFixtures();
    void templateScanMatchesExpressionOnCraftedLines_data();
    void templateScanMatchesExpressionOnCraftedLines();
    void templateScanMatchesExpressionOnRandomLines();
    void templateScanTreatsUnicodeSpacesAsExpression();
    void capturePositions_data();
    void capturePositions();
    void upperCaseCellMatchesHostsTemplate();
    void serviceRows_data();
    void serviceRows();
    void hostInLink_data();
    void hostInLink();
    void hostInLinkMatchesExpression();
    void longLinesTakeLinearTime();
    void linesAndText_data();
    void linesAndText();
    void invalidUtf8IsRead();
    void invalidPatternFindsNothing();
    void serviceFilterEntry_data();
    void serviceFilterEntry();
    void hostFilters_data();
    void hostFilters();
    void serviceFilters_data();
    void serviceFilters();
};

void TestStatusRules::basicExpressions_data()
{
    QTest::addColumn<bool>("first");
    QTest::addColumn<bool>("second");
    QTest::addColumn<bool>("third");
    QTest::addColumn<QString>("hostsGroup");
    QTest::addColumn<QString>("servicesGroup");

    QTest::newRow("nothing chosen") << false << false << false << QString() << QString();
    QTest::newRow("down / critical") << true << false << false << "statusHOSTDOWN"
                                     << "statusBGCRITICAL";
    QTest::newRow("unreachable alone has no leading bar / warning alone")
        << false << true << false << "statusHOSTUNREACHABLE"
        << "statusBGWARNING";
    QTest::newRow("both hosts / critical and warning")
        << true << true << false << "statusHOSTDOWN|statusHOSTUNREACHABLE"
        << "statusBGCRITICAL|statusBGWARNING";
    QTest::newRow("unknown alone") << false << false << true << QString() << "statusBGUNKNOWN";
    QTest::newRow("critical and unknown") << true << false << true << "statusHOSTDOWN"
                                          << "statusBGCRITICAL|statusBGUNKNOWN";
    QTest::newRow("warning and unknown") << false << true << true << "statusHOSTUNREACHABLE"
                                         << "statusBGWARNING|statusBGUNKNOWN";
    QTest::newRow("all three") << true << true << true << "statusHOSTDOWN|statusHOSTUNREACHABLE"
                               << "statusBGCRITICAL|statusBGWARNING|statusBGUNKNOWN";
}

void TestStatusRules::basicExpressions()
{
    QFETCH(bool, first);
    QFETCH(bool, second);
    QFETCH(bool, third);
    QFETCH(QString, hostsGroup);
    QFETCH(QString, servicesGroup);

    BasicStatusChoice choice;
    choice.hostDown = first;
    choice.hostUnreachable = second;
    choice.serviceCritical = first;
    choice.serviceWarning = second;
    choice.serviceUnknown = third;
    QCOMPARE(basicHostsRegExp(choice), hostsPrefix + hostsGroup + suffix);
    QCOMPARE(basicServicesRegExp(choice), srvcsPrefix + servicesGroup + suffix);
}

void TestStatusRules::defaultExpressionsAreTheTemplates()
{
    QCOMPARE(hostsRegExpTemplate, hostsPrefix + QLatin1String("status_list") + suffix);
    QCOMPARE(srvcsRegExpTemplate, srvcsPrefix + QLatin1String("status_list") + suffix);
    QCOMPARE(
        defaultHostsRegExp, hostsPrefix + QLatin1String("statusHOSTDOWN|statusHOSTUNREACHABLE") + suffix);
    QCOMPARE(defaultSrvcsRegExp, srvcsPrefix + QLatin1String("statusBGCRITICAL") + suffix);
    QCOMPARE(hostInLinkRegExp, QStringLiteral("host=(\\S+)[&$]"));
}

void TestStatusRules::fixturePages_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("services");
    QTest::addColumn<QStringList>("statuses");

    const QStringList folders
        = {QStringLiteral("01-all-ok"), QStringLiteral("02-hosts-down"), QStringLiteral("03-services-mixed"),
            QStringLiteral("04-host-down-services-critical"), QStringLiteral("06-ack-downtime")};
    const QStringList hostStatuses = {QStringLiteral("DOWN"), QStringLiteral("UNREACHABLE")};
    const QList<QStringList> serviceChoices = {
        {QStringLiteral("CRITICAL"), QStringLiteral("WARNING")},
        {QStringLiteral("CRITICAL"), QStringLiteral("WARNING"), QStringLiteral("UNKNOWN")},
        {QStringLiteral("CRITICAL")},
        {QStringLiteral("UNKNOWN")},
    };
    for (const QString& folder : folders) {
        QTest::addRow("%s hosts down+unreachable", qPrintable(folder)) << folder << false << hostStatuses;
        QTest::addRow("%s hosts unreachable", qPrintable(folder))
            << folder << false << QStringList {QStringLiteral("UNREACHABLE")};
        for (const QStringList& statuses : serviceChoices)
            QTest::addRow("%s services %s", qPrintable(folder), qPrintable(statuses.join(QLatin1Char('+'))))
                << folder << true << statuses;
    }
}

void TestStatusRules::fixturePages()
{
    QFETCH(QString, folder);
    QFETCH(bool, services);
    QFETCH(QStringList, statuses);

    const QString text
        = readPage(folder + (services ? QLatin1String("/services.html") : QLatin1String("/hosts.html")));
    const BasicStatusChoice choice = choiceOf(statuses);
    const QList<StatusRow> rows = services ? extractServiceRows(text, PageRule {basicServicesRegExp(choice)})
                                           : extractHostRows(text, PageRule {basicHostsRegExp(choice)});
    QCOMPARE(describe(rows), expectedRows(folder, services, statuses));
    QVERIFY(looksLikeStatusPage(text));
    for (const StatusRow& row : rows) {
        if (services)
            QCOMPARE(row.serviceName, row.name.section(QLatin1Char(':'), 0, -2));
    }
}

void TestStatusRules::acknowledgedServicesAreNotProblems()
{
    // With every status box ticked the acknowledged MySQL (statusBGCRITICALACK) and the downtimed
    // SMTP (statusBGWARNINGSCHED) are still no rows: the class must be followed by its quote.
    // The acknowledged and downtimed hosts are rows: Nagios keeps statusHOSTDOWN on their name cell.
    const QString services = readPage(QStringLiteral("06-ack-downtime/services.html"));
    BasicStatusChoice all;
    all.hostDown = all.hostUnreachable = all.serviceCritical = all.serviceWarning = all.serviceUnknown = true;
    QStringList names;
    for (const StatusRow& row : extractServiceRows(services, PageRule {basicServicesRegExp(all)}))
        names.append(row.name);
    QCOMPARE(names,
        (QStringList {QStringLiteral("Replication Lag:db.example.lan"), QStringLiteral("IMAP:mail-01")}));

    const QString hosts = readPage(QStringLiteral("06-ack-downtime/hosts.html"));
    names.clear();
    for (const StatusRow& row : extractHostRows(hosts, PageRule {defaultHostsRegExp}))
        names.append(row.name);
    QCOMPARE(names, (QStringList {QStringLiteral("WEB-01"), QStringLiteral("web-02")}));

    // An expert expression can still name the acknowledged classes.
    const QString withAck = srvcsPrefix + QLatin1String("statusBGCRITICALACK|statusBGWARNINGSCHED") + suffix;
    names.clear();
    for (const StatusRow& row : extractServiceRows(services, PageRule {withAck}))
        names.append(row.name + QLatin1Char('=') + row.status);
    QCOMPARE(names,
        (QStringList {QStringLiteral("MySQL:db.example.lan=CRITICALACK"),
            QStringLiteral("SMTP:mail-01=WARNINGSCHED")}));
}

void TestStatusRules::largeHostsPages_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("rowCount");

    QTest::newRow("cut at the server's result limit") << "large/hosts.html.xz" << 100;
    QTest::newRow("all rows with limit=0") << "large/hosts-limit0.html.xz" << 200;
}

void TestStatusRules::largeHostsPages()
{
    QFETCH(QString, page);
    QFETCH(int, rowCount);

    const QString text = readPage(page);
    const QList<StatusRow> rows = extractHostRows(text, PageRule {defaultHostsRegExp});
    QCOMPARE(rows.size(), rowCount);
    QStringList names;
    for (const StatusRow& row : rows) {
        names.append(row.name);
        QVERIFY2(row.status == QLatin1String("HOSTDOWN") || row.status == QLatin1String("HOSTUNREACHABLE"),
            qPrintable(row.status));
        QCOMPARE(row.link, QLatin1String("extinfo.cgi?type=1&host=") + linkEncoded(row.name));
    }
    names.removeDuplicates();
    QCOMPARE(names.size(), rowCount);
    QVERIFY(looksLikeStatusPage(text));

    // The user's copy of the same expression (not recognised as a template) finds the same rows.
    QCOMPARE(describe(extractHostRows(text, PageRule {defaultHostsRegExp + QLatin1String("(?:)")})),
        describe(rows));
}

void TestStatusRules::errorPagesHoldNoStatus_data()
{
    QTest::addColumn<QString>("page");
    for (const QString& name : QDir(fixtures + QLatin1String("/http")).entryList({QStringLiteral("*.html")}))
        QTest::newRow(qPrintable(name)) << QString(QLatin1String("http/") + name);
}

void TestStatusRules::errorPagesHoldNoStatus()
{
    QFETCH(QString, page);

    const QString text = readPage(page);
    BasicStatusChoice all;
    all.hostDown = all.hostUnreachable = all.serviceCritical = all.serviceWarning = all.serviceUnknown = true;
    QVERIFY(extractHostRows(text, PageRule {basicHostsRegExp(all)}).isEmpty());
    QVERIFY(extractServiceRows(text, PageRule {basicServicesRegExp(all)}).isEmpty());
    QVERIFY(!looksLikeStatusPage(text));
}

void TestStatusRules::templateScanMatchesExpressionOnFixtures()
{
    QStringList pages;
    for (const QString& folder : QDir(fixtures).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QString& name :
            QDir(fixtures + QLatin1Char('/') + folder).entryList({QStringLiteral("*.html*")}))
            pages.append(folder + QLatin1Char('/') + name);
    }
    QVERIFY(pages.size() >= 18);
    int matched = 0;
    for (const QString& page : pages) {
        for (const QString& line : readPage(page).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            for (const QString& pattern : allBasicPatterns()) {
                const QStringList expected = expressionCaptures(pattern, line);
                QCOMPARE(extractedCaptures(pattern, line), expected);
                matched += expected.isEmpty() ? 0 : 1;
            }
        }
    }
    QVERIFY(matched > 300);
}

void TestStatusRules::templateScanMatchesExpressionOnCraftedLines_data()
{
    QTest::addColumn<QString>("line");

    QTest::newRow("two rows on one line: the greedy scan takes the last")
        << "<td class='statusHOSTDOWN'><a href='x'>A</a> <td class='statusHOSTDOWN'><a href='y'>B</a>";
    QTest::newRow("two chosen classes: the last one counts")
        << "<td class='statusBGCRITICAL' class='statusBGWARNING'><a href='x'>n</a>";
    QTest::newRow("the same class in two spellings: the last one counts")
        << "<td class='STATUSHOSTDOWN' x class=\"statusHOSTDOWN\"><a href='x'>n</a>";
    QTest::newRow("class twice, link twice, nested anchors")
        << "  <TD x class='statusBGCRITICAL' class='statusBGWARNING'><a href='l1' "
           "class=\"statusBGCRITICAL\"><a "
           "href=\"l2\">n1</a>n2</a>x</a>";
    QTest::newRow("quote inside the link run") << "<td a class='statusHOSTDOWN'><a href='a b' c'>>>n</a></a>";
    QTest::newRow("link with quotes and no space") << "<td  class='statusHOSTDOWN'><a href='x'y'z'>w</a>";
    QTest::newRow("tab before the cell, carriage return after")
        << "\t<TD class=\"statusHOSTDOWN\" ><a href=\"q\" >na</a>\r";
    QTest::newRow("space inside the link ends the run") << "<td class='statusHOSTDOWN'><a href='a b'>n</a>";
    QTest::newRow("link closes after the name's '>'") << "<td class='statusHOSTDOWN'><a href='ab>c'>n</a>";
    QTest::newRow("empty name") << "<td class='statusHOSTDOWN'><a href='x'></a>";
    QTest::newRow("name of one character") << "<td class='statusHOSTDOWN'><a href='x'>n</a>";
    QTest::newRow("name holding tags") << "<td class='statusBGCRITICAL'><a href='x'><b>bold</b> name</a>";
    QTest::newRow("closing tag in capitals") << "<td class='statusHOSTDOWN'><A HREF='x'>n</A>";
    QTest::newRow("class right after the tag") << "<td class='statusHOSTDOWN'><a href='x'>n</a>";
    QTest::newRow("no space after td") << "<tdclass='statusHOSTDOWN'><a href='x'>n</a>";
    QTest::newRow("text before the cell") << "x <td class='statusHOSTDOWN'><a href='x'>n</a>";
    QTest::newRow("class value not closed") << "<td class='statusHOSTDOWN><a href='x'>n</a>";
    QTest::newRow("longer class value") << "<td class='statusHOSTDOWNX'><a href='x'>n</a>";
    QTest::newRow("class in the link's title") << "<td x><a href='x' class='statusHOSTDOWN'>n</a>";
    QTest::newRow("class after the link") << "<td x><a href='x'>n</a><td class='statusHOSTDOWN'>";
    QTest::newRow("kelvin sign and long s stand for k and s")
        << QString::fromUtf8("<td cla\u017f\u017f='statusBGUN\u212aNOWN'><a href='x'>n</a>");
    QTest::newRow("non-breaking space before class")
        << QString::fromUtf8("<td x\u00a0class='statusHOSTDOWN'><a href='x'>n</a>");
    QTest::newRow("ideographic space ends the link")
        << QString::fromUtf8("<td class='statusHOSTDOWN'><a href='a\u3000b'>n</a>");
    QTest::newRow("Cyrillic everywhere")
        << QString::fromUtf8("<td class='statusHOSTDOWN'><a href='extinfo.cgi?host=сервер'>сервер-1</a>");
    QTest::newRow("mixed quotes") << "<td class=\"statusBGWARNING'><a href='x\">n</a>";
    QTest::newRow("only the tag") << "<td ";
    QTest::newRow("empty class alternative") << "<td class=''><a href='x'>n</a>";
    QTest::newRow("very long line") << QString(QStringLiteral("<td class='statusHOSTDOWN'>")
        + QString(3000, QLatin1Char('>')) + QStringLiteral("<a href='") + QString(3000, QLatin1Char('\''))
        + QStringLiteral(">n</a>"));
}

void TestStatusRules::templateScanMatchesExpressionOnCraftedLines()
{
    QFETCH(QString, line);

    for (const QString& pattern : allBasicPatterns())
        QCOMPARE(extractedCaptures(pattern, line), expressionCaptures(pattern, line));
}

void TestStatusRules::templateScanMatchesExpressionOnRandomLines()
{
    // Lines put together from the pieces the scan reasons about, in random order and case.
    const QStringList pieces = {QStringLiteral("<td "), QStringLiteral("<TD "), QStringLiteral(" "),
        QStringLiteral("\t"), QStringLiteral("class="), QStringLiteral("CLASS="), QStringLiteral("'"),
        QStringLiteral("\""), QStringLiteral("statusHOSTDOWN"), QStringLiteral("statusBGCRITICAL"),
        QStringLiteral("statusbgwarning"), QStringLiteral("statusBGUNKNOWN"), QStringLiteral("statusEven"),
        QStringLiteral(">"), QStringLiteral("><a href="), QStringLiteral("><A HREF="),
        QStringLiteral("<a href="), QStringLiteral("</a>"), QStringLiteral("</A>"), QStringLiteral("x"),
        QStringLiteral("host=web1&"), QStringLiteral("="), QStringLiteral("<"), QString(QChar(0x3000)),
        QString(QChar(0x212A)), QStringLiteral("\r"), QStringLiteral(" class='statusHOSTUNREACHABLE'"),
        QStringLiteral(" class=\"statusBGwarning\""), QStringLiteral("><a href='y'>z</a>")};
    const QStringList skeleton = {QStringLiteral("<td "), QStringLiteral("class="), QStringLiteral("'"),
        QStringLiteral("statusHOSTDOWN"), QStringLiteral("'"), QStringLiteral("><a href="),
        QStringLiteral("'"), QStringLiteral("x"), QStringLiteral("'"), QStringLiteral(">"),
        QStringLiteral("x"), QStringLiteral("</a>")};
    const QStringList classes = {QStringLiteral("statusHOSTDOWN"), QStringLiteral("STATUSHOSTUNREACHABLE"),
        QStringLiteral("statusBGCRITICAL"), QStringLiteral("statusbgwarning"),
        QStringLiteral("statusBGUNKNOWN"), QStringLiteral("statusEven"), QStringLiteral("_"), QString()};
    QRandomGenerator random(20261206);
    const QStringList patterns = allBasicPatterns();
    int matched = 0;
    for (int i = 0; i < 5000; ++i) {
        QString line;
        if (random.bounded(2) == 0) {
            // A row with random pieces between, before and after its parts.
            for (const QString& part : skeleton) {
                while (random.bounded(6) == 0)
                    line += pieces.at(random.bounded(pieces.size()));
                line += part == QLatin1String("statusHOSTDOWN") ? classes.at(random.bounded(classes.size()))
                                                                : part;
            }
        } else {
            line = random.bounded(4) == 0 ? QString() : QStringLiteral("<td ");
        }
        const int count = random.bounded(12);
        for (int j = 0; j < count; ++j)
            line += pieces.at(random.bounded(pieces.size()));
        for (const QString& pattern : patterns) {
            const QStringList expected = expressionCaptures(pattern, line);
            const QStringList actual = extractedCaptures(pattern, line);
            if (actual != expected)
                QFAIL(qPrintable(
                    QStringLiteral("pattern %1\nline %2\nexpected %3\nactual %4")
                        .arg(pattern, line, expected.join(QLatin1Char('|')), actual.join(QLatin1Char('|')))));
            matched += expected.isEmpty() ? 0 : 1;
        }
    }
    QVERIFY2(matched > 1000, qPrintable(QString::number(matched)));
}

void TestStatusRules::templateScanTreatsUnicodeSpacesAsExpression()
{
    // Every BMP character before the cell (skipped when a space), inside the link (ending its run
    // at the first quote when a space) and around the class attribute; one page per place, with
    // the character's number as the row's name.
    const QString pattern = defaultHostsRegExp;
    const QStringList places = {QStringLiteral("%1<td class='statusHOSTDOWN'><a href='a'>%2</a>"),
        QStringLiteral("<td class='statusHOSTDOWN'><a href='a'b%1c'>%2</a>"),
        QStringLiteral("<td x%1class='statusHOSTDOWN'%1><a href='a'>%2</a>")};
    for (const QString& place : places) {
        QString page;
        QStringList expected;
        for (char32_t code = 0; code < 0x10000; ++code) {
            if (QChar::isSurrogate(code) || code == u'\n')
                continue;
            const QString line = place.arg(QChar(static_cast<char16_t>(code))).arg(static_cast<uint>(code));
            page += line + QLatin1Char('\n');
            const QStringList captures = expressionCaptures(pattern, line);
            if (!captures.isEmpty())
                expected.append(captures.mid(0, 3).join(QLatin1Char('|')));
        }
        QStringList actual;
        for (const StatusRow& row : extractHostRows(page, PageRule {pattern, 0, 1, 2}))
            actual.append(row.status + QLatin1Char('|') + row.link + QLatin1Char('|') + row.name);
        QCOMPARE(actual, expected);
        QVERIFY(actual.size() >= 25);
    }
}

void TestStatusRules::capturePositions_data()
{
    QTest::addColumn<int>("statusPos");
    QTest::addColumn<int>("linkPos");
    QTest::addColumn<int>("namePos");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("name");

    QTest::newRow("groups in order") << 1 << 2 << 3 << "HOSTDOWN"
                                     << "extinfo.cgi?type=1&host=web1"
                                     << "web1";
    QTest::newRow("zero is the whole match")
        << 0 << 0 << 3
        << "   <td align=left class='HOSTDOWN'><a href='extinfo.cgi?type=1&host=web1' title='x'>web1</a>"
        << "   <td align=left class='statusHOSTDOWN'><a href='extinfo.cgi?type=1&host=web1' "
           "title='x'>web1</a>"
        << "web1";
    QTest::newRow("beyond the groups is empty") << 4 << 9 << 3 << QString() << QString() << "web1";
    QTest::newRow("negative is empty") << -1 << 2 << 1 << QString() << "extinfo.cgi?type=1&host=web1"
                                       << "statusHOSTDOWN";
    QTest::newRow("swapped") << 3 << 1 << 2 << "web1"
                             << "statusHOSTDOWN"
                             << "extinfo.cgi?type=1&host=web1";
}

void TestStatusRules::capturePositions()
{
    QFETCH(int, statusPos);
    QFETCH(int, linkPos);
    QFETCH(int, namePos);
    QFETCH(QString, status);
    QFETCH(QString, link);
    QFETCH(QString, name);

    const QString page = QStringLiteral("<tr>\n   <td align=left class='statusHOSTDOWN'><a "
                                        "href='extinfo.cgi?type=1&host=web1' title='x'>web1</a>"
                                        "&nbsp;</td>\n</tr>\n");
    for (const QString& pattern : {defaultHostsRegExp, QString(defaultHostsRegExp + QLatin1String("(?:)"))}) {
        const QList<StatusRow> rows = extractHostRows(page, PageRule {pattern, statusPos, linkPos, namePos});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.at(0).status, status);
        QCOMPARE(rows.at(0).link, link);
        QCOMPARE(rows.at(0).name, name);
    }
}

void TestStatusRules::upperCaseCellMatchesHostsTemplate()
{
    const QString page = QStringLiteral(
        "<TD ALIGN=LEFT CLASS='STATUSHOSTDOWN'><A HREF='extinfo.cgi?type=1&host=web1'>web1</A></TD>\n"
        "<td align=left class=\"statusHOSTUNREACHABLE\"><a "
        "href=\"extinfo.cgi?type=1&host=web2\">web2</a></td>\n");
    const QList<StatusRow> rows = extractHostRows(page, PageRule {defaultHostsRegExp});
    QCOMPARE(describe(rows),
        (QStringList {QStringLiteral("web1|extinfo.cgi?type=1&host=web1|STATUSHOSTDOWN"),
            QStringLiteral("web2|extinfo.cgi?type=1&host=web2|HOSTUNREACHABLE")}));
}

void TestStatusRules::serviceRows_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("serviceName");
    QTest::addColumn<QString>("status");

    QTest::newRow("host from the link")
        << "<td class='statusBGCRITICAL'><a href='extinfo.cgi?type=2&host=web1&service=HTTP'>HTTP</a></td>"
        << "HTTP:web1"
        << "HTTP"
        << "CRITICAL";
    QTest::newRow("encoded host is decoded")
        << "<td class='statusBGCRITICAL'><a "
           "href='extinfo.cgi?type=2&host=lab+printer&service=Toner'>Toner</a>"
        << "Toner:lab printer"
        << "Toner"
        << "CRITICAL";
    QTest::newRow("link without host is skipped")
        << "<td class='statusBGCRITICAL'><a href='extinfo.cgi?type=2&service=HTTP'>HTTP</a></td>" << QString()
        << QString() << QString();
    QTest::newRow("host last in the link is skipped")
        << "<td class='statusBGCRITICAL'><a href='extinfo.cgi?type=2&host=web1'>HTTP</a></td>" << QString()
        << QString() << QString();
    QTest::newRow("status keeps what follows statusBG")
        << "<td class='statusBGCRITICAL'><a href='extinfo.cgi?host=db&service=x'>x</a>"
        << "x:db"
        << "x"
        << "CRITICAL";
}

void TestStatusRules::serviceRows()
{
    QFETCH(QString, line);
    QFETCH(QString, name);
    QFETCH(QString, serviceName);
    QFETCH(QString, status);

    const QList<StatusRow> rows = extractServiceRows(line + QLatin1Char('\n'), PageRule {defaultSrvcsRegExp});
    QCOMPARE(rows.size(), name.isEmpty() ? 0 : 1);
    if (name.isEmpty())
        return;
    QCOMPARE(rows.at(0).name, name);
    QCOMPARE(rows.at(0).serviceName, serviceName);
    QCOMPARE(rows.at(0).status, status);
}

void TestStatusRules::hostInLink_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("host");

    QTest::newRow("plain") << "extinfo.cgi?type=2&host=web1&service=HTTP" << true << "web1";
    QTest::newRow("plus is a space") << "extinfo.cgi?type=2&host=lab+printer&service=x" << true
                                     << "lab printer";
    QTest::newRow("percent-encoded UTF-8")
        << "extinfo.cgi?type=2&host=%D1%81%D0%B5%D1%80%D0%B2%D0%B5%D1%80-1&service=x" << true
        << QString::fromUtf8("сервер-1");
    QTest::newRow("encoded plus stays a plus") << "host=c%2B%2B&x" << true << "c++";
    QTest::newRow("dollar ends the host too") << "host=a$" << true << "a";
    QTest::newRow("greedy: the last ampersand of the run") << "host=a&b&c" << true << "a&b";
    QTest::newRow("dollar is literal inside the host") << "host=a$b&c" << true << "a$b";
    QTest::newRow("space ends the run") << "host=a b&c" << false << QString();
    QTest::newRow("a later host= is tried") << "host=a host=b&c" << true << "b";
    QTest::newRow("no ampersand after host") << "extinfo.cgi?type=1&host=web1" << false << QString();
    QTest::newRow("no host") << "extinfo.cgi?type=2&service=HTTP" << false << QString();
    QTest::newRow("case-sensitive") << "HOST=web1&x" << false << QString();
    QTest::newRow("empty host") << "host=&x" << false << QString();
    QTest::newRow("broken escape left as it is") << "host=a%zz&x" << true << "a%zz";
}

void TestStatusRules::hostInLink()
{
    QFETCH(QString, link);
    QFETCH(bool, found);
    QFETCH(QString, host);

    QString actual;
    QCOMPARE(hostOfServiceLink(link, &actual), found);
    if (found)
        QCOMPARE(actual, host);
}

void TestStatusRules::hostInLinkMatchesExpression()
{
    const QRegularExpression expression(hostInLinkRegExp, QRegularExpression::UseUnicodePropertiesOption);
    const QStringList pieces = {QStringLiteral("host="), QStringLiteral("Host="), QStringLiteral("&"),
        QStringLiteral("$"), QStringLiteral(" "), QStringLiteral("a"), QStringLiteral("web-1"),
        QStringLiteral("="), QString(QChar(0x00A0)), QStringLiteral("?")};
    QRandomGenerator random(42);
    int found = 0;
    for (int i = 0; i < 20000; ++i) {
        QString link;
        for (int j = 0, count = 1 + random.bounded(10); j < count; ++j)
            link += pieces.at(random.bounded(pieces.size()));
        const QRegularExpressionMatch match = expression.match(link);
        QString host;
        QCOMPARE(hostOfServiceLink(link, &host), match.hasMatch());
        if (match.hasMatch()) {
            QCOMPARE(host, match.captured(1));
            ++found;
        }
    }
    QVERIFY(found > 1000);
}

void TestStatusRules::longLinesTakeLinearTime()
{
    // Lines a broken or hostile server could send; a scan that restarts at every candidate would
    // take minutes here.
    QElapsedTimer timer;
    timer.start();
    QString host;
    QVERIFY(!hostOfServiceLink(QString(QStringLiteral("host=")).repeated(100000), &host));
    const QString cell = QStringLiteral("<td class='statusHOSTDOWN'>");
    QVERIFY(extractHostRows(
        cell + QString(QStringLiteral("><a href='x y")).repeated(50000), PageRule {defaultHostsRegExp})
                .isEmpty());
    QVERIFY(extractHostRows(
        cell + QString(QStringLiteral("class='statusHOSTDOWN' ")).repeated(20000) + QStringLiteral("</a>"),
        PageRule {defaultHostsRegExp})
                .isEmpty());
    QCOMPARE(extractServiceRows(cell + QStringLiteral("><a href='host=")
                     + QString(QStringLiteral("host=a")).repeated(50000) + QStringLiteral("&'>n</a>"),
                 PageRule {defaultHostsRegExp})
                 .size(),
        1);
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
}

void TestStatusRules::linesAndText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("lines split at LF, empty ones dropped")
        << QByteArray("\n\nab\n\n\ncd\n") << QStringList {QStringLiteral("ab"), QStringLiteral("cd")};
    QTest::newRow("carriage return stays in the line")
        << QByteArray("ab\r\ncd\r\n") << QStringList {QStringLiteral("ab\r"), QStringLiteral("cd\r")};
    QTest::newRow("text ends at the first NUL")
        << QByteArray("ab\ncd\0ef\ngh\n", 12) << QStringList {QStringLiteral("ab"), QStringLiteral("cd")};
    QTest::newRow("NUL first") << QByteArray("\0ab\n", 4) << QStringList {};
    QTest::newRow("UTF-8") << QByteArray("\xd1\x81\xd0\xb5\xd1\x80\xd0\xb2\xd0\xb5\xd1\x80-1")
                           << QStringList {QString::fromUtf8("сервер-1")};
}

void TestStatusRules::linesAndText()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, names);

    QStringList actual;
    for (const StatusRow& row : extractHostRows(pageText(body), PageRule {QStringLiteral("(.+)"), 1, 1, 1}))
        actual.append(row.name);
    QCOMPARE(actual, names);
}

void TestStatusRules::invalidUtf8IsRead()
{
    const QByteArray body("<td class='statusHOSTDOWN'><a href='extinfo.cgi?type=1&host=x'>a\xff\xfe\xc3</a>\n"
                          "\xed\xa0\x80<td class='statusHOSTDOWN'><a href='h'>b</a>\n");
    const QString text = pageText(body);
    QVERIFY(text.contains(QChar(QChar::ReplacementCharacter)));
    const QList<StatusRow> rows = extractHostRows(text, PageRule {defaultHostsRegExp});
    QCOMPARE(rows.size(), 1);
    QVERIFY(rows.at(0).name.startsWith(QLatin1Char('a')));
}

void TestStatusRules::invalidPatternFindsNothing()
{
    const QString page = readPage(QStringLiteral("02-hosts-down/hosts.html"));
    QVERIFY(extractHostRows(page, PageRule {QStringLiteral("(unclosed")}).isEmpty());
    QVERIFY(extractServiceRows(page, PageRule {QStringLiteral("[")}).isEmpty());
    QCOMPARE(extractHostRows(page, PageRule {defaultHostsRegExp}).size(), 4);
}

void TestStatusRules::serviceFilterEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QStringList>("hosts");

    QTest::newRow("service on any host") << "HTTP"
                                         << "HTTP" << QStringList {};
    QTest::newRow("service on two hosts")
        << "HTTP:web1:web2"
        << "HTTP" << QStringList {QStringLiteral("web1"), QStringLiteral("web2")};
    QTest::newRow("empty parts dropped") << "::HTTP::web1:"
                                         << "HTTP" << QStringList {QStringLiteral("web1")};
    QTest::newRow("lone colon has no service") << ":" << QString() << QStringList {};
    QTest::newRow("empty entry") << "" << QString() << QStringList {};
}

void TestStatusRules::serviceFilterEntry()
{
    QFETCH(QString, entry);
    QFETCH(QString, service);
    QFETCH(QStringList, hosts);

    const ServiceFilterEntry filter(entry);
    QCOMPARE(filter.serviceName(), service);
    QCOMPARE(filter.hostNames(), hosts);
    QCOMPARE(filter.isValid(), !service.isEmpty());
    if (!filter.isValid()) {
        QVERIFY(!filter.matches(QString(), QString()));
        QVERIFY(!filter.matches(QString(), QStringLiteral("web1")));
        return;
    }
    QVERIFY(filter.matches(service.toUpper(), QStringLiteral("WEB1")));
    QVERIFY(filter.matches(service.toLower(), QStringLiteral("web1")));
    QCOMPARE(filter.matches(service, QStringLiteral("web3")), hosts.isEmpty());
    QVERIFY(!filter.matches(service + QLatin1Char('x'), QStringLiteral("web1")));
}

void TestStatusRules::hostFilters_data()
{
    QTest::addColumn<bool>("allExcept");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("counts");
    QTest::addColumn<bool>("recoveryAnnounced");

    const QStringList web1 = {QStringLiteral("WEB1")};
    QTest::newRow("all except: unlisted host counts") << true << web1 << "web2" << true << true;
    QTest::newRow("all except: listed host ignoring case does not")
        << true << web1 << "web1" << false << false;
    QTest::newRow("all except, empty list: every recovery")
        << true << QStringList {} << "web1" << true << true;
    QTest::newRow("only listed: listed host counts") << false << web1 << "Web1" << true << true;
    QTest::newRow("only listed: unlisted host does not") << false << web1 << "web2" << false << false;
    QTest::newRow("only listed, empty list: no recovery")
        << false << QStringList {} << "web1" << false << false;
    QTest::newRow("whole names only") << false << web1 << "web10" << false << false;
}

void TestStatusRules::hostFilters()
{
    QFETCH(bool, allExcept);
    QFETCH(QStringList, list);
    QFETCH(QString, host);
    QFETCH(bool, counts);
    QFETCH(bool, recoveryAnnounced);

    MonitorSettings settings;
    settings.allExceptSpecifedHosts = allExcept;
    settings.onlyListedHosts = !allExcept;
    settings.hostsList = list;
    QCOMPARE(hostRowCounts(settings, host), counts);
    QCOMPARE(hostRecoveryAnnounced(settings, host), recoveryAnnounced);
}

void TestStatusRules::serviceFilters_data()
{
    QTest::addColumn<bool>("allExcept");
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("serviceName");
    QTest::addColumn<bool>("counts");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<bool>("recoveryAnnounced");

    const QStringList http = {QStringLiteral("HTTP")};
    const QStringList httpWeb1 = {QStringLiteral("HTTP:web1")};
    QTest::newRow("all except HTTP: no HTTP row counts")
        << true << http << "http" << false << "HTTP:web1" << false;
    QTest::newRow("all except HTTP: no HTTP recovery on any host")
        << true << http << "HTTP" << false << "http:other" << false;
    QTest::newRow("all except HTTP: other services count")
        << true << http << "SSH" << true << "SSH:web1" << true;
    QTest::newRow("all except, empty list: every recovery")
        << true << QStringList {} << "SSH" << true << "SSH:web1" << true;
    QTest::newRow("only HTTP:web1: the bare service never counts, its recovery is announced")
        << false << httpWeb1 << "HTTP" << false << "HTTP:web1" << true;
    QTest::newRow("only HTTP:web1: recovery on another host is not announced")
        << false << httpWeb1 << "HTTP" << false << "HTTP:web2" << false;
    QTest::newRow("only HTTP: HTTP rows count") << false << http << "Http" << true << "HTTP:web9" << true;
    QTest::newRow("only listed, empty list: nothing")
        << false << QStringList {} << "HTTP" << false << "HTTP:web1" << false;
    QTest::newRow("service name with a colon: first and last part")
        << false << QStringList {QStringLiteral("Disk:web1")} << "Disk: /var" << false << "Disk: /var:web1"
        << true;
    QTest::newRow("service name with a colon is listed as a whole")
        << true << QStringList {QStringLiteral("Disk: /var")} << "Disk: /var" << false << "Disk: /var:web1"
        << true;
    QTest::newRow("lone colon entry matches nothing")
        << false << QStringList {QStringLiteral(":")} << ":" << true << ":web1" << false;
}

void TestStatusRules::serviceFilters()
{
    QFETCH(bool, allExcept);
    QFETCH(QStringList, list);
    QFETCH(QString, serviceName);
    QFETCH(bool, counts);
    QFETCH(QString, displayName);
    QFETCH(bool, recoveryAnnounced);

    MonitorSettings settings;
    settings.allExceptSpecifedSrvcs = allExcept;
    settings.onlyListedSrvcs = !allExcept;
    settings.servicesList = list;
    QCOMPARE(serviceRowCounts(settings, serviceName), counts);
    QCOMPARE(serviceRecoveryAnnounced(settings, displayName), recoveryAnnounced);
}

QTEST_GUILESS_MAIN(TestStatusRules)
#include "tst_statusrules.moc"
