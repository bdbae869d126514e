#include "quiethours.h"

#include <limits>

namespace kelvo {

namespace {

// Minutes of the day; the stored hour and minute are not range-checked, so a hostile state
// file must not make this overflow.
qint64 minuteOfDay(qint64 hour, qint64 minute)
{
    qint64 result = 0;
    if (__builtin_mul_overflow(hour, 60, &result) ||
        __builtin_add_overflow(result, minute, &result))
        return hour < 0 ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return result;
}

} // namespace

bool isInQuietHours(const AppSettings& settings, const QDateTime& now, const QTimeZone& zone)
{
    if (!settings.quietHoursEnabled)
        return false;
    const QTime local = now.toTimeZone(zone).time();
    const qint64 current = qint64(local.hour()) * 60 + local.minute();
    const qint64 start = minuteOfDay(settings.quietHoursStartHour, settings.quietHoursStartMinute);
    const qint64 end = minuteOfDay(settings.quietHoursEndHour, settings.quietHoursEndMinute);
    if (start == end)
        return true;
    if (start < end)
        return start <= current && current < end;
    return current >= start || current < end;
}

} // namespace kelvo
