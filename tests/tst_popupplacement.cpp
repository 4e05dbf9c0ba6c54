#include "app/tooltiptext.h"
#include "notify/announcements.h"
#include "notify/popupplacement.h"

#include <QTest>

// Where popups go, what their link says, which changes they announce and which commands they offer.
class TestPopupPlacement : public QObject
{
    Q_OBJECT

private slots:
    void nextPosition_data();
    void nextPosition();
    void linkText_data();
    void linkText();
    void floodsAreSummarised_data();
    void floodsAreSummarised();
    void objectForCommands_data();
    void objectForCommands();
    void menuStaysOnScreen();
    void problemDuration_data();
    void problemDuration();
};

void TestPopupPlacement::nextPosition_data()
{
    QTest::addColumn<QPoint>("current");
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QPoint>("expected");

    const QSize fullHd(1920, 1080);
    // On 1920x1080 the bounds are 1079 - 218 = 861 (y) and 1919 - 378 = 1541 (x).
    QTest::newRow("first popup after start") << QPoint(100, 100) << fullHd << QPoint(115, 115);
    QTest::newRow("y one below its bound still grows") << QPoint(200, 860) << fullHd << QPoint(215, 875);
    QTest::newRow("y at its bound restarts, x grows") << QPoint(200, 861) << fullHd << QPoint(215, 100);
    QTest::newRow("x one below its bound still grows") << QPoint(1540, 200) << fullHd << QPoint(1555, 215);
    QTest::newRow("x at its bound restarts, y grows") << QPoint(1541, 200) << fullHd << QPoint(100, 215);
    QTest::newRow("bounds follow a portrait screen")
        << QPoint(701, 1700) << QSize(1080, 1920) << QPoint(100, 1715);
    QTest::newRow("tiny screen keeps popups at 100")
        << QPoint(100, 100) << QSize(400, 300) << QPoint(100, 100);
}

void TestPopupPlacement::nextPosition()
{
    QFETCH(QPoint, current);
    QFETCH(QSize, screen);
    QFETCH(QPoint, expected);

    QCOMPARE(nextPopupPosition(current, screen), expected);
}

void TestPopupPlacement::linkText_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ordinary host")
        << QStringLiteral("http://nagios.example/cgi-bin/nagios4/extinfo.cgi?type=1&host=web01")
        << QStringLiteral("web01")
        << QStringLiteral(
               "<a href='http://nagios.example/cgi-bin/nagios4/extinfo.cgi?type=1&host=web01'>web01</a>");
    QTest::newRow("markup in name shows as text")
        << QStringLiteral("http://n/x") << QStringLiteral("<b>x</b> & co")
        << QStringLiteral("<a href='http://n/x'>&lt;b&gt;x&lt;/b&gt; &amp; co</a>");
    QTest::newRow("apostrophe in url cannot end the attribute")
        << QStringLiteral("http://n/x?host=o'brien") << QStringLiteral("o'brien")
        << QStringLiteral("<a href='http://n/x?host=o%27brien'>o'brien</a>");
    QTest::newRow("markup in url stays inside the attribute")
        << QStringLiteral("http://n/x'><script>\"") << QStringLiteral("web01")
        << QStringLiteral("<a href='http://n/x%27%3E%3Cscript%3E%22'>web01</a>");
}

void TestPopupPlacement::linkText()
{
    QFETCH(QString, url);
    QFETCH(QString, name);
    QFETCH(QString, expected);

    QCOMPARE(popupLinkText(url, name), expected);
}

namespace {

QList<Announcement> changes(
    int problems, int recoveries, const QString& problemStatus = QStringLiteral("DOWN"))
{
    QList<Announcement> result;
    for (int i = 0; i < problems; ++i)
        result.append({QStringLiteral("down%1").arg(i), HostProblem, QString(),
            i == 12 ? QStringLiteral("UNREACHABLE") : problemStatus});
    for (int i = 0; i < recoveries; ++i)
        result.append({QStringLiteral("up%1").arg(i), HostRecovered, QString(), QStringLiteral("Host UP")});
    return result;
}

// Names, with "+N STATUS" for a summary.
QStringList shown(const QList<Announcement>& announcements)
{
    QStringList names;
    for (const Announcement& a : announcements)
        names << (a.summarised ? QStringLiteral("+%1 %2").arg(a.summarised).arg(a.status) : a.name);
    return names;
}

QStringList names(const char* prefix, int count)
{
    QStringList result;
    for (int i = 0; i < count; ++i)
        result << QString::fromLatin1(prefix) + QString::number(i);
    return result;
}

} // namespace

