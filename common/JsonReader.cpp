#include "common/JsonReader.h"

#include <charconv>
#include <cmath>

namespace {

constexpr int maximumDepth = 256;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isValidUtf8(const unsigned char *p, qsizetype n)
{
    const unsigned char *end = p + n;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int length;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0)
                low = 0xA0;
            else if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0)
                low = 0x90;
            else if (c == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (end - p < length || p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        p += length;
    }
    return true;
}

void appendUtf8(QByteArray &out, char32_t code)
{
    if (code < 0x80) {
        out.append(char(code));
    } else if (code < 0x800) {
        out.append(char(0xC0 | (code >> 6)));
        out.append(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(char(0xE0 | (code >> 12)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    } else {
        out.append(char(0xF0 | (code >> 18)));
        out.append(char(0x80 | ((code >> 12) & 0x3F)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void JsonReader::skipSpace()
{
    while (m_pos < m_data.size() && isSpace(m_data[m_pos]))
        ++m_pos;
}

char JsonReader::next()
{
    skipSpace();
    if (m_pos >= m_data.size())
        fail();
    return m_data[m_pos];
}

void JsonReader::expect(char c)
{
    if (next() != c)
        fail();
    ++m_pos;
}

JsonReader::Type JsonReader::peek()
{
    switch (next()) {
    case '{':
        return Type::Object;
    case '[':
        return Type::Array;
    case '"':
        return Type::String;
    case 't':
    case 'f':
        return Type::Boolean;
    case 'n':
        return Type::Null;
    default:
        return Type::Number;
    }
}

void JsonReader::beginObject()
{
    expect('{');
    m_first = true;
}

bool JsonReader::nextKey(QByteArrayView &key)
{
    const char c = next();
    if (c == '}') {
        ++m_pos;
        m_first = false;
        return false;
    }
    if (!m_first) {
        if (c != ',')
            fail();
        ++m_pos;
    }
    if (next() != '"')
        fail();
    key = readUtf8();
    expect(':');
    return true;
}

void JsonReader::beginArray()
{
    expect('[');
    m_first = true;
}

bool JsonReader::nextElement()
{
    const char c = next();
    if (c == ']') {
        ++m_pos;
        m_first = false;
        return false;
    }
    if (!m_first) {
        if (c != ',')
            fail();
        ++m_pos;
    }
    return true;
}

QByteArrayView JsonReader::readUtf8()
{
    expect('"');
    const qsizetype start = m_pos;
    const char *data = m_data.data();
    const qsizetype size = m_data.size();
    bool ascii = true;
    while (m_pos < size) {
        const unsigned char c = static_cast<unsigned char>(data[m_pos]);
        if (c == '"') {
            const QByteArrayView raw(data + start, m_pos - start);
            if (!ascii &&
                !isValidUtf8(reinterpret_cast<const unsigned char *>(raw.data()), raw.size())) {
                m_pos = start;
                fail();
            }
            ++m_pos;
            m_first = false;
            return raw;
        }
        if (c == '\\') {
            decodeEscapes(start);
            m_first = false;
            return m_scratch;
        }
        if (c < 0x20)
            fail();
        ascii = ascii && c < 0x80;
        ++m_pos;
    }
    fail();
}

// The slow path, for strings with escapes: decode the whole string into the scratch buffer.
void JsonReader::decodeEscapes(qsizetype start)
{
    m_scratch.clear();
    const char *data = m_data.data();
    const qsizetype size = m_data.size();
    qsizetype runStart = start;
    auto flushRun = [&] {
        const qsizetype length = m_pos - runStart;
        if (!isValidUtf8(reinterpret_cast<const unsigned char *>(data + runStart), length)) {
            m_pos = runStart;
            fail();
        }
        m_scratch.append(data + runStart, length);
    };
    auto readHex4 = [&]() -> char32_t {
        if (size - m_pos < 4)
            fail();
        char32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexValue(data[m_pos + i]);
            if (digit < 0)
                fail();
            value = value * 16 + char32_t(digit);
        }
        m_pos += 4;
        return value;
    };
    while (m_pos < size) {
        const unsigned char c = static_cast<unsigned char>(data[m_pos]);
        if (c == '"') {
            flushRun();
            ++m_pos;
            return;
        }
        if (c < 0x20)
            fail();
        if (c != '\\') {
            ++m_pos;
            continue;
        }
        flushRun();
        ++m_pos;
        if (m_pos >= size)
            fail();
        const char escape = data[m_pos++];
        switch (escape) {
        case '"':
        case '\\':
        case '/':
            m_scratch.append(escape);
            break;
        case 'b':
            m_scratch.append('\b');
            break;
        case 'f':
            m_scratch.append('\f');
            break;
        case 'n':
            m_scratch.append('\n');
            break;
        case 'r':
            m_scratch.append('\r');
            break;
        case 't':
            m_scratch.append('\t');
            break;
        case 'u': {
            char32_t code = readHex4();
            if (code >= 0xDC00 && code <= 0xDFFF)
                fail();
            if (code >= 0xD800 && code <= 0xDBFF) {
                if (size - m_pos < 2 || data[m_pos] != '\\' || data[m_pos + 1] != 'u')
                    fail();
                m_pos += 2;
                const char32_t low = readHex4();
                if (low < 0xDC00 || low > 0xDFFF)
                    fail();
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            }
            appendUtf8(m_scratch, code);
            break;
        }
        default:
            --m_pos;
            fail();
        }
        runStart = m_pos;
    }
    fail();
}

QString JsonReader::readString()
{
    return QString::fromUtf8(readUtf8());
}

double JsonReader::readNumber()
{
    skipSpace();
    const char *data = m_data.data();
    const qsizetype size = m_data.size();
    const qsizetype start = m_pos;
    qsizetype p = m_pos;
    auto digits = [&] {
        const qsizetype first = p;
        while (p < size && isDigit(data[p]))
            ++p;
        return p - first;
    };
    if (p < size && data[p] == '-')
        ++p;
    if (p < size && data[p] == '0')
        ++p;
    else if (digits() == 0)
        fail();
    if (p < size && data[p] == '.') {
        ++p;
        if (digits() == 0) {
            m_pos = p;
            fail();
        }
    }
    if (p < size && (data[p] == 'e' || data[p] == 'E')) {
        ++p;
        if (p < size && (data[p] == '+' || data[p] == '-'))
            ++p;
        if (digits() == 0) {
            m_pos = p;
            fail();
        }
    }
    double value = 0;
    const auto result = std::from_chars(data + start, data + p, value);
    if (result.ec != std::errc() || !std::isfinite(value))
        fail();
    m_pos = p;
    m_first = false;
    return value;
}

bool JsonReader::readBoolean()
{
    if (peek() != Type::Boolean)
        fail();
    const bool value = m_data[m_pos] == 't';
    skipValue();
    return value;
}

void JsonReader::skipValue()
{
    skipValue(0);
}

void JsonReader::skipValue(int depth)
{
    if (depth > maximumDepth)
        fail();
    QByteArrayView key;
    switch (peek()) {
    case Type::Object:
        beginObject();
        while (nextKey(key))
            skipValue(depth + 1);
        break;
    case Type::Array:
        beginArray();
        while (nextElement())
            skipValue(depth + 1);
        break;
    case Type::String:
        readUtf8();
        break;
    case Type::Number:
        readNumber();
        break;
    case Type::Boolean:
    case Type::Null: {
        static constexpr QByteArrayView words[] = {"true", "false", "null"};
        for (QByteArrayView word : words) {
            if (m_data.sliced(m_pos).startsWith(word)) {
                m_pos += word.size();
                m_first = false;
                return;
            }
        }
        fail();
    }
    }
}

void JsonReader::finish()
{
    skipSpace();
    if (m_pos != m_data.size())
        fail();
}
