#include "common/DataFile.h"

#include "common/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

QString sentence(QString reason)
{
    if (!reason.isEmpty())
        reason[0] = reason[0].toLower();
    return reason;
}

QString readFailure(const QFile &file)
{
    const QFileInfo info(file.fileName());
    if (!info.exists())
        return QStringLiteral("it does not exist");
    if (info.isDir())
        return QStringLiteral("it is a folder");
    if (!info.isReadable())
        return QStringLiteral("you do not have permission to read it");
    return sentence(file.errorString());
}

// Why nothing can be written in `folder` although it exists: the volume, not the file. QSaveFile
// keeps no errno, and a full disk can fail a write with no error text at all, so the volume is
// asked directly. Empty when the volume looks fine.
QString volumeFailure(const QString &folder, qint64 needed)
{
    const QStorageInfo volume(folder);
    if (!volume.isValid())
        return {};
    // Checked before permissions: a read-only volume also denies writing to everyone.
    if (volume.isReadOnly())
        return PlatformError::reasonForErrno(EROFS);
    if (volume.bytesAvailable() < needed)
        return PlatformError::reasonForErrno(ENOSPC);
    return {};
}

QString writeFailure(const QString &path, const QSaveFile &file, qint64 size)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.exists())
        return QStringLiteral("the folder does not exist");
    if (const QString reason = volumeFailure(folder.absoluteFilePath(), size + 1);
        !reason.isEmpty())
        return reason;
    if (!folder.isWritable())
        return QStringLiteral("you do not have permission to write there");
    if (QFileInfo(path).isDir())
        return QStringLiteral("a folder of that name is in the way");
    for (int error : {ENOSPC, EDQUOT, EROFS}) {
        if (file.errorString() == QString::fromLocal8Bit(std::strerror(error)))
            return PlatformError::reasonForErrno(error);
    }
    return sentence(file.errorString());
}

} // namespace

QByteArray DataFile::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || QFileInfo(path).isDir())
        throw PlatformError::cannotRead(path, readFailure(file));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw PlatformError::cannotRead(path, readFailure(file));
    return data;
}

void DataFile::write(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    // Unbuffered: QSaveFile only notices a failed write that goes through it, and commits a
    // file that a buffered flush could not write (an empty file on a full disk).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw PlatformError::cannotSave(path, writeFailure(path, file, data.size()));
    if (file.write(data) != data.size()) {
        const QString reason = writeFailure(path, file, data.size());
        file.cancelWriting();
        throw PlatformError::cannotSave(path, reason);
    }
    // Some file systems report a full disk only when the data reaches it.
    if (::fsync(file.handle()) != 0 && errno != EINVAL && errno != ENOTSUP) {
        const int error = errno;
        file.cancelWriting();
        throw PlatformError::cannotSave(path, PlatformError::reasonForErrno(error));
    }
    if (!file.commit())
        throw PlatformError::cannotSave(path, writeFailure(path, file, data.size()));
}

void DataFile::makeFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return;
    if (info.exists())
        throw PlatformError::cannotCreateFolder(
            path, QStringLiteral("a file of that name is in the way"));
    if (!QDir().mkpath(path)) {
        // Find the deepest existing ancestor to say why.
        QFileInfo ancestor(info.absolutePath());
        while (!ancestor.exists() && ancestor.absoluteFilePath() != ancestor.absolutePath())
            ancestor = QFileInfo(ancestor.absolutePath());
        QString reason = !ancestor.isDir() ? QStringLiteral("a file is in the way of its path")
                                           : volumeFailure(ancestor.absoluteFilePath(), 1);
        if (reason.isEmpty())
            reason = QStringLiteral("you do not have permission to write there");
        throw PlatformError::cannotCreateFolder(path, reason);
    }
}

bool DataFile::exists(const QString &path)
{
    return QFileInfo::exists(path);
}
