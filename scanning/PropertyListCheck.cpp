#include "scanning/PropertyListCheck.h"

#include <cctype>
#include <vector>

namespace {

quint64 bigEndian(QByteArrayView bytes)
{
    quint64 value = 0;
    for (char byte : bytes)
        value = value << 8 | quint8(byte);
    return value;
}

bool hasZeroCharacter(QByteArrayView text, qsizetype unit)
{
    for (qsizetype at = 0; at + unit <= text.size(); at += unit) {
        if (text[at] == 0 && (unit == 1 || text[at + 1] == 0))
            return true;
    }
    return false;
}

// A binary list ("bplist00"): a header, the objects, a table of their offsets and a trailer
// giving the sizes of offsets and references, the number of objects and the root.
class BinaryList {
public:
    explicit BinaryList(QByteArrayView data) : m_data(data) {}

    bool isAcceptable()
    {
        constexpr qsizetype header = 8;
        constexpr qsizetype trailerSize = 32;
        if (m_data.size() < header + trailerSize)
            return false;
        const QByteArrayView trailer = m_data.last(trailerSize);
        m_offsetSize = quint8(trailer[6]);
        m_referenceSize = quint8(trailer[7]);
        m_objects = bigEndian(trailer.sliced(8, 8));
        const quint64 root = bigEndian(trailer.sliced(16, 8));
        m_table = bigEndian(trailer.sliced(24, 8));
        const quint64 end = quint64(m_data.size() - trailerSize);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_referenceSize < 1 || m_referenceSize > 8 ||
            m_table < quint64(header) || m_table >= end || m_objects == 0 ||
            m_objects > (end - m_table) / quint64(m_offsetSize) || root >= m_objects)
            return false;

        // Every reference builds an object, so shared texts and numbers are counted each
        // time they are used; a container may be used once, which also rules out cycles.
        const qint64 payloadBudget = 4 * qint64(m_data.size()) + (qint64(1) << 20);
        qint64 payload = 0;
        qint64 built = 1;
        std::vector<bool> usedContainers(m_objects);
        struct Pending {
            quint64 index;
            int depth;
        };
        std::vector<Pending> pending{{root, 0}};
        while (!pending.empty()) {
            const Pending next = pending.back();
            pending.pop_back();
            Object object;
            if (!read(next.index, object))
                return false;
            if (object.type >= 0x4 && object.type <= 0x7) { // data and texts
                const quint64 unit = object.type == 0x6 ? 2 : 1;
                if (object.count > (m_table - object.start) / unit)
                    return false;
                const QByteArrayView bytes =
                    m_data.sliced(qsizetype(object.start), qsizetype(object.count * unit));
                if (object.type != 0x4 && hasZeroCharacter(bytes, qsizetype(unit)))
                    return false;
                payload += bytes.size();
                if (payload > payloadBudget)
                    return false;
            } else if (object.type >= 0xA && object.type <= 0xD) { // arrays, sets, dictionaries
                if (usedContainers[next.index] || next.depth + 1 > PropertyListCheck::maximumDepth)
                    return false;
                usedContainers[next.index] = true;
                const quint64 perEntry = object.type == 0xD ? 2 : 1;
                if (object.count > (m_table - object.start) / quint64(m_referenceSize) / perEntry)
                    return false;
                const quint64 references = object.count * perEntry;
                built += qint64(references);
                if (built > PropertyListCheck::maximumObjects)
                    return false;
                for (quint64 i = 0; i < references; ++i) {
                    const quint64 child = bigEndian(m_data.sliced(
                        qsizetype(object.start + i * quint64(m_referenceSize)), m_referenceSize));
                    if (child >= m_objects)
                        return false;
                    pending.push_back({child, next.depth + 1});
                }
            }
        }
        return true;
    }

private:
    struct Object {
        int type = 0;
        quint64 count = 0; // entries, bytes or characters, for the types that have one
        quint64 start = 0; // where the contents begin
    };

