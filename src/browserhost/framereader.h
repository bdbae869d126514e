#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace kelvo::browserhost {

// The longest message a browser may send the host.
inline constexpr quint32 maximumFrameSize = 65536;

// Where frames come from: standard input in the program, memory in the fuzzer.
class ByteSource {
public:
    ByteSource() = default;
    virtual ~ByteSource() = default;
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // Reads at most `maximum` bytes (at least one) into `buffer`; 0 means the input has ended.
    virtual qsizetype read(char* buffer, qsizetype maximum) = 0;
};

// One frame of native messaging: a message, a message too long to take, or the end of input.
struct Frame {
    enum class Kind { Message, Oversized, End };

    Kind kind = Kind::End;
    QByteArray body; // a Message's bytes
    quint32 declaredSize = 0;
};

// Splits a byte stream into frames: a 4-byte length in native byte order, then that many bytes.
class FrameReader final {
public:
    explicit FrameReader(ByteSource& source, quint32 maximumSize = maximumFrameSize);

    // The next frame. A frame longer than the maximum is read past and reported as Oversized, so
    // the stream stays in step; input that ends inside a frame gives End.
    Frame next();

private:
    bool readExactly(char* buffer, qsizetype size);
    bool skip(quint32 size);

    ByteSource& m_source;
    quint32 m_maximumSize;
};

} // namespace kelvo::browserhost
