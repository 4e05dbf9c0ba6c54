#pragma once

#include <QDateTime>

// The two lists a poll asks for.
enum class StatusList { Hosts = 0, Services = 1 };

// How each list has fared, on its own: one list that fails on every poll must not hide behind the
// other's good answers. A list becomes stale when it has failed more often in a row than is
// tolerated and the failure was reported; it stays so until it answers again.
class ListHealth
{
public:
    // A failed answer; returns the failures of the list in a row.
    int failed(StatusList list, const QDateTime& now);
    // A good answer; true when the list was stale, that is when the user is to hear it is back.
    bool answered(StatusList list, const QDateTime& now);
    void markStale(StatusList list);
    // The list is no longer asked for: its failures and staleness are gone with it.
    void forget(StatusList list) { at(list) = Entry(); }

    int failures(StatusList list) const { return at(list).failures; }
    bool isStale(StatusList list) const { return at(list).stale; }
    bool anyStale() const { return isStale(StatusList::Hosts) || isStale(StatusList::Services); }
    // Since when the list's data is old: its last good answer, or its first failure when it never
    // answered.
    QDateTime staleSince(StatusList list) const;

private:
    struct Entry
    {
        int failures = 0;
        bool stale = false;
        QDateTime lastAnswer;
        QDateTime firstFailure;
    };
    const Entry& at(StatusList list) const { return m_lists[static_cast<int>(list)]; }
    Entry& at(StatusList list) { return m_lists[static_cast<int>(list)]; }

    Entry m_lists[2];
};
