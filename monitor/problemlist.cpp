#include "monitor/problemlist.h"

#include <QSet>

#include <iterator>

ProblemList::CaselessName::CaselessName(const QString& name) : text(name)
{
    // The hash of the case-folded text, which is what QString::compare compares when ignoring
    // case. Most names are short ASCII: those are folded on the stack.
    char16_t folded[128];
    const qsizetype size = name.size();
    if (size <= static_cast<qsizetype>(std::size(folded))) {
        const char16_t* data = QStringView(name).utf16();
        bool ascii = true;
        for (qsizetype i = 0; i < size && ascii; ++i) {
            const char16_t c = data[i];
            ascii = c < 0x80;
            folded[i] = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
        }
        if (ascii) {
            foldedHash = qHash(QStringView(folded, size));
            return;
        }
    }
    foldedHash = qHash(name.toCaseFolded());
}

ProblemChanges ProblemList::compare(const QList<StatusRow>& countedRows) const
{
    ProblemChanges changes;
    QList<int>& seen = changes.entryRows;
    seen.fill(-1, m_entries.size());
    QSet<CaselessName> fresh;
    for (qsizetype row = 0; row < countedRows.size(); ++row) {
        CaselessName name {countedRows.at(row).name};
        const auto known = m_index.constFind(name);
        if (known != m_index.cend()) {
            int& first = seen[known.value()];
            if (first < 0)
                first = static_cast<int>(row);
            continue;
        }
        // A later duplicate on the same page finds the entry its first occurrence made.
        const qsizetype before = fresh.size();
        fresh.insert(std::move(name));
        if (fresh.size() != before)
            changes.newRows.append(static_cast<int>(row));
    }
    for (qsizetype entry = 0; entry < m_entries.size(); ++entry) {
        if (seen.at(entry) < 0)
            changes.goneEntries.append(static_cast<int>(entry));
    }
    return changes;
}

void ProblemList::reserve(qsizetype more)
{
    const qsizetype needed = m_entries.size() + more;
    m_entries.reserve(needed);
    // QHash rehashes on every reserve, even one it has room for.
    if (static_cast<qsizetype>(m_index.capacity()) < needed)
        m_index.reserve(needed);
}

void ProblemList::append(Entry entry)
{
    CaselessName key {entry.name};
    if (!m_index.contains(key))
        m_index.insert(std::move(key), static_cast<int>(m_entries.size()));
    m_entries.append(std::move(entry));
}

void ProblemList::update(int index, QString status, ProblemDetails details)
{
    if (index < 0 || index >= m_entries.size())
        return;
    Entry& entry = m_entries[index];
    entry.status = std::move(status);
    entry.details = std::move(details);
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
        if (gone.at(entry))
            continue;
        if (kept != entry)
            m_entries[kept] = std::move(m_entries[entry]);
        ++kept;
    }
    m_entries.resize(kept);
    rebuildIndex();
}

void ProblemList::clear()
{
    m_entries.clear();
    m_index.clear();
}

void ProblemList::rebuildIndex()
{
    m_index.clear();
    m_index.reserve(m_entries.size());
    for (qsizetype entry = m_entries.size() - 1; entry >= 0; --entry)
        m_index.insert(CaselessName(m_entries.at(entry).name), static_cast<int>(entry));
}
