#include "scanning/DataFile.h"

#include "scanning/PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

QString writeFailure(const QString &path, const QSaveFile &file)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.exists())
        return QStringLiteral("the folder does not exist");
    if (!folder.isWritable())
        return QStringLiteral("you do not have permission to write there");
    if (QFileInfo(path).isDir())
        return QStringLiteral("a folder of that name is in the way");
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
    if (!file.open(QIODevice::WriteOnly))
        throw PlatformError::cannotSave(path, writeFailure(path, file));
    if (file.write(data) != data.size()) {
        const QString reason = writeFailure(path, file);
        file.cancelWriting();
        throw PlatformError::cannotSave(path, reason);
    }
    if (!file.commit())
        throw PlatformError::cannotSave(path, writeFailure(path, file));
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
        const QString reason = !ancestor.isDir()
            ? QStringLiteral("a file is in the way of its path")
            : QStringLiteral("you do not have permission to write there");
        throw PlatformError::cannotCreateFolder(path, reason);
    }
}

bool DataFile::exists(const QString &path)
{
    return QFileInfo::exists(path);
}
