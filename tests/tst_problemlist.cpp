#include "monitor/problemlist.h"

#include <QObject>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// Applies a page to the list the way the tray menus are kept, recording the announcements in
// the order they are made.
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

QStringList names(const ProblemList& list)
{
    QStringList result;
    for (const ProblemList::Entry& entry : list.entries())
        result.append(entry.name);
    return result;
}

} // namespace

class TestProblemList : public QObject
{
    Q_OBJECT

private slots:
    void pageSequence_data();
    void pageSequence();
    void changesIndexRowsAndEntries();
    void knownNameKeepsEntryText();
    void caseIsIgnoredLikeQString_data();
    void caseIsIgnoredLikeQString();
    void handlesStayWithTheirEntries();
    void removeEntriesToleratesAnyIndices();
    void duplicateEntriesGoTogether();
    void rowsCompareByName();
    void largePageKeepsItsOrder();
};

void TestProblemList::pageSequence_data()
{
    QTest::addColumn<QList<QStringList>>("pages");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("entries");

    const QString web1 = QStringLiteral("web1");
    const QString web2 = QStringLiteral("web2");
    QTest::newRow("first page: every row is new, in page order")
        << QList<QStringList> {{web1, web2}}
        << QStringList {QStringLiteral("new web1"), QStringLiteral("new web2")} << QStringList {web1, web2};
    QTest::newRow("the same page again changes nothing")
        << QList<QStringList> {{web1, web2}, {web1, web2}}
        << QStringList {QStringLiteral("new web1"), QStringLiteral("new web2")} << QStringList {web1, web2};
    QTest::newRow("a row that left the page is gone")
        << QList<QStringList> {{web1, web2}, {web2}}
        << QStringList {QStringLiteral("new web1"), QStringLiteral("new web2"), QStringLiteral("gone web1")}
        << QStringList {web2};
    QTest::newRow("an empty page makes everything gone, oldest first")
        << QList<QStringList> {{web2, web1}, {}}
        << QStringList {QStringLiteral("new web2"), QStringLiteral("new web1"), QStringLiteral("gone web2"),
               QStringLiteral("gone web1")}
        << QStringList {};
    QTest::newRow("an empty list and an empty page")
        << QList<QStringList> {{}} << QStringList {} << QStringList {};
    QTest::newRow("duplicates on one page make one entry")
        << QList<QStringList> {{web1, QStringLiteral("WEB1"), web2, web1}}
        << QStringList {QStringLiteral("new web1"), QStringLiteral("new web2")} << QStringList {web1, web2};
    QTest::newRow("new ones in page order, then gone ones in entry order")
        << QList<QStringList> {{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")},
               {QStringLiteral("n2"), QStringLiteral("y"), QStringLiteral("n1"), QStringLiteral("n2")}}
        << QStringList {QStringLiteral("new x"), QStringLiteral("new y"), QStringLiteral("new z"),
               QStringLiteral("new n2"), QStringLiteral("new n1"), QStringLiteral("gone x"),
               QStringLiteral("gone z")}
        << QStringList {QStringLiteral("y"), QStringLiteral("n2"), QStringLiteral("n1")};
    QTest::newRow("a problem that comes back is new again")
        << QList<QStringList> {{web1}, {}, {web1}}
        << QStringList {QStringLiteral("new web1"), QStringLiteral("gone web1"), QStringLiteral("new web1")}
        << QStringList {web1};
    QTest::newRow("service display names")
        << QList<QStringList> {{QStringLiteral("HTTP:web1"), QStringLiteral("Disk: /var:web1")},
               {QStringLiteral("Disk: /var:WEB1")}}
        << QStringList {QStringLiteral("new HTTP:web1"), QStringLiteral("new Disk: /var:web1"),
               QStringLiteral("gone HTTP:web1")}
        << QStringList {QStringLiteral("Disk: /var:web1")};
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
    QCOMPARE(names(list), entries);
    for (const QString& name : entries)
        QVERIFY(list.contains(name));
    QCOMPARE(list.isEmpty(), entries.isEmpty());
}

void TestProblemList::changesIndexRowsAndEntries()
{
    ProblemList list;
    list.append(QStringLiteral("a"), QStringLiteral("da"));
    list.append(QStringLiteral("b"), QStringLiteral("db"));
    list.append(QStringLiteral("c"), QStringLiteral("dc"));
    const ProblemChanges changes = list.compare(
        QStringList {QStringLiteral("d"), QStringLiteral("b"), QStringLiteral("e"), QStringLiteral("D")});
    QCOMPARE(changes.newRows, (QList<int> {0, 2}));
    QCOMPARE(changes.goneEntries, (QList<int> {0, 2}));
    // compare() leaves the list as it was.
    QCOMPARE(names(list), (QStringList {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
}

void TestProblemList::knownNameKeepsEntryText()
{
    ProblemList list;
    applyPage(list, {QStringLiteral("web1")});
    QCOMPARE(applyPage(list, {QStringLiteral("Web1")}), QStringList {});
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.at(0).name, QStringLiteral("web1"));
    QCOMPARE(list.at(0).data, QStringLiteral("server/cgi/web1"));
}

void TestProblemList::caseIsIgnoredLikeQString_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("page");

    QTest::newRow("ASCII") << "Replication Lag:DB.example.lan"
                           << "replication lag:db.EXAMPLE.lan";
    QTest::newRow("Cyrillic") << QString::fromUtf8("Проверка диска:сервер-1")
                              << QString::fromUtf8("ПРОВЕРКА ДИСКА:СЕРВЕР-1");
    QTest::newRow("Greek final sigma") << QString::fromUtf8("ΟΔΥΣΣΕΥΣ") << QString::fromUtf8("οδυσσευς");
    QTest::newRow("outside the BMP") << QString::fromUcs4(U"\U00010400x")
                                     << QString::fromUcs4(U"\U00010428X");
    QTest::newRow("sharp s is not ss") << QString::fromUtf8("straße") << "STRASSE";
    QTest::newRow("different length") << "web1"
                                      << "web10";
}

void TestProblemList::caseIsIgnoredLikeQString()
{
    QFETCH(QString, entry);
    QFETCH(QString, page);

    const bool equal = entry.compare(page, Qt::CaseInsensitive) == 0;
    ProblemList list;
    list.append(entry, QString());
    QCOMPARE(list.contains(page), equal);
    const ProblemChanges changes = list.compare(QStringList {page});
    QCOMPARE(changes.newRows.isEmpty(), equal);
    QCOMPARE(changes.goneEntries.isEmpty(), equal);
}

void TestProblemList::handlesStayWithTheirEntries()
{
    std::vector<std::unique_ptr<QObject>> actions;
    ProblemList list;
    for (const char* name : {"a", "b", "c", "d"}) {
        actions.push_back(std::make_unique<QObject>());
        list.append(QString::fromLatin1(name), QString(), actions.back().get());
    }
    const ProblemChanges changes = list.compare(QStringList {QStringLiteral("b"), QStringLiteral("d")});
    QList<QObject*> removed;
    for (const int entry : changes.goneEntries)
        removed.append(list.at(entry).handle);
    list.removeEntries(changes.goneEntries);
    QCOMPARE(removed, (QList<QObject*> {actions[0].get(), actions[2].get()}));
    QCOMPARE(list.at(0).handle, actions[1].get());
    QCOMPARE(list.at(1).handle, actions[3].get());
    // The index follows the entries that moved.
    QVERIFY(list.compare(QStringList {QStringLiteral("d"), QStringLiteral("b")}).goneEntries.isEmpty());
    QVERIFY(!list.contains(QStringLiteral("a")));
}

void TestProblemList::removeEntriesToleratesAnyIndices()
{
    ProblemList list;
    for (const char* name : {"a", "b", "c", "d"})
        list.append(QString::fromLatin1(name), QString());
    list.removeEntries({3, 1, 3, -1, 9});
    QCOMPARE(names(list), (QStringList {QStringLiteral("a"), QStringLiteral("c")}));
    list.removeEntries({});
    QCOMPARE(list.size(), 2);
    list.clear();
    QVERIFY(list.isEmpty());
    QVERIFY(!list.contains(QStringLiteral("a")));
}

void TestProblemList::duplicateEntriesGoTogether()
{
    // The walk never appends a known name, but if a caller does, both entries stay while the name
    // is on the page and both go when it leaves.
    ProblemList list;
    list.append(QStringLiteral("web1"), QString());
    list.append(QStringLiteral("x"), QString());
    list.append(QStringLiteral("WEB1"), QString());
    QCOMPARE(
        list.compare(QStringList {QStringLiteral("web1"), QStringLiteral("x")}).goneEntries, QList<int> {});
    QCOMPARE(list.compare(QStringList {QStringLiteral("x")}).goneEntries, (QList<int> {0, 2}));
    list.removeEntries({0});
    QVERIFY(list.contains(QStringLiteral("web1")));
    QCOMPARE(
        list.compare(QStringList {QStringLiteral("Web1"), QStringLiteral("x")}).goneEntries, QList<int> {});
}

void TestProblemList::rowsCompareByName()
{
    ProblemList list;
    list.append(QStringLiteral("HTTP:web1"), QString());
    QList<StatusRow> rows(2);
    rows[0].name = QStringLiteral("SSH:web1");
    rows[0].link = QStringLiteral("HTTP:web1");
    rows[1].name = QStringLiteral("http:WEB1");
    const ProblemChanges changes = list.compare(rows);
    QCOMPARE(changes.newRows, QList<int> {0});
    QCOMPARE(changes.goneEntries, QList<int> {});
}

void TestProblemList::largePageKeepsItsOrder()
{
    QStringList first;
    for (int i = 0; i < 6000; ++i)
        first.append(QStringLiteral("Service %1:host-%2").arg(i % 7).arg(i));
    ProblemList list;
    QCOMPARE(applyPage(list, first).size(), 6000);
    QCOMPARE(names(list), first);

    // Every third row recovers and a few new ones come in front.
    QStringList second = {QStringLiteral("new-a"), QStringLiteral("new-b")};
    QStringList kept;
    for (int i = 0; i < first.size(); ++i) {
        if (i % 3 != 0) {
            second.append(first.at(i).toUpper());
            kept.append(first.at(i));
        }
    }
    const QStringList events = applyPage(list, second);
    QCOMPARE(events.size(), 2 + 2000);
    QCOMPARE(events.first(), QStringLiteral("new new-a"));
    QCOMPARE(events.at(2), QStringLiteral("gone ") + first.at(0));
    QCOMPARE(events.last(), QStringLiteral("gone ") + first.at(5997));
    QCOMPARE(names(list), (kept + QStringList {QStringLiteral("new-a"), QStringLiteral("new-b")}));
    QCOMPARE(applyPage(list, second), QStringList {});
}

QTEST_GUILESS_MAIN(TestProblemList)
#include "tst_problemlist.moc"
