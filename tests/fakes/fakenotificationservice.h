#pragma once

#include "engine/notificationservice.h"

#include <QStringList>

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
