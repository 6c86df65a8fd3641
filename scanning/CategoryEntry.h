#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// What the store said about one bundle identifier, and when. Kept in "categories.json".
struct CategoryEntry {
    // Empty when the store named no category or did not know the app.
    QString category;
    // Seconds since 1970-01-01 UTC.
    double checked = 0;
    std::optional<QString> version;
    std::optional<QString> iconURL;
    // Entries of other lookup rules than the current ones are looked up again.
    std::optional<qint64> metadataRevision;
    // The store country that answered; absent in entries from before there was a choice, which
    // were all the US store's.
    std::optional<QString> country = {};
    // Whether the store's answer carried the app. Entries from before it was kept say so by
    // having a store version, which every app the store carries has.
    std::optional<bool> listed = {};

    bool isListed() const { return listed.value_or(version.has_value()); }

    QString countryCode() const { return country.value_or(QStringLiteral("us")); }

    static constexpr qint64 currentRevision = 1;
    // What the store said holds for a day: then the cache asks again, and an update verdict
    // from an older answer is "Unknown".
    static constexpr double freshForSeconds = 86400;

    friend bool operator==(const CategoryEntry &, const CategoryEntry &) = default;

    using Map = QHash<QString, CategoryEntry>;

    // The cache, or nothing when any part of it cannot be decoded.
    static std::optional<Map> decodeMap(const QByteArray &json);
    // Only the entries of these apps, the others passed over unread: a scan needs a few hundred
    // of a cache that may hold every app ever looked up. Nothing when the text is not JSON or an
    // entry read cannot be decoded.
    static std::optional<Map> decodeEntries(const QByteArray &json, const QStringList &identifiers);
    static QByteArray encodeMap(const Map &map);
};
