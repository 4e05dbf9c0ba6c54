#include "config/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>

Q_LOGGING_CATEGORY(lcConfig, "tarvix.config", QtWarningMsg)

namespace SettingsStore {

namespace {

bool isUsableId(const QString& id)
{
    static const QRegularExpression token(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    return token.match(id).hasMatch();
}

QString keyIn(const QString& group, const SettingEntry& entry)
{
    return entry.scope == SettingScope::Global ? QString(entry.name) : group + entry.name;
}

void writeEntries(QSettings& store, const QString& group, const StoredSettings& values, SettingScope scope)
{
    for (const SettingEntry& entry : settingsTable()) {
        if (entry.scope != scope || !values.has(entry.key))
            continue;
        const QString key = keyIn(group, entry);
        if (entry.type == StoredType::List)
            store.setValue(key, encodeList(values.list(entry.key)));
        else
            store.setValue(key, values.value(entry.key));
    }
}

} // namespace

QStringList serverIds(const QSettings& store)
{
    const QString stored = checkedValue(settingEntry(SettingKey::ServersOrder),
        store.value(settingEntry(SettingKey::ServersOrder).name, firstServerId))
                               .toString();
    QStringList ids;
    for (const QString& part : stored.split(QLatin1Char(','))) {
        const QString id = part.trimmed();
        if (id.isEmpty())
            continue;
        if (!isUsableId(id) || ids.contains(id)) {
            qCWarning(lcConfig).noquote() << "Settings: Servers/Order names an unusable server id" << id;
            continue;
        }
        ids.append(id);
    }
    if (ids.isEmpty())
        ids.append(firstServerId);
    return ids;
}

QString serverGroup(const QString& id)
{
    return id == firstServerId ? QString() : QStringLiteral("Servers/") + id + QLatin1Char('/');
}

StoredSettings readServer(const QSettings& store, const QString& id)
{
    const QString group = serverGroup(id);
    StoredSettings values;
    for (const SettingEntry& entry : settingsTable()) {
        const QString key = keyIn(group, entry);
        const QVariant stored = store.value(key);
        QVariant checked = stored.isValid() ? checkedValue(entry, stored) : entry.defaultValue;
        if (!checked.isValid()) {
            // Only flags, numbers and choices can be unusable; texts, the password among them, never are.
            qCWarning(lcConfig).noquote().nospace()
                << "Settings: " << key << "=" << stored.toString() << " is not a usable value; using "
                << entry.defaultValue.toString();
            checked = entry.defaultValue;
        }
        values.set(entry.key, checked);
    }
    return values;
}

StoredSettings read(const QSettings& store)
{
    return readServer(store, firstServerId);
}

void write(QSettings& store, const StoredSettings& values)
{
    writeServer(store, firstServerId, values);
    writeGlobal(store, values);
}

void writeServer(QSettings& store, const QString& id, const StoredSettings& values)
{
    writeEntries(store, serverGroup(id), values, SettingScope::PerServer);
}

void writeGlobal(QSettings& store, const StoredSettings& values)
{
    writeEntries(store, QString(), values, SettingScope::Global);
}

void writeServerOrder(QSettings& store, const QStringList& ids)
{
    store.setValue(settingEntry(SettingKey::ServersOrder).name, ids.join(QLatin1Char(',')));
}

void removeServer(QSettings& store, const QString& id)
{
    if (id != firstServerId) {
        store.remove(QStringLiteral("Servers/") + id);
        return;
    }
    for (const SettingEntry& entry : settingsTable()) {
        if (entry.scope == SettingScope::PerServer)
            store.remove(entry.name);
    }
    store.setValue(settingEntry(SettingKey::ServerEnabled).name, false);
}

QString newServerId()
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString id;
    for (int i = 0; i < 8; ++i)
        id += QLatin1Char(alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet) - 1)]);
    return id;
}

void load(const QSettings& store, MonitorSettings& settings)
{
    assignStoredSettings(settings, read(store));
}

bool restrictToOwner(const QString& fileName)
{
    QFile file(fileName);
    if (!file.exists())
        return true;
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    if ((file.permissions() & ~(ownerOnly | QFile::ReadUser | QFile::WriteUser)) == 0)
        return true;
    return file.setPermissions(ownerOnly);
}

bool createPrivately(const QString& fileName)
{
    if (QFile::exists(fileName))
        return true;
    if (!QDir().mkpath(QFileInfo(fileName).path()))
        return false;
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace SettingsStore
