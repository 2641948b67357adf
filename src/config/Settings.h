#pragma once
// The settings file (section "System", key Controller_Loading_Mode) and where every program of
// the package finds it: one rule for the program and its tools, so that the same user gets the
// same files from each, root included.

#include <QByteArray>
#include <QString>

#include <functional>

class QSettings;
#include <cstdint>

namespace Settings {

// The file the install places beside an installed executable: such a copy keeps its settings in
// the per-user folder, never beside itself, even when it could write there (as root).
inline constexpr char kInstalledMarker[] = "Orvane.installed";
// Where the package keeps the program, seen from the folder of the tools (bin/).
inline constexpr char kPrivateFromBin[] = "../lib/orvane";

// The folder for the vendor's device library on an installed system: the package never owns
// it, so an upgrade never takes a configured PC back to the simulated boards.
inline constexpr char kLocalLibraryDir[] = "/usr/local/lib/orvane";

// The device library the program, qrxio and orvane-agent in `executableDir` load, in this
// order: ORVANE_DEVICE_LIBRARY; `configured` (the DeviceLibrary key of the program's settings
// file, or of the agent's [Recorder] section); the library in `localDir` when it is there;
// else the package's own: beside the executable, or for a tool installed in bin/, in the
// package's private folder.
QString DeviceLibraryPath(const QString &executableDir, const QString &configured,
                          const QString &localDir = QLatin1String(kLocalLibraryDir));
// The DeviceLibrary key of the settings file's [System] section (empty when missing).
QString ReadDeviceLibrary(const QString &path);

// The per-user folder of the settings and the window layout: Orvane in the user's config folder
// (~/.config/Orvane).
QString UserFolder();

// The program's own folder for an executable's folder: its real location (links resolved);
// for a tool installed in bin/ beside the package's private folder (which holds the install
// marker), that private folder, where the program is.
QString ProgramFolder(const QString &executableDir);

// Where the settings file lives, for the program of `executableDir` (see ProgramFolder):
// Orvane.ini beside the program when it exists there; else, for a copy that is not installed,
// beside the program when that folder can be written; else the per-user file. A path beside the
// program must fit the system record. The program's first use of a missing per-user file takes
// over the one an earlier version kept in a doubled folder (see TakeOver); a copy that fails
// leaves the earlier file to be read in place.
QString ChooseSettingsPath(const QString &executableDir);

// The same choice for a tool that never creates a folder or a file: where only the earlier
// version's file exists, that file is read in place.
QString SettingsPathToRead(const QString &executableDir);
// The same choice touching nothing and reading no earlier file: where the program keeps its
// settings, and beside them its point names.
QString SettingsPath(const QString &executableDir);

// The window layout's file (Qt settings in INI format) in the per-user folder; the first use of
// a missing one takes over the layout an earlier version kept under another name.
QString LayoutPath();
// Changes the Qt settings file (INI format) at `path` through `change` and saves it with the
// safe writer (WriteFileAtomically): the keys it does not change are kept, and a file that may
// not be replaced (another user's link, a FIFO, a folder) is left alone with `error` saying why.
bool ChangeQtSettings(const QString &path, const std::function<void(QSettings &)> &change,
                      QString *error = nullptr);

// Copies an earlier version's file at `oldPath` to the missing `path`, once. Only a regular
// file of the running user, not reached through a link, of at most 64 MiB is taken; another is
// left alone and said so once (a warning). Answers the file to use: `path`, or `oldPath` when
// the copy failed (reported once), so that the stored values are still read.
QString TakeOver(const QString &oldPath, const QString &path);

// The key's text as read (empty when missing or empty).
QByteArray ReadLoadingModeText(const QString &path);
// Writes the mode formatted "%d"; false when the file could not be written.
bool WriteLoadingMode(const QString &path, int32_t mode);

// At start-up: create a missing file with the current mode, then take the stored mode when
// there is one.
void LoadAtStartup(const QString &path, int32_t *loadingMode);

} // namespace Settings
