#include "common/PlatformError.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {

QString displayName(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

QString quoted(const QString &text)
{
    return QChar(0x201C) + text + QChar(0x201D);
}

} // namespace

PlatformError::PlatformError(Kind kind, const QString &description)
    : Failure(description), m_kind(kind)
{}

PlatformError PlatformError::cannotRead(const QString &path, const QString &reason)
{
    return {Kind::FileSystem,
            QStringLiteral("The file %1 could not be read: %2.")
                .arg(quoted(displayName(path)), reason)};
}

PlatformError PlatformError::cannotSave(const QString &path, const QString &reason)
{
    const QString folder = QFileInfo(QFileInfo(path).absolutePath()).fileName();
    return {Kind::FileSystem,
            QStringLiteral("The file %1 could not be saved in the folder %2: %3.")
                .arg(quoted(displayName(path)), quoted(folder), reason)};
}

PlatformError PlatformError::cannotCreateFolder(const QString &path, const QString &reason)
{
    return {Kind::FileSystem,
            QStringLiteral("The folder %1 could not be created: %2.")
                .arg(quoted(displayName(path)), reason)};
}

PlatformError PlatformError::cannotList(const QString &path, const QString &reason)
{
    return {Kind::FileSystem,
            QStringLiteral("The contents of the folder %1 could not be read: %2.")
                .arg(quoted(displayName(path)), reason)};
}

PlatformError PlatformError::notDecodable(const QString &path, const QString &reason)
{
    return {Kind::Decoding,
            QStringLiteral("The file %1 could not be read: %2.")
                .arg(quoted(displayName(path)), reason)};
}

QString PlatformError::reasonForErrno(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("it does not exist");
    case EACCES:
    case EPERM:
        return QStringLiteral("you do not have permission to use it");
    case ENOSPC:
        return QStringLiteral("there is not enough space on the disk");
    case EROFS:
        return QStringLiteral("the volume is read-only");
    case EISDIR:
        return QStringLiteral("it is a folder");
    case ENOTDIR:
        return QStringLiteral("a part of its path is not a folder");
    default:
        return QString::fromLocal8Bit(std::strerror(error)).toLower();
    }
}
