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
    qint64 monotonicMs() const override { return m_monotonicMs; }

    // Moves both clocks, as time passes while the machine runs.
    void set(const QDateTime& now)
    {
        m_monotonicMs += m_now.msecsTo(now);
        m_now = now;
    }
    // Moves the wall clock only, as a suspended machine sees it on waking.
    void sleep(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
    qint64 m_monotonicMs = 0;
    QTimeZone m_zone;
};
