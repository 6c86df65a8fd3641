#include "scanning/CategoryEntry.h"

#include "common/JsonText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>

namespace {

// Absent and null both mean "not given"; any other type spoils the file.
bool readOptionalText(const JsonText &text, JsonText::Value value, std::optional<QString> &out)
{
    switch (value.type()) {
    case JsonText::Type::null:
        out.reset();
        return true;
    case JsonText::Type::string:
        out = text.string(value);
        return true;
    default:
        return false;
    }
}

bool readRevision(JsonText::Value value, std::optional<qint64> &out)
{
    switch (value.type()) {
    case JsonText::Type::null:
        out.reset();
        return true;
    case JsonText::Type::number: {
        const double number = JsonText::number(value);
        if (number != std::floor(number) || std::abs(number) > 9e15)
            return false;
        out = qint64(number);
        return true;
    }
    default:
        return false;
    }
}

std::optional<CategoryEntry> readEntry(const JsonText &text, JsonText::Value value)
{
    if (value.type() != JsonText::Type::object)
        return std::nullopt;
    std::optional<QString> category;
    std::optional<double> checked;
    CategoryEntry entry;
    for (JsonText::Field field : value.get_object()) {
        const QByteArrayView key = text.key(field);
        bool good = true;
        if (key == "category") {
            good = field.value().type() == JsonText::Type::string;
            if (good)
                category = text.string(field.value());
        } else if (key == "checked") {
            good = field.value().type() == JsonText::Type::number;
            if (good)
                checked = JsonText::number(field.value());
        } else if (key == "version") {
            good = readOptionalText(text, field.value(), entry.version);
        } else if (key == "iconURL") {
            good = readOptionalText(text, field.value(), entry.iconURL);
        } else if (key == "country") {
            good = readOptionalText(text, field.value(), entry.country);
        } else if (key == "listed") {
            const JsonText::Type type = field.value().type();
            good = type == JsonText::Type::boolean || type == JsonText::Type::null;
            if (type == JsonText::Type::boolean)
                entry.listed = bool(field.value().get_bool());
        } else if (key == "metadataRevision") {
            good = readRevision(field.value(), entry.metadataRevision);
        }
        if (!good)
            return std::nullopt;
    }
    if (!category || !checked)
        return std::nullopt;
    entry.category = *category;
    entry.checked = *checked;
    return entry;
}

// Every entry, or only those named in `wanted` (as UTF-8).
std::optional<CategoryEntry::Map> decode(const QByteArray &json, const QSet<QByteArrayView> *wanted)
{
    CategoryEntry::Map map;
    bool damaged = false;
    try {
        JsonText text(json);
        text.read([&](JsonText::Document &document) {
            if (document.type() != JsonText::Type::object) {
                damaged = true;
                return;
            }
            for (JsonText::Field field : document.get_object()) {
                const QByteArrayView key = text.key(field);
                if (wanted && !wanted->contains(key))
                    continue;
                std::optional<CategoryEntry> entry = readEntry(text, field.value());
                if (!entry) {
                    damaged = true;
                    return;
                }
                map.insert(QString::fromUtf8(key), std::move(*entry));
            }
        });
    } catch (const JsonText::SyntaxError &) {
        return std::nullopt;
    }
    if (damaged)
        return std::nullopt;
    return map;
}

} // namespace

std::optional<CategoryEntry::Map> CategoryEntry::decodeMap(const QByteArray &json)
{
    return decode(json, nullptr);
}

std::optional<CategoryEntry::Map> CategoryEntry::decodeEntries(const QByteArray &json,
                                                               const QStringList &identifiers)
{
    QList<QByteArray> names;
    names.reserve(identifiers.size());
    QSet<QByteArrayView> wanted;
    wanted.reserve(identifiers.size());
    for (const QString &identifier : identifiers)
        wanted.insert(names.emplace_back(identifier.toUtf8()));
    return decode(json, &wanted);
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
        if (it->listed)
            object.insert(QLatin1String("listed"), *it->listed);
        root.insert(it.key(), object);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}
