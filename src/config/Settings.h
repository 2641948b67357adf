#pragma once
// The settings file: section "System", key Controller_Loading_Mode.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace Settings {

// The file the install places beside an installed executable: such a copy keeps its settings in
// the per-user folder, never beside itself, even when it could write there (as root).
inline constexpr char kInstalledMarker[] = "Orvane.installed";

// The per-user folder of the settings and the window layout: Orvane in the user's config folder
// (~/.config/Orvane).
QString UserFolder();

// Where the settings file lives: Orvane.ini beside the executable when it exists there; else,
// for a copy that is not installed, beside the executable when that folder can be written; else
// the per-user file. A path beside the executable must fit the system record. The first use of
// a missing per-user file takes over the one an earlier version kept in a doubled folder.
QString ChooseSettingsPath(const QString &executableDir);

// The window layout's file (Qt settings in INI format) in the per-user folder; the first use of
// a missing one takes over the layout an earlier version kept under another name.
QString LayoutPath();

// The key's text as read (empty when missing or empty).
QByteArray ReadLoadingModeText(const QString &path);
// Writes the mode formatted "%d"; false when the file could not be written.
bool WriteLoadingMode(const QString &path, int32_t mode);

// At start-up: create a missing file with the current mode, then take the stored mode when
// there is one.
void LoadAtStartup(const QString &path, int32_t *loadingMode);

} // namespace Settings
