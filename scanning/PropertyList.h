#pragma once

#include <QByteArrayView>
#include <QVariant>

// Reads a property list, XML or binary, into Qt values: dictionaries become QVariantMap,
// arrays QVariantList, integers qint64, reals double, booleans bool, strings QString, data
// QByteArray and dates QDateTime.
class PropertyList {
public:
    // Throws PlatformError when the bytes are not a property list.
    static QVariant parse(QByteArrayView data, const QString &what);

    PropertyList() = delete;
};
