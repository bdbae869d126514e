#include "appstate.h"

#include "appmonitor.h"
#include "browserdetector.h"
#include "clock.h"
#include "model/statestore.h"
#include "notificationservice.h"
#include "summary/formatting.h"
#include "summary/summarycomposer.h"
#include "surfaces.h"

#include <QPointer>

#include <algorithm>
#include <utility>

namespace kelvo {

namespace {

constexpr int tickIntervalMs = 30'000;
// Sessions are kept for 90 days of 86,400 seconds: a fixed span, not calendar days.
constexpr qint64 retentionSeconds = 7'776'000;
// Wall time that passes between two observations beyond the monotonic time is time the
// machine slept; past this much, the open session is taken to have ended before the sleep.
constexpr qint64 sleepGapMs = 60'000;

} // namespace

AppState::AppState(StateStore& store, AppMonitor& appMonitor,
                   NotificationService& notificationService,
                   BrowserAIContextDetector& browserDetector, Surfaces& surfaces,
                   const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_appMonitor(appMonitor)
    , m_notificationService(notificationService)
    , m_browserDetector(browserDetector)
    , m_surfaces(surfaces)
    , m_clock(clock)
{
    StoredState state = m_store.load();
    m_settings = std::move(state.settings);
    m_sessions = std::move(state.sessions);
    m_reminderEvents = std::move(state.reminderEvents);
    m_lastDailySummaryDayKey = std::move(state.lastDailySummaryDayKey);
    m_mutedReminderDayKey = std::move(state.mutedReminderDayKey);
}

AppState::~AppState()
{
    // The collaborators outlive the engine; their callbacks must not reach a destroyed engine.
    m_appMonitor.setOnChange({});
    m_appMonitor.setOnPoll({});
    m_notificationService.setOnReminderAction({});
}

void AppState::start()
{
    applyAppearanceMode();
    m_notificationService.setOnReminderAction(
        [self = QPointer<AppState>(this)](ReminderUserAction action, std::optional<QUuid> id) {
            if (self)
                self->handleReminderAction(action, id);
        });
    QTimer::singleShot(0, this, [this] { syncNotificationAuthorizationStatus(); });

    const auto sync = [self = QPointer<AppState>(this)](const FrontmostAppSnapshot& snapshot) {
        if (self)
            self->syncActiveSource(snapshot);
    };
    m_appMonitor.setOnChange(sync);
    m_appMonitor.setOnPoll(sync);
    m_appMonitor.start();

    if (!m_summaryTimer) {
        m_summaryTimer = new QTimer(this);
        m_summaryTimer->setInterval(tickIntervalMs);
        connect(m_summaryTimer, &QTimer::timeout, this, &AppState::tick);
    }
    m_summaryTimer->start();

    configureDesktopWidgetVisibility();
    persistAndRefresh();
    tick();
}

void AppState::stop()
{
    if (m_activeSession)
        close(*m_activeSession, m_clock.now());
    m_appMonitor.stop();
    if (m_summaryTimer) {
        m_summaryTimer->stop();
        delete m_summaryTimer;
        m_summaryTimer = nullptr;
    }
    if (m_surfaces.widgetExists())
        m_surfaces.hideWidget();
    m_store.save(storedState());
}

void AppState::tick()
{
    evaluateFollowUpReminder(m_clock.now());
    deliverDailySummary();
    m_surfaces.refreshSummaryWindow();
    refreshWidgetContent();
    m_surfaces.refreshMenu();
}

std::optional<ResolvedSource> AppState::resolvedSource(const FrontmostAppSnapshot& snapshot) const
{
    return resolveSource(snapshot, m_settings, m_browserDetector);
}

void AppState::closeSessionAfterSleep(const QDateTime& now)
{
    const qint64 monotonic = m_clock.monotonicMs();
    const auto previous = std::exchange(m_lastObservation, std::pair(now, monotonic));
    if (!previous || !m_activeSession)
        return;
    const qint64 slept = previous->first.msecsTo(now) - (monotonic - previous->second);
    if (slept > sleepGapMs)
        close(*m_activeSession, std::max(previous->first, m_activeSession->startedAt));
}

void AppState::syncActiveSource(const FrontmostAppSnapshot& snapshot)
{
    closeSessionAfterSleep(m_clock.now());
    const std::optional<ResolvedSource> resolved =
        m_userAway ? std::nullopt : resolvedSource(snapshot);
    const QDateTime now = m_clock.now();

    if (!m_activeSession) {
        if (resolved)
            beginSession(*resolved);
        else
            m_surfaces.refreshMenu();
        return;
    }
    if (resolved && resolved->sourceIdentifier == m_activeSession->sourceIdentifier) {
        m_surfaces.refreshMenu();
        return;
    }
    close(*m_activeSession, now);
    if (resolved)
        beginSession(*resolved);
}

void AppState::setUserAway(bool away)
{
    if (away == m_userAway)
        return;
    m_userAway = away;
    if (away && m_activeSession)
        close(*m_activeSession, m_clock.now());
    else if (!away)
        m_appMonitor.emitCurrentSnapshot();
}

void AppState::beginSession(const ResolvedSource& source)
{
    m_activeSession = ActiveSession{
        .id = QUuid::createUuid(),
        .appRuleId = source.appRuleId,
        .displayName = source.displayName,
        .bundleIdentifier = source.bundleIdentifier,
        .sourceType = source.sourceType,
        .sourceIdentifier = source.sourceIdentifier,
        .domain = source.domain,
        .browserName = source.browserName,
        .startedAt = m_clock.now(),
        .firstReminderShownAt = std::nullopt,
        .followUpReminderAt = std::nullopt,
        .followUpShown = false,
    };
    showSessionReminderIfNeeded();
    persistAndRefresh();
}

void AppState::close(const ActiveSession& session, const QDateTime& endedAt)
{
    m_sessions.append(session.endedAt(endedAt));
    pruneSessions();
    m_activeSession.reset();
    persistAndRefresh();
}

void AppState::pruneSessions()
{
    const QDateTime cutoff = m_clock.now().addSecs(-retentionSeconds);
    m_sessions.removeIf(
        [&cutoff](const AiUsageSession& session) { return session.startedAt < cutoff; });
}

StoredState AppState::storedState() const
{
    return StoredState{
        .settings = m_settings,
        .sessions = m_sessions,
        .reminderEvents = m_reminderEvents,
        .lastDailySummaryDayKey = m_lastDailySummaryDayKey,
        .mutedReminderDayKey = m_mutedReminderDayKey,
    };
}

void AppState::persistAndRefresh()
{
    ++m_revision;
    m_store.save(storedState());
    m_surfaces.refreshSettingsWindow();
    m_surfaces.refreshSummaryWindow();
    refreshWidgetContent();
    m_surfaces.refreshMenu();
}

void AppState::configureDesktopWidgetVisibility()
{
    if (!m_settings.desktopWidgetEnabled) {
        if (m_surfaces.widgetExists())
            m_surfaces.hideWidget();
        return;
    }
    m_surfaces.showWidget();
    refreshWidgetContent();
}

void AppState::refreshWidgetContent()
{
    if (!m_settings.desktopWidgetEnabled || !m_surfaces.widgetExists())
        return;
    const DailySummary summary = todaySummary(m_clock.now());
    m_surfaces.setWidgetContent(Formatting::duration(summary.totalDuration), summary.suggestion);
}

DailySummary AppState::todaySummary(const QDateTime& now) const
{
    return SummaryComposer::todaySummary(m_sessions, m_activeSession, now, m_clock.timeZone());
}

SummarySnapshot AppState::summarySnapshot(const QDateTime& now) const
{
    return SummaryComposer::summarySnapshot(m_sessions, m_activeSession, now, m_clock.timeZone());
}

void AppState::syncNotificationAuthorizationStatus()
{
    m_notificationService.authorizationStatus(
        [self = QPointer<AppState>(this)](NotificationAuthorizationState state) {
            if (!self)
                return;
            self->m_notificationAuthorizationStatus = state;
            self->m_surfaces.refreshSettingsWindow();
        });
}

} // namespace kelvo
