#include "config/Settings.h"

#include "config/AtomicFile.h"
#include "config/ProfileFile.h"
#include "device/DeviceLibrary.h"
#include "device/SystemInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QByteArray kSection = "System";
const QByteArray kKey = "Controller_Loading_Mode";
const QString kFileName = QStringLiteral("Orvane.ini");

QString ConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

constexpr qint64 kMaxTakenBytes = 64 * 1024 * 1024; // what the profile reader accepts

// Says `message` once in this process.
void WarnOnce(const QString &message)
{
    static QSet<QString> said;
    if (!said.contains(message)) {
        said.insert(message);
        qWarning("%s", qPrintable(message));
    }
}

// Why an earlier version's file is not taken, or empty when it may be.
QString Unacceptable(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("it cannot be read");
    const bool link = S_ISLNK(st.st_mode), regular = S_ISREG(st.st_mode);
    const bool others = st.st_uid != geteuid();
    const qint64 size = st.st_size;
#else
    const QFileInfo info(path);
    const bool link = info.isSymLink(), regular = info.isFile(), others = false;
    const qint64 size = info.size();
#endif
    if (link)
        return QStringLiteral("it is a symbolic link");
    if (!regular)
        return QStringLiteral("it is not a regular file");
    if (others)
        return QStringLiteral("it belongs to another user");
    if (size > kMaxTakenBytes)
        return QStringLiteral("it is larger than 64 MiB");
    return {};
}

// The earlier version's file, when it exists and may be taken (copied to `newPath`, or read
// where it is when `newPath` is empty); `oldPath` or empty.
QString Acceptable(const QString &oldPath, const QString &newPath)
{
    if (!QFileInfo(oldPath).exists() && !QFileInfo(oldPath).isSymLink())
        return {};
    const QString why = Unacceptable(oldPath);
    if (why.isEmpty())
        return oldPath;
    const QString done = newPath.isEmpty()
        ? QStringLiteral("read")
        : QStringLiteral("taken over to %1").arg(QDir::toNativeSeparators(newPath));
    WarnOnce(QStringLiteral("The settings of an earlier version in %1 are not %2: %3.")
                 .arg(QDir::toNativeSeparators(oldPath), done, why));
    return {};
}

// How a settings path is chosen: by the program, which takes an earlier version's file over; by
// a tool, which creates nothing and reads an earlier version's file in place; or plainly.
enum class For { Program, Reading, Path };

QString Choose(const QString &executableDir, For use)
{
    const QDir dir(Settings::ProgramFolder(executableDir));
    const QString beside = dir.filePath(kFileName);
    // The system record keeps the path in 260 bytes: a longer one, cut there, would name
    // another file, and System Environment Setup would store the mode where no start reads it.
    const bool fits = beside.toLocal8Bit().size() < kPathBytes;
    const bool installed =
        QFileInfo::exists(dir.filePath(QLatin1String(Settings::kInstalledMarker)));
    if (fits && (QFileInfo::exists(beside) || (!installed && QFileInfo(dir.path()).isWritable())))
        return beside;
    const QDir folder(Settings::UserFolder());
    const QString path = folder.filePath(kFileName);
    const QString old = folder.filePath(QStringLiteral("Orvane/") + kFileName);
    if (use == For::Program) {
        QDir().mkpath(folder.path());
        return Settings::TakeOver(old, path);
    }
    if (use == For::Path || QFileInfo::exists(path))
        return path;
    const QString inPlace = Acceptable(old, QString());
    return inPlace.isEmpty() ? path : inPlace;
}

} // namespace

