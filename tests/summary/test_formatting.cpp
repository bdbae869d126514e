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
        constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
        constexpr double infinity = std::numeric_limits<double>::infinity();
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
        row("negative", -5, u"0秒"_s, u"0分"_s, u"-5秒"_s);
        row("truncated, not rounded", 59.9, u"59秒"_s, u"59秒"_s, u"+59秒"_s);
        row("one minute", 60, u"1分"_s, u"1分"_s, u"+1分"_s);
        row("minus ninety seconds", -90, u"0秒"_s, u"0分"_s, u"-1分"_s);
        row("just below two minutes", 119.99, u"1分"_s, u"1分"_s, u"+1分"_s);
        row("last minute of the hour", 3599, u"59分"_s, u"59分"_s, u"+59分"_s);
        row("one hour", 3600, u"1小时0分"_s, u"1时"_s, u"+1小时0分"_s);
        row("hour and minutes", 3900, u"1小时5分"_s, u"1时5分"_s, u"+1小时5分"_s);
        row("two hours one minute", 7260, u"2小时1分"_s, u"2时1分"_s, u"+2小时1分"_s);
        row("seconds dropped", -7530.9, u"0秒"_s, u"0分"_s, u"-2小时5分"_s);
        row("no day unit", 90000, u"25小时0分"_s, u"25时"_s, u"+25小时0分"_s);
        const QString most = u"2562047788015215小时30分"_s;
        row("beyond 64 bits clamps", 1e300, most, u"2562047788015215时30分"_s, u"+"_s + most);
        row("far below 64 bits", -1e300, u"0秒"_s, u"0分"_s, u"-"_s + most);
        row("NaN", notANumber, u"0秒"_s, u"0分"_s, u"持平"_s);
        row("infinity", infinity, u"0秒"_s, u"0分"_s, u"持平"_s);
        row("negative infinity", -infinity, u"0秒"_s, u"0分"_s, u"持平"_s);
    }

    void durations()
    {
        QFETCH(double, seconds);
        QFETCH(QString, full);
        QFETCH(QString, compact);
        QFETCH(QString, delta);
        QCOMPARE(Formatting::duration(seconds), full);
        QCOMPARE(Formatting::shortDuration(seconds), compact);
        QCOMPARE(Formatting::signedDurationDelta(seconds), delta);
    }

    void dayKey_data()
    {
        QTest::addColumn<QDateTime>("instant");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("expected");

        const auto utc = [](const QString& text) {
            return QDateTime::fromString(text, Qt::ISODate);
        };
        QTest::newRow("Shanghai after midnight, UTC still the day before")
            << utc(u"2026-03-06T16:05:00Z"_s) << QByteArray("Asia/Shanghai") << u"2026-03-07"_s;
        QTest::newRow("New York after midnight on the 23-hour day")
            << utc(u"2026-03-08T05:01:00Z"_s) << QByteArray("America/New_York") << u"2026-03-08"_s;
        QTest::newRow("New York evening, UTC the day after")
            << utc(u"2026-03-08T03:30:00Z"_s) << QByteArray("America/New_York") << u"2026-03-07"_s;
        QTest::newRow("Berlin midnight of the 23-hour day")
            << utc(u"2026-03-28T23:00:00Z"_s) << QByteArray("Europe/Berlin") << u"2026-03-29"_s;
        QTest::newRow("year padded to four digits")
            << QDateTime(QDate(987, 1, 2), QTime(12, 0), QTimeZone::utc()) << QByteArray("UTC")
            << u"0987-01-02"_s;
        QTest::newRow("invalid date") << QDateTime() << QByteArray("UTC") << u"0000-00-00"_s;
        QTest::newRow("unknown zone")
            << utc(u"2026-03-08T05:01:00Z"_s) << QByteArray("Nowhere/Land") << u"0000-00-00"_s;
    }

    void dayKey()
    {
        QFETCH(QDateTime, instant);
        QFETCH(QByteArray, zone);
        QFETCH(QString, expected);
        QCOMPARE(Formatting::dayKey(instant, QTimeZone(zone)), expected);
    }
};

QTEST_GUILESS_MAIN(TestFormatting)
#include "test_formatting.moc"
