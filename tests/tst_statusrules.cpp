#include "config/monitorsettings.h"
#include "monitor/statusrules.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

namespace {

const QString fixtures = QStringLiteral(TARVIX_FIXTURES_DIR);

// The templates typed out here so that a changed template fails.
const QString hostsPrefix = QStringLiteral("^\\s*<td .*\\s?class=['\"](");
const QString srvcsPrefix = QStringLiteral("^\\s*<TD .*\\s?class=['\"](");
const QString suffix = QStringLiteral(")['\"]\\s?.*><a href=['\"](\\S+)['\"].*>(.+)</a>");

QString readPage(const QString& relativePath)
{
    const QString path = fixtures + QLatin1Char('/') + relativePath;
    QByteArray body;
    if (path.endsWith(QLatin1String(".xz"))) {
        QProcess xz;
        xz.start(QStringLiteral("xz"), {QStringLiteral("-dc"), path});
        if (xz.waitForFinished(30000) && xz.exitCode() == 0)
            body = xz.readAllStandardOutput();
    } else {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            body = file.readAll();
    }
    if (body.isEmpty())
        qFatal("cannot read fixture %s", qPrintable(relativePath));
    return pageText(body);
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

QStringList describe(const QList<StatusRow>& rows)
{
    QStringList lines;
    for (const StatusRow& row : rows)
        lines.append(row.name + QLatin1Char('|') + row.link + QLatin1Char('|') + row.status);
    std::sort(lines.begin(), lines.end());
    return lines;
}

QList<QRegularExpression> allBasicExpressions()
{
    QList<QRegularExpression> result;
    for (int bits = 0; bits < 8; ++bits) {
        BasicStatusChoice choice;
        choice.hostDown = choice.serviceCritical = bits & 1;
        choice.hostUnreachable = choice.serviceWarning = bits & 2;
        choice.serviceUnknown = bits & 4;
        for (const QString& pattern : {basicHostsRegExp(choice), basicServicesRegExp(choice)})
            result.append(QRegularExpression(pattern,
                QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption));
    }
    return result;
}

} // namespace

class TestStatusRules : public QObject
{
    Q_OBJECT

private slots:
    void basicExpressions_data();
    void basicExpressions();
    void statusPagesRecognised_data();
    void statusPagesRecognised();
    void fastPathMatchesExpression();
    void lines_data();
    void lines();
};

void TestStatusRules::basicExpressions_data()
{
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QString>("hostsGroup");
    QTest::addColumn<QString>("servicesGroup");

    QTest::newRow("nothing chosen") << QStringList {} << QString() << QString();
    QTest::newRow("unreachable alone / warning alone has no leading bar")
        << QStringList {"UNREACHABLE", "WARNING"} << "statusHOSTUNREACHABLE"
        << "statusBGWARNING";
    QTest::newRow("critical and unknown") << QStringList {"DOWN", "CRITICAL", "UNKNOWN"} << "statusHOSTDOWN"
                                          << "statusBGCRITICAL|statusBGUNKNOWN";
    QTest::newRow("everything") << QStringList {"DOWN", "UNREACHABLE", "CRITICAL", "WARNING", "UNKNOWN"}
                                << "statusHOSTDOWN|statusHOSTUNREACHABLE"
                                << "statusBGCRITICAL|statusBGWARNING|statusBGUNKNOWN";
}

void TestStatusRules::basicExpressions()
{
    QFETCH(QStringList, statuses);
    QFETCH(QString, hostsGroup);
    QFETCH(QString, servicesGroup);

    QCOMPARE(basicHostsRegExp(choiceOf(statuses)), hostsPrefix + hostsGroup + suffix);
    QCOMPARE(basicServicesRegExp(choiceOf(statuses)), srvcsPrefix + servicesGroup + suffix);
}

void TestStatusRules::statusPagesRecognised_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("totals"); // rows listed/matching; empty: no totals line
    // Without rows a status page is still one: all is well.
    QTest::newRow("no problems") << QStringLiteral("01-all-ok/services.html") << "0/0";
    QTest::newRow("problems") << QStringLiteral("02-hosts-down/hosts.html") << "4/4";
    QTest::newRow("cut at the server's result limit: 0 - 100 of 200")
        << QStringLiteral("large/hosts.html.xz") << "100/200";
    QTest::newRow("the same with limit=0") << QStringLiteral("large/hosts-limit0.html.xz") << "200/200";
    for (const QString& name : QDir(fixtures + QLatin1String("/http")).entryList({QStringLiteral("*.html")}))
        QTest::newRow(qPrintable(name)) << QString(QLatin1String("http/") + name) << QString();
}

void TestStatusRules::statusPagesRecognised()
{
    QFETCH(QString, page);
    QFETCH(QString, totals);

    const QString text = readPage(page);
    const PageTotals read = readPageTotals(text);
    QCOMPARE(read.found, !totals.isEmpty());
    QCOMPARE(looksLikeStatusPage(text), read.found);
    if (read.found) {
        QCOMPARE(QStringLiteral("%1/%2").arg(read.listed).arg(read.matching), totals);
    } else {
        const BasicStatusChoice all = choiceOf({"DOWN", "UNREACHABLE", "CRITICAL", "WARNING", "UNKNOWN"});
        QVERIFY(extractHostRows(text, PageRule {basicHostsRegExp(all)}).isEmpty());
        QVERIFY(extractServiceRows(text, PageRule {basicServicesRegExp(all)}).isEmpty());
    }
}

