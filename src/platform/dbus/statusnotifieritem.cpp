#include "statusnotifieritem.h"

#include "asynccall.h"
#include "dbusmenu.h"
#include "statusnotifierobject.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QMetaObject>

#include <unistd.h>

namespace kelvo {

using namespace Qt::Literals::StringLiterals;

namespace {

const QString itemPath = u"/StatusNotifierItem"_s;
const QString menuPath = u"/MenuBar"_s;
const QString watcherName = u"org.kde.StatusNotifierWatcher"_s;
const QString watcherPath = u"/StatusNotifierWatcher"_s;

// No answer within this time counts as a refusal; nothing ever waits for it. A watcher may read
// the item before it answers, which Kelvo serves meanwhile.
constexpr int replyTimeoutMs = 5000;

// RequestName: fail rather than queue; replies "primary owner" or "already the owner".
constexpr uint doNotQueue = 4;
constexpr uint primaryOwner = 1;
constexpr uint alreadyOwner = 4;

QDBusMessage busCall(const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s, method);
    message.setArguments(arguments);
    return message;
}

} // namespace

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_item(new StatusNotifierObject(menuPath, this))
    , m_menu(new DBusMenu(this))
{
    connect(m_item, &StatusNotifierObject::activated, this, &StatusNotifierItem::activated);
    connect(m_menu, &DBusMenu::clicked, this, &StatusNotifierItem::entryClicked);
}

StatusNotifierItem::~StatusNotifierItem()
{
    if (!m_started || !m_bus.isConnected())
        return;
    m_bus.unregisterObject(itemPath);
    m_bus.unregisterObject(menuPath);
    // Hosts drop an item when its name goes away; the connection may well outlive this item.
    if (m_ownsName)
        m_bus.send(busCall(u"ReleaseName"_s, {m_service}));
}

void StatusNotifierItem::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!m_bus.isConnected() ||
        !m_bus.registerObject(itemPath, m_item, QDBusConnection::ExportScriptableContents) ||
        !m_bus.registerObject(menuPath, m_menu, QDBusConnection::ExportScriptableContents)) {
        // Reported from the event loop, like every other outcome, so a caller that connects
        // after start() still hears it.
        QMetaObject::invokeMethod(
            this, [this] { setRegistered(false); }, Qt::QueuedConnection);
        return;
    }
    auto* watcher =
        new QDBusServiceWatcher(watcherName, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                onWatcherOwnerChanged(newOwner);
            });
    requestName();
}

void StatusNotifierItem::setTitle(const QString& title)
{
    m_item->setTitle(title);
}

void StatusNotifierItem::setIcon(const QString& iconName, const QList<QImage>& pixmaps)
{
    m_item->setIcon(iconName, pixmaps);
}

void StatusNotifierItem::setMenu(const QList<DBusMenuEntry>& entries)
{
    m_menu->setEntries(entries);
}

// The name that hosts expect; should the bus refuse it, the connection's own unique name
// serves as well.
void StatusNotifierItem::requestName()
{
    static int instance = 0;
    const QString name = u"org.kde.StatusNotifierItem-%1-%2"_s.arg(::getpid()).arg(++instance);
    callAsync(m_bus, busCall(u"RequestName"_s, {name, doNotQueue}), replyTimeoutMs, this,
              [this, name](const QDBusMessage& reply) {
                  const uint result =
                      reply.type() == QDBusMessage::ReplyMessage && reply.signature() == u"u"
                          ? reply.arguments().constFirst().toUInt()
                          : 0;
                  m_ownsName = result == primaryOwner || result == alreadyOwner;
                  m_service = m_ownsName ? name : m_bus.baseService();
                  registerWithWatcher();
              });
}

void StatusNotifierItem::registerWithWatcher()
{
    if (m_service.isEmpty())
        return; // registers once the name is settled
    QDBusMessage message = QDBusMessage::createMethodCall(watcherName, watcherPath, watcherName,
                                                          u"RegisterStatusNotifierItem"_s);
    message << m_service;
    // A watcher belongs to a running tray host; Kelvo never starts one.
    message.setAutoStartService(false);
    callAsync(m_bus, message, replyTimeoutMs, this,
              [this, generation = m_watcherGeneration](const QDBusMessage& reply) {
                  if (generation == m_watcherGeneration)
                      setRegistered(reply.type() == QDBusMessage::ReplyMessage);
              });
}

void StatusNotifierItem::onWatcherOwnerChanged(const QString& newOwner)
{
    ++m_watcherGeneration;
    if (newOwner.isEmpty())
        setRegistered(false);
    else
        registerWithWatcher();
}

void StatusNotifierItem::setRegistered(bool registered)
{
    if (m_reported && registered == m_registered)
        return;
    m_reported = true;
    m_registered = registered;
    emit registrationChanged(registered);
}

} // namespace kelvo
