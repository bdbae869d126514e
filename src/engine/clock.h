#pragma once

#include <QDateTime>
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
};

// The wall clock and the system time zone.
class SystemClock final : public Clock {
public:
    QDateTime now() const override;
    QTimeZone timeZone() const override;
};

} // namespace kelvo
