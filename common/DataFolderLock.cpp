#include "common/DataFolderLock.h"

#include "common/DataFile.h"
#include "common/PlatformError.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Why the lock file at `name` cannot serve, from what stands there and the error of the open.
QString unusableReason(const QByteArray &name, int error)
{
    struct stat info {};
    if (::lstat(name.constData(), &info) == 0) {
        if (S_ISLNK(info.st_mode))
            return QStringLiteral("it is a link, not a file");
        if (S_ISDIR(info.st_mode))
            return QStringLiteral("it is a folder, not a file");
        if (!S_ISREG(info.st_mode))
            return QStringLiteral("it is not an ordinary file");
        if (info.st_uid != ::getuid())
            return QStringLiteral("it belongs to another user (quillet-cli run with sudo leaves "
                                  "one behind) and you cannot read it");
    }
    return PlatformError::reasonForErrno(error);
}

PlatformError unusable(const QString &path, const QString &reason)
{
    return PlatformError(PlatformError::Kind::FileSystem,
                         QStringLiteral("Nothing was saved: the data folder\u2019s lock file "
                                        "\u201C%1\u201D cannot be used, because %2. Remove that "
                                        "file (it holds nothing) and try again.")
                             .arg(path, reason));
}

} // namespace

DataFolderLock::DataFolderLock(const QString &folder, int waitLimit)
{
    DataFile::makeFolder(folder);
    const QString path = QFileInfo(folder + u'/' + fileName()).absoluteFilePath();
    const QByteArray name = QFile::encodeName(path);
    // Never through a link planted at the name; private like every file of the folder.
    m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    // flock needs no write access: a lock file made read-only, or another user's that we may
    // read, serves as well, and so does one on a volume that turned read-only.
    int error = errno;
    if (m_fd < 0 && (error == EACCES || error == EPERM || error == EROFS)) {
        m_fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (m_fd < 0 && errno != ENOENT)
            error = errno;
    }
    if (m_fd < 0) {
        // A volume that is full or read-only, with no lock file yet: no save could succeed.
        if (error == ENOENT || error == ENOSPC || error == EDQUOT || error == EROFS)
            throw PlatformError::cannotSave(path, PlatformError::reasonForErrno(error));
        throw unusable(path, unusableReason(name, error));
    }
    // A FIFO or a device opens too, and would lock nothing anyone else looks at.
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = errno;
        ::close(m_fd);
        m_fd = -1;
        throw unusable(path, unusableReason(name, error));
    }

    // Holders keep it for a file's read and write, so a short poll is enough.
    QElapsedTimer waited;
    waited.start();
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = errno;
            ::close(m_fd);
            m_fd = -1;
            throw unusable(path, PlatformError::reasonForErrno(error));
        }
        if (waited.elapsed() >= waitLimit) {
            ::close(m_fd);
            m_fd = -1;
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
