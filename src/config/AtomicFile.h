#pragma once
// The one way the programs write a file: whole or not at all, and only where the running user
// may put it. QtCore only.

#include <QString>

#include <functional>

class QIODevice;

// Writes `path` through `write` into a new file in the same folder that replaces the old file
// only when every byte reached the disk. The file is replaced only when it is a regular file
// (a folder, a FIFO or a device node is refused), a symbolic link is followed only when every
// link on the way belongs to the running user, and the new file keeps the owner, group and
// mode of the one it replaces, or the write is refused. When anything fails (a full disk, a
// folder that cannot be written, `write` answering false) the old file stays as it was,
// nothing is left behind, and `error` says what failed.
bool WriteFileAtomically(const QString &path, const std::function<bool(QIODevice *)> &write,
                         QString *error = nullptr);

// Walks every part of `path` (made absolute against the working folder), following each
// symbolic link on the way, and refuses the path when a link belongs to a user other than the
// running user and root, or when links loop; creates and opens nothing. `resolved` (when given)
// gets the path with every link on the way replaced by what it leads to; a part that does not
// exist ends the walk, and the rest follows as given.
bool CheckPathLinks(const QString &path, QString *error, QString *resolved = nullptr);
