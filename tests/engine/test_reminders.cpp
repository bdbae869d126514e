#include "engine/quiethours.h"
#include "fakes/engineharness.h"

#include <QtTest>

using namespace kelvo;

namespace {

// Local times in a zone whose day starts at 16:00 UTC, so a UTC day key would be wrong.
const QTimeZone zone("Asia/Shanghai");

QDateTime at(int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 6, day), QTime(hour, minute, second), zone);
}

const FrontmostAppSnapshot chatGpt{QStringLiteral("chatgpt"), QStringLiteral("ChatGPT")};
const FrontmostAppSnapshot editor{QStringLiteral("org.gnome.TextEditor"), QStringLiteral("Editor")};

struct Harness : EngineHarness {
    explicit Harness(const QDateTime& now, StoredState initial = {})
        : EngineHarness(now, std::move(initial), zone)
    {}

    int sent(const QString& kind) const
    {
        return int(std::count_if(log.calls.begin(), log.calls.end(), [&](const QString& call) {
            return call.startsWith(QStringLiteral("notifications.") + kind);
        }));
    }
    QUuid openId() const { return engine->activeSession()->id; }
};

StoredState withSettings(const std::function<void(AppSettings&)>& change)
{
    StoredState state;
    change(state.settings);
    return state;
}

} // namespace

class RemindersTest final : public QObject {
    Q_OBJECT

private slots:
    void quietHours_data();
    void quietHours();
    void sessionStartingInQuietHoursNeverGetsItsReminder();
    void remindersOffStillRecordsAnswers();
    void answersAreRecordedWithTheirKind_data();
    void answersAreRecordedWithTheirKind();
    void snoozeBringsOneFollowUpAtTheFirstTickAfterTenMinutes();
    void snoozeForAClosedSessionOnlyRecords();
    void muteLapsesAtLocalMidnight();
    void dailySummaryBoundaries_data();
    void dailySummaryBoundaries();
    void dailySummaryAtLaunchOnceAcrossRestarts();
    void dailySummaryIgnoresMuteAndQuietHours();
    void dailySummaryDisabledKeepsTheDayKey();
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
    QTest::newRow("wrapping: before end") << true << night << morning << QTime(7, 59, 59) << true;
    QTest::newRow("wrapping: end minute") << true << night << morning << QTime(8, 0) << false;
    QTest::newRow("wrapping: before start") << true << night << morning << QTime(21, 59) << false;
    QTest::newRow("wrapping: midnight") << true << night << morning << QTime(0, 0) << true;
    QTest::newRow("day: start") << true << nine << five << QTime(9, 0) << true;
    QTest::newRow("day: last minute") << true << nine << five << QTime(16, 59) << true;
    QTest::newRow("day: end") << true << nine << five << QTime(17, 0) << false;
    QTest::newRow("day: before") << true << nine << five << QTime(8, 59) << false;
    QTest::newRow("equal start and end: noon")
        << true << QTime(12, 0) << QTime(12, 0) << QTime(12, 0) << true;
    QTest::newRow("equal start and end: night")
        << true << QTime(12, 0) << QTime(12, 0) << QTime(3, 17) << true;
    QTest::newRow("disabled") << false << night << morning << QTime(23, 0) << false;
    QTest::newRow("disabled, equal") << false << nine << nine << QTime(9, 0) << false;
}

void RemindersTest::quietHours()
{
    QFETCH(bool, enabled);
    QFETCH(QTime, start);
    QFETCH(QTime, end);
    QFETCH(QTime, now);
    QFETCH(bool, quiet);

    AppSettings settings;
    settings.quietHoursEnabled = enabled;
    settings.quietHoursStartHour = start.hour();
    settings.quietHoursStartMinute = start.minute();
    settings.quietHoursEndHour = end.hour();
    settings.quietHoursEndMinute = end.minute();
    QCOMPARE(isInQuietHours(settings, QDateTime(QDate(2026, 6, 3), now, zone), zone), quiet);
}

void RemindersTest::sessionStartingInQuietHoursNeverGetsItsReminder()
{
    Harness h(at(3, 21, 50), withSettings([](AppSettings& s) {
                  s.quietHoursEnabled = true;
                  s.quietHoursStartHour = 21;
                  s.quietHoursEndHour = 22;
              }));
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    h.clock.set(at(3, 22, 5));
    h.engine->tick();
    h.engine->stop();

    QCOMPARE(h.sent(QStringLiteral("start")), 0);
    QVERIFY(!h.engine->sessions().first().firstReminderShownAt);
    for (const ReminderEvent& event : h.engine->reminderEvents())
        QCOMPARE(event.kind, ReminderKind::dailySummary);
}

