#pragma once

#include "model/enums.h"
#include "summary/summaryrecords.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace kelvo {

// Delivers the three kinds of notification and reports the user's answers.
class NotificationService {
public:
    using ActionHandler = std::function<void(ReminderUserAction, std::optional<QUuid> sessionId)>;
    using StateHandler = std::function<void(NotificationAuthorizationState)>;

    NotificationService() = default;
    NotificationService(const NotificationService&) = delete;
    NotificationService& operator=(const NotificationService&) = delete;
    virtual ~NotificationService() = default;

    // Called on the main thread for every answered notification.
    virtual void setOnReminderAction(ActionHandler handler) = 0;
    // Answers later, on the main thread, with the current permission.
    virtual void authorizationStatus(StateHandler done) = 0;
    // Asks for permission where the platform has a permission model; answers the resulting state.
    virtual void requestAuthorization(StateHandler done) = 0;

    virtual void sendSessionReminder(const QString& appName, const QUuid& sessionId,
                                     bool followUp) = 0;
    virtual void sendDailySummary(const DailySummary& summary) = 0;
    virtual void sendTestNotification() = 0;

    // Opens the desktop's notification settings, if it has any; fire-and-forget.
    virtual void openSystemNotificationSettings() = 0;
};

} // namespace kelvo
