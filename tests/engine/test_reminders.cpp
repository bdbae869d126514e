#include "fakes/engineharness.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::StringLiterals;

namespace {

// Local times in a zone whose day starts at 16:00 UTC, so a UTC day key would be wrong.
const QTimeZone zone("Asia/Shanghai");

// "D HH:MM[:SS]": that local time on the Dth of June 2026.
QDateTime at(const QString& text)
{
    return QDateTime(QDate(2026, 6, text.section(u' ', 0, 0).toInt()),
                     QTime::fromString(text.section(u' ', 1), Qt::ISODate), zone);
}

const QHash<QString, FrontmostAppSnapshot> apps{
    {u"chatgpt"_s, {u"chatgpt"_s, u"ChatGPT"_s}},
    {u"editor"_s, {u"org.gnome.TextEditor"_s, u"Editor"_s}},
};

} // namespace

class RemindersTest final : public QObject {
    Q_OBJECT

private slots:
    void reminders_data();
    void reminders();
    void dateForIsTodayLocal();
};

// Each row is a script of steps separated by "; ". Before the launch: "reminders off",
// "summary HH:MM" (the daily summary, off unless given), "quiet HH:MM-HH:MM", "muted DAY-KEY", and
// "at D HH:MM[:SS]" (the launch's local time; 10:00 on the 3rd unless given). Then "start [APP]"
// (the launch, with APP or nothing in front), "at D HH:MM[:SS]" (the clock moves and the engine
// ticks), "front APP", "answer ACTION [sN]" (the user's answer, by its stored text, to a
// notification of the Nth session, stored ones first, or of none), "again" (stopped and launched
// again on what it stored, with nothing in front). Then the reminder events read "kind action D
// HH:MM:SS sN|-", and the notifications sent are exactly the ones that the shown events record.
void RemindersTest::reminders_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("events");

    const QString s = u"sessionStart shown 3 "_s;
    // Quiet hours hold a reminder from their first minute up to their last; equal ends: all day.
    const auto quiet = [](const char* steps, const QString& events) {
        QTest::newRow(steps) << QString::fromUtf8(steps) << events;
    };
    quiet("quiet 22:00-08:00; at 3 22:00; start chatgpt", {});
    quiet("quiet 22:00-08:00; at 3 07:59:59; start chatgpt", {});
    quiet("quiet 22:00-08:00; at 3 08:00; start chatgpt", s + u"08:00:00 s1"_s);
    quiet("quiet 09:00-17:00; at 3 09:00; start chatgpt", {});
    quiet("quiet 09:00-17:00; at 3 08:59; start chatgpt", s + u"08:59:00 s1"_s);
    quiet("quiet 09:00-17:00; at 3 17:00; start chatgpt", s + u"17:00:00 s1"_s);
    quiet("quiet 09:00-09:00; at 3 03:17; start chatgpt", {});

    const QString started = s + u"10:00:00 s1; "_s;
    QTest::newRow("acknowledge") << u"start chatgpt; at 3 10:01:30; answer ACK s1"_s
                                 << started + u"sessionStart acknowledged 3 10:01:30 s1"_s;
    QTest::newRow("dismissed") << u"start chatgpt; at 3 10:01:30; answer DISMISSED s1"_s
                               << started + u"sessionStart dismissed 3 10:01:30 s1"_s;
    QTest::newRow("click on the daily summary")
        << u"start chatgpt; at 3 10:01:30; answer DISMISSED"_s
        << started + u"sessionStart dismissed 3 10:01:30 -"_s;
    QTest::newRow("reminders off: answers are still recorded")
        << u"reminders off; start chatgpt; answer SNOOZE s1; at 3 10:20"_s
        << u"sessionFollowUp snoozed 3 10:00:00 s1"_s;
    // One follow-up at the first tick ten minutes on; snoozing it again shows nothing more, and a
    // snooze for a session that has ended, or for none, is only recorded.
    QTest::newRow("snooze")
        << u"start chatgpt; answer SNOOZE s1; at 3 10:09:59; at 3 10:10; answer SNOOZE s1; "
           "at 3 10:30; front editor; front chatgpt; answer SNOOZE s1; answer SNOOZE; "
           "at 3 10:45"_s
        << started +
               u"sessionFollowUp snoozed 3 10:00:00 s1; sessionFollowUp shown 3 10:10:00 s1; "
               "sessionFollowUp snoozed 3 10:10:00 s1; sessionStart shown 3 10:30:00 s2; "
               "sessionFollowUp snoozed 3 10:30:00 s1; sessionFollowUp snoozed 3 10:30:00 -"_s;
    // A follow-up due at 00:15 is held by the mute until the local day changes, as are new
    // sessions' reminders.
    QTest::newRow("mute lapses at local midnight")
        << u"at 4 00:05; start chatgpt; answer MUTE_TODAY s1; answer SNOOZE s1; at 4 23:59:59; "
           "at 5 00:00:10; front editor; front chatgpt"_s
        << u"sessionStart shown 4 00:05:00 s1; sessionStart muteToday 4 00:05:00 s1; "
           "sessionFollowUp snoozed 4 00:05:00 s1; sessionFollowUp shown 5 00:00:10 s1; "
           "sessionStart shown 5 00:00:10 s2"_s;

    // The daily summary goes out once a local day, at the first tick at or after its time, and
    // not again after a relaunch; it belongs to no session, even with one open.
    const QString summary = u"dailySummary shown "_s;
    QTest::newRow("summary at 20:00")
        << u"summary 20:00; at 3 19:59:59; start; at 3 20:00; at 3 20:00:30; again"_s
        << summary + u"3 20:00:00 -"_s;
    QTest::newRow("summary at 20:30, checked at 20:29 and 21:05")
        << u"summary 20:30; at 3 20:29; start; at 3 21:05; again"_s << summary + u"3 21:05:00 -"_s;
    QTest::newRow("summary at 00:00, at launch and after the next midnight")
        << u"summary 00:00; at 3 00:00:05; start; at 3 23:59; at 4 00:00:20; again"_s
        << summary + u"3 00:00:05 -; "_s + summary + u"4 00:00:20 -"_s;
    QTest::newRow("summary while muted, in quiet hours, reminders off")
        << u"summary 20:00; reminders off; quiet 19:00-08:00; muted 2026-06-03; at 3 20:00:10; "
           "start chatgpt; again"_s
        << summary + u"3 20:00:10 -"_s;
}

