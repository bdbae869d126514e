#include "model/statecodec.h"

#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

// Decodes arbitrary bytes. Whatever decodes must be JSON to Qt's own reader as well, must read
// back after being written, and must then be written again byte for byte the same.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<kelvo::StoredState> state = kelvo::StateCodec::decode(input);
    if (!state)
        return 0;
    QJsonParseError error{};
    QJsonDocument::fromJson(input, &error);
    if (error.error != QJsonParseError::NoError)
        std::abort();
    const QByteArray written = kelvo::StateCodec::encode(*state);
    const std::optional<kelvo::StoredState> reread = kelvo::StateCodec::decode(written);
    if (!reread || kelvo::StateCodec::encode(*reread) != written)
        std::abort();
    return 0;
}