namespace Settings {

QString UserFolder()
{
    return QDir(ConfigFolder()).filePath(QStringLiteral("Orvane"));
}

QString ProgramFolder(const QString &executableDir)
{
    const QString real = QFileInfo(executableDir).canonicalFilePath();
    const QDir dir(real.isEmpty() ? executableDir : real);
    if (QFileInfo::exists(dir.filePath(QLatin1String(kInstalledMarker))))
        return dir.path();
    const QDir installed(dir.filePath(QLatin1String(kPrivateFromBin)));
    if (QFileInfo::exists(installed.filePath(QLatin1String(kInstalledMarker))))
        return installed.canonicalPath();
    return dir.path();
}

QString TakeOver(const QString &oldPath, const QString &path)
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink() ||
        Acceptable(oldPath, path).isEmpty())
        return path;
    QFile old(oldPath);
    QString why;
    if (!old.open(QIODevice::ReadOnly))
        why = old.errorString();
    const QByteArray data = why.isEmpty() ? old.read(kMaxTakenBytes + 1) : QByteArray();
    if (why.isEmpty() &&
        WriteFileAtomically(
            path, [&data](QIODevice *out) { return out->write(data) == data.size(); }, &why))
        return path;
    WarnOnce(QStringLiteral("The settings of an earlier version in %1 could not be copied to %2 "
                            "(%3); they are read where they are.")
                 .arg(QDir::toNativeSeparators(oldPath), QDir::toNativeSeparators(path), why));
    return oldPath;
}

QString SettingsPathToRead(const QString &executableDir)
{
    return Choose(executableDir, For::Reading);
}

QString SettingsPath(const QString &executableDir)
{
    return Choose(executableDir, For::Path);
}

QString ChooseSettingsPath(const QString &executableDir)
{
    return Choose(executableDir, For::Program);
}

QString LayoutPath()
{
    const QString folder = UserFolder();
    QDir().mkpath(folder);
    const QString old = QStringLiteral("Local AppWizard-Generated Applications/Orvane.conf");
    return TakeOver(QDir(ConfigFolder()).filePath(old),
                    QDir(folder).filePath(QStringLiteral("Orvane.conf")));
}

QByteArray ReadLoadingModeText(const QString &path)
{
    return ReadProfileValue(kSection, kKey, QByteArray(), path);
}

bool WriteLoadingMode(const QString &path, int32_t mode)
{
    return WriteProfileValue(kSection, kKey, QByteArray::number(mode), path);
}

void LoadAtStartup(const QString &path, int32_t *loadingMode)
{
    if (!QFileInfo::exists(path))
        WriteLoadingMode(path, *loadingMode);
    const QByteArray text = ReadLoadingModeText(path);
    if (!text.isEmpty())
        *loadingMode = Atoi(text);
}

QString DeviceLibraryPath(const QString &executableDir, const QString &configured,
                          const QString &localDir)
{
    if (const QString fromEnv = qEnvironmentVariable("ORVANE_DEVICE_LIBRARY"); !fromEnv.isEmpty())
        return fromEnv;
    if (!configured.isEmpty())
        return configured;
    const QString local = QDir(localDir).filePath(DeviceLibrary::FileName());
    if (QFileInfo::exists(local))
        return local;
    const QString beside = QDir(executableDir).filePath(DeviceLibrary::FileName());
    const QString installed =
        QDir::cleanPath(QDir(QDir(executableDir).filePath(QLatin1String(kPrivateFromBin)))
                            .filePath(DeviceLibrary::FileName()));
    return !QFileInfo::exists(beside) && QFileInfo::exists(installed) ? installed : beside;
}

QString ReadDeviceLibrary(const QString &path)
{
    return QString::fromLocal8Bit(ReadProfileValue(kSection, "DeviceLibrary", QByteArray(), path));
}

bool ChangeQtSettings(const QString &path, const std::function<void(QSettings &)> &change,
                      QString *error)
{
    // QSettings would replace the file wherever a link leads: it changes a copy in a private
    // folder, which the safe writer then puts in place. Only a regular file is read (a FIFO
    // would block the copy).
    QTemporaryDir stage;
    const QString copy = stage.filePath(QStringLiteral("settings.conf"));
    if (!stage.isValid() || (QFileInfo(path).isFile() && !QFile::copy(path, copy))) {
        if (error)
            *error = QStringLiteral("%1 could not be read").arg(path);
        return false;
    }
    {
        QSettings settings(copy, QSettings::IniFormat);
        change(settings);
        settings.sync();
    }
    QFile staged(copy);
    if (!staged.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("the layout could not be staged");
        return false;
    }
    const QByteArray text = staged.readAll();
    return WriteFileAtomically(
        path, [&text](QIODevice *out) { return out->write(text) == text.size(); }, error);
}

} // namespace Settings
