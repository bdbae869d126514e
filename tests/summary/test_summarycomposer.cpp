#include "summary/formatting.h"
#include "summary/summarycomposer.h"

#include <QRandomGenerator>
#include <QTest>

#include <limits>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

// Local wall-clock time "yyyy-MM-ddTHH:mm" in `zone`, as a UTC instant like stored sessions.
QDateTime local(const QString& text, const QTimeZone& zone)
{
    const QDateTime parsed = QDateTime::fromString(text, Qt::ISODate);
    return QDateTime(parsed.date(), parsed.time(), zone).toUTC();
}

// Each row is "name|start|end" in local time.
QList<AiUsageSession> sessionsFrom(const QStringList& rows, const QTimeZone& zone)
{
    QList<AiUsageSession> sessions;
    for (const QString& row : rows) {
        const QStringList field = row.split(u'|');
        AiUsageSession session;
        session.appName = field[0];
        session.startedAt = local(field[1], zone);
        session.endedAt = local(field[2], zone);
        sessions << session;
    }
    return sessions;
}

// "total/launches name:seconds:launches,..."
QString describe(double total, qint64 launches, const QList<AppUsageBucket>& buckets)
{
    QStringList parts;
    for (const AppUsageBucket& b : buckets)
        parts << u"%1:%2:%3"_s.arg(b.appName).arg(b.totalDuration).arg(b.launchCount);
    return u"%1/%2 %3"_s.arg(total).arg(launches).arg(parts.join(u','));
}

QList<DayUsageAggregate> daysWith(const QList<double>& totals)
{
    QList<DayUsageAggregate> days;
    for (qsizetype i = 0; i < totals.size(); ++i)
        days.append({QDate(2026, 1, 1).addDays(i).startOfDay(QTimeZone::utc()), totals[i], i, {}});
    return days;
}

} // namespace

