#include "config/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>

Q_LOGGING_CATEGORY(lcConfig, "tarvix.config", QtWarningMsg)

namespace SettingsStore {

StoredSettings read(const QSettings& store)
{
    StoredSettings values;
    for (const SettingEntry& entry : settingsTable()) {
        const QVariant stored = store.value(entry.name);
        QVariant checked = stored.isValid() ? checkedValue(entry, stored) : entry.defaultValue;
        if (!checked.isValid()) {
            // Only flags and numbers can be unusable; texts, the password among them, never are.
            qCWarning(lcConfig).noquote().nospace()
                << "Settings: " << entry.name << "=" << stored.toString() << " is not a usable value; using "
                << entry.defaultValue.toString();
            checked = entry.defaultValue;
        }
        values.set(entry.key, checked);
    }
    return values;
}

void write(QSettings& store, const StoredSettings& values)
{
    for (const SettingEntry& entry : settingsTable()) {
        if (!values.has(entry.key))
            continue;
        if (entry.type == StoredType::List)
            store.setValue(entry.name, encodeList(values.list(entry.key)));
        else
            store.setValue(entry.name, values.value(entry.key));
    }
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
