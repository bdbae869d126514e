#include "fakes/engineharness.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

// Local times in a zone whose day starts at 16:00 UTC, so a UTC day key would be wrong.
const QTimeZone zone("Asia/Shanghai");

QDateTime at(int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 6, day), QTime(hour, minute, second), zone);
}

const FrontmostAppSnapshot chatGpt{u"chatgpt"_s, u"ChatGPT"_s};
const FrontmostAppSnapshot editor{u"org.gnome.TextEditor"_s, u"Editor"_s};

StoredState prepared(const std::function<void(StoredState&)>& setup)
{
    StoredState state;
    if (setup)
        setup(state);
    return state;
}

// An engine started at `now` with ChatGPT in front, on the state that `setup` prepared.
struct Harness : EngineHarness {
    explicit Harness(const QDateTime& now, const std::function<void(StoredState&)>& setup = {})
        : EngineHarness(now, prepared(setup), zone)
    {
        monitor.setForeground(chatGpt);
        engine->start();
    }

    qsizetype sent(const QString& kind) const
    {
        return log.calls.filter(u"notifications."_s + kind).size();
    }
    QUuid openId() const { return engine->activeSession()->id; }
    void tickAt(const QDateTime& now)
    {
        clock.set(now);
        engine->tick();
    }
};

} // namespace

class RemindersTest final : public QObject {
    Q_OBJECT

private slots:
    void quietHours_data();
    void quietHours();
    void remindersOffStillRecordsAnswers();
    void answersAreRecordedWithTheirKind_data();
    void answersAreRecordedWithTheirKind();
    void snoozeBringsOneFollowUpForTheOpenSessionOnly();
    void muteLapsesAtLocalMidnight();
    void dailySummary_data();
    void dailySummary();
    void dateForIsTodayLocal();
};

void RemindersTest::quietHours_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QTime>("start");
    QTest::addColumn<QTime>("end");
    QTest::addColumn<QTime>("now");
    QTest::addColumn<bool>("quiet");

    const QTime night(22, 0), morning(8, 0), nine(9, 0), five(17, 0);
    QTest::newRow("wrapping: start minute") << true << night << morning << QTime(22, 0) << true;
    QTest::newRow("wrapping: before start") << true << night << morning << QTime(21, 59) << false;
    QTest::newRow("wrapping: midnight") << true << night << morning << QTime(0, 0) << true;
    QTest::newRow("wrapping: before end") << true << night << morning << QTime(7, 59, 59) << true;
    QTest::newRow("wrapping: end minute") << true << night << morning << QTime(8, 0) << false;
    QTest::newRow("day: start") << true << nine << five << QTime(9, 0) << true;
    QTest::newRow("day: before") << true << nine << five << QTime(8, 59) << false;
    QTest::newRow("day: end") << true << nine << five << QTime(17, 0) << false;
    QTest::newRow("equal start and end: all day") << true << nine << nine << QTime(3, 17) << true;
    QTest::newRow("disabled") << false << night << morning << QTime(23, 0) << false;
}

void RemindersTest::quietHours()
{
    QFETCH(bool, enabled);
    QFETCH(QTime, start);
    QFETCH(QTime, end);
    QFETCH(QTime, now);
    QFETCH(bool, quiet);

    Harness h(QDateTime(QDate(2026, 6, 3), now, zone), [&](StoredState& s) {
        s.settings.quietHoursEnabled = enabled;
        s.settings.quietHoursStartHour = start.hour();
        s.settings.quietHoursStartMinute = start.minute();
        s.settings.quietHoursEndHour = end.hour();
        s.settings.quietHoursEndMinute = end.minute();
    });
    QCOMPARE(h.engine->isInQuietHours(h.clock.now()), quiet);
    QCOMPARE(h.sent(u"start"_s), quiet ? 0 : 1); // the new session's reminder
}

void RemindersTest::remindersOffStillRecordsAnswers()
{
    Harness h(at(3, 10, 0), [](StoredState& s) { s.settings.realtimeRemindersEnabled = false; });
    h.notifications.answer(ReminderUserAction::snooze, h.openId());
    h.tickAt(at(3, 10, 20)); // the follow-up is due
    QCOMPARE(h.sent(u"start"_s) + h.sent(u"followUp"_s), 0);
    QCOMPARE(h.engine->reminderEvents().size(), 1); // the answer is still recorded
}