void RemindersTest::remindersOffStillRecordsAnswers()
{
    Harness h(at(3, 10, 0),
              withSettings([](AppSettings& s) { s.realtimeRemindersEnabled = false; }));
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    h.notifications.answer(ReminderUserAction::snooze, h.openId());
    h.clock.set(at(3, 10, 20));
    h.engine->tick();

    QCOMPARE(h.sent(QString()), 0);
    QCOMPARE(h.engine->reminderEvents().size(), 1);
    QCOMPARE(h.engine->reminderEvents().first().action, ReminderAction::snoozed);
}

void RemindersTest::answersAreRecordedWithTheirKind_data()
{
    QTest::addColumn<ReminderUserAction>("answer");
    QTest::addColumn<bool>("withSession");
    QTest::addColumn<ReminderKind>("kind");
    QTest::addColumn<ReminderAction>("action");

    QTest::newRow("acknowledge") << ReminderUserAction::acknowledge << true
                                 << ReminderKind::sessionStart << ReminderAction::acknowledged;
    QTest::newRow("snooze") << ReminderUserAction::snooze << true << ReminderKind::sessionFollowUp
                            << ReminderAction::snoozed;
    QTest::newRow("mute") << ReminderUserAction::muteToday << true << ReminderKind::sessionStart
                          << ReminderAction::muteToday;
    QTest::newRow("dismissed") << ReminderUserAction::dismissed << true
                               << ReminderKind::sessionStart << ReminderAction::dismissed;
    QTest::newRow("click on the daily summary")
        << ReminderUserAction::dismissed << false << ReminderKind::sessionStart
        << ReminderAction::dismissed;
}

void RemindersTest::answersAreRecordedWithTheirKind()
{
    QFETCH(ReminderUserAction, answer);
    QFETCH(bool, withSession);
    QFETCH(ReminderKind, kind);
    QFETCH(ReminderAction, action);

    Harness h(at(3, 10, 0));
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    const QUuid session = h.openId();
    const int savesBefore = h.store.saves;
    h.clock.set(at(3, 10, 1, 30));
    h.notifications.answer(answer, withSession ? std::optional(session) : std::nullopt);

    const ReminderEvent& event = h.engine->reminderEvents().last();
    QCOMPARE(h.engine->reminderEvents().size(), 2); // the start reminder, then the answer
    QCOMPARE(event.kind, kind);
    QCOMPARE(event.action, action);
    QCOMPARE(event.sessionId, withSession ? std::optional(session) : std::nullopt);
    QCOMPARE(event.shownAt, at(3, 10, 1, 30));
    QCOMPARE(h.store.saves, savesBefore + 1);
    QCOMPARE(h.store.state.reminderEvents, h.engine->reminderEvents());
}

void RemindersTest::snoozeBringsOneFollowUpAtTheFirstTickAfterTenMinutes()
{
    Harness h(at(3, 10, 0));
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    h.notifications.answer(ReminderUserAction::snooze, h.openId());

    for (const QDateTime& tick : {at(3, 10, 9, 30), at(3, 10, 9, 59)}) {
        h.clock.set(tick);
        h.engine->tick();
    }
    QCOMPARE(h.sent(QStringLiteral("followUp")), 0);

    h.clock.set(at(3, 10, 10, 0));
    h.engine->tick();
    QCOMPARE(h.sent(QStringLiteral("followUp:ChatGPT:")), 1);
    QCOMPARE(h.engine->reminderEvents().last().kind, ReminderKind::sessionFollowUp);
    QCOMPARE(h.engine->reminderEvents().last().shownAt, at(3, 10, 10, 0));

    // Snoozing the follow-up moves it again but shows nothing more in this session.
    h.notifications.answer(ReminderUserAction::snooze, h.openId());
    h.clock.set(at(3, 10, 30, 0));
    h.engine->tick();
    QCOMPARE(h.sent(QStringLiteral("followUp")), 1);
}

void RemindersTest::snoozeForAClosedSessionOnlyRecords()
{
    Harness h(at(3, 10, 0));
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    const QUuid first = h.openId();
    h.monitor.bringToFront(editor);
    h.monitor.bringToFront(chatGpt); // a new session of the same tool
    const qsizetype events = h.engine->reminderEvents().size();

    h.notifications.answer(ReminderUserAction::snooze, first);
    QCOMPARE(h.engine->reminderEvents().size(), events + 1);
    QVERIFY(!h.engine->activeSession()->followUpReminderAt);
    h.notifications.answer(ReminderUserAction::snooze, std::nullopt);
    QVERIFY(!h.engine->activeSession()->followUpReminderAt);
}

void RemindersTest::muteLapsesAtLocalMidnight()
{
    Harness h(at(3, 23, 50));
    h.monitor.setForeground(chatGpt);
    h.engine->start();
    h.notifications.answer(ReminderUserAction::snooze, h.openId());
    h.clock.set(at(3, 23, 59));
    h.notifications.answer(ReminderUserAction::muteToday, h.openId());
    QCOMPARE(h.engine->mutedReminderDayKey(), QStringLiteral("2026-06-03"));

    // Due at 00:00 but muted until the day changes; shown at the first tick of the new day.
    h.clock.set(at(3, 23, 59, 59));
    h.engine->tick();
    QCOMPARE(h.sent(QStringLiteral("followUp")), 0);
    h.clock.set(at(4, 0, 0, 10));
    h.engine->tick();
    QCOMPARE(h.sent(QStringLiteral("followUp")), 1);

    // Session-start reminders are back too.
    h.monitor.bringToFront(editor);
    h.monitor.bringToFront(chatGpt);
    QCOMPARE(h.sent(QStringLiteral("start")), 2);
}

