#include "model/statecodec.h"

#include <cstdint>
#include <cstdlib>

namespace {

QDateTime wholeSeconds(const QDateTime& time)
{
    return time.addMSecs(-time.time().msec());
}

// What the state is once written: the file keeps whole seconds only.
kelvo::StoredState asWritten(kelvo::StoredState state)
{
    for (kelvo::AiUsageSession& session : state.sessions) {
        session.startedAt = wholeSeconds(session.startedAt);
        session.endedAt = wholeSeconds(session.endedAt);
        if (session.firstReminderShownAt)
            session.firstReminderShownAt = wholeSeconds(*session.firstReminderShownAt);
    }
    for (kelvo::ReminderEvent& event : state.reminderEvents)
        event.shownAt = wholeSeconds(event.shownAt);
    return state;
}

} // namespace

// Decodes arbitrary bytes. Whatever decodes must be writable, and what is written must decode to
// the same state (so Qt's parser reads the writer's text as meant) and be written again byte for
// byte the same.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<kelvo::StoredState> state = kelvo::StateCodec::decode(input);
    if (!state)
        return 0;
    const QByteArray written = kelvo::StateCodec::encode(*state);
    if (written.isEmpty())
        std::abort();
    const std::optional<kelvo::StoredState> reread = kelvo::StateCodec::decode(written);
    if (!reread || !(*reread == asWritten(*state)) ||
        kelvo::StateCodec::encode(*reread) != written) {
        std::abort();
    }
    return 0;
}
