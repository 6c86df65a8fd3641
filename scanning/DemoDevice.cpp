#include "scanning/DemoDevice.h"

#include "common/DataFile.h"
#include "common/Locations.h"
#include "common/PlatformError.h"
#include "common/StoreCountry.h"
#include "features/StoreArtwork.h"
#include "scanning/CategoryEntry.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QStandardPaths>
#include <QUrl>

const QString DemoDevice::description =
    QStringLiteral("Demo device: nothing here is read from a real iPhone or iPad.");

namespace {

const QString unknown = QStringLiteral("-");

// A field the demo tools read: one value, or one for each of the four scans of their cycle.
bool hasToolShape(const QString &field)
{
    const qsizetype values = field.count(u'/') + 1;
    return !field.isEmpty() && (values == 1 || values == 4);
}

} // namespace

QList<DemoDevice::App> DemoDevice::apps(const QString &folder)
{
    const QString path = folder + QStringLiteral("/apps.txt");
    const QStringList lines = QString::fromUtf8(DataFile::read(path)).split(u'\n');
    QList<App> result;
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const QString &line = lines[index];
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u'|');
        // The signer, whether it is offloaded and its minimum system are for the tools alone.
        if (fields.size() < 8 || fields.size() > 11 || !hasToolShape(fields[4]) ||
            !hasToolShape(fields[6]) || !hasToolShape(fields[7]) ||
            (fields.size() > 9 && !hasToolShape(fields[9])) || fields[0].isEmpty() ||
            fields[1].isEmpty())
            throw PlatformError::notDecodable(
                path, QStringLiteral("line %1 is not an app of the demo").arg(index + 1));
        result.append({fields[0], fields[1], fields[2] == unknown ? QString() : fields[2],
                       fields[5] == unknown ? QString() : fields[5]});
    }
    return result;
}

QString DemoDevice::dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/Quillet Demo");
}

QString DemoDevice::iconURL(const QString &bundle)
{
    return QStringLiteral("https://is1-ssl.mzstatic.com/image/thumb/Demo/%1/512x512bb.png")
        .arg(bundle);
}

QImage DemoDevice::icon(const QString &name)
{
    // FNV-1a: the same colour for the same name in every run.
    quint32 hash = 2166136261u;
    for (QChar c : name)
        hash = (hash ^ c.unicode()) * 16777619u;
    // Dark enough for white initials whatever the hue.
    const QColor colour = QColor::fromHsl(int(hash % 360), 150, 110);

    QString initials;
    for (const QString &word : name.split(u' ', Qt::SkipEmptyParts)) {
        if (initials.size() < 2)
            initials += word.front().toUpper();
    }

    constexpr int side = 128;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, side);
    fill.setColorAt(0, colour.lighter(125));
    fill.setColorAt(1, colour.darker(110));
    QPainterPath square;
    square.addRoundedRect(QRectF(0, 0, side, side), 28, 28);
    painter.fillPath(square, fill);
    QFont font;
    font.setPixelSize(initials.size() > 1 ? 52 : 64);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, side, side), Qt::AlignCenter, initials);
    painter.end();
    return image;
}

QString DemoDevice::prepare()
{
    const QString folder = Locations::resources() + QStringLiteral("/Demo");
    const QList<App> table = apps(folder);

    Locations::setDeviceResources(folder);
    Locations::setStorage(dataFolder());
    // A closed port on this machine: should anything be looked up after all, it fails here.
    Locations::setLookupURL(QUrl(QStringLiteral("http://127.0.0.1:9/lookup")));
    // Its icons point at the store's artwork host, but are all made here.
    Locations::setOffline(true);

    // Checked just now, so that no scan asks the store again today.
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    CategoryEntry::Map cache;
    DataFile::makeFolder(Locations::storage() + QStringLiteral("/Icons"));
    for (const App &app : table) {
        // As the chosen store's, which the demo never asks: it stays offline whatever the choice.
        CategoryEntry entry{app.category,           now, {}, {}, CategoryEntry::currentRevision,
                            StoreCountry::current()};
        if (!app.storeVersion.isEmpty())
            entry.version = app.storeVersion;
        if (!app.category.isEmpty()) {
            entry.iconURL = iconURL(app.bundle);
            const QString iconPath = StoreArtwork::cachePath(*entry.iconURL);
            // A damaged or planted icon is made again, never downloaded.
            if (StoreArtwork::cached(*entry.iconURL).isNull()) {
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                icon(app.name).save(&buffer, "PNG");
                DataFile::write(iconPath, png);
            }
        }
        cache.insert(app.bundle, entry);
    }
    DataFile::write(Locations::storage() + QStringLiteral("/categories.json"),
                    CategoryEntry::encodeMap(cache));
    return description;
}
