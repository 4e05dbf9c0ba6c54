#include "monitor/problemlist.h"

#include <QSet>

bool ProblemList::contains(const QString& name) const
{
    return m_index.contains(name.toCaseFolded());
}

template<typename NameAt>
ProblemChanges ProblemList::compareNames(qsizetype count, NameAt nameAt) const
{
    ProblemChanges changes;
    QSet<QString> current;
    current.reserve(count);
    for (qsizetype row = 0; row < count; ++row) {
        QString key = nameAt(row).toCaseFolded();
        const qsizetype before = current.size();
        current.insert(key);
        // A later duplicate on the same page finds the entry its first occurrence made.
        if (current.size() == before)
            continue;
        if (!m_index.contains(key))
            changes.newRows.append(static_cast<int>(row));
    }
    for (qsizetype entry = 0; entry < m_entries.size(); ++entry) {
        if (!current.contains(m_entries.at(entry).key))
            changes.goneEntries.append(static_cast<int>(entry));
    }
    return changes;
}

ProblemChanges ProblemList::compare(const QStringList& currentNames) const
{
    return compareNames(currentNames.size(), [&currentNames](qsizetype row) { return currentNames.at(row); });
}

ProblemChanges ProblemList::compare(const QList<StatusRow>& countedRows) const
{
    return compareNames(countedRows.size(), [&countedRows](qsizetype row) { return countedRows.at(row).name; });
}

void ProblemList::append(const QString& name, const QString& data, QObject* handle)
{
    Entry entry { name, data, handle, name.toCaseFolded() };
    ++m_index[entry.key];
    m_entries.append(std::move(entry));
}

void ProblemList::removeEntries(const QList<int>& indices)
{
    if (indices.isEmpty())
        return;
    QList<bool> gone(m_entries.size(), false);
    for (const int index : indices) {
        if (index >= 0 && index < m_entries.size())
            gone[index] = true;
    }
    qsizetype kept = 0;
    for (qsizetype entry = 0; entry < m_entries.size(); ++entry) {
        if (gone.at(entry)) {
            const auto it = m_index.find(m_entries.at(entry).key);
            if (it != m_index.end() && --it.value() <= 0)
                m_index.erase(it);
            continue;
        }
        if (kept != entry)
            m_entries[kept] = std::move(m_entries[entry]);
        ++kept;
    }
    m_entries.resize(kept);
}

void ProblemList::clear()
{
    m_entries.clear();
    m_index.clear();
}
