#include "scanning/Inventory.h"

#include "common/DataFile.h"
#include "common/JsonText.h"
#include "common/PlainText.h"
#include "common/PlatformError.h"
#include "common/StoreCountry.h"
#include "scanning/Column.h"
#include "scanning/device/DeviceFacts.h"

#include <QHash>
#include <QLocale>
#include <QSet>
#include <QTextBoundaryFinder>
#include <QTimeZone>

#include <unicode/uchar.h>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// Dates are stored as seconds since 2001-01-01T00:00:00Z.
constexpr qint64 referenceDateMsecs = 978307200000;
// About ±3 million years: far beyond any real scan, well inside what QDateTime can hold.
constexpr double largestStoredSeconds = 1e14;

// White space and line breaks: the separators, tab to carriage return, and NEL.
bool isSpaceOrLineBreak(char32_t c)
{
    if ((c >= 0x09 && c <= 0x0D) || c == 0x85)
        return true;
    const int type = u_charType(UChar32(c));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

bool isControl(char32_t c)
{
    return u_charType(UChar32(c)) == U_CONTROL_CHAR;
}

// --- Encoding ------------------------------------------------------------------------------

void appendEscapedUtf8(QByteArray &out, QByteArrayView utf8)
{
    static constexpr char hex[] = "0123456789abcdef";
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && c != '"' && c != '\\') {
            out.append(c);
            continue;
        }
        out.append('\\');
        switch (c) {
        case '"':
        case '\\':
            out.append(c);
            break;
        case '\n':
            out.append('n');
            break;
        case '\r':
            out.append('r');
            break;
        case '\t':
            out.append('t');
            break;
        case '\b':
            out.append('b');
            break;
        case '\f':
            out.append('f');
            break;
        default:
            out.append("u00");
            out.append(hex[u >> 4]);
            out.append(hex[u & 0xF]);
        }
    }
}

void appendString(QByteArray &out, const QString &given)
{
    // Shared, not copied, when there is nothing to replace.
    const QString text = PlainText::wellFormed(given);
    out.append('"');
    bool ascii = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        // Most cells are ASCII: skip the intermediate UTF-8 copy.
        for (QChar c : text) {
            const char latin = char(c.unicode());
            if (c.unicode() >= 0x20 && latin != '"' && latin != '\\')
                out.append(latin);
            else
                appendEscapedUtf8(out, QByteArrayView(&latin, 1));
        }
    } else {
        appendEscapedUtf8(out, text.toUtf8());
    }
    out.append('"');
}

void appendRow(QByteArray &out, const Row &row)
{
    out.append('{');
    bool first = true;
    for (const Row::Cell &cell : row.cells()) {
        if (!first)
            out.append(',');
        first = false;
        appendString(out, cell.key);
        out.append(':');
        appendString(out, cell.value);
    }
    out.append('}');
}

void appendOptional(QByteArray &out, const char *key, const std::optional<QString> &value)
{
    if (!value)
        return;
    out.append(",\"").append(key).append("\":");
    appendString(out, *value);
}

// --- Decoding ------------------------------------------------------------------------------

[[noreturn]] void notAnInventory(const QString &path, const QString &why)
{
    throw PlatformError::notDecodable(path, QStringLiteral("it is not an inventory (%1)").arg(why));
}

QString quotedKey(QByteArrayView key)
{
    return QChar(0x201C) + QString::fromUtf8(key) + QChar(0x201D);
}

// Column names repeat in every row, and many cells repeat the cell above them (dates, device,
// type, category). Sharing those strings keeps decoding a large history fast and small.
class RowDecoder {
public:
    explicit RowDecoder(const JsonText &text) : m_text(text) {}

    Row decode(JsonText::Value value, const QString &path)
    {
        ++m_rowNumber;
        m_order.clear();
        qsizetype hint = 0;
        for (JsonText::Field field : value.get_object()) {
            const QByteArrayView key = m_text.key(field);
            const qsizetype index = columnIndex(key, hint);
            hint = index + 1;
            Column &column = m_columns[index];
            checkText(field, key, path);
            const QByteArrayView bytes = m_text.utf8(field.value());
            // Every string read stays where it is until the text goes.
            if (column.lastBytes.data() == nullptr || !(bytes == column.lastBytes)) {
                column.lastValue = QString::fromUtf8(bytes);
                column.lastBytes = bytes;
            }
            // A repeated key keeps its first place and takes the later text.
            if (column.lastRow != m_rowNumber) {
                column.lastRow = m_rowNumber;
                m_order.append(index);
            }
        }
        Row row;
        // An empty row costs nothing beyond its place in the list.
        if (!m_order.isEmpty())
            row.reserve(m_order.size());
        for (qsizetype index : std::as_const(m_order))
            row.append(m_columns[index].name, m_columns[index].lastValue);
        return row;
    }

