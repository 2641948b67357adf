#include "device/DeviceLibrary.h"

#include "device/LoadedLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString DeviceLoadError::text() const
{
    QString s = QStringLiteral("Device library: %1").arg(QDir::toNativeSeparators(file));
    if (!reason.isEmpty())
        s += QStringLiteral("\n%1").arg(reason);
    return s;
}

namespace {

// Why a path names no file: it is missing, or something on the way (a link loop, a folder that
// may not be searched) stops the search.
QString MissingReason(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (stat(QFile::encodeName(path).constData(), &st) != 0 && errno != ENOENT)
        return errno == ELOOP
            ? QStringLiteral("The path leads through too many levels of symbolic links.")
            : QStringLiteral("The file cannot be reached: %1.").arg(qt_error_string(errno));
#endif
    return QStringLiteral("The file does not exist.");
}

} // namespace

QString DeviceLibrary::FileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("qrxDApiLmd_x64.dll");
#else
    return QStringLiteral("libqrxDApiLmd_x64.so");
#endif
}

QString DeviceLibrary::DefaultPath(const QString &executableDir)
{
    const QString fromEnv = qEnvironmentVariable("ORVANE_DEVICE_LIBRARY");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QDir(executableDir).filePath(FileName());
}

bool DeviceLibrary::Load(const QString &path, DeviceLoadError *error)
{
    auto fail = [&](const QString &symbol, const QString &reason) {
        if (error)
            *error = {path, symbol, reason};
        return false;
    };
    const QFileInfo info(path);
    if (!info.exists())
        return fail({}, MissingReason(path));
    // Loading reads the file: a pipe or a device would hold start-up for ever.
    if (!info.isFile())
        return fail({}, QStringLiteral("The file is not a regular file."));
#ifdef Q_OS_UNIX
    // Loading runs the library's code as this user: only root's file or the user's own is taken.
    if (info.ownerId() != 0 && info.ownerId() != geteuid())
        return fail({},
                    QStringLiteral("The file belongs to another user (%1); only a library of "
                                   "root or of the running user is loaded.")
                        .arg(info.owner()));
#endif

    m_library.setFileName(info.absoluteFilePath());
    if (!m_library.load())
        return fail({}, m_library.errorString());

    DeviceTable table;
#define DXS_RESOLVE(name)                                                                          \
    table.name = reinterpret_cast<decltype(table.name)>(m_library.resolve(#name));                 \
    if (!table.name)                                                                               \
        return fail(QStringLiteral(#name), QStringLiteral("Missing function: " #name));
    DXS_FUNCTION_LIST(DXS_RESOLVE)
#undef DXS_RESOLVE
    m_table = table;
    // Optional: a vendor library does not have it.
    using Marker = int32_t (*)();
    const auto marker = reinterpret_cast<Marker>(m_library.resolve(kSimulatedMarkerSymbol));
    m_simulated = marker && marker() == 1;
    return true;
}