    bool read(quint64 index, Object &object) const
    {
        const quint64 offset = bigEndian(
            m_data.sliced(qsizetype(m_table + index * quint64(m_offsetSize)), m_offsetSize));
        if (offset < 8 || offset >= m_table)
            return false;
        const int marker = quint8(m_data[qsizetype(offset)]);
        object.type = marker >> 4;
        object.count = quint64(marker & 0xF);
        object.start = offset + 1;
        const bool counted = (object.type >= 0x4 && object.type <= 0x7) || object.type >= 0xA;
        if (counted && object.count == 0xF) {
            // A count of 15 or more follows as an integer object of 1, 2, 4 or 8 bytes.
            if (object.start >= m_table || quint8(m_data[qsizetype(object.start)]) >> 4 != 0x1)
                return false;
            const int exponent = quint8(m_data[qsizetype(object.start)]) & 0xF;
            if (exponent > 3 || object.start + 1 + (quint64(1) << exponent) > m_table)
                return false;
            object.count =
                bigEndian(m_data.sliced(qsizetype(object.start + 1), qsizetype(1) << exponent));
            object.start += 1 + (quint64(1) << exponent);
        }
        return true;
    }

    QByteArrayView m_data;
    int m_offsetSize = 0;
    int m_referenceSize = 0;
    quint64 m_objects = 0;
    quint64 m_table = 0;
};

// Skips to just past `end`, or to the end of the data when it never comes.
qsizetype skipPast(QByteArrayView data, qsizetype from, QByteArrayView end)
{
    const qsizetype found = data.indexOf(end, from);
    return found < 0 ? data.size() : found + end.size();
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Counts what libplist's XML reader would build, skipping what it skips (declarations,
// comments, the document type, character data) the way it does, so that no skipped text can
// hide an element from the count. A closing tag that does not match is an error there, which
// stops it building.
bool isAcceptableXml(QByteArrayView data)
{
    // XML allows no U+0000.
    if (data.contains('\0'))
        return false;
    // Newer libplist reads text that does not start like XML as JSON or OpenStep, whose
    // nesting is not counted here; no device tool prints either.
    qsizetype first = 0;
    while (first < data.size() && isSpace(data[first]))
        ++first;
    if (first + 3 >= data.size() || data[first] != '<')
        return false;
    for (qsizetype i = first + 1; i <= first + 3; ++i) {
        if (std::isxdigit(quint8(data[i])))
            return false;
    }

    int depth = 0;
    qint64 objects = 0;
    qsizetype at = data.indexOf('<', first);
    while (at >= 0) {
        const QByteArrayView rest = data.sliced(at);
        if (rest.startsWith("<?")) {
            at = skipPast(data, at + 2, "?>");
        } else if (rest.startsWith("<!--")) {
            at = skipPast(data, at + 4, "-->");
        } else if (rest.startsWith("<![CDATA[")) {
            at = skipPast(data, at + 9, "]]>");
        } else if (rest.startsWith("<!DOCTYPE")) {
            qsizetype end = at + 9;
            while (end < data.size() && data[end] != '[' && data[end] != '>')
                ++end;
            at = end < data.size() && data[end] == '[' ? skipPast(data, end, "]>") : end + 1;
        } else if (rest.startsWith("<!")) {
            return false;
        } else {
            const qsizetype close = data.indexOf('>', at);
            if (close < 0)
                return false;
            QByteArrayView tag = data.sliced(at + 1, close - at - 1);
            if (tag.contains('<'))
                return false;
            const bool empty = tag.endsWith('/');
            qsizetype nameLength = 0;
            while (nameLength < tag.size() && !isSpace(tag[nameLength]))
                ++nameLength;
            tag = tag.first(nameLength);
            if (empty && tag.endsWith('/'))
                tag.chop(1);
            if (tag == "array" || tag == "dict") {
                if (!empty && ++depth > PropertyListCheck::maximumDepth)
                    return false;
            } else if (tag == "/array" || tag == "/dict") {
                if (--depth < 0)
                    return false;
            }
            if (!tag.startsWith('/') && tag != "plist" &&
                ++objects > PropertyListCheck::maximumObjects)
                return false;
            at = close + 1;
        }
        if (at < data.size())
            at = data.indexOf('<', at);
        else
            at = -1;
    }
    return true;
}

} // namespace

bool PropertyListCheck::isAcceptable(QByteArrayView data)
{
    if (data.startsWith("bplist00"))
        return BinaryList(data).isAcceptable();
    return isAcceptableXml(data);
}
