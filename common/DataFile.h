#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

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
    // Refuses, before anything is replaced, data that `read` with the same limit would refuse.
    static void write(const QString &path, const QByteArray &data, qint64 limit = defaultLimit);
    // A document the user saves, which is theirs to share: a link at `path` is followed to its
    // file, anything but a regular file there is refused, a new file gets the umask's mode and
    // a replaced one keeps its own. Still atomic.
    static void writeExport(const QString &path, const QByteArray &data);
    // A file's bytes, handed piece by piece to the function given, so that a large export is
    // never whole in memory.
    using Content = std::function<void(const std::function<void(QByteArrayView)> &)>;
    static void writeExport(const QString &path, const Content &content);
    static void makeFolder(const QString &path);
    // Throws when something other than a folder Quillet can read stands at `path`. Nothing
    // there is fine: the folder is made when something is first saved in it.
    static void checkFolder(const QString &path);
    // Whether anything stands at `path`, a link that leads nowhere included.
    static bool exists(const QString &path);
    // A save killed before its rename leaves its temporary file behind, as large as the file it
    // was to replace. Removes those in `folder` that are ours: named as a save names them, owned
    // by this user and untouched for ten minutes, which no save in progress is.
    static void removeStaleTemporaries(const QString &folder);
    // Whether nothing stands at `path` though the folders on its way are there.
    static bool isMissing(const QString &path);

    DataFile() = delete;
};
