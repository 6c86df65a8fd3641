#include "common/DataFolderLock.h"

#include "common/DataFile.h"
#include "common/PlatformError.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

DataFolderLock::DataFolderLock(const QString &folder)
{
    DataFile::makeFolder(folder);
    const QString path = folder + u'/' + fileName();
    // Never through a link planted at the name; private like every file of the folder.
    m_fd = ::open(QFile::encodeName(path).constData(),
                  O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (m_fd < 0) {
        // Where not even an empty file can be made, no writer can save anything either: the
        // save that follows fails, naming its own file and the reason.
        if (errno == EROFS || errno == EACCES || errno == EPERM || errno == ENOSPC ||
            errno == EDQUOT)
            return;
        throw PlatformError::cannotSave(path, PlatformError::reasonForErrno(errno));
    }

    // Holders keep it for a file's read and write, so a short poll is enough.
    QElapsedTimer waited;
    waited.start();
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const int error = errno;
            ::close(m_fd);
            throw PlatformError::cannotSave(path, PlatformError::reasonForErrno(error));
        }
        if (waited.elapsed() > waitLimitMs) {
            ::close(m_fd);
            throw PlatformError(
                PlatformError::Kind::FileSystem,
                QStringLiteral("Another Quillet window or quillet-cli is still "
                               "saving in the data folder. Try again in a moment."));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

DataFolderLock::~DataFolderLock()
{
    // Closing lets go of the lock.
    if (m_fd >= 0)
        ::close(m_fd);
}
