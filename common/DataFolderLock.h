#pragma once

#include <QString>

// One writer at a time in a data folder. The window and quillet-cli may run at once, and each
// has threads of its own: whatever reads a file there, changes it and writes it back holds
// this lock across the three steps, and only then, never across a network wait or a dialog.
//
// An flock on ".quillet-lock" in the folder: the system lets go of it when its holder exits,
// however it exits, so a lock is never left behind. Not reentrant: a holder never asks again.
class DataFolderLock {
public:
    static constexpr int waitLimitMs = 15'000;

    // Waits for the lock, creating the folder if need be. Throws PlatformError when it cannot
    // be taken (the lock file is a link, a folder, or cannot even be read), or when another
    // writer keeps it longer than `waitLimit` milliseconds: nothing is written without it.
    explicit DataFolderLock(const QString &folder, int waitLimit = waitLimitMs);
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock &) = delete;
    DataFolderLock &operator=(const DataFolderLock &) = delete;
    static QString fileName() { return QStringLiteral(".quillet-lock"); }

private:
    int m_fd = -1;
};
