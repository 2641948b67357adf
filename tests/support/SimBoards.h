#pragma once
// End-to-end tests run the program on the simulated library with boards of their own.

#include <QByteArray>
#include <QString>

// Writes `content` as the board file `<dir>/<name>.ini`, points the simulated library at it
// with a fresh state file `<dir>/<name>.state`, and makes the program load the simulated
// library. False when the board file cannot be written.
bool UseSimBoards(const QString &dir, const QString &name, const QByteArray &content);

#include <QStringList>

// How a command-line tool ended: its exit status (-1 when it did not end by itself within 30
// seconds or crashed) and what it wrote.
struct ToolRun
{
    int status = -1;
    QString out;
    QString err;
};

ToolRun RunTool(const QString &program, const QStringList &args);
// The simulator's tool and qrxio, as the test environment names them.
ToolRun Qrxsim(const QStringList &args);
ToolRun Qrxio(const QStringList &args);