class TestSummaryComposer final : public QObject {
    Q_OBJECT

private slots:
    void dailyAggregate_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QStringList>("sessions");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* zone, const QStringList& sessions,
                            const QString& day, const QString& expected) {
            QTest::newRow(name) << QByteArray(zone) << sessions << day << expected;
        };
        const char* sh = "Asia/Shanghai";
        const QStringList acrossMidnight{u"Claude|2026-05-09T23:50|2026-05-10T00:20"_s};
        row("before midnight: time and launch", sh, acrossMidnight, u"2026-05-09T12:00"_s,
            u"600/1 Claude:600:1"_s);
        row("after midnight: time, no launch", sh, acrossMidnight, u"2026-05-10T23:59"_s,
            u"1200/0 Claude:1200:0"_s);
        row("ends at midnight, starts at the next", sh,
            {u"A|2026-05-09T23:00|2026-05-10T00:00"_s, u"B|2026-05-11T00:00|2026-05-11T01:00"_s},
            u"2026-05-10T10:00"_s, u"0/0 "_s);
        row("bucket order, one tool merged", sh,
            {u"Gemini 网页|2026-05-10T08:00|2026-05-10T08:05"_s,
             u"Claude|2026-05-10T09:00|2026-05-10T09:05"_s,
             u"ChatGPT 网页|2026-05-10T10:00|2026-05-10T10:05"_s,
             u"Cursor|2026-05-10T11:00|2026-05-10T11:15"_s,
             u"Claude|2026-05-10T12:00|2026-05-10T12:05"_s},
            u"2026-05-10T10:00"_s,
            u"2100/5 Cursor:900:1,Claude:600:2,ChatGPT 网页:300:1,Gemini 网页:300:1"_s);
        row("New York 23-hour day", "America/New_York", {u"A|2026-03-07T12:00|2026-03-09T12:00"_s},
            u"2026-03-08T20:00"_s, u"82800/0 A:82800:0"_s);
        row("New York 25-hour day", "America/New_York", {u"A|2026-10-31T12:00|2026-11-02T12:00"_s},
            u"2026-11-01T20:00"_s, u"90000/0 A:90000:0"_s);
    }

    void dailyAggregate()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QStringList, sessions);
        QFETCH(QString, day);
        QFETCH(QString, expected);
        const QTimeZone tz(zone);
        const DayUsageAggregate aggregate =
            SummaryComposer::buildDailyAggregate(local(day, tz), sessionsFrom(sessions, tz), tz);
        QCOMPARE(aggregate.day, QDate::fromString(day.left(10), Qt::ISODate).startOfDay(tz));
        QCOMPARE(describe(aggregate.totalDuration, aggregate.launchCount, aggregate.appBreakdown),
                 expected);
    }

    void snapshotMatchesDayByDay_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("now");
        QTest::newRow("New York, spring change inside")
            << QByteArray("America/New_York") << u"2026-03-20T00:40"_s;
        QTest::newRow("New York, autumn change inside")
            << QByteArray("America/New_York") << u"2026-11-15T09:00"_s;
    }

    // The compact day passes give what the plain per-day algorithm gives on a mixed data set:
    // short, midnight-crossing, multi-day, zero-length, reversed and undated sessions, one open.
    void snapshotMatchesDayByDay()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QString, now);
        const QTimeZone tz(zone);
        const QDateTime nowAt = local(now, tz), localNow = nowAt.toTimeZone(tz);
        QRandomGenerator random(7);
        const QStringList names{u"Claude"_s, u"ChatGPT 网页"_s, u"Cursor"_s, u"Gemini 网页"_s};
        QList<AiUsageSession> sessions;
        for (int i = 0; i < 1500; ++i) {
            const int kind = random.bounded(20);
            const qint64 length =
                QList<qint64>{0, -600, 2 * 86400}.value(kind, random.bounded(7200));
            AiUsageSession session;
            session.appName = names[random.bounded(names.size())];
            session.startedAt = nowAt.addSecs(-random.bounded(40 * 86400));
            session.endedAt = kind == 4 ? QDateTime() : session.startedAt.addSecs(length);
            if (kind == 3)
                session.startedAt = QDateTime();
            sessions << session;
        }
        ActiveSession active;
        active.displayName = u"Claude"_s;
        active.startedAt = nowAt.addSecs(-5000);
        const QList<AiUsageSession> merged =
            SummaryComposer::mergedSessions(sessions, active, nowAt);

        const SummarySnapshot snapshot =
            SummaryComposer::summarySnapshot(sessions, active, nowAt, tz);
        QCOMPARE(snapshot.recentDays.size(), 30);
        for (int i = 0; i < 30; ++i)
            QCOMPARE(snapshot.recentDays[i],
                     SummaryComposer::buildDailyAggregate(localNow.addDays(i - 29), merged, tz));
        QCOMPARE(snapshot.trend, SummaryComposer::buildTrendSummary(snapshot.recentDays));
        QVERIFY(snapshot.trend.peakDay && snapshot.trend.peakDay->launchCount > 0);

        // Both count the open session today. todaySummary compares with yesterday's stored
        // sessions only, the snapshot with its own yesterday, where the open session (begun
        // before midnight in the first row) counts too.
        const auto& [day, total, launches, apps] = snapshot.recentDays.last();
        const double storedYesterday =
            SummaryComposer::buildDailyAggregate(localNow.addDays(-1), sessions, tz).totalDuration;
        const QString advice = SummaryComposer::daySuggestion(total, launches);
        DailySummary expected{day, total, launches, apps, advice, total - storedYesterday};
        QCOMPARE(SummaryComposer::todaySummary(sessions, active, nowAt, tz), expected);
        expected.comparedToYesterdaySeconds = total - snapshot.recentDays[28].totalDuration;
        QCOMPARE(snapshot.today, expected);
    }

    // Which advice the day gets, told apart by a phrase of each.
    void daySuggestion_data()
    {
        QTest::addColumn<double>("total");
        QTest::addColumn<qint64>("launches");
        QTest::addColumn<QString>("expected");
        QTest::newRow("heavy wins over launches") << 5400.0 << qint64(20) << u"先写下你的判断"_s;
        QTest::newRow("just below heavy, six launches") << 5399.0 << qint64(6) << u"比较频繁"_s;
        QTest::newRow("a moment, five launches") << 0.001 << qint64(5) << u"当补充意见"_s;
        QTest::newRow("nothing") << 0.0 << qint64(0) << u"没有记录到"_s;
        QTest::newRow("no time but six launches") << 0.0 << qint64(6) << u"比较频繁"_s;
    }

    void daySuggestion()
    {
        QFETCH(double, total);
        QFETCH(qint64, launches);
        QFETCH(QString, expected);
        const QString advice = SummaryComposer::daySuggestion(total, launches);
        QVERIFY2(advice.contains(expected), qPrintable(advice));
    }

    void trend_data()
    {
        // Day i has launch count i. Expected: recent and previous mean duration, recent and
        // previous mean launches, streak, index of the peak day (-1: none).
        QTest::addColumn<QList<double>>("totals");
        QTest::addColumn<QList<double>>("expected");
        QList<double> lastBelow(30, 2700.0);
        lastBelow.last() = 2699;
        QTest::newRow("thirty high days")
            << QList<double>(30, 2700.0) << QList<double>{2700, 2700, 26, 19, 30, 0};
        QTest::newRow("today below the threshold")
            << lastBelow << QList<double>{(6 * 2700 + 2699) / 7.0, 2700, 26, 19, 0, 0};
        QTest::newRow("short previous window")
            << QList<double>{100, 200, 300, 400, 500, 600, 700, 800, 900, 2800}
            << QList<double>{6700 / 7.0, 200, 6, 1, 1, 9};
        QTest::newRow("tie goes to the earlier day")
            << QList<double>{500, 900, 900, 100} << QList<double>{600, 0, 1.5, 0, 0, 1};
        QTest::newRow("empty") << QList<double>() << QList<double>{0, 0, 0, 0, 0, -1};
    }

    void trend()
    {
        QFETCH(QList<double>, totals);
        QFETCH(QList<double>, expected);
        const QList<DayUsageAggregate> days = daysWith(totals);
        const TrendSummary trend = SummaryComposer::buildTrendSummary(days);
        const qsizetype peak = trend.peakDay ? days.indexOf(*trend.peakDay) : -1;
        QCOMPARE((QList<double>{trend.recent7DayAverageDuration, trend.previous7DayAverageDuration,
                                trend.recent7DayAverageLaunches, trend.previous7DayAverageLaunches,
                                double(trend.highUsageStreak), double(peak)}),
                 expected);
    }

    // Tool totals cover only the recent seven days and follow code-point order on equal time.
    void toolTotals()
    {
        const QString astral = QString::fromUcs4(U"\U0001F916 Bot"), fullwidth = u"Ｃlaude"_s;
        QList<DayUsageAggregate> days = daysWith(QList<double>(8, 600));
        days[0].appBreakdown = {{u"Old"_s, 600, 1}};
        for (qsizetype i = 1; i < days.size(); ++i)
            days[i].appBreakdown = {{astral, 300, 1}, {fullwidth, 300, 0}};
        const QString recent = u"%1:2100:0,%2:2100:7"_s.arg(fullwidth, astral);
        QCOMPARE(describe(0, 0, SummaryComposer::buildTrendSummary(days).topApps),
                 u"0/0 "_s + recent);
        QCOMPARE(describe(0, 0, SummaryComposer::aggregateAppUsage(days)),
                 u"0/0 %1,Old:600:1"_s.arg(recent));
    }

    void suggestions_data()
    {
        QTest::addColumn<QList<double>>("averages"); // recent duration, previous duration, launches
        QTest::addColumn<double>("topAppSeconds");   // "Claude"; negative for no tools
        QTest::addColumn<qint64>("highUsageStreak");
        QTest::addColumn<QStringList>("expected"); // a phrase of each suggestion, in order
        const auto row = [](const char* name, const QList<double>& averages, double topAppSeconds,
                            qint64 streakDays, const QStringList& expected) {
            QTest::newRow(name) << averages << topAppSeconds << streakDays << expected;
        };
        row("nothing used", {0, 0, 0}, -1, 0, {u"没有明显"_s});
        row("tool but no time in the days", {0, 0, 0}, 600, 0, {u"没有明显"_s});
        row("steady, streak of two", {1000, 500, 1}, 3000, 2, {u"较稳定"_s});
        row("increase of exactly 900 s", {1000, 100, 1}, 0, 0, {u"较稳定"_s});
        row("increase of 901 s", {1000, 99, 1}, 0, 0, {u"增加了 15分"_s});
        row("five launches a day", {30000, 30000, 5}, 0, 0, {u"频繁短开"_s});
        row("four launches of seven minutes", {1680, 1680, 4}, 0, 0, {u"频繁短开"_s});
        row("three launches of exactly 8 minutes", {1440, 1440, 3}, 0, 0, {u"较稳定"_s});
        row("just below three launches", {60, 60, 2.99}, 0, 0, {u"较稳定"_s});
        row("streak of three", {1000, 1000, 1}, 0, 3, {u"连续 3 天"_s});
        row("70% on one tool", {1000, 1000, 1}, 4900, 0, {u"集中在 Claude"_s});
        row("69.9% on one tool", {1000, 1000, 1}, 4893, 0, {u"较稳定"_s});
        row("all four rules, cut to three", {3000, 60, 6}, 20000, 4,
            {u"增加了 49分"_s, u"频繁短开"_s, u"连续 4 天"_s});
    }

    void suggestions()
    {
        QFETCH(QList<double>, averages);
        QFETCH(double, topAppSeconds);
        QFETCH(qint64, highUsageStreak);
        QFETCH(QStringList, expected);
        QList<AppUsageBucket> topApps;
        if (topAppSeconds >= 0)
            topApps = {{u"Claude"_s, topAppSeconds, 3}, {u"Cursor"_s, 10, 1}};
        // Seven days at the recent average, after two heavy days that must not count towards a
        // tool's share of the last seven days.
        const QList<double> totals = QList<double>(2, 90000) + QList<double>(7, averages[0]);
        const QStringList texts = SummaryComposer::buildSuggestions(
            daysWith(totals), averages[0], averages[1], averages[2], topApps, highUsageStreak);
        QCOMPARE(texts.size(), expected.size());
        for (qsizetype i = 0; i < texts.size(); ++i)
            QVERIFY2(texts[i].contains(expected[i]), qPrintable(texts[i]));
    }

    void notificationBody_data()
    {
        QTest::addColumn<double>("total");
        QTest::addColumn<qint64>("launches");
        QTest::addColumn<std::optional<double>>("compared");
        QTest::addColumn<QString>("expected");

        QTest::newRow("more than yesterday")
            << 3900.0 << qint64(4) << std::optional(600.0)
            << u"今天共使用 AI 1小时5分，启动 4 次，比昨天多 10分。"_s;
        QTest::newRow("less than yesterday") << 30.0 << qint64(1) << std::optional(-90.0)
                                             << u"今天共使用 AI 30秒，启动 1 次，比昨天少 1分。"_s;
        QTest::newRow("same as yesterday") << 0.0 << qint64(0) << std::optional(0.0)
                                           << u"今天共使用 AI 0秒，启动 0 次，与昨天持平。"_s;
        QTest::newRow("no comparison")
            << 120.0 << qint64(2) << std::optional<double>() << u"今天共使用 AI 2分，启动 2 次。"_s;
    }

    void notificationBody()
    {
        QFETCH(double, total);
        QFETCH(qint64, launches);
        QFETCH(std::optional<double>, compared);
        QFETCH(QString, expected);
        const DailySummary summary{QDateTime(), total, launches, {}, u"建议"_s, compared};
        QCOMPARE(SummaryComposer::notificationBody(summary), expected + u"建议"_s);
    }

    void durations_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("full");
        QTest::addColumn<QString>("compact");
        QTest::addColumn<QString>("delta");

        const auto row = [](const char* name, double seconds, const QString& full,
                            const QString& compact, const QString& delta) {
            QTest::newRow(name) << seconds << full << compact << delta;
        };
        row("zero", 0, u"0秒"_s, u"0分"_s, u"持平"_s);
        row("half second", 0.5, u"0秒"_s, u"0分"_s, u"+0秒"_s);
        row("one second", 1, u"1秒"_s, u"1秒"_s, u"+1秒"_s);
        row("truncated, not rounded", 59.9, u"59秒"_s, u"59秒"_s, u"+59秒"_s);
        row("one minute", 60, u"1分"_s, u"1分"_s, u"+1分"_s);
        row("last minute of the hour", 3599, u"59分"_s, u"59分"_s, u"+59分"_s);
        row("one hour", 3600, u"1小时0分"_s, u"1时"_s, u"+1小时0分"_s);
        row("hour and minutes", 3900, u"1小时5分"_s, u"1时5分"_s, u"+1小时5分"_s);
        row("seconds dropped", -7530.9, u"0秒"_s, u"0分"_s, u"-2小时5分"_s);
        const QString most = u"2562047788015215小时30分"_s;
        row("beyond 64 bits clamps", 1e300, most, u"2562047788015215时30分"_s, u"+"_s + most);
        row("far below 64 bits", -1e300, u"0秒"_s, u"0分"_s, u"-"_s + most);
        row("infinity", std::numeric_limits<double>::infinity(), u"0秒"_s, u"0分"_s, u"持平"_s);
    }

    void durations()
    {
        QFETCH(double, seconds);
        QTEST(Formatting::duration(seconds), "full");
        QTEST(Formatting::shortDuration(seconds), "compact");
        QTEST(Formatting::signedDurationDelta(seconds), "delta");
    }

    void dayKey_data()
    {
        QTest::addColumn<QDateTime>("instant");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QDateTime& instant, const char* zone,
                            const char* expected) {
            QTest::newRow(name) << instant << QByteArray(zone) << QString::fromLatin1(expected);
        };
        const QDateTime at = QDateTime::fromString(u"2026-03-09T04:30:00Z"_s, Qt::ISODate);
        row("New York after midnight, first day of summer time", at, "America/New_York",
            "2026-03-09");
        row("Shanghai after midnight, UTC still the day before", at.addSecs(-12 * 3600),
            "Asia/Shanghai", "2026-03-09");
        row("year padded to four digits", QDateTime(QDate(987, 1, 2), QTime(12, 0), Qt::UTC), "UTC",
            "0987-01-02");
        row("invalid date", QDateTime(), "UTC", "0000-00-00");
        row("unknown zone", at, "Nowhere/Land", "0000-00-00");
    }

    void dayKey()
    {
        QFETCH(QDateTime, instant);
        QFETCH(QByteArray, zone);
        QTEST(Formatting::dayKey(instant, QTimeZone(zone)), "expected");
    }
};

QTEST_GUILESS_MAIN(TestSummaryComposer)
#include "test_summarycomposer.moc"