void RemindersTest::reminders()
{
    QFETCH(QString, steps);
    QFETCH(QString, events);

    StoredState initial;
    AppSettings& settings = initial.settings;
    settings.dailySummaryEnabled = false;
    QDateTime launch = at(u"3 10:00"_s);
    std::optional<EngineHarness> h;
    QStringList sent; // by engines that a relaunch replaced
    const auto sessionIds = [&] {
        QList<QUuid> ids;
        for (const AiUsageSession& session : h->engine->sessions())
            ids.append(session.id);
        if (h->engine->activeSession())
            ids.append(h->engine->activeSession()->id);
        return ids;
    };
    for (const QString& step : steps.split(u"; "_s)) {
        const QString verb = step.section(u' ', 0, 0);
        const QString arg = step.section(u' ', 1);
        if (step == u"reminders off"_s) {
            settings.realtimeRemindersEnabled = false;
        } else if (verb == u"summary"_s) {
            settings.dailySummaryEnabled = true;
            settings.dailySummaryHour = QTime::fromString(arg, Qt::ISODate).hour();
            settings.dailySummaryMinute = QTime::fromString(arg, Qt::ISODate).minute();
        } else if (verb == u"quiet"_s) {
            const QStringList hm = arg.split(QRegularExpression(u"[-:]"_s)); // HH:MM-HH:MM
            settings.quietHoursEnabled = true;
            settings.quietHoursStartHour = hm[0].toInt();
            settings.quietHoursStartMinute = hm[1].toInt();
            settings.quietHoursEndHour = hm[2].toInt();
            settings.quietHoursEndMinute = hm[3].toInt();
        } else if (verb == u"muted"_s) {
            initial.mutedReminderDayKey = arg;
        } else if (verb == u"at"_s && !h) {
            launch = at(arg);
        } else if (verb == u"start"_s || verb == u"again"_s) {
            if (h) {
                h->engine->stop();
                sent += h->log;
                initial = h->store.state;
                launch = h->clock.now();
                h.reset();
            }
            h.emplace(launch, initial, zone);
            h->monitor.foreground = apps.value(arg);
            h->engine->start();
        } else if (verb == u"at"_s) {
            h->clock.set(at(arg));
            h->engine->tick();
        } else if (verb == u"front"_s) {
            h->monitor.foreground = apps.value(arg);
            h->monitor.emitCurrentSnapshot();
        } else if (verb == u"answer"_s) {
            const auto action = fromStoredText<ReminderUserAction>(arg.section(u' ', 0, 0));
            const qsizetype n = arg.section(u" s"_s, 1).toLongLong();
            QVERIFY(action);
            h->notifications.answer(*action,
                                    n ? std::optional(sessionIds().value(n - 1)) : std::nullopt);
        } else {
            QFAIL(qPrintable(u"unknown step: "_s + step));
        }
    }

    QStringList seen, shown;
    for (const ReminderEvent& event : h->engine->reminderEvents()) {
        const auto& id = event.sessionId;
        seen.append(u"%1 %2 %3 %4"_s.arg(
            storedText(event.kind), storedText(event.action),
            event.shownAt.toTimeZone(zone).toString(u"d HH:mm:ss"_s),
            id ? u"s"_s + QString::number(sessionIds().indexOf(*id) + 1) : u"-"_s));
        if (event.action == ReminderAction::shown)
            shown.append(
                event.kind == ReminderKind::dailySummary
                    ? u"notifications.dailySummary"_s
                    : u"notifications.%1:ChatGPT:%2"_s.arg(
                          event.kind == ReminderKind::sessionStart ? u"start"_s : u"followUp"_s,
                          id->toString(QUuid::WithoutBraces).toUpper()));
    }
    QCOMPARE(seen.join(u"; "_s), events);
    sent += h->log;
    QCOMPARE(sent.filter(QRegularExpression(u"^notifications\\.(start|followUp|daily)"_s)), shown);
    QCOMPARE(h->store.state.reminderEvents, h->engine->reminderEvents());
}

void RemindersTest::dateForIsTodayLocal()
{
    EngineHarness h(at(u"4 00:30"_s).toUTC(), {}, zone); // still the 3rd in UTC
    QCOMPARE(h.engine->dateFor(8, 5), at(u"4 08:05"_s));
    // Out of range, as the values add up: never the current time.
    QCOMPARE(h.engine->dateFor(-1, 0), at(u"4 23:00"_s));
}

QTEST_GUILESS_MAIN(RemindersTest)
#include "test_reminders.moc"
