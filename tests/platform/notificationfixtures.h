#pragma once

#include "engine/notificationservice.h"
#include "model/enums.h"
#include "summary/summaryrecords.h"

#include "privatebus.h"

#include <QDBusContext>

#include <optional>

inline const QString notificationsName = u"org.freedesktop.Notifications"_s;
inline const QString notificationsPath = u"/org/freedesktop/Notifications"_s;

// Plays the notification server on a PrivateBus. It numbers notifications from 1 and sends
// whatever signals the test asks for.
class FakeServer final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    enum class Reply { id, text, none };

    explicit FakeServer(const QDBusConnection& bus, Reply reply = Reply::id)
        : m_bus(bus)
        , m_reply(reply)
    {
        m_bus.registerObject(notificationsPath, this, QDBusConnection::ExportAllSlots);
        m_bus.registerService(notificationsName);
    }
    ~FakeServer() override
    {
        m_bus.unregisterService(notificationsName);
        m_bus.unregisterObject(notificationsPath);
    }

    void send(const QString& member, const QVariantList& arguments)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(notificationsPath, notificationsName, member);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

    QStringList titles; // of every Notify received

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString&,
                const QStringList&, const QVariantMap&, int)
    {
        titles.append(summary);
        if (m_reply != Reply::id) {
            setDelayedReply(true);
            if (m_reply == Reply::text)
                connection().send(message().createReply(QStringLiteral("not an id")));
        }
        return ++m_lastId;
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }

private:
    QDBusConnection m_bus;
    Reply m_reply;
    uint m_lastId = 0;
};

// A summary whose advice holds markup characters.
inline kelvo::DailySummary sampleSummary(double totalDuration)
{
    kelvo::DailySummary summary;
    summary.day = QDateTime(QDate(2024, 5, 6), QTime(0, 0));
    summary.totalDuration = totalDuration;
    summary.suggestion = QStringLiteral("先写草稿 & 再问 AI <提纲>");
    return summary;
}

// Every answer the service hands over, as "ACTION:session" texts ("-" for no session).
struct Answers {
    explicit Answers(kelvo::NotificationService& service)
    {
        service.setOnReminderAction(
            [this](kelvo::ReminderUserAction action, std::optional<QUuid> id) {
                list.append(kelvo::storedText(action) + u':' +
                            (id ? id->toString() : QStringLiteral("-")));
            });
    }
    QStringList list;
};

// The state that the service answers later; nothing if it answered inside the call or never.
inline std::optional<kelvo::NotificationAuthorizationState>
askState(kelvo::NotificationService& service, bool request)
{
    std::optional<kelvo::NotificationAuthorizationState> state;
    const auto done = [&state](kelvo::NotificationAuthorizationState answer) {
        state = answer;
    };
    request ? service.requestAuthorization(done) : service.authorizationStatus(done);
    if (state) // answered inside the call
        return std::nullopt;
    return QTest::qWaitFor([&state] { return state.has_value(); }, 10000) ? state : std::nullopt;
}
