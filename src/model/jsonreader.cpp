#include "jsonreader.h"

#include <charconv>
#include <cmath>

namespace kelvo {

namespace {

// Values that nobody reads may nest this deep; deeper text is refused rather than recursed into.
constexpr int maxDepth = 512;

bool isWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

char16_t escapedCharacter(char c)
{
    switch (c) {
    case 'b':
        return u'\b';
    case 'f':
        return u'\f';
    case 'n':
        return u'\n';
    case 'r':
        return u'\r';
    case 't':
        return u'\t';
    default:
        return char16_t(c); // '"', '\\' and '/' stand for themselves
    }
}

const char* digitsEnd(const char* position, const char* end)
{
    while (position < end && isDigit(*position))
        ++position;
    return position;
}

} // namespace

JsonReader::JsonReader(QByteArrayView text)
    : m_position(text.data())
    , m_end(text.data() + text.size())
{
    // Tolerated because some editors put one in front of UTF-8 files.
    if (text.startsWith("\xEF\xBB\xBF"))
        m_position += 3;
}

bool JsonReader::fail()
{
    m_failed = true;
    m_position = m_end;
    return false;
}

void JsonReader::skipWhitespace()
{
    while (m_position < m_end && isWhitespace(*m_position))
        ++m_position;
}

bool JsonReader::consume(char expected)
{
    skipWhitespace();
    if (m_position == m_end || *m_position != expected)
        return false;
    ++m_position;
    return true;
}

bool JsonReader::consumeWord(QByteArrayView word)
{
    skipWhitespace();
    if (!QByteArrayView(m_position, m_end - m_position).startsWith(word))
        return false;
    m_position += word.size();
    return true;
}

bool JsonReader::atEnd()
{
    skipWhitespace();
    return !m_failed && m_position == m_end;
}

JsonReader::Kind JsonReader::peek()
{
    skipWhitespace();
    if (m_position == m_end)
        return Kind::invalid;
    switch (*m_position) {
    case '{':
        return Kind::object;
    case '[':
        return Kind::array;
    case '"':
        return Kind::string;
    case 't':
    case 'f':
        return Kind::flag;
    case 'n':
        return Kind::null;
    default:
        return *m_position == '-' || isDigit(*m_position) ? Kind::number : Kind::invalid;
    }
}

bool JsonReader::enterObject()
{
    if (!consume('{'))
        return fail();
    m_firstItem = true;
    return true;
}

bool JsonReader::nextMember(QByteArrayView* key)
{
    if (m_failed)
        return false;
    if (consume('}')) {
        m_firstItem = false;
        return false;
    }
    if (!m_firstItem && !consume(','))
        return fail();
    m_firstItem = false;
    const std::optional<StringToken> token = scanString();
    if (!token || !consume(':'))
        return fail();
    if (token->escaped) {
        m_scratch = resolve(*token).toUtf8();
        *key = m_scratch;
    } else {
        *key = token->raw;
    }
    return true;
}

bool JsonReader::enterArray()
{
    if (!consume('['))
        return fail();
    m_firstItem = true;
    return true;
}

bool JsonReader::nextElement()
{
    if (m_failed)
        return false;
    if (consume(']')) {
        m_firstItem = false;
        return false;
    }
    if (!m_firstItem && !consume(','))
        return fail();
    m_firstItem = false;
    return true;
}

bool JsonReader::readNull()
{
    return !m_failed && consumeWord("null");
}

std::optional<bool> JsonReader::readFlag()
{
    if (consumeWord("true"))
        return true;
    if (consumeWord("false"))
        return false;
    fail();
    return std::nullopt;
}

std::optional<QString> JsonReader::readText()
{
    const std::optional<StringToken> token = scanString();
    if (!token)
        return std::nullopt;
    return resolve(*token);
}

std::optional<QByteArrayView> JsonReader::readTextBytes()
{
    const std::optional<StringToken> token = scanString();
    if (!token)
        return std::nullopt;
    if (!token->escaped)
        return token->raw;
    m_scratch = resolve(*token).toUtf8();
    return QByteArrayView(m_scratch);
}

std::optional<JsonReader::StringToken> JsonReader::scanString()
{
    if (!consume('"')) {
        fail();
        return std::nullopt;
    }
    StringToken token;
    const char* start = m_position;
    while (m_position < m_end) {
        const auto c = static_cast<unsigned char>(*m_position);
        if (c == '"') {
            token.raw = QByteArrayView(start, m_position - start);
            ++m_position;
            return token;
        }
        if (c < 0x20 || (c == '\\' && !scanEscape())) {
            fail();
            return std::nullopt;
        }
        token.escaped = token.escaped || c == '\\';
        if (c != '\\')
            ++m_position;
    }
    fail();
    return std::nullopt;
}

// At a backslash: checks one escape sequence and moves past it.
bool JsonReader::scanEscape()
{
    ++m_position;
    if (m_position == m_end)
        return false;
    const char c = *m_position;
    if (c == 'u') {
        if (m_end - m_position < 5)
            return false;
        for (int i = 1; i <= 4; ++i) {
            if (hexValue(m_position[i]) < 0)
                return false;
        }
        m_position += 5;
        return true;
    }
    if (QByteArrayView("\"\\/bfnrt").contains(c)) {
        ++m_position;
        return true;
    }
    return false;
}

// Resolves escapes; a \u escape becomes one UTF-16 unit, so a surrogate pair written as two
// escapes comes out as that pair.
QString JsonReader::resolve(const StringToken& token) const
{
    if (!token.escaped)
        return QString::fromUtf8(token.raw);
    QString text;
    text.reserve(token.raw.size());
    const char* position = token.raw.begin();
    const char* run = position;
    while (position < token.raw.end()) {
        if (*position != '\\') {
            ++position;
            continue;
        }
        text += QString::fromUtf8(run, position - run);
        const char kind = position[1];
        if (kind == 'u') {
            int unit = 0;
            for (int i = 2; i <= 5; ++i)
                unit = unit * 16 + hexValue(position[i]);
            text += QChar(char16_t(unit));
            position += 6;
        } else {
            text += QChar(escapedCharacter(kind));
            position += 2;
        }
        run = position;
    }
    text += QString::fromUtf8(run, position - run);
    return text;
}

// Checks the number grammar: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
std::optional<QByteArrayView> JsonReader::scanNumber(bool* whole)
{
    skipWhitespace();
    const char* start = m_position;
    const char* p = m_position;
    if (p < m_end && *p == '-')
        ++p;
    if (p < m_end && *p == '0')
        ++p;
    else if (p < m_end && isDigit(*p))
        p = digitsEnd(p, m_end);
    else
        p = nullptr;
    *whole = true;
    if (p && p < m_end && *p == '.') {
        const char* digits = p + 1;
        p = digitsEnd(digits, m_end);
        p = p == digits ? nullptr : p;
        *whole = false;
    }
    if (p && p < m_end && (*p == 'e' || *p == 'E')) {
        const char* digits = p + 1 < m_end && (p[1] == '+' || p[1] == '-') ? p + 2 : p + 1;
        p = digitsEnd(digits, m_end);
        p = p == digits ? nullptr : p;
        *whole = false;
    }
    if (!p) {
        fail();
        return std::nullopt;
    }
    m_position = p;
    return QByteArrayView(start, p - start);
}

std::optional<qint64> JsonReader::readWholeNumber()
{
    bool integerForm = false;
    const std::optional<QByteArrayView> text = scanNumber(&integerForm);
    if (!text)
        return std::nullopt;
    if (integerForm) {
        qint64 value = 0;
        if (std::from_chars(text->begin(), text->end(), value).ec == std::errc())
            return value;
    } else {
        double value = 0;
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (std::from_chars(text->begin(), text->end(), value).ec == std::errc() &&
            value >= -limit && value < limit && value == std::trunc(value)) {
            return qint64(value);
        }
    }
    fail();
    return std::nullopt;
}

bool JsonReader::skipValue()
{
    return skipValue(0);
}

bool JsonReader::skipValue(int depth)
{
    if (depth > maxDepth)
        return fail();
    QByteArrayView key;
    switch (peek()) {
    case Kind::object:
        enterObject();
        while (nextMember(&key))
            skipValue(depth + 1);
        return !m_failed;
    case Kind::array:
        enterArray();
        while (nextElement())
            skipValue(depth + 1);
        return !m_failed;
    case Kind::string:
        return scanString().has_value();
    case Kind::number: {
        // Numbers no double can hold (1e400, 1e-400) are refused, as other JSON readers do.
        bool integerForm = false;
        const std::optional<QByteArrayView> text = scanNumber(&integerForm);
        double value = 0;
        if (!text || std::from_chars(text->begin(), text->end(), value).ec != std::errc())
            return fail();
        return true;
    }
    case Kind::flag:
        return readFlag().has_value();
    case Kind::null:
        return readNull() || fail();
    case Kind::invalid:
        break;
    }
    return fail();
}

} // namespace kelvo
