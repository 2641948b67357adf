#include "SimBoards.h"

#include <QDir>
#include <QFile>
#include <QProcess>

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

ToolRun RunTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    ToolRun run;
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = p.exitCode();
    run.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

ToolRun Qrxsim(const QStringList &args)
{
    return RunTool(qEnvironmentVariable("QRXSIM_TOOL"), args);
}

ToolRun Qrxio(const QStringList &args)
{
    return RunTool(qEnvironmentVariable("QRXIO_TOOL"), args);
}
