#pragma once
// An exclusive lock on a folder, so that two programs that read, merge and replace a file in it
// take turns. QtCore only.

#include <QString>

class FolderLock
{
public:
    // Locks `folder` itself (flock on the folder, opened without following a link, so no file
    // is made or opened for it), waiting up to `timeoutMs` for another holder to let go.
    explicit FolderLock(const QString &folder, int timeoutMs = 3000);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool isLocked() const { return m_fd >= 0 || m_unlocked; }
    // Why the lock could not be had.
    QString error() const { return m_error; }

private:
    int m_fd = -1;
    bool m_unlocked = false; // where folders cannot be locked, nothing is waited for
    QString m_error;
};
