#include "scanning/CategoryEntry.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

// Absent and null both mean "not given"; any other type spoils the file.
bool readOptionalText(const QJsonObject &object, QLatin1String key, std::optional<QString> &out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

} // namespace

std::optional<CategoryEntry::Map> CategoryEntry::decodeMap(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    Map map;
    map.reserve(root.size());
    for (auto it = root.begin(); it != root.end(); ++it) {
        if (!it->isObject())
            return std::nullopt;
        const QJsonObject object = it->toObject();
        const QJsonValue category = object.value(QLatin1String("category"));
        const QJsonValue checked = object.value(QLatin1String("checked"));
        if (!category.isString() || !checked.isDouble())
            return std::nullopt;
        CategoryEntry entry{category.toString(), checked.toDouble(), {}, {}, {}};
        if (!readOptionalText(object, QLatin1String("version"), entry.version) ||
            !readOptionalText(object, QLatin1String("iconURL"), entry.iconURL) ||
            !readOptionalText(object, QLatin1String("country"), entry.country))
            return std::nullopt;
        const QJsonValue revision = object.value(QLatin1String("metadataRevision"));
        if (revision.isDouble()) {
            const double value = revision.toDouble();
            if (value != std::floor(value) || std::abs(value) > 9e15)
                return std::nullopt;
            entry.metadataRevision = qint64(value);
        } else if (!revision.isUndefined() && !revision.isNull()) {
            return std::nullopt;
        }
        map.insert(it.key(), entry);
    }
    return map;
}

QByteArray CategoryEntry::encodeMap(const Map &map)
{
    QJsonObject root;
    for (auto it = map.begin(); it != map.end(); ++it) {
        QJsonObject object{{QLatin1String("category"), it->category},
                           {QLatin1String("checked"), it->checked}};
        if (it->version)
            object.insert(QLatin1String("version"), *it->version);
        if (it->iconURL)
            object.insert(QLatin1String("iconURL"), *it->iconURL);
        if (it->metadataRevision)
            object.insert(QLatin1String("metadataRevision"), *it->metadataRevision);
        if (it->country)
            object.insert(QLatin1String("country"), *it->country);
        root.insert(it.key(), object);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}
