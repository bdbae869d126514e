#include "browserhost/framereader.h"
#include "browserhost/messagecheck.h"
#include "tabs/tabfile.h"

#include <QUrl>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace kelvo;
using namespace kelvo::browserhost;

namespace {

// Hands the input out in pieces of changing size, as a pipe does.
class MemorySource final : public ByteSource {
public:
    MemorySource(const char* data, qsizetype size, qsizetype firstPiece)
        : m_data(data)
        , m_size(size)
        , m_piece(firstPiece)
    {}

    qsizetype read(char* buffer, qsizetype maximum) override
    {
        if (maximum < 1)
            std::abort();
        const qsizetype count = std::min({maximum, m_size - m_offset, m_piece});
        if (count > 0)
            std::memcpy(buffer, m_data + m_offset, size_t(count));
        m_offset += count;
        m_piece = m_piece * 7 % 4099 + 1;
        return count;
    }

    qsizetype consumed() const { return m_offset; }

private:
    const char* m_data;
    qsizetype m_size;
    qsizetype m_offset = 0;
    qsizetype m_piece;
};

// An accepted origin is scheme, host and port only, reduced once and for all, and the tab file
// keeps it as it is.
void checkOrigin(const QString& origin)
{
    const QUrl url(origin, QUrl::StrictMode);
    if (tabs::originOf(origin) != origin || !url.isValid() || url.host().isEmpty() ||
        (url.scheme() != u"http" && url.scheme() != u"https") || !url.userInfo().isEmpty() ||
        !url.path().isEmpty() || url.hasQuery() || url.hasFragment()) {
        std::abort();
    }
    const tabs::TabRecord record{origin, 4242};
    if (tabs::decode(tabs::encode(record)) != record)
        std::abort();
}

// Reads the whole input as frames, in step: every frame starts where the one before it ended,
// none is longer than the limit, and the input is read to its end.
void readAll(const QByteArray& input, quint32 limit, qsizetype firstPiece)
{
    MemorySource source(input.constData(), input.size(), firstPiece);
    FrameReader reader(source, limit);
    qsizetype frameEnd = 0;
    for (Frame frame = reader.next(); frame.kind != Frame::Kind::End; frame = reader.next()) {
        frameEnd += qsizetype(sizeof(quint32)) + qsizetype(frame.declaredSize);
        if (source.consumed() != frameEnd ||
            (frame.declaredSize > limit) != (frame.kind == Frame::Kind::Oversized)) {
            std::abort();
        }
        if (frame.kind == Frame::Kind::Oversized)
            continue;
        if (frame.body.size() != qsizetype(frame.declaredSize))
            std::abort();
        const CheckedMessage message = checkMessage(frame.body);
        if (message.accepted == !message.reason.isEmpty())
            std::abort();
        if (message.origin)
            checkOrigin(*message.origin);
    }
    if (source.consumed() != input.size())
        std::abort();
}

} // namespace

// Feeds arbitrary bytes to the host as the browser's stream of frames: once with the real limit,
// and once with a small one so that short inputs go through the skipping of long frames too.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    readAll(input, maximumFrameSize, 65536);
    readAll(input, 40, 1);
    return 0;
}
