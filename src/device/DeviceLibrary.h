#pragma once
// Loads the device access library at run time and resolves its 22 functions.

#include "device/DeviceTable.h"

#include <QLibrary>
#include <QString>

// Why a library could not be bound: the file tried, the missing symbol (if any), the reason
// ("Missing function: DXS_devSysLoad" for a missing symbol; the loader's own words otherwise).
struct DeviceLoadError
{
    QString file;
    QString symbol;
    QString reason;

    QString text() const;
};

class DeviceLibrary
{
public:
    // The library's file name on this platform.
    static QString FileName();
    // Where to look: the path in ORVANE_DEVICE_LIBRARY, else the file beside the executable.
    static QString DefaultPath(const QString &executableDir);

    // Loads `path` and resolves every function; on failure fills `error` and leaves the
    // table untouched.
    bool Load(const QString &path, DeviceLoadError *error);
    const DeviceTable &Table() const { return m_table; }
    // The loaded file, and whether it exports the simulated library's marker.
    QString FilePath() const { return m_library.fileName(); }
    bool IsSimulated() const { return m_simulated; }

private:
    QLibrary m_library;
    DeviceTable m_table;
    bool m_simulated = false;
};
