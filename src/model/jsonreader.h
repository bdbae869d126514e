#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace kelvo {

// A strict pull reader over one JSON text (RFC 8259), made for reading the state document in a
// single pass without building a tree. The text must already be known to be valid UTF-8.
// After the first error every call fails, so a caller may check failed() once at the end.
class JsonReader final {
public:
    enum class Kind { object, array, string, number, flag, null, invalid };

    explicit JsonReader(QByteArrayView text);

    bool failed() const { return m_failed; }
    // True when the whole text has been read and only whitespace is left.
    bool atEnd();
    Kind peek();

    // Enters an object; then nextMember() yields each key in turn, positioned before its value,
    // and false after the closing brace (or on an error).
    bool enterObject();
    bool nextMember(QByteArrayView* key);
    // Enters an array; then nextElement() is true before each element, false after the end.
    bool enterArray();
    bool nextElement();

    // Each reader of a value fails and yields nothing when the next value is of another kind.
    bool readNull(); // consumes a null and returns true; otherwise consumes nothing
    std::optional<bool> readFlag();
    std::optional<QString> readText();
    // The raw UTF-8 bytes of a string, escapes resolved; valid until the next call.
    std::optional<QByteArrayView> readTextBytes();
    // A number without fraction that fits in 64 bits, or one with a fraction or exponent whose
    // value is whole and fits (20.0, 2e1). Anything else is the wrong type and fails.
    std::optional<qint64> readWholeNumber();
    // Reads and checks any value, for members that are not used.
    bool skipValue();

private:
    struct StringToken {
        QByteArrayView raw; // between the quotes, escapes not yet resolved
        bool escaped = false;
    };

    bool fail();
    void skipWhitespace();
    bool consume(char expected);
    bool consumeWord(QByteArrayView word);
    std::optional<StringToken> scanString();
    bool scanEscape();
    std::optional<QByteArrayView> scanNumber(bool* whole);
    QString resolve(const StringToken& token) const;
    bool skipValue(int depth);

    const char* m_position;
    const char* m_end;
    QByteArray m_scratch;
    bool m_failed = false;
    bool m_firstItem = false; // just inside '{' or '[', so no comma is expected yet
};

} // namespace kelvo
