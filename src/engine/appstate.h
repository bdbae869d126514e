#pragma once

#include "model/activesession.h"
#include "model/storedstate.h"
#include "sourceresolution.h"
#include "summary/summaryrecords.h"

#include <QObject>
#include <QTimer>

#include <optional>

namespace kelvo {

class AppMonitor;
class BrowserAIContextDetector;
class Clock;
class NotificationService;
class StateStore;
class Surfaces;

// The one engine object: turns foreground observations into usage sessions, keeps the settings
// and the history, and saves and redraws after every change. Main thread only.
// The time of day that an hour and a minute add up to, whatever their range: 25:00 is 01:00,
// 7:61 is 08:01, -1:00 is 23:00.
QTime lenientTime(qint64 hour, qint64 minute);

class AppState final : public QObject {
    Q_OBJECT

public:
    // Loads the state at once; nothing else happens until start(). The collaborators must
    // outlive the engine.
    AppState(StateStore& store, AppMonitor& appMonitor, NotificationService& notificationService,
             BrowserAIContextDetector& browserDetector, Surfaces& surfaces, const Clock& clock,
             QObject* parent = nullptr);
    ~AppState() override;

    // Wires the collaborators, reads the foreground (which may open a session), starts the tick,
    // saves and redraws, then runs the tick once.
    void start();
    // Stores the open session, stops monitoring and the tick, hides the widget and saves.
    void stop();

    // The 30-second tick: redraws the figures that grow with the open session.
    void tick();

    // The session decision for one observation of the foreground.
    void syncActiveSource(const FrontmostAppSnapshot& snapshot);
    // Sleep or a locked screen is not use of any tool: while away the foreground counts as
    // empty (the open session ends when the user goes away); coming back reads it afresh.
    void setUserAway(bool away);
    std::optional<ResolvedSource> resolvedSource(const FrontmostAppSnapshot& snapshot) const;

    void persistAndRefresh();
    void configureDesktopWidgetVisibility();
    void refreshWidgetContent();

    // Figures for the local day of `now`, counting the open session up to `now`.
    DailySummary todaySummary(const QDateTime& now) const;
    // The last 30 days with the seven-day trend and advice.
    SummarySnapshot summarySnapshot(const QDateTime& now) const;

    const AppSettings& settings() const { return m_settings; }
    NotificationAuthorizationState notificationAuthorizationStatus() const
    {
        return m_notificationAuthorizationStatus;
    }
    const QList<AiUsageSession>& sessions() const { return m_sessions; }
    const QList<ReminderEvent>& reminderEvents() const { return m_reminderEvents; }
    const std::optional<ActiveSession>& activeSession() const { return m_activeSession; }
    // Grows with every change that is saved: a surface that drew the same count (and the same
    // day, with no session open) would draw the same figures again.
    quint64 revision() const { return m_revision; }
    const std::optional<QString>& lastDailySummaryDayKey() const
    {
        return m_lastDailySummaryDayKey;
    }
    const std::optional<QString>& mutedReminderDayKey() const { return m_mutedReminderDayKey; }

    // Reminders and the daily summary.
    bool isInQuietHours(const QDateTime& now) const;
    // Shows the follow-up of a snoozed session once it is due, outside quiet hours and the mute.
    void evaluateFollowUpReminder(const QDateTime& now);
    // Records the user's answer to a notification; a snooze of the open session schedules the
    // follow-up, muteToday holds session reminders back until the local day changes.
    void handleReminderAction(ReminderUserAction action, const std::optional<QUuid>& sessionId);
    // Sends today's summary once per local day, at or after the configured time.
    void deliverDailySummary();
    // Today at the time of day that hour and minute add up to (25:00 is 01:00, 7:61 is 08:01),
    // in the user's time zone; a time the clock skips today is taken as that long after midnight.
    QDateTime dateFor(qint64 hour, qint64 minute) const;

    // Settings; each change is saved and every surface redrawn before it returns.
    void setDailySummaryTime(const QDateTime& value);
    void setQuietHoursStart(const QDateTime& value);
    void setQuietHoursEnd(const QDateTime& value);
    void addMonitoredApp(const QString& displayName, AppMatchStrategy strategy,
                         const QString& matchValue);
    void removeMonitoredApp(const QUuid& id);
    // Normalises the host; an existing rule for it is replaced in place, a new one is added and
    // the list sorted by name. A host that normalises to nothing changes nothing.
    void addBrowserDomainRule(const QString& displayName, const QString& host);
    void removeBrowserDomainRule(const QString& host);
    void setRealtimeRemindersEnabled(bool enabled);
    void setDailySummaryEnabled(bool enabled);
    void setQuietHoursEnabled(bool enabled);
    void setDesktopMonitoringEnabled(bool enabled);
    void setWebMonitoringEnabled(bool enabled);
    void setDesktopWidgetEnabled(bool enabled);
    void setAppearanceMode(AppearanceMode mode);
    void toggleRealtimeRemindersFromMenu();
    void toggleDailySummaryFromMenu();
    void toggleQuietHoursFromMenu();
    void toggleDesktopWidgetFromMenu();
    void toggleWebMonitoringFromMenu();

    // Commands.
    void applyAppearanceMode();
    void openSettingsWindow();
    // Opens the summary window (the menu's and the widget's summary command); sends nothing.
    void sendManualDailySummary();
    // Reads the permission, asks for it where it is undetermined, and sends the user to the
    // desktop's notification settings when it is missing.
    void requestNotificationAuthorization();
    void sendTestNotification();
    void quitApp();

signals:
    // The user chose Quit; the application ends its event loop, which leads to stop().
    void quitRequested();

private:
    void beginSession(const ResolvedSource& source);
    void close(const ActiveSession& session, const QDateTime& endedAt);
    void pruneSessions();
    void closeSessionAfterSleep(const QDateTime& now);
    void syncNotificationAuthorizationStatus();
    void storeAuthorizationStatus(NotificationAuthorizationState state);
    void showSessionReminderIfNeeded();
    bool remindersMutedOn(const QDateTime& now) const;
    bool sessionRemindersAllowed(const QDateTime& now) const;
    void recordReminder(const std::optional<QUuid>& sessionId, ReminderKind kind,
                        ReminderAction action, const QDateTime& at);
    void setTime(const QDateTime& value, qint64& hour, qint64& minute);
    StoredState storedState() const;

    AppSettings m_settings;
    NotificationAuthorizationState m_notificationAuthorizationStatus =
        NotificationAuthorizationState::unsupported;
    StateStore& m_store;
    AppMonitor& m_appMonitor;
    NotificationService& m_notificationService;
    BrowserAIContextDetector& m_browserDetector;
    Surfaces& m_surfaces;
    const Clock& m_clock;
    QList<AiUsageSession> m_sessions;
    QList<ReminderEvent> m_reminderEvents;
    quint64 m_revision = 0;
    std::optional<ActiveSession> m_activeSession;
    std::optional<QString> m_lastDailySummaryDayKey;
    std::optional<QString> m_mutedReminderDayKey;
    QTimer* m_summaryTimer = nullptr;
    bool m_userAway = false;
    // The previous observation's wall and monotonic time, to notice a machine that slept.
    std::optional<std::pair<QDateTime, qint64>> m_lastObservation;
};

} // namespace kelvo
