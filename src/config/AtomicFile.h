#pragma once
// Writing a file so that it appears whole or not at all. QtCore only.

#include <QString>

#include <functional>

class QIODevice;

// Writes `path` through `write` into a temporary file that replaces the old file only when
// every byte reached the disk. When anything fails (a full disk, a folder that cannot be
// written, `write` answering false) the old file stays as it was, nothing is left behind, and
// `error` says what failed.
bool WriteFileAtomically(const QString &path, const std::function<bool(QIODevice *)> &write,
                         QString *error = nullptr);
