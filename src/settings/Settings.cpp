#include "Settings.h"

#include "ProfileFile.h"
#include "SystemInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QByteArray kSection = "System";
const QByteArray kKey = "Controller_Loading_Mode";

} // namespace

namespace Settings {

QString ChooseSettingsPath(const QString &executableDir)
{
    const QString beside = QDir(executableDir).filePath(QStringLiteral("Orvane.ini"));
    // The system record keeps the path in 260 bytes: a longer one, cut there, would name
    // another file, and System Environment Setup would store the mode where no start reads it.
    const bool fits = beside.toLocal8Bit().size() < kPathBytes;
    if (fits && (QFileInfo::exists(beside) || QFileInfo(executableDir).isWritable()))
        return beside;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(folder);
    return QDir(folder).filePath(QStringLiteral("Orvane.ini"));
}

QByteArray ReadLoadingModeText(const QString &path)
{
    return GetPrivateProfileString(kSection, kKey, QByteArray(), path);
}

bool WriteLoadingMode(const QString &path, int32_t mode)
{
    return WritePrivateProfileString(kSection, kKey, QByteArray::number(mode), path);
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
