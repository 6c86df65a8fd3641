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

    // Typed by hand: a few kilobytes a scan. Far beyond that it is not a file of ours.
    static constexpr qint64 fileLimit = 8'000'000;

    // An absent file is an empty map; a damaged one throws, so that it is never overwritten.
    static Map readMap(const QString &path);
    static void writeMap(const QString &path, const Map &map);
    // The file's contents; throws PlatformError naming `path` when they are not a map.
    static Map decodeMap(const QByteArray &json, const QString &path);
    static QByteArray encodeMap(const Map &map);
};
