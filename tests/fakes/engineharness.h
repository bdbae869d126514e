#pragma once

// The fakes around one engine, and the harness that wires them to it.

#include "engine/appmonitor.h"
#include "engine/appstate.h"
#include "engine/clock.h"
#include "engine/notificationservice.h"
#include "engine/surfaces.h"
#include "faketabreader.h"
#include "model/statestore.h"

#include <QStringList>

#include <memory>
#include <optional>

// A clock that stands still until the test moves it.
class FakeClock final : public kelvo::Clock {
public:
    explicit FakeClock(QDateTime now, QTimeZone zone = QTimeZone::utc())
        : m_now(std::move(now))
        , m_zone(std::move(zone))
    {}

    QDateTime now() const override { return m_now; }
    QTimeZone timeZone() const override { return m_zone; }
    qint64 monotonicMs() const override { return m_monotonicMs; }

    // Moves both clocks, as time passes while the machine runs.
    void set(const QDateTime& now)
    {
        m_monotonicMs += m_now.msecsTo(now);
        m_now = now;
    }
    // Moves the wall clock only, as a suspended machine sees it on waking.
    void sleep(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
    qint64 m_monotonicMs = 0;
    QTimeZone m_zone;
};

// Keeps the state in memory: what was last saved.
class MemoryStore final : public kelvo::StateStore {
public:
    explicit MemoryStore(kelvo::StoredState initial = {})
        : state(std::move(initial))
    {}

    kelvo::StoredState load() override { return state; }
    void save(const kelvo::StoredState& saved) override { state = saved; }

    kelvo::StoredState state;
};

// A monitor whose foreground the test sets, then emits with emitCurrentSnapshot() under the
// real contract: onPoll for every observation, then onChange for a changed one.
class ScriptedMonitor final : public kelvo::AppMonitor {
public:
    explicit ScriptedMonitor(QStringList& log)
        : m_log(log)
    {}

    void start() override { emitCurrentSnapshot(); }
    void stop() override { m_log.append(QStringLiteral("monitor.stop")); }

    kelvo::FrontmostAppSnapshot foreground;

protected:
    kelvo::FrontmostAppSnapshot currentSnapshot() override { return foreground; }

private:
    QStringList& m_log;
};

// Logs what the engine sends and asks, and lets the test answer as the user would.
class FakeNotificationService final : public kelvo::NotificationService {
public:
    explicit FakeNotificationService(QStringList& log)
        : m_log(log)
    {}

    void setOnReminderAction(ActionHandler handler) override { m_handler = std::move(handler); }
    void authorizationStatus(StateHandler done) override
    {
        log("authorizationStatus");
        done(state);
    }
    void requestAuthorization(StateHandler done) override
    {
        log("requestAuthorization");
        done(state = stateAfterRequest);
    }
    void sendSessionReminder(const QString& appName, const QUuid& sessionId, bool followUp) override
    {
        log(followUp ? "followUp:" : "start:",
            appName + u':' + sessionId.toString(QUuid::WithoutBraces).toUpper());
    }
    void sendDailySummary(const kelvo::DailySummary&) override { log("dailySummary"); }
    void sendTestNotification() override { log("test"); }
    void openSystemNotificationSettings() override { log("openSystemSettings"); }

    // Answers a notification as the user would.
    void answer(kelvo::ReminderUserAction action, std::optional<QUuid> sessionId)
    {
        if (m_handler)
            m_handler(action, sessionId);
    }

    kelvo::NotificationAuthorizationState state = kelvo::NotificationAuthorizationState::authorized;
    kelvo::NotificationAuthorizationState stateAfterRequest = state;

private:
    void log(const char* call, const QString& details = {})
    {
        m_log.append(QStringLiteral("notifications.") + QLatin1String(call) + details);
    }

    QStringList& m_log;
    ActionHandler m_handler;
};

// Logs the window commands, and keeps what the widget shows.
class RecordingSurfaces final : public kelvo::Surfaces {
public:
    explicit RecordingSurfaces(QStringList& log)
        : m_log(log)
    {}

    void refreshMenu() override {}
    void refreshSettingsWindow() override {}
    void refreshSummaryWindow() override {}
    bool widgetExists() const override { return widgetVisible.has_value(); }
    void showWidget() override { widgetVisible = true; }
    void hideWidget() override { widgetVisible = false; }
    void setWidgetContent(const QString& duration, const QString&) override
    {
        widgetDuration = duration;
    }
    void showSettingsWindow() override { m_log.append(QStringLiteral("surfaces.showSettings")); }
    void showSummaryWindow() override { m_log.append(QStringLiteral("surfaces.showSummary")); }
    void applyAppearance(kelvo::AppearanceMode) override {}
    void presentNotificationSetupHelp() override { m_log.append(QStringLiteral("surfaces.help")); }

    std::optional<bool> widgetVisible; // none until the widget is first shown
    QString widgetDuration;

private:
    QStringList& m_log;
};

// One engine with recording fakes around it, all writing the calls they receive to one log.
struct EngineHarness {
    explicit EngineHarness(const QDateTime& now, kelvo::StoredState initial = {},
                           const QTimeZone& zone = QTimeZone::utc())
        : store(std::move(initial))
        , monitor(log)
        , notifications(log)
        , detector(tabs)
        , surfaces(log)
        , clock(now, zone)
        , engine(std::make_unique<kelvo::AppState>(store, monitor, notifications, detector,
                                                   surfaces, clock))
    {}

    QStringList log;
    MemoryStore store;
    ScriptedMonitor monitor;
    FakeNotificationService notifications;
    FakeTabReader tabs;
    kelvo::BrowserAIContextDetector detector;
    RecordingSurfaces surfaces;
    FakeClock clock;
    std::unique_ptr<kelvo::AppState> engine;
};
