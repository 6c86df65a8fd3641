#pragma once

#include <QByteArrayView>
#include <QVariant>

// Reads a property list, XML or binary, into Qt values: dictionaries become QVariantMap,
// arrays QVariantList, integers qint64 (quint64 above its range), reals double, booleans bool,
// strings QString, data QByteArray and dates QDateTime.
class PropertyList {
public:
    // Throws PlatformError when the bytes are not a property list, or one that is nested too
    // deep, too large or too self-referring to be built safely (see PropertyListCheck).
    static QVariant parse(QByteArrayView data, const QString &what);

    PropertyList() = delete;
};