void RemindersTest::dailySummaryBoundaries_data()
{
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("minute");
    QTest::addColumn<QList<QDateTime>>("checks");
    QTest::addColumn<QList<int>>("sentAfterEach");

    QTest::newRow("20:00 at 19:59:59, 20:00:00, 20:00:30")
        << 20 << 0 << QList<QDateTime>{at(3, 19, 59, 59), at(3, 20, 0, 0), at(3, 20, 0, 30)}
        << QList<int>{0, 1, 1};
    QTest::newRow("20:30 at 20:29 and 21:05")
        << 20 << 30 << QList<QDateTime>{at(3, 20, 29), at(3, 21, 5)} << QList<int>{0, 1};
    QTest::newRow("00:00 just after midnight, at 23:59, and after the next midnight")
        << 0 << 0 << QList<QDateTime>{at(3, 0, 0, 5), at(3, 23, 59), at(4, 0, 0, 20)}
        << QList<int>{1, 1, 2};
    QTest::newRow("once a day, every day")
        << 8 << 15 << QList<QDateTime>{at(3, 9, 0), at(3, 22, 0), at(4, 8, 14), at(4, 8, 15)}
        << QList<int>{1, 1, 1, 2};
}

void RemindersTest::dailySummaryBoundaries()
{
    QFETCH(int, hour);
    QFETCH(int, minute);
    QFETCH(QList<QDateTime>, checks);
    QFETCH(QList<int>, sentAfterEach);

    Harness h(checks.first(), withSettings([&](AppSettings& s) {
                  s.dailySummaryHour = hour;
                  s.dailySummaryMinute = minute;
              }));
    for (qsizetype i = 0; i < checks.size(); ++i) {
        h.clock.set(checks.at(i));
        h.engine->deliverDailySummary();
        QCOMPARE(h.notifications.summaries.size(), sentAfterEach.at(i));
    }
    const QDateTime last = checks.last();
    QCOMPARE(h.engine->lastDailySummaryDayKey(),
             QStringLiteral("2026-06-%1")
                 .arg(last.toTimeZone(zone).date().day(), 2, 10, QLatin1Char('0')));
}

void RemindersTest::dailySummaryAtLaunchOnceAcrossRestarts()
{
    StoredState saved;
    {
        Harness h(at(3, 23, 0));
        h.monitor.setForeground(chatGpt);
        h.engine->start();
        QCOMPARE(h.notifications.summaries.size(), 1);
        QCOMPARE(h.engine->reminderEvents().last().kind, ReminderKind::dailySummary);
        QVERIFY(!h.engine->reminderEvents().last().sessionId);
        h.engine->stop();
        saved = h.store.state;
    }
    Harness again(at(3, 23, 30), saved);
    again.engine->start();
    QCOMPARE(again.notifications.summaries.size(), 0);
}

void RemindersTest::dailySummaryIgnoresMuteAndQuietHours()
{
    StoredState state = withSettings([](AppSettings& s) {
        s.quietHoursEnabled = true;
        s.realtimeRemindersEnabled = false;
    });
    state.mutedReminderDayKey = QStringLiteral("2026-06-03");
    Harness h(at(3, 19, 59), state);
    h.engine->start();
    h.clock.set(at(3, 20, 0, 10));
    h.engine->tick();
    QCOMPARE(h.notifications.summaries.size(), 1);
}

void RemindersTest::dailySummaryDisabledKeepsTheDayKey()
{
    StoredState state = withSettings([](AppSettings& s) { s.dailySummaryEnabled = false; });
    state.lastDailySummaryDayKey = QStringLiteral("2026-06-01");
    Harness h(at(3, 21, 0), state);
    h.engine->start();
    h.engine->tick();
    QCOMPARE(h.notifications.summaries.size(), 0);
    QCOMPARE(h.engine->lastDailySummaryDayKey(), QStringLiteral("2026-06-01"));

    h.engine->setDailySummaryEnabled(true); // after the configured time: the next tick sends it
    h.engine->tick();
    QCOMPARE(h.notifications.summaries.size(), 1);
}

void RemindersTest::dateForIsTodayLocal()
{
    Harness h(at(3, 23, 30)); // 15:30 UTC; the local day is the 3rd
    QCOMPARE(h.engine->dateFor(8, 5), at(3, 8, 5));
    QCOMPARE(h.engine->dateFor(24, 0), at(3, 23, 30));
}

QTEST_GUILESS_MAIN(RemindersTest)
#include "test_reminders.moc"