    // Whether the row has a visible app name, checked as decode() would check the row, without
    // building it.
    static bool hasVisibleName(const JsonText &text, JsonText::Value value, const QString &path)
    {
        static const QByteArray appName = ::Column::appName.toUtf8();
        std::optional<QByteArrayView> name;
        for (JsonText::Field field : value.get_object()) {
            const QByteArrayView key = text.key(field);
            checkText(field, key, path);
            // A repeated key takes the later text.
            if (key == appName)
                name = text.utf8(field.value());
            else
                text.check(field.value());
        }
        if (!name)
            return false;
        // Most names start with printable ASCII, which is visible.
        if (!name->isEmpty() && name->front() > 0x20 && name->front() < 0x7F)
            return true;
        return Inventory::hasVisibleName(QString::fromUtf8(*name));
    }

private:
    struct Column {
        QByteArray utf8;
        QString name;
        QByteArrayView lastBytes;
        QString lastValue;
        qint64 lastRow = 0;
    };

    static void checkText(JsonText::Field &field, QByteArrayView key, const QString &path)
    {
        if (field.value().type() != JsonText::Type::string)
            notAnInventory(path,
                           QStringLiteral("the cell %1 of a row is not text").arg(quotedKey(key)));
    }
    // Rows usually list their columns in the same order, so the next column is tried first;
    // the hash keeps a row of thousands of columns linear.
    qsizetype columnIndex(QByteArrayView key, qsizetype hint)
    {
        if (hint < m_columns.size() && m_columns[hint].utf8 == key)
            return hint;
        if (const auto found = m_indexes.constFind(key); found != m_indexes.cend())
            return *found;
        m_columns.append({key.toByteArray(), QString::fromUtf8(key), {}, {}, 0});
        // The key views the column's own bytes, which stay put when the column list grows.
        m_indexes.insert(m_columns.last().utf8, m_columns.size() - 1);
        return m_columns.size() - 1;
    }

    const JsonText &m_text;
    QList<Column> m_columns;
    QHash<QByteArrayView, qsizetype> m_indexes;
    QList<qsizetype> m_order; // the columns of the row being read, in first-seen order
    qint64 m_rowNumber = 0;
};

std::optional<QString> readOptionalString(const JsonText &text, JsonText::Value value,
                                          QByteArrayView key, const QString &path)
{
    switch (value.type()) {
    case JsonText::Type::null:
        return std::nullopt;
    case JsonText::Type::string:
        return text.string(value);
    default:
        notAnInventory(path, QStringLiteral("%1 is not text").arg(quotedKey(key)));
    }
}

} // namespace

bool Inventory::hasVisibleName(const std::optional<QString> &text)
{
    if (!text)
        return false;
    for (QChar c : *text) {
        // Printable ASCII other than the space is visible; most names start with one.
        if (c.unicode() > 0x20 && c.unicode() < 0x7F)
            return true;
        if (c.unicode() < 0x80)
            continue;
        break;
    }
    for (char32_t c : QStringView(*text).toUcs4()) {
        if (!isSpaceOrLineBreak(c) && !isControl(c) &&
            !u_hasBinaryProperty(UChar32(c), UCHAR_DEFAULT_IGNORABLE_CODE_POINT))
            return true;
    }
    return false;
}

QList<Row> Inventory::namedRows() const
{
    QList<Row> named;
    for (const Row &row : rows) {
        if (const QString *name = row.find(Column::appName); name && hasVisibleName(*name))
            named.append(row);
    }
    return named;
}

const DeviceFacts &Inventory::deviceFacts() const
{
    static const DeviceFacts none;
    return m_deviceFacts.facts ? *m_deviceFacts.facts : none;
}

void Inventory::setDeviceFacts(const DeviceFacts &facts)
{
    m_deviceFacts.facts = facts.isEmpty() ? nullptr : std::make_shared<const DeviceFacts>(facts);
}

bool operator==(const Inventory::SharedFacts &a, const Inventory::SharedFacts &b)
{
    if (a.facts == b.facts)
        return true;
    return a.facts && b.facts && *a.facts == *b.facts;
}

QString Inventory::storeName() const
{
    if (storeCountry && StoreCountry::isValid(*storeCountry))
        return StoreCountry::storeName(storeCountry->toLower());
    return QStringLiteral("the App Store");
}

const QList<std::pair<QByteArrayView, std::optional<QString> Inventory::*>> &Inventory::texts()
{
    static const QList<std::pair<QByteArrayView, std::optional<QString> Inventory::*>> list{
        {"deviceName", &Inventory::deviceName},       {"scanID", &Inventory::scanID},
        {"deviceID", &Inventory::deviceID},           {"snapshotName", &Inventory::snapshotName},
        {"snapshotNotes", &Inventory::snapshotNotes}, {"storeCountry", &Inventory::storeCountry},
    };
    return list;
}