void TestPopupPlacement::floodsAreSummarised_data()
{
    QTest::addColumn<QList<Announcement>>("changes");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("a few pass unchanged") << changes(2, 1) << QStringList {"down0", "down1", "up0"};
    QTest::newRow("ten of a kind pass unchanged") << changes(10, 10) << names("down", 10) + names("up", 10);
    QTest::newRow("eleven: nine and a summary of two")
        << changes(11, 0) << names("down", 9) + QStringList {"+2 DOWN"};
    QTest::newRow("each kind on its own, statuses mixed") << changes(
        5000, 12) << names("down", 9) + QStringList {"+4991 "} + names("up", 9) + QStringList {"+3 Host UP"};
}

void TestPopupPlacement::floodsAreSummarised()
{
    QFETCH(QList<Announcement>, changes);
    QFETCH(QStringList, expected);
    QCOMPARE(shown(limitAnnouncements(changes, 10)), expected);
}

void TestPopupPlacement::objectForCommands_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<unsigned>("kind");
    QTest::addColumn<int>("summarised");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("service");
    QTest::addColumn<bool>("offered");
    QTest::newRow("host with a blank, Nagios' plus")
        << "type=1&host=lab+printer" << 1u << 0 << "lab printer" << QString() << true;
    QTest::newRow("service with encoded marks")
        << "type=2&host=db01&service=Disk%3A+%2Fvar" << 3u << 0 << "db01"
        << "Disk: /var" << true;
    QTest::newRow("summary: no commands") << "type=1&host=web01" << 1u << 3 << "web01" << QString() << false;
    QTest::newRow("no host in the address") << "host=" << 1u << 0 << QString() << QString() << false;
}

void TestPopupPlacement::objectForCommands()
{
    QFETCH(QString, query);
    QFETCH(unsigned, kind);
    QFETCH(int, summarised);
    Announcement change;
    change.url = QStringLiteral("http://nagios.example/cgi-bin/nagios4/extinfo.cgi?") + query;
    change.kind = ChangeEventKind(kind);
    change.summarised = summarised;
    setObjectFromUrl(change);
    QTEST(change.host, "host");
    QTEST(change.service, "service");
    QTEST(offersCommands(change), "offered");
}

// A tray menu opens at the cursor, moved left or up as far as it would leave the screen.
void TestPopupPlacement::menuStaysOnScreen()
{
    const QSize screen(1920, 1080);
    const QSize menu(300, 400);
    QCOMPARE(trayMenuPosition({100, 100}, menu, screen), QPoint(100, 100));
    QCOMPARE(trayMenuPosition({1620, 680}, menu, screen), QPoint(1620, 680));
    QCOMPARE(trayMenuPosition({1900, 1070}, menu, screen), QPoint(1600, 670));
    QCOMPARE(trayMenuPosition({200, 500}, QSize(2000, 100), screen), QPoint(0, 500));
}

void TestPopupPlacement::problemDuration_data()
{
    QTest::addColumn<QDateTime>("since");
    QTest::addColumn<QString>("told");
    const QDateTime now(QDate(2026, 12, 8), QTime(12, 46, 30));
    QTest::newRow("unknown") << QDateTime() << QString();
    QTest::newRow("minutes") << now.addSecs(-59) << QStringLiteral("since 12:45, 0 min");
    QTest::newRow("hours and minutes")
        << QDateTime(now.date(), QTime(10, 41)) << QStringLiteral("since 10:41, 2 h 5 min");
    QTest::newRow("another day: its date, days and hours")
        << QDateTime(QDate(2026, 12, 5), QTime(9, 0)) << QStringLiteral("since 05.12 09:00, 3 d 3 h");
    QTest::newRow("a clock that is behind the server's")
        << now.addSecs(90) << QStringLiteral("since 12:48, 0 min");
}

void TestPopupPlacement::problemDuration()
{
    QFETCH(QDateTime, since);
    QFETCH(QString, told);
    QCOMPARE(::problemDuration(since, QDateTime(QDate(2026, 12, 8), QTime(12, 46, 30))), told);
}

QTEST_APPLESS_MAIN(TestPopupPlacement)
#include "tst_popupplacement.moc"
