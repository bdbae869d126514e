#pragma once

#include "model/snapshot.h"

#include <functional>
#include <optional>

namespace kelvo {

// Tells the engine which application is in front. Every observation goes to onPoll; one that
// differs from the previous observation then also goes to onChange.
class AppMonitor {
public:
    using Callback = std::function<void(const FrontmostAppSnapshot&)>;

    AppMonitor() = default;
    AppMonitor(const AppMonitor&) = delete;
    AppMonitor& operator=(const AppMonitor&) = delete;
    virtual ~AppMonitor() = default;

    void setOnChange(Callback callback) { m_onChange = std::move(callback); }
    void setOnPoll(Callback callback) { m_onPoll = std::move(callback); }

    // (Re)starts observing and emits the current snapshot before returning; never registers twice.
    virtual void start() = 0;
    // Stops observing; the callbacks and the last snapshot stay.
    virtual void stop() = 0;

    // Reads the foreground now and runs the callbacks.
    void emitCurrentSnapshot() { deliver(currentSnapshot()); }

    // The last observation passed to onChange.
    const std::optional<FrontmostAppSnapshot>& lastSnapshot() const { return m_lastSnapshot; }

protected:
    // The application in front right now; both fields absent when there is none.
    virtual FrontmostAppSnapshot currentSnapshot() = 0;

    void deliver(const FrontmostAppSnapshot& snapshot);

private:
    Callback m_onChange;
    Callback m_onPoll;
    std::optional<FrontmostAppSnapshot> m_lastSnapshot;
};

// A monitor for a desktop whose foreground cannot be read: nothing is ever in front.
class NullAppMonitor final : public AppMonitor {
public:
    void start() override { emitCurrentSnapshot(); }
    void stop() override {}

protected:
    FrontmostAppSnapshot currentSnapshot() override { return {}; }
};

} // namespace kelvo
