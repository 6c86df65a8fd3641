#include "common/JsonText.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A parser is kept for the next text on its thread: setting one up costs more than reading a
// typical archive. Only small ones are kept, so that a large text's memory goes with it; a text
// read while another is open (an index entry's inventory) takes a parser of its own.
constexpr size_t keptCapacity = 1 << 20;
constexpr size_t spareParsers = 2;
thread_local std::vector<std::unique_ptr<simdjson::ondemand::parser>> spares;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

JsonText::JsonText(const QByteArray &json)
{
    // Raw data has no capacity of its own.
    if (json.capacity() - json.size() >= qsizetype(simdjson::SIMDJSON_PADDING)) {
        m_text = simdjson::padded_string_view(json.constData(), size_t(json.size()),
                                              size_t(json.capacity()));
    } else {
        m_copy = simdjson::padded_string(json.constData(), size_t(json.size()));
        m_text = m_copy;
    }
    if (spares.empty()) {
        m_parser = std::make_unique<simdjson::ondemand::parser>();
    } else {
        m_parser = std::move(spares.back());
        spares.pop_back();
    }
}

JsonText::~JsonText()
{
    if (m_parser->capacity() <= keptCapacity && spares.size() < spareParsers)
        spares.push_back(std::move(m_parser));
}

void JsonText::begin()
{
    if (m_parser->capacity() < m_text.size()) {
        const size_t capacity = std::max(m_text.size(), keptCapacity / 4);
        if (m_parser->allocate(capacity, maximumDepth) != simdjson::SUCCESS)
            throw std::bad_alloc();
    }
    m_document = m_parser->iterate(m_text);
    // Most texts have no escapes at all, and then no string needs looking through for one.
    m_escapes = std::memchr(m_text.data(), '\\', m_text.size()) != nullptr;
    m_begun = true;
}

void JsonText::finish()
{
    // Any token left after the root is trailing content.
    if (!m_document.current_location().error())
        fail();
}

std::optional<qsizetype> JsonText::stoppedAt() const
{
    // The text as a whole (its encoding, a raw control character) is checked before reading.
    if (!m_begun)
        return std::nullopt;
    // current_location is not const, though it only looks.
    const auto location = const_cast<Document &>(m_document).current_location();
    if (location.error())
        return qsizetype(m_text.size());
    // The balance of brackets is checked first, at the start, which tells nothing.
    const qsizetype offset = location.value_unsafe() - m_text.data();
    return offset > 0 ? std::optional(offset) : std::nullopt;
}

QByteArrayView JsonText::key(Field &field) const
{
    // The text was checked whole: a key without escapes is good as it stands.
    const char *start = field.key().raw();
    const char *end = start;
    while (*end != '"' && *end != '\\')
        ++end;
    if (*end == '"')
        return {start, end - start};
    const std::string_view key = field.unescaped_key();
    return {key.data(), qsizetype(key.size())};
}

QByteArrayView JsonText::utf8(Value value) const
{
    std::string_view token = value.raw_json_token();
    while (!token.empty() && isSpace(token.back()))
        token.remove_suffix(1);
    if (token.size() >= 2 && token.front() == '"' && (!m_escapes || token.find('\\') == token.npos))
        return {token.data() + 1, qsizetype(token.size()) - 2};
    const std::string_view text = value.get_string();
    return {text.data(), qsizetype(text.size())};
}

double JsonText::number(Value value)
{
    const double number = value.get_double();
    if (!std::isfinite(number))
        throw simdjson::simdjson_error(simdjson::NUMBER_ERROR);
    return number;
}
