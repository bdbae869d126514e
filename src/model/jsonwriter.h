#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QStringView>

namespace kelvo {

// Writes pretty-printed JSON (four spaces per level, one member per line) straight into one
// growing buffer, many times faster than building a QJsonDocument. Everything it writes reads
// back unchanged through QJsonDocument::fromJson(). The caller writes keys in the order they
// should appear.
class JsonWriter final {
public:
    explicit JsonWriter(qsizetype expectedSize = 0);

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // Starts the next member of the current object; its value follows.
    void key(QLatin1StringView name);
    // Starts the next element of the current array; its value follows.
    void element();

    // UTF-8, with quotation mark, backslash and control characters escaped, and any unpaired
    // surrogate written as a \u escape so that it reads back unchanged.
    void text(QStringView value);
    // A string of `length` ASCII characters that need no escaping, filled in by the caller.
    char* plainText(qsizetype length);
    void number(qint64 value);
    void flag(bool value);

    QByteArray take();

private:
    // Room for `length` more bytes at the end of what is written; returns where they go.
    char* space(qsizetype length)
    {
        if (m_capacity - m_size < length)
            grow(length);
        return m_data + m_size;
    }
    void grow(qsizetype length);
    void advance(char* end) { m_size = end - m_data; }
    void newLine();

    QByteArray m_buffer;
    char* m_data = nullptr;
    qsizetype m_capacity = 0;
    qsizetype m_size = 0;
    int m_depth = 0;
    bool m_firstItem = true;
};

} // namespace kelvo