void RemindersTest::answersAreRecordedWithTheirKind_data()
{
    using A = ReminderUserAction;
    using K = ReminderKind;
    using R = ReminderAction;
    QTest::addColumn<A>("answer");
    QTest::addColumn<bool>("withSession");
    QTest::addColumn<K>("kind");
    QTest::addColumn<R>("action");

    QTest::newRow("acknowledge") << A::acknowledge << true << K::sessionStart << R::acknowledged;
    QTest::newRow("snooze") << A::snooze << true << K::sessionFollowUp << R::snoozed;
    QTest::newRow("mute") << A::muteToday << true << K::sessionStart << R::muteToday;
    QTest::newRow("dismissed") << A::dismissed << true << K::sessionStart << R::dismissed;
    QTest::newRow("click on the daily summary")
        << A::dismissed << false << K::sessionStart << R::dismissed;
}

void RemindersTest::answersAreRecordedWithTheirKind()
{
    QFETCH(ReminderUserAction, answer);
    QFETCH(bool, withSession);
    QFETCH(ReminderKind, kind);
    QFETCH(ReminderAction, action);

    Harness h(at(3, 10, 0));
    const std::optional<QUuid> session = withSession ? std::optional(h.openId()) : std::nullopt;
    h.clock.set(at(3, 10, 1, 30));
    h.notifications.answer(answer, session);

    QCOMPARE(h.engine->reminderEvents().size(), 2); // the start reminder, then the answer
    const ReminderEvent& event = h.engine->reminderEvents().last();
    QCOMPARE(event.kind, kind);
    QCOMPARE(event.action, action);
    QCOMPARE(event.sessionId, session);
    QCOMPARE(event.shownAt, at(3, 10, 1, 30));
    QCOMPARE(h.store.state.reminderEvents, h.engine->reminderEvents());
}

void RemindersTest::snoozeBringsOneFollowUpForTheOpenSessionOnly()
{
    Harness h(at(3, 10, 0));
    const QUuid first = h.openId();
    h.notifications.answer(ReminderUserAction::snooze, first);
    h.tickAt(at(3, 10, 9, 59));
    QCOMPARE(h.sent(u"followUp"_s), 0);
    h.tickAt(at(3, 10, 10, 0)); // the first tick at or after ten minutes
    QCOMPARE(h.sent(u"followUp:ChatGPT:"_s), 1);
    QCOMPARE(h.engine->reminderEvents().last().kind, ReminderKind::sessionFollowUp);
    QCOMPARE(h.engine->reminderEvents().last().shownAt, at(3, 10, 10, 0));

    // Snoozing the follow-up moves it again but shows nothing more in this session.
    h.notifications.answer(ReminderUserAction::snooze, first);
    h.tickAt(at(3, 10, 30, 0));
    QCOMPARE(h.sent(u"followUp"_s), 1);

    // A snooze for a session that has ended, or for none, is only recorded.
    h.monitor.bringToFront(editor);
    h.monitor.bringToFront(chatGpt);
    const qsizetype events = h.engine->reminderEvents().size();
    h.notifications.answer(ReminderUserAction::snooze, first);
    h.notifications.answer(ReminderUserAction::snooze, std::nullopt);
    QCOMPARE(h.engine->reminderEvents().size(), events + 2);
    QVERIFY(!h.engine->activeSession()->followUpReminderAt);
}

void RemindersTest::muteLapsesAtLocalMidnight()
{
    Harness h(at(4, 0, 5)); // still the 3rd in UTC
    h.notifications.answer(ReminderUserAction::muteToday, h.openId());
    QCOMPARE(h.engine->mutedReminderDayKey(), u"2026-06-04"_s);
    h.notifications.answer(ReminderUserAction::snooze, h.openId());

    // Due at 00:15 but muted until the day changes; shown at the first tick of the new day.
    h.tickAt(at(4, 23, 59, 59));
    QCOMPARE(h.sent(u"followUp"_s), 0);
    h.tickAt(at(5, 0, 0, 10));
    QCOMPARE(h.sent(u"followUp"_s), 1);

    // Session-start reminders are back too.
    h.monitor.bringToFront(editor);
    h.monitor.bringToFront(chatGpt);
    QCOMPARE(h.sent(u"start"_s), 2);
}

