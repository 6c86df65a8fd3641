#include "history/HistoryIndex.h"

#include "common/DataFile.h"
#include "common/Failure.h"
#include "common/JsonReader.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace {

QByteArray quoted(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.sliced(1, array.size() - 2);
}

qint64 wholeNumber(JsonReader &reader)
{
    if (reader.peek() != JsonReader::Type::Number)
        reader.fail();
    const double number = reader.readNumber();
    // Exact up to 2^53, far beyond any size or moment.
    if (!(std::abs(number) < 9e15) || number != std::floor(number))
        reader.fail();
    return qint64(number);
}

HistoryIndex::Entry readEntry(JsonReader &reader, QByteArrayView json, const QString &file)
{
    HistoryIndex::Entry entry;
    std::optional<qint64> appCount;
    std::optional<Inventory> inventory;
    bool unreadable = false;
    if (reader.peek() != JsonReader::Type::Object)
        reader.fail();
    reader.beginObject();
    QByteArrayView key;
    while (reader.nextKey(key)) {
        if (key == "size") {
            entry.size = wholeNumber(reader);
        } else if (key == "modified") {
            entry.modified = wholeNumber(reader);
        } else if (key == "appCount") {
            appCount = wholeNumber(reader);
        } else if (key == "unreadable") {
            if (reader.peek() != JsonReader::Type::Boolean)
                reader.fail();
            reader.skipValue();
            unreadable = true;
        } else if (key == "inventory") {
            const qsizetype start = reader.offset();
            reader.skipValue();
            // Throws PlatformError when it is not an inventory: the index is then not ours.
            inventory = Inventory::fromJson(json.sliced(start, reader.offset() - start), file);
        } else {
            reader.skipValue();
        }
    }
    // Either an archive that could not be used, or its summary and app count: nothing between.
    const bool summary = inventory && appCount;
    const bool nothing = !inventory && !appCount;
    if (unreadable ? !nothing : !summary)
        reader.fail();
    if (inventory) {
        if (!inventory->scanID || !inventory->rows.isEmpty() || *appCount < 0)
            reader.fail();
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
    JsonReader reader(json);
    try {
        if (reader.peek() != JsonReader::Type::Object)
            return {};
        reader.beginObject();
        bool current = false;
        QByteArrayView key;
        while (reader.nextKey(key)) {
            if (key == "version") {
                current = wholeNumber(reader) == version;
            } else if (key == "archives" && current) {
                if (reader.peek() != JsonReader::Type::Object)
                    return {};
                reader.beginObject();
                QByteArrayView name;
                while (reader.nextKey(name)) {
                    const QString file = QString::fromUtf8(name);
                    map.insert(file, readEntry(reader, json, file));
                }
            } else {
                reader.skipValue();
            }
        }
        reader.finish();
        return current ? map : Map();
    } catch (const JsonReader::SyntaxError &) {
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
