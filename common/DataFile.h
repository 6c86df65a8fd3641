#pragma once

#include <QByteArray>
#include <QString>

// The one way Quillet reads and writes its files. Writes are atomic: a reader sees the old
// file or the new one, never half of either. Failures throw PlatformError naming the file.
//
// The data folder is not trusted: only regular files are read, never through a link, and
// never more than a limit; a save replaces the name itself, so a link planted there is
// replaced rather than followed. Files are made readable by their owner only (0600), folders
// usable by their owner only (0700).
class DataFile {
public:
    // Generous for any file of ours: an inventory of 5,000 apps is under 3 MB.
    static constexpr qint64 defaultLimit = 50'000'000;

    static QByteArray read(const QString &path, qint64 limit = defaultLimit);
    static void write(const QString &path, const QByteArray &data);
    static void makeFolder(const QString &path);
    // Whether anything stands at `path`, a link that leads nowhere included.
    static bool exists(const QString &path);

    DataFile() = delete;
};