void RemindersTest::dailySummary_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("held"); // muted today, inside quiet hours, session reminders off
    QTest::addColumn<QList<QDateTime>>("checks"); // the launch, then ticks
    QTest::addColumn<QList<int>>("sentAfterEach");
    QTest::addColumn<QString>("dayKey");

    QTest::newRow("20:00 at 19:59:59, 20:00:00, 20:00:30")
        << QTime(20, 0) << true << false
        << QList<QDateTime>{at(3, 19, 59, 59), at(3, 20, 0, 0), at(3, 20, 0, 30)}
        << QList<int>{0, 1, 1} << u"2026-06-03"_s;
    QTest::newRow("20:30 at 20:29 and an hour later at 21:05")
        << QTime(20, 30) << true << false << QList<QDateTime>{at(3, 20, 29), at(3, 21, 5)}
        << QList<int>{0, 1} << u"2026-06-03"_s;
    QTest::newRow("00:00 just after midnight, at 23:59, and after the next midnight")
        << QTime(0, 0) << true << false
        << QList<QDateTime>{at(3, 0, 0, 5), at(3, 23, 59), at(4, 0, 0, 20)} << QList<int>{1, 1, 2}
        << u"2026-06-04"_s;
    QTest::newRow("launched after the set time")
        << QTime(20, 0) << true << false << QList<QDateTime>{at(3, 23, 0)} << QList<int>{1}
        << u"2026-06-03"_s;
    QTest::newRow("disabled") << QTime(20, 0) << false << false << QList<QDateTime>{at(3, 21, 0)}
                              << QList<int>{0} << QString();
    QTest::newRow("muted and inside quiet hours")
        << QTime(20, 0) << true << true << QList<QDateTime>{at(3, 20, 0, 10)} << QList<int>{1}
        << u"2026-06-03"_s;
}

void RemindersTest::dailySummary()
{
    QFETCH(QTime, time);
    QFETCH(bool, enabled);
    QFETCH(bool, held);
    QFETCH(QList<QDateTime>, checks);
    QFETCH(QList<int>, sentAfterEach);
    QFETCH(QString, dayKey);

    Harness h(checks.first(), [&](StoredState& s) {
        s.settings.dailySummaryHour = time.hour();
        s.settings.dailySummaryMinute = time.minute();
        s.settings.dailySummaryEnabled = enabled;
        s.settings.realtimeRemindersEnabled = !held;
        s.settings.quietHoursEnabled = held;
        s.settings.quietHoursStartHour = 19;
        if (held)
            s.mutedReminderDayKey = u"2026-06-03"_s;
    });
    for (qsizetype i = 0; i < checks.size(); ++i) {
        if (i > 0)
            h.tickAt(checks.at(i));
        QCOMPARE(h.notifications.summaries.size(), sentAfterEach.at(i));
    }
    QCOMPARE(h.engine->lastDailySummaryDayKey().value_or(QString()), dayKey);
    if (sentAfterEach.last() > 0) {
        QCOMPARE(h.engine->reminderEvents().last().kind, ReminderKind::dailySummary);
        QVERIFY(!h.engine->reminderEvents().last().sessionId);
    }

    h.engine->stop(); // and launched again the same day: nothing more
    Harness again(checks.last(), [&](StoredState& s) { s = h.store.state; });
    QCOMPARE(again.notifications.summaries.size(), 0);
}

void RemindersTest::dateForIsTodayLocal()
{
    EngineHarness h(at(4, 0, 30).toUTC(), {}, zone); // still the 3rd in UTC
    QCOMPARE(h.engine->dateFor(8, 5), at(4, 8, 5));
    // Out of range, as the values add up: never the current time.
    QCOMPARE(h.engine->dateFor(24, 0), at(4, 0, 0));
    QCOMPARE(h.engine->dateFor(7, 61), at(4, 8, 1));
    QCOMPARE(h.engine->dateFor(-1, 0), at(4, 23, 0));
}

QTEST_GUILESS_MAIN(RemindersTest)
#include "test_reminders.moc"
