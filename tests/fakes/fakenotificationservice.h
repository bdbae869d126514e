#pragma once

#include "engine/notificationservice.h"

#include <QStringList>

// Records what the engine sends and lets the test answer as the user would.
class FakeNotificationService final : public kelvo::NotificationService {
public:
    explicit FakeNotificationService(QStringList& log)
        : m_log(log)
    {}

    void setOnReminderAction(ActionHandler handler) override { m_handler = std::move(handler); }
    void authorizationStatus(StateHandler done) override
    {
        m_log.append(QStringLiteral("notifications.authorizationStatus"));
        done(state);
    }
    void requestAuthorization(StateHandler done) override
    {
        m_log.append(QStringLiteral("notifications.requestAuthorization"));
        state = stateAfterRequest;
        done(state);
    }
    void sendSessionReminder(const QString& appName, const QUuid& sessionId, bool followUp) override
    {
        m_log.append(QStringLiteral("notifications.%1:%2:%3")
                         .arg(followUp ? QStringLiteral("followUp") : QStringLiteral("start"),
                              appName, sessionId.toString(QUuid::WithoutBraces).toUpper()));
    }
    void sendDailySummary(const kelvo::DailySummary&) override
    {
        m_log.append(QStringLiteral("notifications.dailySummary"));
    }
    void sendTestNotification() override { m_log.append(QStringLiteral("notifications.test")); }
    void openSystemNotificationSettings() override
    {
        m_log.append(QStringLiteral("notifications.openSystemSettings"));
    }

    // Answers a notification as the user would.
    void answer(kelvo::ReminderUserAction action, std::optional<QUuid> sessionId)
    {
        if (m_handler)
            m_handler(action, sessionId);
    }

    kelvo::NotificationAuthorizationState state = kelvo::NotificationAuthorizationState::authorized;
    kelvo::NotificationAuthorizationState stateAfterRequest = state;

private:
    QStringList& m_log;
    ActionHandler m_handler;
};
