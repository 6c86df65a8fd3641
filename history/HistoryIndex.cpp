#include "history/HistoryIndex.h"

#include "common/DataFile.h"
#include "common/Failure.h"
#include "common/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace {

QByteArray quoted(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.sliced(1, array.size() - 2);
}

// Anything not as written is a syntax error: the index is then rebuilt.
[[noreturn]] void notWritten()
{
    throw JsonText::SyntaxError{};
}

qint64 wholeNumber(JsonText::Value value)
{
    if (value.type() != JsonText::Type::number)
        notWritten();
    const double number = JsonText::number(value);
    // Exact up to 2^53, far beyond any size or moment.
    if (!(std::abs(number) < 9e15) || number != std::floor(number))
        notWritten();
    return qint64(number);
}

HistoryIndex::Entry readEntry(const JsonText &text, JsonText::Value value, const QString &file)
{
    HistoryIndex::Entry entry;
    std::optional<qint64> appCount;
    std::optional<Inventory> inventory;
    bool unreadable = false;
    if (value.type() != JsonText::Type::object)
        notWritten();
    for (JsonText::Field field : value.get_object()) {
        const QByteArrayView key = text.key(field);
        if (key == "size") {
            entry.size = wholeNumber(field.value());
        } else if (key == "modified") {
            entry.modified = wholeNumber(field.value());
        } else if (key == "appCount") {
            appCount = wholeNumber(field.value());
        } else if (key == "unreadable") {
            if (field.value().type() != JsonText::Type::boolean)
                notWritten();
            (void)field.value().get_bool().value();
            unreadable = true;
        } else if (key == "inventory") {
            simdjson::ondemand::object object = field.value().get_object();
            const std::string_view raw = object.raw_json();
            // Throws PlatformError when it is not an inventory: the index is then not ours.
            inventory = Inventory::fromJson(
                QByteArray::fromRawData(raw.data(), qsizetype(raw.size())), file);
        }
    }
    // Either an archive that could not be used, or its summary and app count: nothing between.
    const bool summary = inventory && appCount;
    const bool nothing = !inventory && !appCount;
    if (unreadable ? !nothing : !summary)
        notWritten();
    if (inventory) {
        if (!inventory->scanID || !inventory->rows.isEmpty() || *appCount < 0)
            notWritten();
        const QString id = *inventory->scanID;
        entry.scan = SavedScan{id, std::move(*inventory), file, *appCount};
    }
    return entry;
}

} // namespace

HistoryIndex::Map HistoryIndex::read(const QString &path)
{
    if (!DataFile::exists(path))
        return {};
    try {
        return decode(DataFile::read(path, limit));
    } catch (const Failure &) {
        // Rebuilt from the archives, which are the real thing.
        return {};
    }
}

HistoryIndex::Map HistoryIndex::decode(const QByteArray &json)
{
    Map map;
    bool current = false;
    try {
        JsonText text(json);
        text.read([&](JsonText::Document &document) {
            if (document.type() != JsonText::Type::object)
                notWritten();
            for (JsonText::Field field : document.get_object()) {
                const QByteArrayView key = text.key(field);
                if (key == "version") {
                    current = wholeNumber(field.value()) == version;
                } else if (key == "archives" && current) {
                    if (field.value().type() != JsonText::Type::object)
                        notWritten();
                    for (JsonText::Field archive : field.value().get_object()) {
                        const QString file = QString::fromUtf8(text.key(archive));
                        map.insert(file, readEntry(text, archive.value(), file));
                    }
                }
            }
        });
        return current ? map : Map();
    } catch (const JsonText::SyntaxError &) {
        return {};
    } catch (const Failure &) {
        return {};
    }
}

std::pair<HistoryIndex::Map, QByteArray> HistoryIndex::fitting(const Map &map, qint64 limit)
{
    const QByteArray head = "{\"version\":" + QByteArray::number(version) + ",\"archives\":{";
    const QByteArray tail = "}}";
    QByteArray out = head;
    Map kept;
    // In name order, so that the same scans give the same file.
    QStringList names = map.keys();
    names.sort();
    for (const QString &name : std::as_const(names)) {
        const Entry &entry = map[name];
        // Every character takes a byte at least: once the index is full, most entries are passed
        // over without being encoded.
        qsizetype least = name.size();
        if (entry.scan) {
            const Inventory &inventory = entry.scan->inventory;
            for (const auto &[key, member] : Inventory::texts())
                least += (inventory.*member).has_value() ? (inventory.*member)->size() : 0;
        }
        if (out.size() + least + tail.size() > limit)
            continue;
        QByteArray item = (kept.isEmpty() ? QByteArray() : QByteArray(",")) + quoted(name) +
            ":{\"size\":" + QByteArray::number(entry.size) +
            ",\"modified\":" + QByteArray::number(entry.modified);
        if (entry.scan)
            item += ",\"appCount\":" + QByteArray::number(entry.scan->appCount) +
                ",\"inventory\":" + entry.scan->inventory.toJson();
        else
            item += ",\"unreadable\":true";
        item += '}';
        // What does not fit is read from its archive, as if there were no index.
        if (out.size() + item.size() + tail.size() > limit)
            continue;
        out += item;
        kept.insert(name, entry);
    }
    return {kept, out + tail};
}
