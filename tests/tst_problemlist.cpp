#include "monitor/problemlist.h"

#include <QObject>
#include <QTest>

namespace {

// Applies a page the way the tray menus are kept, recording the announcements in order.
QStringList applyPage(ProblemList& list, const QStringList& page)
{
    QStringList events;
    const ProblemChanges changes = list.compare(page);
    for (const int row : changes.newRows) {
        list.append(page.at(row), QStringLiteral("server/cgi/") + page.at(row));
        events.append(QStringLiteral("new ") + page.at(row));
    }
    for (const int entry : changes.goneEntries)
        events.append(QStringLiteral("gone ") + list.at(entry).name);
    list.removeEntries(changes.goneEntries);
    return events;
}

} // namespace

class TestProblemList : public QObject
{
    Q_OBJECT

private slots:
    void pageSequence_data();
    void pageSequence();
    void knownNameKeepsEntryText();
};

void TestProblemList::pageSequence_data()
{
    QTest::addColumn<QList<QStringList>>("pages");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("first page: every row is new, in page order") << QList<QStringList> {
        {"web2", "web1"}} << QStringList {"new web2", "new web1"} << QStringList {"web2", "web1"};
    QTest::newRow("known name ignoring case is not new")
        << QList<QStringList> {{"web1"}, {"WEB1"}} << QStringList {"new web1"} << QStringList {"web1"};
    QTest::newRow("case is folded beyond ASCII")
        << QList<QStringList> {{QString::fromUtf8("Диск:сервер-1")}, {QString::fromUtf8("ДИСК:СЕРВЕР-1")}}
        << QStringList {QString::fromUtf8("new Диск:сервер-1")}
        << QStringList {QString::fromUtf8("Диск:сервер-1")};
    QTest::newRow("a row that left the page is gone")
        << QList<QStringList> {{"web1", "web2"}, {"web2"}}
        << QStringList {"new web1", "new web2", "gone web1"} << QStringList {"web2"};
    QTest::newRow("whole names only")
        << QList<QStringList> {{"web1"}, {"web10"}} << QStringList {"new web1", "new web10", "gone web1"}
        << QStringList {"web10"};
    QTest::newRow("duplicates on one page make one entry")
        << QList<QStringList> {{"web1", "WEB1", "web2", "web1"}} << QStringList {"new web1", "new web2"}
        << QStringList {"web1", "web2"};
    QTest::newRow("new ones in page order, then gone ones in entry order")
        << QList<QStringList> {{"x", "y", "z"}, {"n2", "y", "n1", "n2"}}
        << QStringList {"new x", "new y", "new z", "new n2", "new n1", "gone x", "gone z"}
        << QStringList {"y", "n2", "n1"};
    QTest::newRow("a problem that comes back is new again")
        << QList<QStringList> {{"web1"}, {}, {"web1"}} << QStringList {"new web1", "gone web1", "new web1"}
        << QStringList {"web1"};
}

void TestProblemList::pageSequence()
{
    QFETCH(QList<QStringList>, pages);
    QFETCH(QStringList, events);
    QFETCH(QStringList, entries);

    ProblemList list;
    QStringList actual;
    for (const QStringList& page : pages)
        actual += applyPage(list, page);
    QCOMPARE(actual, events);
    QStringList names;
    for (const ProblemList::Entry& entry : list.entries())
        names.append(entry.name);
    QCOMPARE(names, entries);
}

void TestProblemList::knownNameKeepsEntryText()
{
    ProblemList list;
    applyPage(list, {QStringLiteral("HTTP:web1")});
    QList<StatusRow> rows(2);
    rows[0].name = QStringLiteral("SSH:web1");
    rows[0].link = QStringLiteral("HTTP:web1");
    rows[1].name = QStringLiteral("http:WEB1");
    const ProblemChanges changes = list.compare(rows);
    QCOMPARE(changes.newRows, QList<int> {0});
    QCOMPARE(changes.goneEntries, QList<int> {});
    QCOMPARE(list.at(0).data, QStringLiteral("server/cgi/HTTP:web1"));
}

QTEST_GUILESS_MAIN(TestProblemList)
#include "tst_problemlist.moc"
