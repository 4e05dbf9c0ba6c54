#include "config/monitorsettings.h"
#include "monitor/statusrules.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

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

// A scenario's problems as "name|link|status". Acknowledged and downtimed services change their
// class, which the basic expressions do not name; hosts keep statusHOSTDOWN on the name cell.
QStringList expectedRows(const QString& folder, bool services, const QStringList& statuses)
{
    QFile file(fixtures + QLatin1Char('/') + folder + QLatin1String("/scenario.tsv"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read scenario of %s", qPrintable(folder));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    auto encoded = [](const QString& name) {
        return QString::fromLatin1(QUrl::toPercentEncoding(name, " ").replace(' ', '+'));
    };
    QStringList handled;
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() > 3 && (f.at(0) == QLatin1String("ack") || f.at(0) == QLatin1String("downtime")))
            handled.append(f.at(2) + QLatin1Char('\t') + f.at(3));
    }
    QStringList expected;
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (!services && f.at(0) == QLatin1String("host") && statuses.contains(f.at(2)))
            expected.append(f.at(1) + QLatin1String("|extinfo.cgi?type=1&host=") + encoded(f.at(1))
                + QLatin1String("|HOST") + f.at(2));
        if (services && f.at(0) == QLatin1String("service") && statuses.contains(f.at(3))
            && !handled.contains(f.at(1) + QLatin1Char('\t') + f.at(2)))
            expected.append(f.at(2) + QLatin1Char(':') + f.at(1) + QLatin1String("|extinfo.cgi?type=2&host=")
                + encoded(f.at(1)) + QLatin1String("&service=") + encoded(f.at(2)) + QLatin1Char('|')
                + f.at(3));
    }
    std::sort(expected.begin(), expected.end());
    return expected;
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
    void fixturePages_data();
    void fixturePages();
    void errorPagesHoldNoStatus_data();
    void errorPagesHoldNoStatus();
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

void TestStatusRules::fixturePages_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("services");
    QTest::addColumn<QStringList>("statuses");

    for (const QString& folder : QDir(fixtures).entryList({QStringLiteral("0*")}, QDir::Dirs)) {
        QTest::addRow("%s hosts down+unreachable", qPrintable(folder))
            << folder << false << QStringList {"DOWN", "UNREACHABLE"};
        QTest::addRow("%s services all", qPrintable(folder))
            << folder << true << QStringList {"CRITICAL", "WARNING", "UNKNOWN"};
        QTest::addRow("%s services critical", qPrintable(folder))
            << folder << true << QStringList {"CRITICAL"};
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
    const BasicStatusChoice all = choiceOf({"DOWN", "UNREACHABLE", "CRITICAL", "WARNING", "UNKNOWN"});
    QVERIFY(extractHostRows(text, PageRule {basicHostsRegExp(all)}).isEmpty());
    QVERIFY(extractServiceRows(text, PageRule {basicServicesRegExp(all)}).isEmpty());
    QVERIFY(!looksLikeStatusPage(text));
}

void TestStatusRules::fastPathMatchesExpression()
{
    // Every fixture line, then rows whose parts have random pieces between them.
    QStringList lines;
    for (const QString& folder : QDir(fixtures).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QString& name :
            QDir(fixtures + QLatin1Char('/') + folder).entryList({QStringLiteral("*.html*")}))
            lines += readPage(folder + QLatin1Char('/') + name).split(QLatin1Char('\n'));
    }
    QVERIFY(lines.size() > 5000);
    const QStringList pieces = {"<td ", "<TD ", " ", "\t", "class=", "'", "\"", "statusHOSTDOWN",
        "statusbgwarning", "statusEven", ">", "><a href=", "</a>", "</A>", "x", "<", QString(QChar(0x3000)),
        QString(QChar(0x212A)), " class='statusHOSTUNREACHABLE'", "><a href='y'>z</a>"};
    const QStringList skeleton
        = {"<td ", "class=", "'", "CLASS", "'", "><a href=", "'", "x", "'", ">", "x", "</a>"};
    const QStringList classes = {"statusHOSTDOWN", "STATUSHOSTUNREACHABLE", "statusBGCRITICAL",
        "statusbgwarning", "statusBGUNKNOWN", "statusEven", QString()};
    QRandomGenerator random(20261206);
    for (int i = 0; i < 1500; ++i) {
        QString line;
        for (const QString& part : skeleton) {
            while (random.bounded(6) == 0)
                line += pieces.at(random.bounded(pieces.size()));
            line += part == QLatin1String("CLASS") ? classes.at(random.bounded(classes.size())) : part;
        }
        for (int j = random.bounded(6); j > 0; --j)
            line += pieces.at(random.bounded(pieces.size()));
        lines.append(line);
    }

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
    QVERIFY2(matched > 1300, qPrintable(QString::number(matched)));
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
