#include "common/DataFile.h"

#include "common/PlatformError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    // Closes now, for the error that NFS and others report only here.
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

QString notAFile()
{
    return QStringLiteral("it is not an ordinary file");
}

QString tooLarge(qint64 limit)
{
    return QStringLiteral("it is larger than %1 MB").arg(limit / 1'000'000);
}

QString openFailure(const QByteArray &name, int error)
{
    if (error == ENOENT)
        return QStringLiteral("it does not exist");
    // O_NOFOLLOW reports a link as ELOOP on Linux and macOS, EMLINK on some others.
    struct stat info {};
    if (::lstat(name.constData(), &info) == 0 && S_ISLNK(info.st_mode))
        return QStringLiteral("it is a link, not a file");
    if (error == EACCES || error == EPERM)
        return QStringLiteral("you do not have permission to read it");
    // A socket cannot be opened at all.
    if (error == ENXIO || error == EOPNOTSUPP)
        return notAFile();
    return PlatformError::reasonForErrno(error);
}

// Why nothing could be written in `folder`, which exists, from the error the system gave. Only
// a full volume is reported as one: /proc and others report no free space and refuse for other
// reasons. `error` is 0 when a write ended short without one, which a full disk can do; then the
// volume itself is asked.
QString folderFailure(const QString &folder, int error, qint64 needed)
{
    const QStorageInfo volume(folder);
    switch (error) {
    case 0:
        return volume.isValid() && volume.bytesAvailable() < needed
            ? PlatformError::reasonForErrno(ENOSPC)
            : QStringLiteral("the disk did not take all of it");
    case ENOSPC:
    case EDQUOT:
        return PlatformError::reasonForErrno(ENOSPC);
    case EACCES:
    case EPERM:
        // A read-only volume denies writing to everyone, whatever the permissions say.
        return volume.isValid() && volume.isReadOnly()
            ? PlatformError::reasonForErrno(EROFS)
            : QStringLiteral("you do not have permission to write there");
    case ENOENT:
        // The folder exists, yet nothing can be made in it.
        return QStringLiteral("files cannot be created in that folder");
    default:
        return PlatformError::reasonForErrno(error);
    }
}

QString writeFailure(const QString &path, int error, qint64 size)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.exists())
        return QStringLiteral("the folder does not exist");
    if (error == EISDIR || (error != ENOSPC && QFileInfo(path).isDir()))
        return QStringLiteral("a folder of that name is in the way");
    return folderFailure(folder.absoluteFilePath(), error, size + 1);
}

// The temporary file of a save, removed unless it took the name.
class PendingFile {
public:
    explicit PendingFile(QByteArray name) : m_name(std::move(name)) {}
    ~PendingFile()
    {
        if (!m_name.isEmpty())
            ::unlink(m_name.constData());
    }
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    const char *name() const { return m_name.constData(); }
    void keep() { m_name.clear(); }

private:
    QByteArray m_name;
};

