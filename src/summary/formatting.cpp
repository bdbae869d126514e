#include "formatting.h"

#include <cmath>
#include <limits>

namespace kelvo::Formatting {

using namespace Qt::StringLiterals;

namespace {

// Truncates toward zero. Converting a NaN, an infinity or an out-of-range double to an integer
// is undefined, so those are mapped to 0 and clamped before the cast.
qint64 wholeSeconds(double seconds)
{
    if (!std::isfinite(seconds))
        return 0;
    constexpr double limit = 9223372036854775808.0; // 2^63, exactly representable
    const double truncated = std::trunc(seconds);
    if (truncated >= limit)
        return std::numeric_limits<qint64>::max();
    if (truncated < -limit)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(truncated);
}

QString number(qint64 value)
{
    return QString::number(value);
}

} // namespace

QString duration(double seconds)
{
    const qint64 s = qMax<qint64>(wholeSeconds(seconds), 0);
    if (s <= 59)
        return number(s) + u"秒"_s;
    const qint64 minutes = (s / 60) % 60;
    if (s < 3600)
        return number(minutes) + u"分"_s;
    return number(s / 3600) + u"小时"_s + number(minutes) + u"分"_s;
}

QString shortDuration(double seconds)
{
    const qint64 s = wholeSeconds(seconds);
    if (s < 1)
        return u"0分"_s;
    if (s <= 59)
        return number(s) + u"秒"_s;
    const qint64 minutes = (s / 60) % 60;
    if (s < 3600)
        return number(minutes) + u"分"_s;
    if (minutes == 0)
        return number(s / 3600) + u"时"_s;
    return number(s / 3600) + u"时"_s + number(minutes) + u"分"_s;
}

QString signedDurationDelta(double seconds)
{
    // A non-finite value is treated as no difference rather than printed as "+0秒".
    if (std::isfinite(seconds) && seconds > 0)
        return u"+"_s + duration(seconds);
    if (std::isfinite(seconds) && seconds < 0)
        return u"-"_s + duration(-seconds);
    return u"持平"_s;
}

QString dayKey(const QDateTime& date, const QTimeZone& calendar)
{
    // An invalid date or zone yields an invalid QDate, whose components are all 0.
    const QDate local = date.toTimeZone(calendar).date();
    return QString::asprintf("%04d-%02d-%02d", local.year(), local.month(), local.day());
}

} // namespace kelvo::Formatting
