#include "appearanceportal.h"

#include "asynccall.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>

namespace kelvo {

using namespace Qt::Literals::StringLiterals;

namespace {

const QString portalName = u"org.freedesktop.portal.Desktop"_s;
const QString portalPath = u"/org/freedesktop/portal/desktop"_s;
const QString settingsInterface = u"org.freedesktop.portal.Settings"_s;
const QString appearanceGroup = u"org.freedesktop.appearance"_s;
const QString colorSchemeKey = u"color-scheme"_s;

// No answer within this time counts as no portal; nothing ever waits for it.
constexpr int replyTimeoutMs = 2000;

constexpr uint preferDark = 1;

// Whether a color-scheme value says "prefer dark". Read wraps the value in one more variant
// than ReadOne and SettingChanged; anything but an unsigned integer means no preference.
bool isDark(QVariant value)
{
    for (int depth = 0; depth < 3 && value.metaType() == QMetaType::fromType<QDBusVariant>();
         ++depth)
        value = qvariant_cast<QDBusVariant>(value).variant();
    return value.metaType() == QMetaType::fromType<uint>() && value.toUInt() == preferDark;
}

} // namespace

AppearancePortal::AppearancePortal(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{
    // SettingChanged reaches its slot by name, and Qt silently drops it while the slot's
    // QDBusVariant parameter is a type that it does not know yet.
    qRegisterMetaType<QDBusVariant>();
}

void AppearancePortal::start()
{
    if (m_started || !m_bus.isConnected())
        return;
    m_started = true;
    m_bus.connect(portalName, portalPath, settingsInterface, u"SettingChanged"_s, this,
                  SLOT(onSettingChanged(QString, QString, QDBusVariant)));
    // A portal that starts (or restarts) later is read then.
    auto* watcher =
        new QDBusServiceWatcher(portalName, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (!newOwner.isEmpty())
                    read(u"ReadOne"_s);
            });
    read(u"ReadOne"_s);
}

void AppearancePortal::onSettingChanged(const QString& group, const QString& key,
                                        const QDBusVariant& value)
{
    if (group != appearanceGroup || key != colorSchemeKey)
        return;
    ++m_generation;
    setDark(isDark(value.variant()));
}

void AppearancePortal::read(const QString& method)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(portalName, portalPath, settingsInterface, method);
    message << appearanceGroup << colorSchemeKey;
    callAsync(m_bus, message, replyTimeoutMs, this,
              [this, method, generation = ++m_generation](const QDBusMessage& reply) {
                  if (generation != m_generation)
                      return;
                  if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == u"v")
                      setDark(isDark(reply.arguments().constFirst()));
                  // Portals before ReadOne answer it as an unknown method; a portal that does
                  // not answer at all is not asked again.
                  else if (method == u"ReadOne" &&
                           reply.errorName() != u"org.freedesktop.DBus.Error.NoReply")
                      read(u"Read"_s);
                  else
                      setDark(false);
              });
}

void AppearancePortal::setDark(bool dark)
{
    if (dark == m_dark)
        return;
    m_dark = dark;
    emit prefersDarkChanged(dark);
}

} // namespace kelvo