// A new file beside `path`, so that the rename stays on one volume; a name too long for the
// suffix gets a short one of its own. `mode` goes through the umask, as for any new file.
int createTemporary(const QString &path, mode_t mode, QByteArray &name)
{
    const QFileInfo info(path);
    const bool longName = QFile::encodeName(info.fileName()).size() > 200;
    const QByteArray stem = QFile::encodeName(
        longName ? info.absolutePath() + QStringLiteral("/.quillet") : info.absoluteFilePath());
    static constexpr char letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        // Six letters or digits, as mkstemp makes them.
        name = stem + '.';
        for (int i = 0; i < 6; ++i)
            name += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
        const int fd =
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Not QSaveFile: it writes through a link that stands at the name. The temporary file is made
// new (O_EXCL), never opening anything that already exists, with `mode` through the umask, or
// `kept`, the mode of the file it replaces.
void replace(const QString &path, const DataFile::Content &content, mode_t mode,
             std::optional<mode_t> kept = std::nullopt)
{
    QByteArray temporary;
    Descriptor file(createTemporary(path, mode, temporary));
    if (file.get() < 0)
        throw PlatformError::cannotSave(path, writeFailure(path, errno, 0));
    PendingFile pending(temporary);
    if (kept && ::fchmod(file.get(), *kept) != 0)
        throw PlatformError::cannotSave(path, writeFailure(path, errno, 0));

    qint64 written = 0;
    content([&](QByteArrayView piece) {
        const char *next = piece.data();
        qint64 left = piece.size();
        while (left > 0) {
            const ssize_t count =
                ::write(file.get(), next, size_t(std::min<qint64>(left, qint64(1) << 30)));
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                throw PlatformError::cannotSave(
                    path, writeFailure(path, count < 0 ? errno : 0, written + left));
            next += count;
            left -= count;
            written += count;
        }
    });
    // Some file systems report a full disk only when the data reaches it.
    if (::fsync(file.get()) != 0 && errno != EINVAL && errno != ENOTSUP)
        throw PlatformError::cannotSave(path, writeFailure(path, errno, written));
    if (file.close() != 0)
        throw PlatformError::cannotSave(path, writeFailure(path, errno, written));
    // rename replaces the name itself: a link standing there goes, its target stays as it was.
    if (::rename(pending.name(), QFile::encodeName(path).constData()) != 0)
        throw PlatformError::cannotSave(path, writeFailure(path, errno, written));
    pending.keep();

    // The new name lasts a crash only once its folder is written out; worth trying, not failing.
    const Descriptor folder(::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0)
        ::fsync(folder.get());
}

DataFile::Content whole(const QByteArray &data)
{
    return [&data](const std::function<void(QByteArrayView)> &write) { write(data); };
}

// Like mkpath, but every folder it creates is its owner's alone. The errno of a failure, or 0.
int makePath(const QString &path)
{
    QStringList missing;
    for (QFileInfo folder(path); !folder.exists(); folder = QFileInfo(folder.absolutePath())) {
        if (folder.absoluteFilePath() == folder.absolutePath())
            break;
        missing.prepend(folder.absoluteFilePath());
    }
    for (const QString &folder : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return QFileInfo(path).isDir() ? 0 : ENOTDIR;
}

} // namespace

QByteArray DataFile::read(const QString &path, qint64 limit)
{
    const QByteArray name = QFile::encodeName(path);
    // Never through a link; and a FIFO must not hold the open until some writer comes.
    const Descriptor file(::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        throw PlatformError::cannotRead(path, openFailure(name, errno));
    // Checked on what was opened, so that nothing can be swapped in after the check.
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        throw PlatformError::cannotRead(path, PlatformError::reasonForErrno(errno));
    if (S_ISDIR(info.st_mode))
        throw PlatformError::cannotRead(path, QStringLiteral("it is a folder"));
    if (!S_ISREG(info.st_mode))
        throw PlatformError::cannotRead(path, notAFile());
    if (info.st_size > limit)
        throw PlatformError::cannotRead(path, tooLarge(limit));

    QByteArray data;
    // Room behind the text for a JSON parser's look-ahead, so that it need not copy the file.
    data.reserve(qsizetype(info.st_size) + 64);
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throw PlatformError::cannotRead(path, PlatformError::reasonForErrno(errno));
        if (count == 0)
            return data;
        // It may grow while it is read.
        if (data.size() + count > limit)
            throw PlatformError::cannotRead(path, tooLarge(limit));
        data.append(buffer, count);
    }
}

void DataFile::write(const QString &path, const QByteArray &data, qint64 limit)
{
    // Written, it would be refused at the next start; the file in place stays as it is.
    if (data.size() > limit)
        throw PlatformError::cannotSave(
            path,
            QStringLiteral("it would be larger than %1 MB, more than Quillet reads back")
                .arg(limit / 1'000'000));
    replace(path, whole(data), 0600);
}

void DataFile::writeExport(const QString &path, const QByteArray &data)
{
    writeExport(path, whole(data));
}

void DataFile::writeExport(const QString &path, const Content &content)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) == 0) {
        // What the path leads to, through any links: only a regular file is replaced.
        if (S_ISDIR(info.st_mode))
            throw PlatformError::cannotSave(path,
                                            QStringLiteral("a folder of that name is in the way"));
        if (!S_ISREG(info.st_mode))
            throw PlatformError::cannotSave(path, notAFile());
        // The file itself is replaced, so that links to it stay links, as after any Save As.
        char resolved[PATH_MAX];
        if (!::realpath(name.constData(), resolved))
            throw PlatformError::cannotSave(path, PlatformError::reasonForErrno(errno));
        replace(QFile::decodeName(resolved), content, 0666, info.st_mode & 07777);
        return;
    }

    // A new file; a link to a file not made yet makes it where the link leads.
    QString target = path;
    for (int links = 0;; ++links) {
        const QByteArray current = QFile::encodeName(target);
        if (::lstat(current.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            break;
        if (links == 40)
            throw PlatformError::cannotSave(path, PlatformError::reasonForErrno(ELOOP));
        QByteArray link(PATH_MAX, Qt::Uninitialized);
        const ssize_t length = ::readlink(current.constData(), link.data(), size_t(link.size()));
        if (length < 0)
            throw PlatformError::cannotSave(path, PlatformError::reasonForErrno(errno));
        link.truncate(length);
        target = QDir(QFileInfo(target).absolutePath()).absoluteFilePath(QFile::decodeName(link));
    }
    replace(target, content, 0666);
}

void DataFile::makeFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return;
    if (info.exists())
        throw PlatformError::cannotCreateFolder(
            path, QStringLiteral("a file of that name is in the way"));
    if (const int error = makePath(QDir::cleanPath(info.absoluteFilePath())); error != 0) {
        // Find the deepest existing ancestor to say why.
        QFileInfo ancestor(info.absolutePath());
        while (!ancestor.exists() && ancestor.absoluteFilePath() != ancestor.absolutePath())
            ancestor = QFileInfo(ancestor.absolutePath());
        throw PlatformError::cannotCreateFolder(
            path,
            !ancestor.isDir() ? QStringLiteral("a file is in the way of its path")
                              : folderFailure(ancestor.absoluteFilePath(), error, 1));
    }
}

