#pragma once

#include "config/monitorsettings.h"

class QSettings;

namespace SettingsStore {

// Reads the stored keys into the record, with the defaults a missing key yields. Leaves the
// expressions and capture positions alone: the configuration window completes those.
void load(QSettings& store, MonitorSettings& settings);

// Stored value conversions as QVariant performs them on the native INI store.
bool readBool(const QSettings& store, const QString& key, bool defaultValue);
int readInt(const QSettings& store, const QString& key, int defaultValue);
QString readString(const QSettings& store, const QString& key, const QString& defaultValue);

// The password is kept in plain text, so the file must be readable by its owner alone.
// Returns false when the permissions could not be narrowed.
bool restrictToOwner(const QString& fileName);

} // namespace SettingsStore
