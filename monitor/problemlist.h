#pragma once

#include "monitor/statusrules.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QObject;

// What one page changed against a problem list.
struct ProblemChanges
{
    // Indices into the compared names (rows) that are new problems: page order, first occurrence
    // of a name only, names not already entries (ignoring case).
    QList<int> newRows;
    // Indices into the entries as they were when compared, in entry order: entries whose name is
    // no longer among the page's names (ignoring case).
    QList<int> goneEntries;
};

// The current problems of one kind, in the order they were found; the tray's hosts or services
// menu shows exactly these entries. An index by name ignoring case makes comparing a page cost time
// in proportion to the page, not to page times entries.
//
// The menu stays in step because every entry carries an opaque handle, the menu action the GUI
// made for it. Applying a page's changes, in the order they are announced:
//
//     const ProblemChanges changes = list.compare(names);          // does not change the list
//     for (int row : changes.newRows)                              // page order
//         list.append(names[row], data, action);                   // then announce and flash
//     for (int entry : changes.goneEntries)                        // entry order, oldest first
//         announce the recovery of list.at(entry), remove and delete list.at(entry).handle;
//     list.removeEntries(changes.goneEntries);
//
// Appending does not move existing entries, so the gone indices stay valid until removeEntries.
class ProblemList
{
public:
    struct Entry
    {
        QString name; // display name, kept as first seen
        QString data; // page address without scheme
        QString serviceName; // services only: as the row gave them
        QString hostName;
        QObject* handle = nullptr; // the GUI's menu action; not owned
    };

    int size() const { return static_cast<int>(m_entries.size()); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    const Entry& at(int index) const { return m_entries.at(index); }
    const QList<Entry>& entries() const { return m_entries; }

    // Is there an entry whose name equals this one, ignoring case?
    bool contains(const QString& name) const;

    // Compares the names of a page's counted rows (duplicates allowed) with the entries.
    ProblemChanges compare(const QStringList& currentNames) const;
    ProblemChanges compare(const QList<StatusRow>& countedRows) const;

    void append(const QString& name, const QString& data, QObject* handle = nullptr);
    // Room for this many more entries: a large first page then takes no more than it needs.
    void reserve(qsizetype more);
    // Appending does not move existing entries: compare()'s gone indices stay valid. Names are
    // unique ignoring case, as the walk appends only what compare() found new; an entry that
    // repeated an earlier name would be gone at the next compare().
    void append(Entry entry);
    // Removes the entries at these indices (as compare() gives them; others are ignored).
    void removeEntries(const QList<int>& indices);
    void clear();

private:
    // A name that hashes and compares ignoring case, without making a case-folded copy. The hash
    // of its folded characters is kept, so that most unequal names differ without a comparison.
    struct CaselessName
    {
        explicit CaselessName(const QString& name);

        QString text;
        size_t foldedHash = 0;

        friend bool operator==(const CaselessName& a, const CaselessName& b)
        {
            // Case folding keeps the length of every character.
            return a.foldedHash == b.foldedHash && a.text.size() == b.text.size()
                && (a.text == b.text || a.text.compare(b.text, Qt::CaseInsensitive) == 0);
        }
        friend size_t qHash(const CaselessName& key, size_t hashSeed)
        {
            return qHash(key.foldedHash, hashSeed);
        }
    };

    template <typename NameAt> ProblemChanges compareNames(qsizetype count, NameAt nameAt) const;
    void rebuildIndex();

    QList<Entry> m_entries;
    // Name to the position of the first entry with it; rebuilt when entries are removed.
    QHash<CaselessName, int> m_index;
};
