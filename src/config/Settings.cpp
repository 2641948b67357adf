#include "config/Settings.h"

#include "config/ProfileFile.h"
#include "device/SystemInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QByteArray kSection = "System";
const QByteArray kKey = "Controller_Loading_Mode";
const QString kFileName = QStringLiteral("Orvane.ini");

QString ConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

// Copies an earlier version's file to the new place once, when the new file is missing; the old
// one stays for that version.
QString TakeOver(const QString &oldPath, const QString &path)
{
    if (!QFileInfo::exists(path) && QFileInfo(oldPath).isFile())
        QFile::copy(oldPath, path);
    return path;
}

} // namespace

namespace Settings {

QString UserFolder()
{
    return QDir(ConfigFolder()).filePath(QStringLiteral("Orvane"));
}

QString ChooseSettingsPath(const QString &executableDir)
{
    const QDir dir(executableDir);
    const QString beside = dir.filePath(kFileName);
    // The system record keeps the path in 260 bytes: a longer one, cut there, would name
    // another file, and System Environment Setup would store the mode where no start reads it.
    const bool fits = beside.toLocal8Bit().size() < kPathBytes;
    const bool installed = QFileInfo::exists(dir.filePath(QLatin1String(kInstalledMarker)));
    if (fits &&
        (QFileInfo::exists(beside) || (!installed && QFileInfo(executableDir).isWritable())))
        return beside;
    const QString folder = UserFolder();
    QDir().mkpath(folder);
    return TakeOver(QDir(folder).filePath(QStringLiteral("Orvane/") + kFileName),
                    QDir(folder).filePath(kFileName));
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

} // namespace Settings
