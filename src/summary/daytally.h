#pragma once

#include "summary/summaryrecords.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QTimeZone>

#include <algorithm>

namespace kelvo {

// Accumulates the sessions of one local calendar day. The day runs from its local midnight to
// the next day's, so it may last 23 or 25 hours; time is kept in whole milliseconds so that the
// totals do not depend on the order in which sessions are added.
class DayTally final {
public:
    // An invalid day, or one whose bounds the zone cannot produce, ignores everything added.
    DayTally(QDate localDay, const QTimeZone& calendar);

    bool isValid() const { return m_valid; }
    const QDateTime& dayStart() const { return m_start; }
    const QDateTime& dayEnd() const { return m_end; }
    qint64 dayStartMs() const { return m_startMs; }
    qint64 dayEndMs() const { return m_endMs; }

    // Adds the part of [startMs, endMs) inside the day, and a launch if it starts inside.
    // Inline because a 30-day snapshot calls it once per session and day.
    void addSpan(qint64 startMs, qint64 endMs, const QString& appName)
    {
        if (!m_valid)
            return;
        const qint64 clippedStart = std::max(startMs, m_startMs);
        const qint64 clippedEnd = std::min(endMs, m_endMs);
        // Compared before subtracting: far-apart instants would overflow the difference.
        if (clippedEnd <= clippedStart)
            return;
        addOverlap(appName, clippedEnd - clippedStart, startMs >= m_startMs && startMs < m_endMs);
    }
    // Adds time already clipped to the day; `overlapMs` must be positive.
    void addOverlap(const QString& appName, qint64 overlapMs, bool launched);

    DayUsageAggregate result() const;

private:
    struct Tool {
        qint64 ms = 0;
        qint64 launches = 0;
    };

    QDateTime m_start;
    QDateTime m_end;
    qint64 m_startMs = 0;
    qint64 m_endMs = 0;
    bool m_valid = false;
    qint64 m_totalMs = 0;
    qint64 m_launches = 0;
    QHash<QString, Tool> m_tools;
};

// Total duration descending, then name ascending in code-point order.
void sortInBucketOrder(QList<AppUsageBucket>& buckets);

} // namespace kelvo
