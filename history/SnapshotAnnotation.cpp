#include "history/SnapshotAnnotation.h"

#include "common/DataFile.h"
#include "common/PlatformError.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

[[noreturn]] void notNotes(const QString &path, const QString &why)
{
    throw PlatformError::notDecodable(
        path, QStringLiteral("it does not hold snapshot names and notes (%1)").arg(why));
}

} // namespace

SnapshotAnnotation::Map SnapshotAnnotation::readMap(const QString &path)
{
    if (!DataFile::exists(path))
        return {};
    return decodeMap(DataFile::read(path, fileLimit), path);
}

SnapshotAnnotation::Map SnapshotAnnotation::decodeMap(const QByteArray &data, const QString &path)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError)
        throw PlatformError::notDecodable(
            path, QStringLiteral("it is not valid JSON (at offset %1)").arg(error.offset));
    if (!document.isObject())
        notNotes(path, QStringLiteral("it holds no object"));

    Map map;
    const QJsonObject root = document.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        const QJsonValue name = entry.value(QLatin1String("name"));
        const QJsonValue notes = entry.value(QLatin1String("notes"));
        if (!it.value().isObject() || !name.isString() || !notes.isString())
            notNotes(path, QStringLiteral("the entry for %1 lacks a name or notes").arg(it.key()));
        map.insert(it.key(), {name.toString(), notes.toString()});
    }
    return map;
}

void SnapshotAnnotation::writeMap(const QString &path, const Map &map)
{
    DataFile::write(path, encodeMap(map), fileLimit);
}

qint64 SnapshotAnnotation::encodedSize() const
{
    return encodeMap({{QString(), *this}}).size();
}

QByteArray SnapshotAnnotation::encodeMap(const Map &map)
{
    QJsonObject root;
    for (auto it = map.begin(); it != map.end(); ++it) {
        root.insert(
            it.key(),
            QJsonObject{{QLatin1String("name"), it->name}, {QLatin1String("notes"), it->notes}});
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}
