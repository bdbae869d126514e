#include "summary/formatting.h"

#include <QTest>

#include <limits>

using namespace kelvo;
using namespace Qt::StringLiterals;

class TestFormatting final : public QObject {
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(TestFormatting)
#include "test_formatting.moc"
