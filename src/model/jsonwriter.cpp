#include "jsonwriter.h"

#include <QChar>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace kelvo {

namespace {

constexpr int indentWidth = 4;
constexpr char hexDigits[] = "0123456789abcdef";

char* writeUnicodeEscape(char* out, char16_t unit)
{
    *out++ = '\\';
    *out++ = 'u';
    for (int shift = 12; shift >= 0; shift -= 4)
        *out++ = hexDigits[(unit >> shift) & 0xF];
    return out;
}

// The short escape where JSON has one, otherwise \u00XX.
char* writeAsciiEscaped(char* out, char16_t c)
{
    constexpr std::string_view escaped = "\"\\\n\r\t\b\f";
    constexpr std::string_view letters = "\"\\nrtbf";
    const size_t index = escaped.find(char(c));
    if (index == std::string_view::npos)
        return writeUnicodeEscape(out, c);
    *out++ = '\\';
    *out++ = letters[index];
    return out;
}

char* writeUtf8(char* out, char32_t c)
{
    if (c < 0x800) {
        *out++ = char(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        *out++ = char(0xE0 | (c >> 12));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
    } else {
        *out++ = char(0xF0 | (c >> 18));
        *out++ = char(0x80 | ((c >> 12) & 0x3F));
        *out++ = char(0x80 | ((c >> 6) & 0x3F));
    }
    *out++ = char(0x80 | (c & 0x3F));
    return out;
}

} // namespace

JsonWriter::JsonWriter(qsizetype expectedSize)
{
    grow(std::max<qsizetype>(expectedSize, 256));
}

void JsonWriter::grow(qsizetype length)
{
    m_buffer.resize(std::max(m_capacity * 2, m_size + length));
    m_data = m_buffer.data();
    m_capacity = m_buffer.size();
}

void JsonWriter::newLine()
{
    const qsizetype indent = qsizetype(m_depth) * indentWidth;
    char* out = space(indent + 1);
    *out++ = '\n';
    std::memset(out, ' ', size_t(indent));
    advance(out + indent);
}

void JsonWriter::beginObject()
{
    *space(1) = '{';
    ++m_size;
    ++m_depth;
    m_firstItem = true;
}

void JsonWriter::endObject()
{
    --m_depth;
    if (!m_firstItem)
        newLine();
    *space(1) = '}';
    ++m_size;
    m_firstItem = false;
}

void JsonWriter::beginArray()
{
    *space(1) = '[';
    ++m_size;
    ++m_depth;
    m_firstItem = true;
}

void JsonWriter::endArray()
{
    --m_depth;
    if (!m_firstItem)
        newLine();
    *space(1) = ']';
    ++m_size;
    m_firstItem = false;
}

void JsonWriter::element()
{
    if (!m_firstItem) {
        *space(1) = ',';
        ++m_size;
    }
    m_firstItem = false;
    newLine();
}

void JsonWriter::key(QLatin1StringView name)
{
    element();
    char* out = space(name.size() + 4);
    *out++ = '"';
    std::memcpy(out, name.data(), size_t(name.size()));
    out += name.size();
    *out++ = '"';
    *out++ = ':';
    *out++ = ' ';
    advance(out);
}

void JsonWriter::text(QStringView value)
{
    // Six bytes per UTF-16 unit is the longest form (a \u escape), plus the quotation marks.
    char* out = space(value.size() * 6 + 2);
    *out++ = '"';
    const char16_t* c = value.utf16();
    const char16_t* end = c + value.size();
    while (c < end) {
        const char16_t unit = *c++;
        if (unit >= 0x20 && unit < 0x80 && unit != u'"' && unit != u'\\') {
            *out++ = char(unit);
        } else if (unit < 0x80) {
            out = writeAsciiEscaped(out, unit);
        } else if (!QChar::isSurrogate(unit)) {
            out = writeUtf8(out, unit);
        } else if (QChar::isHighSurrogate(unit) && c < end && QChar::isLowSurrogate(*c)) {
            out = writeUtf8(out, QChar::surrogateToUcs4(unit, *c++));
        } else {
            out = writeUnicodeEscape(out, unit);
        }
    }
    *out++ = '"';
    advance(out);
}

char* JsonWriter::plainText(qsizetype length)
{
    char* out = space(length + 2);
    out[0] = '"';
    out[length + 1] = '"';
    m_size += length + 2;
    return out + 1;
}

void JsonWriter::number(qint64 value)
{
    constexpr qsizetype longest = 20; // "-9223372036854775808"
    char* out = space(longest);
    advance(std::to_chars(out, out + longest, value).ptr);
}

void JsonWriter::flag(bool value)
{
    const QLatin1StringView word = value ? QLatin1StringView("true") : QLatin1StringView("false");
    std::memcpy(space(word.size()), word.data(), size_t(word.size()));
    m_size += word.size();
}

QByteArray JsonWriter::take()
{
    *space(1) = '\n';
    ++m_size;
    m_buffer.truncate(m_size);
    m_data = nullptr;
    m_capacity = 0;
    m_size = 0;
    return std::exchange(m_buffer, {});
}

} // namespace kelvo
