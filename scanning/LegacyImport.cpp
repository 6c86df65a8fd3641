#include "scanning/LegacyImport.h"

#include "common/DataFile.h"
#include "common/PlatformError.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

std::optional<Inventory> LegacyImport::newestExport(const QString &folder)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    std::optional<QFileInfo> newest;
    for (const QFileInfo &entry : entries) {
        if (entry.suffix() != u"csv")
            continue;
        const QDateTime modified = entry.lastModified();
        if (!newest ||
            (modified.isValid() &&
             (!newest->lastModified().isValid() || modified > newest->lastModified())))
            newest = entry;
    }
    if (!newest)
        return std::nullopt;

    const QString path = newest->filePath();
    const QByteArray bytes = DataFile::read(path);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        throw PlatformError::notDecodable(path, QStringLiteral("it is not UTF-8 text"));
    Inventory imported;
    imported.rows = parseCSV(text);
    return imported;
}

QList<Row> LegacyImport::parseCSV(QStringView source)
{
    const QString text = source.toString().remove(QChar(0xFEFF));
    QList<QStringList> records;
    QStringList record;
    QString cell;
    bool inQuotes = false;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            if (!inQuotes) {
                inQuotes = true;
            } else if (i + 1 < size && text[i + 1] == u'"') {
                cell += u'"';
                ++i;
            } else {
                inQuotes = false;
            }
        } else if (inQuotes) {
            cell += c;
        } else if (c == u',') {
            record.append(std::exchange(cell, QString()));
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
                ++i;
            record.append(std::exchange(cell, QString()));
            records.append(std::exchange(record, QStringList()));
        } else {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !record.isEmpty()) {
        record.append(cell);
        records.append(record);
    }
    if (records.isEmpty())
        return {};

    // A repeated column name keeps its first place and takes the later cell, worked out once
    // for the header rather than searched for in every row.
    const QStringList &header = records.first();
    QStringList columns;
    QList<qsizetype> place;
    place.reserve(header.size());
    QHash<QString, qsizetype> placeOfName;
    for (const QString &name : header) {
        const auto found = placeOfName.constFind(name);
        if (found != placeOfName.cend()) {
            place.append(*found);
        } else {
            placeOfName.insert(name, columns.size());
            place.append(columns.size());
            columns.append(name);
        }
    }
    QList<Row> rows;
    QStringList values(columns.size());
    for (qsizetype r = 1; r < records.size(); ++r) {
        const QStringList &cells = records[r];
        if (cells.size() != header.size())
            continue; // a ragged record cannot be matched to its columns
        for (qsizetype i = 0; i < cells.size(); ++i)
            values[place[i]] = cells[i];
        Row row;
        row.reserve(columns.size());
        for (qsizetype i = 0; i < columns.size(); ++i)
            row.append(columns[i], values[i]);
        rows.append(row);
    }
    return rows;
}
