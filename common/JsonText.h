#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>

#include <simdjson.h>

// JSON read in bulk (the scan history holds tens of megabytes and is listed on the main thread),
// through simdjson's on-demand parser. The whole text is checked for UTF-8 and raw control
// characters at once; values are then decoded straight into the caller's types as they are
// walked, with no intermediate document. Values a reader passes over are skipped by their
// brackets, without recursion, so their depth costs nothing; those it reads may nest at most
// `maximumDepth` deep. Syntax errors throw JsonText::SyntaxError.
class JsonText {
public:
    struct SyntaxError {
        std::optional<qsizetype> offset; // where reading stopped, when that is known
    };

    using Document = simdjson::ondemand::document;
    using Value = simdjson::ondemand::value;
    using Field = simdjson::ondemand::field;
    using Type = simdjson::ondemand::json_type;

    static constexpr int maximumDepth = 256;

    // The parser reads a little past the end of the text: a text with that room behind it (as
    // DataFile::read leaves) is read where it is, any other is copied.
    explicit JsonText(const QByteArray &json);
    ~JsonText();
    JsonText(const JsonText &) = delete;
    JsonText &operator=(const JsonText &) = delete;

    // Walks the root with read(Document &). Only white space may follow it. Strings read stay
    // valid until the JsonText goes.
    template<typename Read> void read(Read &&read)
    {
        try {
            begin();
            read(m_document);
            finish();
        } catch (const simdjson::simdjson_error &) {
            throw SyntaxError{stoppedAt()};
        }
    }

    // A key's or a string's text. Texts without escapes are not copied.
    QByteArrayView key(Field &field) const;
    QByteArrayView utf8(Value value) const;
    QString string(Value value) const { return QString::fromUtf8(utf8(value)); }
    // Checks a string that is passed over as utf8() would, for less: in a text without escapes
    // there is nothing left to check.
    void check(Value value) const
    {
        if (m_escapes)
            utf8(value);
    }
    // A finite number.
    static double number(Value value);

private:
    [[noreturn]] void fail() const { throw SyntaxError{stoppedAt()}; }

    void begin();
    void finish();
    std::optional<qsizetype> stoppedAt() const;

    simdjson::padded_string m_copy;
    simdjson::padded_string_view m_text;
    std::unique_ptr<simdjson::ondemand::parser> m_parser;
    Document m_document;
    bool m_begun = false;
    bool m_escapes = false; // whether the text holds a backslash anywhere
};
