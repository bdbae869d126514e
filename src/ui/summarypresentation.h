#pragma once

#include "summary/summaryrecords.h"

#include <QList>
#include <QString>
#include <QTimeZone>

namespace kelvo {

// One headline figure or pattern card: a symbol and a title over a value and a detail.
struct SummaryCard {
    QString symbolName;
    QString title;
    QString value;
    QString detail;

    bool operator==(const SummaryCard&) const = default;
};

// One line of the most used tools.
struct SummaryToolRow {
    QString name;
    QString duration;
    QString launches;

    bool operator==(const SummaryToolRow&) const = default;
};

// One day of the chart: its total, its date label and whether it is today.
struct ChartDay {
    double totalDuration = 0;
    QString label; // "M/d"
    bool isToday = false;

    bool operator==(const ChartDay&) const = default;
};

// Everything the summary window shows, from one snapshot of the engine's figures.
struct SummaryPresentation {
    static constexpr int maxToolRows = 5;
    static constexpr int chartDayCount = 7;

    QString title;
    QString subtitle;
    QList<SummaryCard> metrics;  // today, launches, 7-day average, change against the week before
    QString chartSummary;        // the sentence above the chart
    QList<ChartDay> chart;       // the last seven days, oldest first
    QList<SummaryCard> patterns; // main tool, high-use streak, peak day
    QList<SummaryToolRow> tools; // at most five; empty shows the empty state
    QStringList plan;            // the improvement plan; empty shows the empty state

    bool operator==(const SummaryPresentation&) const = default;

    // `now` and `calendar` tell which chart day is today and in which zone dates are written.
    static SummaryPresentation build(const SummarySnapshot& snapshot, const QDateTime& now,
                                     const QTimeZone& calendar);
    // "过去 N 天累计 …" for the chart's days.
    static QString chartSummaryText(const QList<DayUsageAggregate>& days,
                                    const QTimeZone& calendar);
};

// What the desktop widget shows.
struct DesktopWidgetContent {
    QString duration;
    QString suggestion;

    bool operator==(const DesktopWidgetContent&) const = default;

    static DesktopWidgetContent fromSummary(const DailySummary& today);
};

// A day as "M月d日" and "M/d" in the local calendar.
QString mediumDate(const QDateTime& day, const QTimeZone& calendar);
QString shortDate(const QDateTime& day, const QTimeZone& calendar);

} // namespace kelvo