void TestStatusRules::fastPathMatchesExpression()
{
    // Every line of the real pages; the fuzzer tries the lines no server wrote.
    QStringList lines;
    for (const QString& folder : QDir(fixtures).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QString& name :
            QDir(fixtures + QLatin1Char('/') + folder).entryList({QStringLiteral("*.html*")}))
            lines += readPage(folder + QLatin1Char('/') + name).split(QLatin1Char('\n'));
    }
    QVERIFY(lines.size() > 5000);

    int matched = 0;
    for (const QRegularExpression& expression : allBasicExpressions()) {
        for (const QString& line : std::as_const(lines)) {
            const QRegularExpressionMatch match = expression.match(line);
            const QList<StatusRow> a = extractHostRows(line, PageRule {expression.pattern(), 0, 1, 2});
            const QList<StatusRow> b = extractHostRows(line, PageRule {expression.pattern(), 3, 4, -1});
            QCOMPARE(a.size() + b.size(), match.hasMatch() ? 2 : 0);
            if (!match.hasMatch())
                continue;
            ++matched;
            QCOMPARE(QStringList({a[0].status, a[0].link, a[0].name, b[0].status, b[0].link}),
                QStringList(
                    {match.captured(0).remove(QStringLiteral("status")), match.captured(1), match.captured(2),
                        match.captured(3).remove(QStringLiteral("status")), match.captured(4)}));
        }
    }
    QVERIFY2(matched > 1200, qPrintable(QString::number(matched)));
}

void TestStatusRules::lines_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("services");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QList<int>>("nameLinkStatusPos");
    QTest::addColumn<QStringList>("rows");

    const QByteArray host("  <td class='statusHOSTDOWN'><a href='extinfo.cgi?host=web1'>web1</a>\n");
    const QString general = defaultHostsRegExp + QLatin1String("(?:)"); // not the template: no fast path
    for (const QString& pattern : {defaultHostsRegExp, general}) {
        const char* path = pattern == general ? "general" : "template";
        QTest::addRow("%s: capture 0 is the whole match", path)
            << host << false << pattern << QList<int> {3, 2, 0}
            << QStringList {"web1|extinfo.cgi?host=web1|  <td class='HOSTDOWN'><a "
                            "href='extinfo.cgi?host=web1'>web1</a>"};
        QTest::addRow("%s: capture beyond the groups is empty", path)
            << host << false << pattern << QList<int> {3, 9, 4} << QStringList {"web1||"};
    }
    QTest::newRow("upper-case tags") << QByteArray(
        "<TD ALIGN=LEFT CLASS='STATUSHOSTDOWN'><A HREF='extinfo.cgi?host=web1'>web1</A></TD>")
                                     << false << defaultHostsRegExp << QList<int> {3, 2, 1}
                                     << QStringList {"web1|extinfo.cgi?host=web1|STATUSHOSTDOWN"};
    QTest::newRow("service host is URL-decoded")
        << QByteArray("<td class='statusBGCRITICAL'><a href='x?host=lab+c%2B%2B&service=T'>T</a>") << true
        << defaultSrvcsRegExp << QList<int> {3, 2, 1}
        << QStringList {"T:lab c++|x?host=lab+c%2B%2B&service=T|CRITICAL"};
    QTest::newRow("a host name is HTML-decoded") << QByteArray(
        "<td class='statusHOSTDOWN'><a href='x?host=R%26D'>R&amp;D &#39;lab&#x27; &#38;&nbsp;&x</a>")
                                                 << false << defaultHostsRegExp << QList<int> {3, 2, 1}
                                                 << QStringList {"R&D 'lab' &&nbsp;&x|x?host=R%26D|HOSTDOWN"};
    QTest::newRow("a service name is HTML-decoded")
        << QByteArray(
               "<td class='statusBGCRITICAL'><a href='x?host=R%26D&service=T'>T &lt;&amp;&gt; &#0;</a>")
        << true << defaultSrvcsRegExp << QList<int> {3, 2, 1}
        << QStringList {"T <&> &#0;:R&D|x?host=R%26D&service=T|CRITICAL"};
    QTest::newRow("a number reference holds digits alone")
        << QByteArray("<td class='statusHOSTDOWN'><a href='x'>R&#+38;D &# 38; &#38 ; &#x0x26; &#x2g;</a>")
        << false << defaultHostsRegExp << QList<int> {3, 2, 1}
        << QStringList {"R&#+38;D &# 38; &#38 ; &#x0x26; &#x2g;|x|HOSTDOWN"};
    QTest::newRow("service link without host= is skipped")
        << QByteArray("<td class='statusBGCRITICAL'><a href='extinfo.cgi?type=2&service=HTTP'>HTTP</a>")
        << true << defaultSrvcsRegExp << QList<int> {3, 2, 1} << QStringList {};
    QTest::newRow("invalid pattern finds nothing")
        << host << false << QStringLiteral("(unclosed") << QList<int> {1, 1, 1} << QStringList {};
    QTest::newRow("text ends at the first NUL")
        << QByteArray("ab\ncd\0ef\ngh\n", 12) << false << QStringLiteral("(.+)") << QList<int> {1, 1, 1}
        << QStringList {"ab|ab|ab", "cd|cd|cd"};
}

void TestStatusRules::lines()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, services);
    QFETCH(QString, pattern);
    QFETCH(QList<int>, nameLinkStatusPos);
    QFETCH(QStringList, rows);

    const PageRule rule {pattern, nameLinkStatusPos.at(2), nameLinkStatusPos.at(1), nameLinkStatusPos.at(0)};
    const QString text = pageText(body);
    QCOMPARE(describe(services ? extractServiceRows(text, rule) : extractHostRows(text, rule)), rows);
}

QTEST_GUILESS_MAIN(TestStatusRules)
#include "tst_statusrules.moc"
