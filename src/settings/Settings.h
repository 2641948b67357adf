#pragma once
// The settings file: section "System", key Controller_Loading_Mode.

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace Settings {

// Where the settings file lives: Orvane.ini beside the executable when it exists there or that
// folder can be written, and its path fits the system record; else the per-user file in the
// application's config folder.
QString ChooseSettingsPath(const QString &executableDir);

// The key's text as read (empty when missing or empty).
QByteArray ReadLoadingModeText(const QString &path);
// Writes the mode formatted "%d"; false when the file could not be written.
bool WriteLoadingMode(const QString &path, int32_t mode);

// At start-up: create a missing file with the current mode, then take the stored mode when
// there is one.
void LoadAtStartup(const QString &path, int32_t *loadingMode);

} // namespace Settings
