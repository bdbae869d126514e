#include "clock.h"

namespace kelvo {

SystemClock::SystemClock()
{
    m_monotonic.start();
}

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTimeUtc();
}

QTimeZone SystemClock::timeZone() const
{
    return QTimeZone::systemTimeZone();
}

qint64 SystemClock::monotonicMs() const
{
    return m_monotonic.elapsed();
}

} // namespace kelvo
