// Reminders and the daily summary: when they go out, and what the engine records about them.

#include "appstate.h"

#include "clock.h"
#include "notificationservice.h"
#include "quiethours.h"
#include "summary/formatting.h"

namespace kelvo {

namespace {

// A follow-up becomes due this long after the user asked to be reminded again.
constexpr qint64 followUpDelaySeconds = 600;

} // namespace

bool AppState::isInQuietHours(const QDateTime& now) const
{
    return kelvo::isInQuietHours(m_settings, now, m_clock.timeZone());
}

bool AppState::remindersMutedOn(const QDateTime& now) const
{
    return m_mutedReminderDayKey &&
           *m_mutedReminderDayKey == Formatting::dayKey(now, m_clock.timeZone());
}

bool AppState::sessionRemindersAllowed(const QDateTime& now) const
{
    return m_settings.realtimeRemindersEnabled && !remindersMutedOn(now) && !isInQuietHours(now);
}

void AppState::recordReminder(const std::optional<QUuid>& sessionId, ReminderKind kind,
                              ReminderAction action, const QDateTime& at)
{
    m_reminderEvents.append(ReminderEvent{
        .id = QUuid::createUuid(),
        .sessionId = sessionId,
        .kind = kind,
        .shownAt = at,
        .action = action,
    });
}

void AppState::showSessionReminderIfNeeded()
{
    const QDateTime now = m_clock.now();
    if (!sessionRemindersAllowed(now) || !m_activeSession || m_activeSession->firstReminderShownAt)
        return;
    m_notificationService.sendSessionReminder(m_activeSession->displayName, m_activeSession->id,
                                              false);
    m_activeSession->firstReminderShownAt = now;
    recordReminder(m_activeSession->id, ReminderKind::sessionStart, ReminderAction::shown, now);
    persistAndRefresh();
}

void AppState::evaluateFollowUpReminder(const QDateTime& now)
{
    if (!sessionRemindersAllowed(now) || !m_activeSession)
        return;
    ActiveSession& session = *m_activeSession;
    if (!session.followUpReminderAt || session.followUpShown || now < *session.followUpReminderAt)
        return;
    m_notificationService.sendSessionReminder(session.displayName, session.id, true);
    session.followUpShown = true;
    recordReminder(session.id, ReminderKind::sessionFollowUp, ReminderAction::shown, now);
    persistAndRefresh();
}

void AppState::handleReminderAction(ReminderUserAction action,
                                    const std::optional<QUuid>& sessionId)
{
    const QDateTime now = m_clock.now();
    switch (action) {
    case ReminderUserAction::acknowledge:
        recordReminder(sessionId, ReminderKind::sessionStart, ReminderAction::acknowledged, now);
        break;
    case ReminderUserAction::snooze:
        recordReminder(sessionId, ReminderKind::sessionFollowUp, ReminderAction::snoozed, now);
        if (m_activeSession && sessionId && *sessionId == m_activeSession->id)
            m_activeSession->followUpReminderAt = now.addSecs(followUpDelaySeconds);
        break;
    case ReminderUserAction::muteToday:
        m_mutedReminderDayKey = Formatting::dayKey(now, m_clock.timeZone());
        recordReminder(sessionId, ReminderKind::sessionStart, ReminderAction::muteToday, now);
        break;
    case ReminderUserAction::dismissed:
        recordReminder(sessionId, ReminderKind::sessionStart, ReminderAction::dismissed, now);
        break;
    }
    persistAndRefresh();
}

void AppState::deliverDailySummary()
{
    if (!m_settings.dailySummaryEnabled)
        return;
    const QDateTime now = m_clock.now();
    const QString key = Formatting::dayKey(now, m_clock.timeZone());
    if (m_lastDailySummaryDayKey == key)
        return;
    const QTime local = now.toTimeZone(m_clock.timeZone()).time();
    const bool reached = local.hour() > m_settings.dailySummaryHour ||
                         (local.hour() == m_settings.dailySummaryHour &&
                          local.minute() >= m_settings.dailySummaryMinute);
    if (!reached)
        return;
    m_notificationService.sendDailySummary(todaySummary(now));
    recordReminder(std::nullopt, ReminderKind::dailySummary, ReminderAction::shown, now);
    m_lastDailySummaryDayKey = key;
    persistAndRefresh();
}

QTime lenientTime(qint64 hour, qint64 minute)
{
    // Whole days drop out first, so no sum can overflow, however large the stored values.
    constexpr qint64 minutesPerDay = 24 * 60;
    const qint64 total = ((hour % 24) * 60 + minute % minutesPerDay) % minutesPerDay;
    const qint64 ofDay = total < 0 ? total + minutesPerDay : total;
    return QTime(int(ofDay / 60), int(ofDay % 60));
}

QDateTime AppState::dateFor(qint64 hour, qint64 minute) const
{
    const QDateTime now = m_clock.now();
    const QTimeZone zone = m_clock.timeZone();
    const QDate today = now.toTimeZone(zone).date();
    const QTime time = lenientTime(hour, minute);
    const QDateTime result(today, time, zone);
    if (result.isValid())
        return result;
    // The clock skips that time today (a daylight-saving gap): as far past midnight instead.
    const QDateTime shifted = today.startOfDay(zone).addSecs(time.msecsSinceStartOfDay() / 1000);
    return shifted.isValid() ? shifted : now;
}

} // namespace kelvo
