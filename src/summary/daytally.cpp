#include "daytally.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelvo {

namespace {

// QString's operator< compares UTF-16 code units, which puts characters beyond U+FFFF before
// U+E000..U+FFFF. Shifting the code units this way restores code-point order.
char16_t codePointOrderKey(char16_t unit)
{
    if (unit >= 0xE000)
        return char16_t(unit - 0x800);
    if (unit >= 0xD800)
        return char16_t(unit + 0x2000);
    return unit;
}

bool precedesInCodePointOrder(const QString& a, const QString& b)
{
    const auto [itA, itB] = std::mismatch(a.cbegin(), a.cend(), b.cbegin(), b.cend());
    if (itA == a.cend() || itB == b.cend())
        return a.size() < b.size();
    return codePointOrderKey(itA->unicode()) < codePointOrderKey(itB->unicode());
}

} // namespace

DayTally::DayTally(QDate localDay, const QTimeZone& calendar)
    : m_start(localDay.startOfDay(calendar))
    , m_end(localDay.addDays(1).startOfDay(calendar))
    , m_valid(m_start.isValid() && m_end.isValid() && m_start < m_end)
{
    if (m_valid) {
        m_startMs = m_start.toMSecsSinceEpoch();
        m_endMs = m_end.toMSecsSinceEpoch();
    }
}

void DayTally::addOverlap(const QString& appName, qint64 overlapMs, bool launched)
{
    if (!m_valid)
        return;
    Tool& tool = m_tools[appName];
    m_totalMs += overlapMs;
    tool.ms += overlapMs;
    if (launched) {
        ++m_launches;
        ++tool.launches;
    }
}

DayUsageAggregate DayTally::result() const
{
    DayUsageAggregate day;
    day.day = m_start;
    day.totalDuration = double(m_totalMs) / 1000.0;
    day.launchCount = m_launches;
    day.appBreakdown.reserve(m_tools.size());
    for (auto it = m_tools.cbegin(); it != m_tools.cend(); ++it)
        day.appBreakdown.append({it.key(), double(it->ms) / 1000.0, it->launches});
    sortInBucketOrder(day.appBreakdown);
    return day;
}

void sortInBucketOrder(QList<AppUsageBucket>& buckets)
{
    // A NaN would break the strict weak ordering std::sort relies on; it sorts as the least.
    const auto key = [](double seconds) {
        return std::isnan(seconds) ? -std::numeric_limits<double>::infinity() : seconds;
    };
    std::sort(buckets.begin(), buckets.end(),
              [&](const AppUsageBucket& a, const AppUsageBucket& b) {
                  if (key(a.totalDuration) != key(b.totalDuration))
                      return key(a.totalDuration) > key(b.totalDuration);
                  return precedesInCodePointOrder(a.appName, b.appName);
              });
}

} // namespace kelvo
