#pragma once
// The one way the programs write a file: whole or not at all, and only where the running user
// may put it. QtCore only.

#include <QString>

#include <functional>

class QIODevice;

// Whether a file may be written or opened at `path` as far as links go: every symbolic link on
// the way (in the folders of the path, in what those links lead to, and the last part) belongs
// to the running user or to root. A link of another user, anywhere, is refused with `error`
// naming it, so that nobody can point a folder of our path at one of their choosing (another
// user's "reports -> /root-owned/folder" in a sticky folder). The check stops at the first
// part that does not exist; it creates nothing. The database is checked with it too.
// `resolved` (when given) gets the path with every link on the way replaced by what it leads
// to; a part that does not exist ends the walk, and the rest follows as given.
bool CheckPathLinks(const QString &path, QString *error, QString *resolved = nullptr);

// Writes `path` through `write` into a new file in the same folder that replaces the old file
// only when every byte reached the disk. The path must pass CheckPathLinks() before anything
// is created; the file is replaced only when it is a regular file (a folder, a FIFO or a device
// node is refused), a link as its last part is followed only when every link of that chain
// belongs to the running user, and the new file keeps the owner, group and mode of the one it
// replaces, or the write is refused. When anything fails (a full disk, a
// folder that cannot be written, `write` answering false) the old file stays as it was,
// nothing is left behind, and `error` says what failed.
bool WriteFileAtomically(const QString &path, const std::function<bool(QIODevice *)> &write,
                         QString *error = nullptr);
