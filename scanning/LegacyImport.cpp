#include "scanning/LegacyImport.h"

#include "common/DataFile.h"
#include "common/PlatformError.h"
#include "scanning/Column.h"
#include "scanning/ScanError.h"

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
        // A folder, a FIFO or a link named like an export is not one; an older file may be.
        if (entry.suffix() != u"csv" || !entry.isFile() || entry.isSymLink())
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
    // An earlier release's export has the columns of a scan.
    Inventory imported;
    imported.fields = Column::scanFields();
    try {
        imported.rows = parseCSV(text, DataFile::defaultLimit - 1'000);
    } catch (const TooLarge &) {
        throw ScanError(QStringLiteral("The export %1 of an earlier release is too large to "
                                       "import: its inventory would be larger than %2 MB, more "
                                       "than Quillet reads back. Nothing was imported.")
                            .arg(QChar(0x201C) + newest->fileName() + QChar(0x201D),
                                 QString::number(DataFile::defaultLimit / 1'000'000)));
    }
    return imported;
}

QList<Row> LegacyImport::parseCSV(QStringView source, qint64 limit)
{
    // Records become rows as they are read, so that memory follows the rows kept.
    QStringList columns;
    QList<qsizetype> place;
    bool haveHeader = false;
    QList<Row> rows;
    QStringList values;
    qint64 size = 0;
    auto take = [&](QStringList &record) {
        if (!haveHeader) {
            haveHeader = true;
            // A repeated column name keeps its first place and takes the later cell, worked
            // out once for the header rather than searched for in every row.
            QHash<QString, qsizetype> placeOfName;
            for (const QString &name : std::as_const(record)) {
                const auto found = placeOfName.constFind(name);
                if (found != placeOfName.cend()) {
                    place.append(*found);
                } else {
                    placeOfName.insert(name, columns.size());
                    place.append(columns.size());
                    columns.append(name);
                }
            }
            values.resize(columns.size());
        } else if (record.size() == place.size()) {
            // A ragged record cannot be matched to its columns.
            for (qsizetype i = 0; i < record.size(); ++i)
                values[place[i]] = record[i];
            Row row;
            row.reserve(columns.size());
            for (qsizetype i = 0; i < columns.size(); ++i)
                row.append(columns[i], values[i]);
            size += Inventory::encodedSize(row);
            if (size > limit)
                throw TooLarge{};
            rows.append(std::move(row));
        }
        record.clear();
    };

    const QString text = source.toString().remove(QChar(0xFEFF));
    QStringList record;
    QString cell;
    bool inQuotes = false;
    const qsizetype length = text.size();
    for (qsizetype i = 0; i < length; ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            if (!inQuotes) {
                inQuotes = true;
            } else if (i + 1 < length && text[i + 1] == u'"') {
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
            if (c == u'\r' && i + 1 < length && text[i + 1] == u'\n')
                ++i;
            record.append(std::exchange(cell, QString()));
            take(record);
        } else {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !record.isEmpty()) {
        record.append(cell);
        take(record);
    }
    return rows;
}
