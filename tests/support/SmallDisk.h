#pragma once
// A folder on a small disk of its own (a tmpfs mounted for the test), to see what a full disk
// does to a write. Mounting needs root; without it the folder is not made.

#include <QString>

class SmallDisk
{
public:
    // Mounts `kib` KiB at a new folder under `parent`; isMounted() tells whether it worked.
    SmallDisk(const QString &parent, int kib);
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool isMounted() const { return m_mounted; }
    QString path() const { return m_path; }
    // Fills what is left of the disk but `leaveBytes` with a file of its own.
    bool Fill(qint64 leaveBytes = 0);

private:
    QString m_path;
    bool m_mounted = false;
};
