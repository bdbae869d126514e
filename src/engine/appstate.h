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
    const std::optional<QString>& lastDailySummaryDayKey() const
    {
        return m_lastDailySummaryDayKey;
    }
    const std::optional<QString>& mutedReminderDayKey() const { return m_mutedReminderDayKey; }

private:
    void beginSession(const ResolvedSource& source);
    void close(const ActiveSession& session, const QDateTime& endedAt);
    void pruneSessions();
    void syncNotificationAuthorizationStatus();
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
    std::optional<ActiveSession> m_activeSession;
    std::optional<QString> m_lastDailySummaryDayKey;
    std::optional<QString> m_mutedReminderDayKey;
    QTimer* m_summaryTimer = nullptr;
};

} // namespace kelvo
