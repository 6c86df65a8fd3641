#pragma once

#include "history/SavedScan.h"

#include <QHash>
#include <QString>

#include <optional>
#include <utility>

// What the history listing shows of each archive, cached in "history-index.json" in the data
// folder, so that listing thousands of saved scans reads only the archives that are new or
// changed. Entries are keyed by file name and hold the file's size and modification time; a
// missing, damaged or other version's index reads as empty and is rebuilt. Never the only copy
// of anything.
class HistoryIndex {
public:
    struct Entry {
        qint64 size = 0;
        // Milliseconds since 1970.
        qint64 modified = 0;
        // The archive without its rows; absent when the archive could not be used.
        std::optional<SavedScan> scan;

        friend bool operator==(const Entry &, const Entry &) = default;
    };
    using Map = QHash<QString, Entry>;

    static constexpr int version = 1;

    // The largest index read. An index of many thousand scans stays far below it; one that
    // would not is written with the entries that fit.
    static constexpr qint64 limit = 64'000'000;

    static Map read(const QString &path);
    // The entries of `map` that fit within `limit`, taken in name order, and the file that
    // holds them.
    static std::pair<Map, QByteArray> fitting(const Map &map, qint64 limit = HistoryIndex::limit);
    // What `read` makes of the contents: anything not wholly understood is an empty map.
    static Map decode(const QByteArray &json);

    HistoryIndex() = delete;
};
