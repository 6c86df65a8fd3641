#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The user's name and notes for one saved scan. Archived scans are never rewritten, so these
// live in "snapshot-notes.json", keyed by scan identity.
struct SnapshotAnnotation {
    QString name;
    QString notes;

    friend bool operator==(const SnapshotAnnotation &, const SnapshotAnnotation &) = default;

    using Map = QMap<QString, SnapshotAnnotation>;

    // One scan's name and notes as the file holds them, escapes counted: far more than anyone
    // types, and small enough that one of them cannot crowd out the others.
    static constexpr qint64 entryLimit = 1'000'000;
    // The whole file: a hundred of the largest entries, or many thousands of typed ones.
    static constexpr qint64 fileLimit = 100'000'000;

    // An absent file is an empty map; a damaged one throws, so that it is never overwritten.
    static Map readMap(const QString &path);
    static void writeMap(const QString &path, const Map &map);
    // The file's contents; throws PlatformError naming `path` when they are not a map.
    static Map decodeMap(const QByteArray &json, const QString &path);
    static QByteArray encodeMap(const Map &map);
    // The size of this entry in the file.
    qint64 encodedSize() const;
};
