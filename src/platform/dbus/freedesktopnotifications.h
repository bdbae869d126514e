#pragma once

#include "engine/notificationservice.h"
#include "platform/dbus/notificationledger.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace kelvo {

// Notifications through the desktop's notification server, org.freedesktop.Notifications.
// Without a bus or a server every send writes its line to standard error instead. Nothing here
// blocks: every call is asynchronous and gives up after a short timeout.
class FreedesktopNotificationService final : public QObject, public NotificationService {
    Q_OBJECT

public:
    // Talks to the server on `bus`: the session bus, or a private one in tests.
    explicit FreedesktopNotificationService(
        const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    void setOnReminderAction(ActionHandler handler) override;
    // `authorized` when a server runs or can be started on the bus, else `unsupported`.
    void authorizationStatus(StateHandler done) override;
    // There is no permission to ask for: answers as authorizationStatus and prints nothing.
    void requestAuthorization(StateHandler done) override;

    void sendSessionReminder(const QString& appName, const QUuid& sessionId,
                             bool followUp) override;
    void sendDailySummary(const DailySummary& summary) override;
    void sendTestNotification() override;

    void openSystemNotificationSettings() override;

private slots:
    void onActionInvoked(uint serverId, const QString& actionKey);
    void onNotificationClosed(uint serverId, uint reason);
    void onServerOwnerChanged(const QString& service, const QString& oldOwner,
                              const QString& newOwner);

private:
    struct Outgoing {
        QString requestId;
        QString title;
        QString body;
        bool reminderButtons = false;
        std::optional<QUuid> sessionId;
        QString fallbackLine;
    };

    void post(Outgoing notification);
    void notify(Outgoing notification);
    void onNotifyReply(const Outgoing& notification, const QDBusMessage& reply);
    void queryCapabilities();

    QDBusConnection m_bus;
    ActionHandler m_onReminderAction;
    NotificationLedger m_ledger;
    // Request identifiers whose Notify is in flight, with the posts of the same identifier that
    // wait for its id so that they can replace it.
    QHash<QString, QList<Outgoing>> m_waiting;
    // Until the server says otherwise, assume it reads markup in bodies, as most do.
    bool m_bodyMarkup = true;
};

} // namespace kelvo
