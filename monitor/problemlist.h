#pragma once

#include "monitor/statusrules.h"

#include <QHash>
#include <QList>
#include <QString>

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
    // For each entry, the first row that names it; -1 for the gone ones.
    QList<int> entryRows;
};

// The current problems of one kind, in the order they were found; the tray's hosts or services
// menu shows exactly these entries, each carrying an opaque handle, the menu action the GUI made
// for it. An index by name ignoring case makes comparing a page cost time in proportion to the
// page, not to page times entries. The page walk (monitor/pagewalk) compares and applies.
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
        QString status; // as the latest page gave it
        ProblemDetails details;
    };

    int size() const { return static_cast<int>(m_entries.size()); }
    const Entry& at(int index) const { return m_entries.at(index); }
    const QList<Entry>& entries() const { return m_entries; }

    // Compares the names of a page's counted rows (duplicates allowed) with the entries.
    ProblemChanges compare(const QList<StatusRow>& countedRows) const;

    // Room for this many more entries: a large first page then takes no more than it needs.
    void reserve(qsizetype more);
    // Appending does not move existing entries: compare()'s gone indices stay valid. Names are
    // unique ignoring case, as the walk appends only what compare() found new; an entry that
    // repeated an earlier name would be gone at the next compare().
    void append(Entry entry);
    // What an entry shows, from a later page; an index out of range is ignored.
    void update(int index, QString status, ProblemDetails details);
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

    void rebuildIndex();

    QList<Entry> m_entries;
    // Name to the position of the first entry with it; rebuilt when entries are removed.
    QHash<CaselessName, int> m_index;
};
