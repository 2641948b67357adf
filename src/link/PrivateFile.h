#pragma once
// The files a connection's secrets live in: a password file and a TLS key, which only their
// owner and group may read. QtCore only.

#include <QByteArray>
#include <QString>

#include <optional>

// The first line of a file that only its owner and group may read, without its line end.
// Refused: a missing or unreadable file, one that is not a regular file, one that others may
// read or write, an empty first line.
std::optional<QByteArray> ReadPasswordFile(const QString &path, QString *error);
// Whether a private file (a TLS key) is a regular file that others may not read or write.
bool CheckPrivateFile(const QString &path, QString *error);
