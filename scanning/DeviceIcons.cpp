#include "scanning/DeviceIcons.h"

#include "common/DataFile.h"
#include "common/Failure.h"
#include "scanning/Column.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QHash>
#include <QImageReader>
#include <QSet>

namespace {

constexpr char signature[] = "\x89PNG\r\n\x1a\n";
constexpr qsizetype signatureSize = 8;
// The header chunk: length, type, 13 bytes of data, checksum.
constexpr qsizetype headerEnd = signatureSize + 4 + 4 + 13 + 4;
// The last chunk, whose length is always 0 and whose checksum is always the same.
constexpr char ending[] = "\0\0\0\0IEND\xae\x42\x60\x82";
constexpr qsizetype endingSize = 12;

quint32 bigEndian(QByteArrayView bytes, qsizetype at)
{
    return quint32(quint8(bytes[at])) << 24 | quint32(quint8(bytes[at + 1])) << 16 |
        quint32(quint8(bytes[at + 2])) << 8 | quint8(bytes[at + 3]);
}

QString folder(const QString &storage)
{
    return storage + QStringLiteral("/Icons");
}

} // namespace

bool DeviceIcons::isAcceptable(QByteArrayView png)
{
    if (png.size() > sizeLimit || png.size() < headerEnd + endingSize)
        return false;
    if (png.first(signatureSize) != QByteArrayView(signature, signatureSize) ||
        bigEndian(png, signatureSize) != 13 ||
        png.sliced(signatureSize + 4, 4) != QByteArrayView("IHDR"))
        return false;
    const quint32 width = bigEndian(png, signatureSize + 8);
    const quint32 height = bigEndian(png, signatureSize + 12);
    if (width == 0 || height == 0 || width > largestSide || height > largestSide)
        return false;
    // A cut-off download or answer ends anywhere but here.
    return png.last(endingSize) == QByteArrayView(ending, endingSize);
}

QString DeviceIcons::cachePath(const QString &storage, const QString &bundle,
                               const QString &version)
{
    // The separator cannot be in either, so no two apps share a name.
    const QByteArray key = "device\n" + bundle.toUtf8() + '\n' + version.toUtf8();
    const QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Sha256);
    return folder(storage) + u'/' + QString::fromLatin1(digest.toHex());
}

QImage DeviceIcons::cached(const QString &storage, const QString &bundle, const QString &version)
{
    QByteArray bytes;
    try {
        bytes = DataFile::read(cachePath(storage, bundle, version), sizeLimit);
    } catch (const Failure &) {
        return {};
    }
    if (!isAcceptable(bytes))
        return {};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    // The header was checked, but the decoder's own reading of it is what counts.
    reader.setAllocationLimit(16);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > largestSide || size.height() > largestSide)
        return {};
    return reader.read();
}

QStringList DeviceIcons::wanted(const QString &storage, const QList<Row> &rows)
{
    QStringList bundles;
    QSet<QString> seen;
    for (const Row &row : rows) {
        const QString bundle = row.value(Column::bundleIdentifier);
        // One that starts with a dash would read as the helper's option.
        if (bundle.isEmpty() || bundle.startsWith(u'-') ||
            !row.value(Column::artworkURL).isEmpty() || seen.contains(bundle))
            continue;
        seen.insert(bundle);
        // A damaged or planted file is asked for again and replaced.
        const QString path = cachePath(storage, bundle, row.value(Column::version));
        try {
            const QByteArray kept = DataFile::read(path, sizeLimit);
            if (kept.isEmpty() || isAcceptable(kept))
                continue;
        } catch (const Failure &) {}
        bundles.append(bundle);
        if (bundles.size() == mostPerScan)
            break;
    }
    return bundles;
}

void DeviceIcons::keep(const QString &storage, const QList<Row> &rows, const QStringList &asked,
                       const QVariant &answer)
{
    const QVariantMap map = answer.toMap();
    const QVariantMap icons = map.value(QStringLiteral("Icons")).toMap();
    const QVariantList missing = map.value(QStringLiteral("Missing")).toList();
    QHash<QString, QString> versions;
    for (const Row &row : rows)
        versions.insert(row.value(Column::bundleIdentifier), row.value(Column::version));
    try {
        DataFile::makeFolder(folder(storage));
    } catch (const Failure &) {
        return;
    }
    const auto write = [&](const QString &bundle, const QByteArray &bytes) {
        try {
            DataFile::write(cachePath(storage, bundle, versions.value(bundle)), bytes, sizeLimit);
        } catch (const Failure &) {
            // Asked again next time.
        }
    };
    const QSet<QString> askedSet(asked.begin(), asked.end());
    for (auto icon = icons.begin(); icon != icons.end(); ++icon) {
        if (!askedSet.contains(icon.key()))
            continue;
        const QVariant &value = icon.value();
        const QByteArray png =
            value.typeId() == QMetaType::QByteArray ? value.toByteArray() : QByteArray();
        // What the device gave and cannot be shown is remembered as nothing.
        write(icon.key(), isAcceptable(png) ? png : QByteArray());
    }
    for (const QVariant &bundle : missing) {
        if (bundle.typeId() == QMetaType::QString && askedSet.contains(bundle.toString()) &&
            !icons.contains(bundle.toString()))
            write(bundle.toString(), QByteArray());
    }
}