bool DataFile::exists(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

void DataFile::removeStaleTemporaries(const QString &folder)
{
    // What createTemporary makes beside our files: the JSON files, the icons (named by their
    // digest) and the short name for a long one, each with six letters or digits.
    static const QRegularExpression temporary(
        QStringLiteral("^(?:.+\\.json|[0-9a-f]{64}|\\.quillet)\\.[A-Za-z0-9]{6}$"));
    const auto staleBefore = std::chrono::system_clock::now() - std::chrono::minutes(10);
    QDirIterator entries(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (entries.hasNext()) {
        const QString path = entries.next();
        if (!temporary.match(entries.fileName()).hasMatch())
            continue;
        const QByteArray name = QFile::encodeName(path);
        struct stat info {};
        if (::lstat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::getuid() ||
            std::chrono::system_clock::from_time_t(info.st_mtime) > staleBefore)
            continue;
        // Not worth a failure: the next start tries again.
        ::unlink(name.constData());
    }
}

bool DataFile::isMissing(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) != 0 && errno == ENOENT;
}

void DataFile::checkFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        if (errno == ENOENT)
            return;
        throw PlatformError::cannotList(path, PlatformError::reasonForErrno(errno));
    }
    if (!S_ISDIR(info.st_mode))
        throw PlatformError::cannotList(path, QStringLiteral("it is not a folder"));
    if (::access(name.constData(), R_OK | X_OK) != 0)
        throw PlatformError::cannotList(path,
                                        QStringLiteral("you do not have permission to read it"));
}
