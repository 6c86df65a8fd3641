#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A strict pull reader over UTF-8 JSON text, for the files that are read in bulk (the scan
// history holds tens of megabytes and is listed on the main thread). Values are decoded
// straight into the caller's types, with no intermediate document. Syntax errors throw
// JsonReader::SyntaxError with the byte offset where reading stopped.
class JsonReader {
public:
    struct SyntaxError {
        qsizetype offset;
    };

    enum class Type { Object, Array, String, Number, Boolean, Null };

    explicit JsonReader(QByteArrayView data) : m_data(data) {}

    Type peek();

    // Objects: beginObject(), then nextKey() until it returns false.
    void beginObject();
    bool nextKey(QByteArrayView &key);

    // Arrays: beginArray(), then nextElement() until it returns false.
    void beginArray();
    bool nextElement();

    // The string as validated UTF-8. The view stays valid until the next read.
    QByteArrayView readUtf8();
    QString readString();
    double readNumber();
    bool readBoolean();
    void skipValue();
    // Only white space may follow the top-level value.
    void finish();

    qsizetype offset() const { return m_pos; }
    [[noreturn]] void fail() const { throw SyntaxError{m_pos}; }

private:
    void skipSpace();
    char next();
    void expect(char c);
    void skipValue(int depth);
    void decodeEscapes(qsizetype start);

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    // Per open container: whether the next member or element is the first.
    bool m_first = true;
    QByteArray m_scratch;
};