std::optional<QString> Inventory::resolvedDeviceID() const
{
    if (deviceID && !deviceID->isEmpty())
        return deviceID;
    std::optional<QString> found;
    for (const Row &row : rows) {
        const QString *cell = row.find(Column::deviceIdentifier);
        if (!cell || cell->isEmpty())
            continue;
        if (found && *found != *cell)
            return std::nullopt;
        found = *cell;
    }
    return found;
}

QString Inventory::exportStem(const std::optional<QString> &deviceName, const QDateTime &date)
{
    QString name = deviceName.value_or(QString());
    for (QChar &c : name) {
        if (c == u'/' || c == u':' || c == u'\\' || isControl(c.unicode()))
            c = u'-';
    }

    auto trimmed = [](QChar c) { return c == u'.' || isSpaceOrLineBreak(c.unicode()); };
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && trimmed(name[begin]))
        ++begin;
    while (end > begin && trimmed(name[end - 1]))
        --end;
    name = name.sliced(begin, end - begin);

    // Cut on whole characters so that no glyph is torn apart, at 180 bytes of UTF-8.
    constexpr qsizetype limit = 180;
    if (name.toUtf8().size() > limit) {
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, name);
        qsizetype kept = 0;
        qsizetype bytes = 0;
        for (qsizetype next = graphemes.toNextBoundary(); next != -1;
             next = graphemes.toNextBoundary()) {
            bytes += QStringView(name).sliced(kept, next - kept).toUtf8().size();
            if (bytes > limit)
                break;
            kept = next;
        }
        name.truncate(kept);
    }
    if (name.isEmpty())
        name = QStringLiteral("apps");

    QTimeZone newYork("America/New_York");
    if (!newYork.isValid())
        newYork = QTimeZone::systemTimeZone();
    return name + u'-' + QLocale::c().toString(date.toTimeZone(newYork), u"MM-dd-yyyy");
}

Inventory Inventory::withStoreColumns() const
{
    Inventory copy = *this;
    copy.fields.removeAll(Column::updateAvailable);
    const std::pair<QString, QString> defaults[] = {
        {Column::updateAvailable, QStringLiteral("Unknown")},
        {Column::storePresence, Column::notChecked},
    };
    // A row with no cells shows nowhere: millions of them must neither each get the columns nor
    // have the list copied for them, which only a row that gains one does.
    const auto lacking = [&defaults](const Row &row) {
        return !row.isEmpty() &&
            std::any_of(std::begin(defaults), std::end(defaults),
                        [&row](const auto &cell) { return !row.contains(cell.first); });
    };
    for (auto i = std::find_if(rows.cbegin(), rows.cend(), lacking) - rows.cbegin();
         i < copy.rows.size(); ++i) {
        Row &row = copy.rows[i];
        if (!lacking(row))
            continue;
        for (const auto &[name, text] : defaults) {
            if (!row.contains(name))
                row.append(name, text);
        }
    }
    return copy;
}

QByteArray Inventory::toJson() const
{
    // About what a typical cell takes: a guess from the rows alone would reserve gigabytes for
    // millions of empty ones.
    qsizetype cells = 0;
    for (const Row &row : rows)
        cells += row.size();
    QByteArray out;
    out.reserve(64 + rows.size() * 3 + cells * 30);
    out.append("{\"fields\":[");
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i)
            out.append(',');
        appendString(out, fields[i]);
    }
    out.append("],\"rows\":[");
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (i)
            out.append(',');
        appendRow(out, rows[i]);
    }
    out.append(']');
    appendOptional(out, "deviceName", deviceName);
    appendOptional(out, "scanID", scanID);
    if (scannedAt) {
        const double seconds = double(scannedAt->toMSecsSinceEpoch() - referenceDateMsecs) / 1000.0;
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, seconds);
        out.append(",\"scannedAt\":").append(buffer, result.ptr - buffer);
    }
    appendOptional(out, "deviceID", deviceID);
    if (!deviceFacts().isEmpty())
        out.append(",\"deviceFacts\":").append(deviceFacts().toJson());
    appendOptional(out, "snapshotName", snapshotName);
    appendOptional(out, "snapshotNotes", snapshotNotes);
    appendOptional(out, "storeCountry", storeCountry);
    out.append('}');
    return out;
}

qsizetype Inventory::encodedSize(const Row &row)
{
    QByteArray out;
    appendRow(out, row);
    return out.size() + 1;
}

Inventory Inventory::fromJson(const QByteArray &json, const QString &path)
{
    return decode(json, path, nullptr);
}

