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
    for (const SettingSpec& spec : settingsTable()) {
        const QVariant stored = store.value(spec.name);
        QVariant checked = stored.isValid() ? checkedValue(spec, stored) : spec.defaultValue;
        if (!checked.isValid()) {
            // Only flags and numbers can be unusable; texts, the password among them, never are.
            qCWarning(lcConfig).noquote().nospace()
                << "Settings: " << spec.name << "=" << stored.toString() << " is not a usable value; using "
                << spec.defaultValue.toString();
            checked = spec.defaultValue;
        }
        values.set(spec.key, checked);
    }
    return values;
}

void write(QSettings& store, const StoredSettings& values)
{
    for (const SettingSpec& spec : settingsTable()) {
        if (!values.has(spec.key))
            continue;
        if (spec.type == StoredType::List)
            store.setValue(spec.name, encodeList(values.list(spec.key)));
        else
            store.setValue(spec.name, values.value(spec.key));
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
