#pragma once

#include <QByteArray>
#include <QString>

// The one way Quillet reads and writes its files. Writes are atomic: a reader sees the old
// file or the new one, never half of either. Failures throw PlatformError naming the file.
class DataFile {
public:
    static QByteArray read(const QString &path);
    static void write(const QString &path, const QByteArray &data);
    static void makeFolder(const QString &path);
    static bool exists(const QString &path);

    DataFile() = delete;
};
