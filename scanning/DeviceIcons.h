#pragma once

#include "features/StoreArtwork.h"
#include "scanning/Row.h"

#include <QByteArrayView>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// App icons read from the device for apps the store has no artwork for (TestFlight, enterprise
// and developer builds, apps gone from the store), kept beside the store's icons in the data
// folder's "Icons", one file per app version. An empty file says the device was asked and gave
// no usable icon for that version, so it is not asked again until the app changes.
class DeviceIcons {
public:
    // As much as a store icon may take; a device's are far smaller.
    static constexpr qint64 sizeLimit = StoreArtwork::sizeLimit;
    // Devices draw icons at 180 pixels at most, and the store's largest is 1024.
    static constexpr int largestSide = 1024;
    // A first scan of a device with thousands of apps fetches this many; the next scans the rest.
    static constexpr int mostPerScan = 500;

    // Whether the bytes are a whole PNG of at most sizeLimit bytes and largestSide pixels each
    // way, read from its header without decoding anything.
    static bool isAcceptable(QByteArrayView png);
    // The SHA-256 of the bundle identifier and version, in lowercase hexadecimal, in `storage`.
    static QString cachePath(const QString &storage, const QString &bundle, const QString &version);
    // The icon kept for the app version, or a null image when there is none or it is damaged.
    static QImage cached(const QString &storage, const QString &bundle, const QString &version);

    // The bundle identifiers of the rows without store artwork whose version the device was not
    // asked about yet, at most mostPerScan.
    static QStringList wanted(const QString &storage, const QList<Row> &rows);
    // Keeps what the icon helper answered for `asked`: each acceptable icon, and an empty file
    // for each app it answered without one. Anything else in the answer is ignored, and so is a
    // file that cannot be written: an icon is never worth a failed scan.
    static void keep(const QString &storage, const QList<Row> &rows, const QStringList &asked,
                     const QVariant &answer);

    DeviceIcons() = delete;
};
