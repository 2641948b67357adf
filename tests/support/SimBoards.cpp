#include "SimBoards.h"

#include <QDir>
#include <QFile>

bool UseSimBoards(const QString &dir, const QString &name, const QByteArray &content)
{
    const QString config = QDir(dir).filePath(name + QStringLiteral(".ini"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        return false;
    f.close();
    qputenv("QRXSIM_CONFIG", config.toLocal8Bit());
    qputenv("QRXSIM_STATE", QDir(dir).filePath(name + QStringLiteral(".state")).toLocal8Bit());
    qputenv("ORVANE_DEVICE_LIBRARY", qgetenv("ORVANE_SIMLIB"));
    return true;
}
