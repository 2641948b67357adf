#pragma once
// End-to-end tests run the program on the simulated library with boards of their own.

#include <QByteArray>
#include <QString>

// Writes `content` as the board file `<dir>/<name>.ini`, points the simulated library at it
// with a fresh state file `<dir>/<name>.state`, and makes the program load the simulated
// library. False when the board file cannot be written.
bool UseSimBoards(const QString &dir, const QString &name, const QByteArray &content);
