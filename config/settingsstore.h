#pragma once

#include "config/settingstable.h"

class QSettings;

namespace SettingsStore {

// Every key of the store, each checked against its type and range: a missing key, or a value that
// is not of its type or outside its range, gives the key's default (the latter with a warning in
// the "tarvix.config" log naming the key).
StoredSettings read(const QSettings& store);

// Writes every value that is set; a key without a value keeps what the store holds.
void write(QSettings& store, const StoredSettings& values);

// Reads the store and puts its values in force. Leaves the expressions and capture positions
// alone: they follow the parsing rules.
void load(const QSettings& store, MonitorSettings& settings);

// The password is kept in plain text, so the file must be readable by its owner alone.
// Returns false when the permissions could not be narrowed.
bool restrictToOwner(const QString& fileName);

// Creates a missing settings file empty and owner-only before anything is written into it: Qt
// writes the settings into a new file with the permissions of the existing one, so the password
// is never readable by others, not even for a moment. False when the file could not be created.
bool createPrivately(const QString& fileName);

} // namespace SettingsStore
