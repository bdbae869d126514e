#include "freedesktopnotifications.h"

#include "asynccall.h"
#include "summary/formatting.h"
#include "summary/summarycomposer.h"

#include <QDBusServiceWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QTimeZone>
#include <QTimer>
#include <QVariantMap>

#include <cstdio>

namespace kelvo {

using namespace Qt::Literals::StringLiterals;

namespace {

const QString serverName = u"org.freedesktop.Notifications"_s;
const QString serverPath = u"/org/freedesktop/Notifications"_s;
const QString serverInterface = u"org.freedesktop.Notifications"_s;

// No answer within this time counts as no server; nothing ever waits for it.
constexpr int replyTimeoutMs = 2000;

QString uuidText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// "default" is a click on the body; it reaches the engine as a dismissal.
QStringList reminderActions()
{
    return {u"default"_s, QString(),     u"ACK"_s,        u"已知晓"_s,
            u"SNOOZE"_s,  u"稍后提醒"_s, u"MUTE_TODAY"_s, u"今天不再提醒"_s};
}

QVariantMap hints()
{
    return {{u"desktop-entry"_s, u"kelvo"_s}, {u"urgency"_s, QVariant::fromValue(uchar(1))}};
}

void writeLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

bool isReply(const QDBusMessage& message, QStringView signature)
{
    return message.type() == QDBusMessage::ReplyMessage && message.signature() == signature;
}

QDBusMessage busCall(const QString& method)
{
    return QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                          u"org.freedesktop.DBus"_s, method);
}

} // namespace

FreedesktopNotificationService::FreedesktopNotificationService(const QDBusConnection& bus,
                                                               QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    // Subscribing by name makes Qt accept these signals only from the server's current owner.
    m_bus.connect(serverName, serverPath, serverInterface, u"ActionInvoked"_s, this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(serverName, serverPath, serverInterface, u"NotificationClosed"_s, this,
                  SLOT(onNotificationClosed(uint, uint)));
    auto* watcher =
        new QDBusServiceWatcher(serverName, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &FreedesktopNotificationService::onServerOwnerChanged);
    queryCapabilities();
}

void FreedesktopNotificationService::setOnReminderAction(ActionHandler handler)
{
    m_onReminderAction = std::move(handler);
}

void FreedesktopNotificationService::authorizationStatus(StateHandler done)
{
    if (!m_bus.isConnected()) {
        QTimer::singleShot(0, this, [done] { done(NotificationAuthorizationState::unsupported); });
        return;
    }
    QDBusMessage hasOwner = busCall(u"NameHasOwner"_s);
    hasOwner << serverName;
    callAsync(m_bus, hasOwner, replyTimeoutMs, this, [this, done](const QDBusMessage& owned) {
        if (!isReply(owned, u"b")) {
            done(NotificationAuthorizationState::unsupported);
        } else if (owned.arguments().constFirst().toBool()) {
            done(NotificationAuthorizationState::authorized);
        } else {
            callAsync(m_bus, busCall(u"ListActivatableNames"_s), replyTimeoutMs, this,
                      [done](const QDBusMessage& names) {
                          const bool activatable =
                              isReply(names, u"as") &&
                              names.arguments().constFirst().toStringList().contains(serverName);
                          done(activatable ? NotificationAuthorizationState::authorized
                                           : NotificationAuthorizationState::unsupported);
                      });
        }
    });
}

void FreedesktopNotificationService::requestAuthorization(StateHandler done)
{
    authorizationStatus(std::move(done));
}

void FreedesktopNotificationService::sendSessionReminder(const QString& appName,
                                                         const QUuid& sessionId, bool followUp)
{
    Outgoing notification;
    notification.requestId =
        u"session-"_s + uuidText(sessionId) + (followUp ? u"-followup"_s : u"-start"_s);
    notification.title = (followUp ? u"继续使用 "_s : u"检测到 "_s) + appName;
    notification.body =
        followUp ? u"继续之前，花 1 分钟过一下关键事实，你会更放心。"_s
                 : u"先记 3 个你的要点，再看 AI 会补充什么。这样更容易判断哪些内容值得采纳。"_s;
    notification.reminderButtons = true;
    notification.sessionId = sessionId;
    notification.fallbackLine =
        u"[Kelvo] Reminder: "_s + (followUp ? u"继续使用"_s : u"打开"_s) + u' ' + appName;
    post(std::move(notification));
}

void FreedesktopNotificationService::sendDailySummary(const DailySummary& summary)
{
    const QString body = SummaryComposer::notificationBody(summary);
    Outgoing notification;
    notification.requestId =
        u"daily-summary-"_s + Formatting::dayKey(summary.day, QTimeZone::systemTimeZone());
    notification.title = u"今日 AI 使用总结"_s;
    notification.body = body;
    notification.fallbackLine = u"[Kelvo] Daily Summary: "_s + body;
    post(std::move(notification));
}

void FreedesktopNotificationService::sendTestNotification()
{
    Outgoing notification;
    notification.requestId = u"notification-test-"_s + uuidText(QUuid::createUuid());
    notification.title = u"Kelvo 通知测试"_s;
    notification.body = u"如果你能看到这条横幅，说明提醒权限和展示都正常。"_s;
    notification.fallbackLine = u"[Kelvo] Test notification"_s;
    post(std::move(notification));
}

void FreedesktopNotificationService::openSystemNotificationSettings()
{
    static const QList<std::pair<QString, QString>> settingsPrograms{
        {u"gnome-control-center"_s, u"notifications"_s},
        {u"systemsettings"_s, u"kcm_notifications"_s},
        {u"systemsettings5"_s, u"kcm_notifications"_s},
        {u"xfce4-notifyd-config"_s, QString()},
    };
    for (const auto& [program, argument] : settingsPrograms) {
        const QString path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            continue;
        QProcess::startDetached(path, argument.isEmpty() ? QStringList() : QStringList{argument});
        return;
    }
}

void FreedesktopNotificationService::post(Outgoing notification)
{
    if (!m_bus.isConnected()) {
        writeLine(notification.fallbackLine);
        return;
    }
    // A repeat must replace the earlier notification, whose id only its Notify reply tells.
    const auto inFlight = m_waiting.find(notification.requestId);
    if (inFlight != m_waiting.end()) {
        inFlight->append(std::move(notification));
        return;
    }
    m_waiting.insert(notification.requestId, {});
    notify(std::move(notification));
}

void FreedesktopNotificationService::notify(Outgoing notification)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(serverName, serverPath, serverInterface, u"Notify"_s);
    call << u"Kelvo"_s << m_ledger.replacementFor(notification.requestId) << QString()
         << notification.title
         << (m_bodyMarkup ? notification.body.toHtmlEscaped() : notification.body)
         << (notification.reminderButtons ? reminderActions() : QStringList()) << hints()
         << qint32(-1);
    callAsync(m_bus, call, replyTimeoutMs, this, [this, notification](const QDBusMessage& reply) {
        onNotifyReply(notification, reply);
    });
}

