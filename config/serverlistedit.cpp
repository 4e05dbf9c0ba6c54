#include "config/serverlistedit.h"

#include "config/settingsstore.h"

#include <QCoreApplication>
#include <QSettings>

void ServerListEdit::load(const QSettings& store)
{
    m_servers.clear();
    m_removed.clear();
    for (const QString& id : SettingsStore::serverIds(store)) {
        StoredSettings values = SettingsStore::readServer(store, id);
        // Stored settings keep the status pages until the user chooses; a server never set up is new.
        const QString group = SettingsStore::serverGroup(id);
        if (!store.contains(group + QLatin1String(settingEntry(SettingKey::ServerAddress).name))
            && !store.contains(group + QLatin1String(settingEntry(SettingKey::StatusSource).name)))
            values.set(SettingKey::StatusSource, statusSourceJson);
        m_servers.append({id, values});
    }
    m_current = 0;
}

void ServerListEdit::setCurrent(int index)
{
    if (index >= 0 && index < count())
        m_current = index;
}

int ServerListEdit::indexOf(const QString& id) const
{
    for (int i = 0; i < count(); ++i) {
        if (m_servers.at(i).id == id)
            return i;
    }
    return -1;
}

void ServerListEdit::takeFromWindow(const StoredSettings& window)
{
    if (m_servers.isEmpty())
        return;
    StoredSettings& values = m_servers[m_current].values;
    for (const SettingEntry& entry : settingsTable()) {
        if (entry.scope == SettingScope::PerServer && window.has(entry.key))
            values.set(entry.key, window.value(entry.key));
    }
}

StoredSettings ServerListEdit::forWindow(int index, const StoredSettings& window) const
{
    StoredSettings shown = m_servers.at(index).values;
    for (const SettingEntry& entry : settingsTable()) {
        if (entry.scope == SettingScope::Global && window.has(entry.key))
            shown.set(entry.key, window.value(entry.key));
    }
    return shown;
}

int ServerListEdit::add()
{
    StoredSettings values = StoredSettings::defaults();
    values.set(SettingKey::StatusSource, statusSourceJson);
    m_servers.append({SettingsStore::newServerId(), values});
    m_current = count() - 1;
    return m_current;
}

int ServerListEdit::duplicate(int index)
{
    Server copy = m_servers.at(index);
    copy.id = SettingsStore::newServerId();
    copy.values.set(
        SettingKey::ServerName, QCoreApplication::translate("Tarvix", "%1 (copy)").arg(displayName(index)));
    m_servers.insert(index + 1, copy);
    m_current = index + 1;
    return m_current;
}

bool ServerListEdit::remove(int index)
{
    if (count() <= 1 || index < 0 || index >= count())
        return false;
    m_removed.append(m_servers.takeAt(index).id);
    if (m_current >= count())
        m_current = count() - 1;
    else if (m_current > index)
        --m_current;
    return true;
}

bool ServerListEdit::move(int index, int delta)
{
    const int target = index + delta;
    if (index < 0 || index >= count() || target < 0 || target >= count())
        return false;
    m_servers.move(index, target);
    if (m_current == index)
        m_current = target;
    else if (m_current == target)
        m_current = index;
    return true;
}

void ServerListEdit::rename(int index, const QString& name)
{
    m_servers[index].values.set(SettingKey::ServerName, name.trimmed());
}

void ServerListEdit::setEnabled(int index, bool enabled)
{
    m_servers[index].values.set(SettingKey::ServerEnabled, enabled);
}

QString ServerListEdit::displayName(int index) const
{
    const StoredSettings& values = m_servers.at(index).values;
    if (!values.text(SettingKey::ServerName).isEmpty())
        return values.text(SettingKey::ServerName);
    if (!values.text(SettingKey::ServerAddress).isEmpty())
        return values.text(SettingKey::ServerAddress);
    return QCoreApplication::translate("Tarvix", "New server");
}

void ServerListEdit::save(QSettings& store) const
{
    for (const QString& id : m_removed) {
        if (indexOf(id) < 0)
            SettingsStore::removeServer(store, id);
    }
    QStringList ids;
    for (const Server& server : m_servers) {
        SettingsStore::writeServer(store, server.id, server.values);
        ids << server.id;
    }
    SettingsStore::writeServerOrder(store, ids);
}
