#pragma once

#include "config/settingstable.h"

#include <QList>
#include <QString>
#include <QStringList>

class QSettings;

// The servers as the configuration window edits them: their order, names, enabled boxes and values,
// held until the window is saved, when they replace what the store holds. Only the keys of each
// server are kept per server; the program's keys are the window's own.
class ServerListEdit
{
public:
    struct Server
    {
        QString id;
        StoredSettings values;
    };

    // Every server of the store, in the user's order; the first is the current one.
    void load(const QSettings& store);
    const QList<Server>& servers() const { return m_servers; }
    int count() const { return int(m_servers.size()); }
    int current() const { return m_current; }
    void setCurrent(int index);
    int indexOf(const QString& id) const;
    const Server& at(int index) const { return m_servers.at(index); }

    // The window's values for the current server: its own keys go into the list.
    void takeFromWindow(const StoredSettings& window);
    // What the window shows for a server: its own keys, and the program's from `window`.
    StoredSettings forWindow(int index, const StoredSettings& window) const;

    // A new server with the defaults, asking Nagios for JSON; it becomes the current one.
    int add();
    // A copy of a server under a new id, named after it; it becomes the current one.
    int duplicate(int index);
    // The last server cannot go: with none, nothing would be watched.
    bool remove(int index);
    // Moves a server one place up (-1) or down (+1); false at the ends.
    bool move(int index, int delta);
    void rename(int index, const QString& name);
    void setEnabled(int index, bool enabled);
    // The name the user gave, else the address, else a placeholder.
    QString displayName(int index) const;

    // Writes every server and the order, and removes the servers that were removed.
    void save(QSettings& store) const;

private:
    QList<Server> m_servers;
    QStringList m_removed;
    int m_current = 0;
};