void FreedesktopNotificationService::onNotifyReply(const Outgoing& notification,
                                                   const QDBusMessage& reply)
{
    if (!isReply(reply, u"u"))
        writeLine(notification.fallbackLine);
    else if (const uint serverId = reply.arguments().constFirst().toUInt(); serverId != 0)
        m_ledger.record(notification.requestId, serverId, notification.sessionId);

    const auto waiting = m_waiting.find(notification.requestId);
    if (waiting == m_waiting.end())
        return;
    if (waiting->isEmpty()) {
        m_waiting.erase(waiting);
        return;
    }
    notify(waiting->takeFirst());
}

void FreedesktopNotificationService::onActionInvoked(uint serverId, const QString& actionKey)
{
    const std::optional<std::optional<QUuid>> sessionId = m_ledger.sessionFor(serverId);
    if (!sessionId)
        return; // another application's notification, or one already answered
    // One answer per notification, even if a server repeats the signal.
    m_ledger.forget(serverId);
    if (m_onReminderAction)
        m_onReminderAction(reminderUserActionFromIdentifier(actionKey), *sessionId);
}

void FreedesktopNotificationService::onNotificationClosed(uint serverId, uint /*reason*/)
{
    m_ledger.forget(serverId);
}

void FreedesktopNotificationService::onServerOwnerChanged(const QString& /*service*/,
                                                          const QString& /*oldOwner*/,
                                                          const QString& newOwner)
{
    // A new server counts its ids afresh: the old ones would name other notifications.
    m_ledger.clear();
    if (!newOwner.isEmpty())
        queryCapabilities();
}

void FreedesktopNotificationService::queryCapabilities()
{
    QDBusMessage call = QDBusMessage::createMethodCall(serverName, serverPath, serverInterface,
                                                       u"GetCapabilities"_s);
    // Only ask a running server; posting is what starts an activatable one.
    call.setAutoStartService(false);
    callAsync(m_bus, call, replyTimeoutMs, this, [this](const QDBusMessage& reply) {
        if (isReply(reply, u"as"))
            m_bodyMarkup = reply.arguments().constFirst().toStringList().contains(u"body-markup"_s);
    });
}

} // namespace kelvo
