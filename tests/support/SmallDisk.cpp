#include "SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <sys/statvfs.h>
#include <unistd.h>

SmallDisk::SmallDisk(const QString &parent, int kib)
    : m_path(QDir(parent).filePath(QStringLiteral("small-disk")))
{
    if (geteuid() != 0 || !QDir().mkpath(m_path))
        return;
    m_mounted = QProcess::execute(QStringLiteral("mount"),
                                  {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                   QStringLiteral("-o"), QStringLiteral("size=%1k").arg(kib),
                                   QStringLiteral("tmpfs"), m_path}) == 0;
}

SmallDisk::~SmallDisk()
{
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {m_path});
}

bool SmallDisk::Fill(qint64 leaveBytes)
{
    struct statvfs fs;
    if (!m_mounted || statvfs(QFile::encodeName(m_path).constData(), &fs) != 0)
        return false;
    const qint64 free = qint64(fs.f_bavail) * qint64(fs.f_frsize);
    QFile filler(QDir(m_path).filePath(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly))
        return false;
    const qint64 bytes = std::max<qint64>(0, free - leaveBytes);
    return filler.write(QByteArray(bytes, 'f')) == bytes && filler.flush();
}
