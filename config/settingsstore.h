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

// The servers' ids in the user's order ("Servers/Order"); the first server, whose keys are flat, is
// "default". A missing or empty order is the first server alone; repeated or unusable ids are
// dropped.
QStringList serverIds(const QSettings& store);
// Where a server's keys live: "" for the first server, "Servers/<id>/" for the others.
QString serverGroup(const QString& id);
// One server's values: its own keys from its group, the program's keys from the flat ones.
StoredSettings readServer(const QSettings& store, const QString& id);
// The keys of one scope that are set in `values`; the server's under its group.
void writeServer(QSettings& store, const QString& id, const StoredSettings& values);
void writeGlobal(QSettings& store, const StoredSettings& values);
void writeServerOrder(QSettings& store, const QStringList& ids);
// Removes a server's keys. The first server's flat keys are cleared, and it is marked disabled, so
// that an older Tarvix, which knows only the flat keys, does not poll a server the user removed.
void removeServer(QSettings& store, const QString& id);
// A short random token that names a new server for good.
QString newServerId();
inline const QString firstServerId = QStringLiteral("default");

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
