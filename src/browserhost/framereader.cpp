#include "framereader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kelvo::browserhost {

FrameReader::FrameReader(ByteSource& source, quint32 maximumSize)
    : m_source(source)
    , m_maximumSize(maximumSize)
{}

Frame FrameReader::next()
{
    std::array<char, sizeof(quint32)> header{};
    if (!readExactly(header.data(), qsizetype(header.size())))
        return {};
    Frame frame;
    std::memcpy(&frame.declaredSize, header.data(), header.size());
    // The length comes from the other side: check it before allocating anything for it.
    if (frame.declaredSize > m_maximumSize) {
        if (!skip(frame.declaredSize))
            return {};
        frame.kind = Frame::Kind::Oversized;
        return frame;
    }
    frame.body.resize(qsizetype(frame.declaredSize));
    if (!readExactly(frame.body.data(), frame.body.size()))
        return {};
    frame.kind = Frame::Kind::Message;
    return frame;
}

bool FrameReader::readExactly(char* buffer, qsizetype size)
{
    for (qsizetype done = 0; done < size;) {
        const qsizetype count = m_source.read(buffer + done, size - done);
        if (count <= 0)
            return false;
        done += count;
    }
    return true;
}

bool FrameReader::skip(quint32 size)
{
    std::array<char, 16384> chunk{};
    for (quint32 left = size; left > 0;) {
        const qsizetype wanted = qsizetype(std::min<quint32>(left, chunk.size()));
        const qsizetype count = m_source.read(chunk.data(), wanted);
        if (count <= 0)
            return false;
        left -= quint32(count);
    }
    return true;
}

} // namespace kelvo::browserhost
