#pragma once

#include "engine/clock.h"

// A clock that stands still until the test moves it.
class FakeClock final : public kelvo::Clock {
public:
    explicit FakeClock(QDateTime now, QTimeZone zone = QTimeZone::utc())
        : m_now(std::move(now))
        , m_zone(std::move(zone))
    {}

    QDateTime now() const override { return m_now; }
    QTimeZone timeZone() const override { return m_zone; }

    void set(const QDateTime& now) { m_now = now; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }
    void advanceMs(qint64 msecs) { m_now = m_now.addMSecs(msecs); }

private:
    QDateTime m_now;
    QTimeZone m_zone;
};