Inventory Inventory::headerFromJson(const QByteArray &json, const QString &path,
                                    qsizetype &namedRows)
{
    namedRows = 0;
    return decode(json, path, &namedRows);
}

Inventory Inventory::decode(const QByteArray &json, const QString &path, qsizetype *namedRows)
{
    Inventory inventory;
    bool haveFields = false;
    bool haveRows = false;
    JsonText text(json);
    auto readFields = [&](JsonText::Value value) {
        if (value.type() != JsonText::Type::array)
            notAnInventory(path, QStringLiteral("“fields” is not a list"));
        inventory.fields.clear();
        // A column named twice is shown once: a damaged list keeps its rows.
        QSet<QString> named;
        for (JsonText::Value element : value.get_array()) {
            if (element.type() != JsonText::Type::string)
                notAnInventory(path, QStringLiteral("“fields” holds something not text"));
            QString field = text.string(element);
            if (!named.contains(field)) {
                named.insert(field);
                inventory.fields.append(std::move(field));
            }
        }
        haveFields = true;
    };
    auto readRows = [&](JsonText::Value value) {
        if (value.type() != JsonText::Type::array)
            notAnInventory(path, QStringLiteral("“rows” is not a list"));
        inventory.rows.clear();
        if (namedRows)
            *namedRows = 0;
        RowDecoder decoder(text);
        for (JsonText::Value element : value.get_array()) {
            if (element.type() != JsonText::Type::object)
                notAnInventory(path, QStringLiteral("“rows” holds something not a row"));
            if (namedRows)
                *namedRows += RowDecoder::hasVisibleName(text, element, path);
            else
                inventory.rows.append(decoder.decode(element, path));
        }
        haveRows = true;
    };
    auto readScannedAt = [&](JsonText::Value value) {
        const JsonText::Type type = value.type();
        if (type == JsonText::Type::null) {
            inventory.scannedAt.reset();
            return;
        }
        if (type != JsonText::Type::number)
            notAnInventory(path, QStringLiteral("“scannedAt” is not a number"));
        const double seconds = JsonText::number(value);
        if (!(std::abs(seconds) <= largestStoredSeconds))
            notAnInventory(path, QStringLiteral("“scannedAt” is out of range"));
        inventory.scannedAt = QDateTime::fromMSecsSinceEpoch(
            referenceDateMsecs + std::llround(seconds * 1000.0), QTimeZone::utc());
    };
    auto readFacts = [&](JsonText::Value value) {
        DeviceFacts facts;
        if (value.type() != JsonText::Type::object) {
            inventory.setDeviceFacts(facts);
            return;
        }
        for (JsonText::Field fact : value.get_object()) {
            const QByteArrayView key = text.key(fact);
            QVariant stored;
            switch (fact.value().type()) {
            case JsonText::Type::string:
                stored = text.string(fact.value());
                break;
            case JsonText::Type::number:
                stored = JsonText::number(fact.value());
                break;
            case JsonText::Type::boolean:
                stored = fact.value().get_bool().value();
                break;
            case JsonText::Type::array: {
                // A list of texts (the profiles); anything else in it is left out.
                QStringList texts;
                for (JsonText::Value element : fact.value().get_array()) {
                    if (element.type() == JsonText::Type::string)
                        texts.append(text.string(element));
                }
                stored = texts;
                break;
            }
            default:
                break;
            }
            facts.takeStored(key, stored);
        }
        inventory.setDeviceFacts(facts);
    };

    try {
        text.read([&](JsonText::Document &document) {
            if (document.type() != JsonText::Type::object)
                notAnInventory(path, QStringLiteral("it holds no object"));
            for (JsonText::Field field : document.get_object()) {
                const QByteArrayView key = text.key(field);
                if (key == "fields") {
                    readFields(field.value());
                } else if (key == "rows") {
                    readRows(field.value());
                } else if (key == "deviceFacts") {
                    readFacts(field.value());
                } else if (key == "scannedAt") {
                    readScannedAt(field.value());
                } else {
                    for (const auto &[name, member] : texts()) {
                        if (key == name)
                            inventory.*member = readOptionalString(text, field.value(), key, path);
                    }
                }
            }
        });
    } catch (const JsonText::SyntaxError &error) {
        throw PlatformError::notDecodable(
            path,
            error.offset ? QStringLiteral("it is not valid JSON (at offset %1)").arg(*error.offset)
                         : QStringLiteral("it is not valid JSON"));
    }
    if (!haveFields)
        notAnInventory(path, QStringLiteral("“fields” is missing"));
    if (!haveRows)
        notAnInventory(path, QStringLiteral("“rows” is missing"));
    return inventory;
}

Inventory Inventory::readFile(const QString &path)
{
    return fromJson(DataFile::read(path), path);
}

void Inventory::writeFile(const QString &path) const
{
    DataFile::write(path, toJson());
}
