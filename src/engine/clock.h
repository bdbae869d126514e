#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimeZone>

namespace kelvo {

// The engine's only source of time: the current instant and the user's calendar (time zone).
class Clock {
public:
    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
    virtual ~Clock() = default;

    // The current instant, in UTC.
    virtual QDateTime now() const = 0;
    // The user's current time zone; day boundaries and day keys follow it.
    virtual QTimeZone timeZone() const = 0;
    // Milliseconds of a clock that never jumps and stands still while the machine sleeps.
    virtual qint64 monotonicMs() const = 0;
};

// The wall clock and the system time zone.
class SystemClock final : public Clock {
public:
    SystemClock();

    QDateTime now() const override;
    QTimeZone timeZone() const override;
    qint64 monotonicMs() const override;

private:
    QElapsedTimer m_monotonic; // CLOCK_MONOTONIC, which does not count suspended time
};

} // namespace kelvo
