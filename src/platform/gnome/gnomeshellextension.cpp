#include "gnomeshellextension.h"

#include "platform/dbus/asynccall.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>

#include <cstdio>
#include <functional>

namespace kelvo {

using namespace Qt::Literals::StringLiterals;

const QString GnomeShellExtension::uuid = u"foreground@kelvo.org"_s;
const QString GnomeShellExtension::busName = u"org.kelvo.GnomeForeground"_s;
const QString GnomeShellExtension::objectPath = u"/org/kelvo/GnomeForeground"_s;
const QString GnomeShellExtension::interfaceName = u"org.kelvo.GnomeForeground"_s;

namespace {

const QString shellName = u"org.gnome.Shell"_s;
const QString propertiesInterface = u"org.freedesktop.DBus.Properties"_s;
// No answer within this time counts as no answer; nothing ever waits for it.
constexpr int replyTimeoutMs = 5000;

QDBusMessage getNameOwner(const QString& name)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus"_s, u"GetNameOwner"_s);
    message << name;
    return message;
}

QString ownerIn(const QDBusMessage& reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && reply.signature() == u"s"
               ? reply.arguments().constFirst().toString()
               : QString();
}

// The properties in a{sv}, or none when the value is of another type.
std::optional<QVariantMap> propertyMap(const QVariant& value)
{
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return std::nullopt;
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentSignature() != u"a{sv}")
        return std::nullopt;
    return qdbus_cast<QVariantMap>(argument);
}

} // namespace

class GnomeShellExtension::Private {
public:
    Private(GnomeShellExtension* extension, const QDBusConnection& connection)
        : q(extension)
        , bus(connection)
    {}

    void call(const QDBusMessage& message, std::function<void(const QDBusMessage&)> onReply);
    void onOwnerChanged(const QString& owner);
    void trust(const QString& owner);
    void apply(const QVariantMap& properties);

    GnomeShellExtension* q;
    QDBusConnection bus;
    QDBusServiceWatcher* watcher = nullptr;
    QString trusted;
    GnomeWindowReport current;
    quint64 generation = 0;
    bool following = false;
    bool reportedStranger = false;
};

void GnomeShellExtension::Private::call(const QDBusMessage& message,
                                        std::function<void(const QDBusMessage&)> onReply)
{
    callAsync(
        bus, message, replyTimeoutMs, q,
        [this, expected = generation, onReply = std::move(onReply)](const QDBusMessage& reply) {
            if (expected == generation)
                onReply(reply);
        });
}

void GnomeShellExtension::Private::onOwnerChanged(const QString& owner)
{
    ++generation;
    trusted.clear();
    // Until the extension speaks again nothing is known to be in front.
    current = {};
    emit q->reported(current);
    if (owner.isEmpty())
        return;
    call(getNameOwner(shellName), [this, owner](const QDBusMessage& reply) {
        if (ownerIn(reply) == owner) {
            trust(owner);
        } else if (!reportedStranger) {
            reportedStranger = true;
            std::fprintf(stderr, "Kelvo ignores %s on the session bus: it is not GNOME Shell's.\n",
                         qPrintable(busName));
        }
    });
}

void GnomeShellExtension::Private::trust(const QString& owner)
{
    trusted = owner;
    QDBusMessage getAll =
        QDBusMessage::createMethodCall(owner, objectPath, propertiesInterface, u"GetAll"_s);
    getAll << interfaceName;
    getAll.setAutoStartService(false);
    call(getAll, [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
            return;
        if (const auto properties = propertyMap(reply.arguments().constFirst()))
            apply(*properties);
    });
}

// A report with a property of the wrong type is not believed at all.
void GnomeShellExtension::Private::apply(const QVariantMap& properties)
{
    GnomeWindowReport report = current;
    if (const auto appId = properties.find(u"AppId"_s); appId != properties.end()) {
        if (appId->userType() != QMetaType::QString)
            return;
        report.appId = appId->toString();
    }
    if (const auto pid = properties.find(u"Pid"_s); pid != properties.end()) {
        if (pid->userType() != QMetaType::UInt)
            return;
        report.pid = pid->toUInt();
    }
    current = report;
    emit q->reported(current);
}

GnomeShellExtension::GnomeShellExtension(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, bus))
{}

GnomeShellExtension::~GnomeShellExtension()
{
    stop();
}

bool GnomeShellExtension::isRunning(const QDBusConnection& bus)
{
    return bus.isConnected() && bus.interface()->isServiceRegistered(busName);
}

void GnomeShellExtension::follow()
{
    if (d->following || !d->bus.isConnected())
        return;
    d->following = true;
    // Any sender's signal reaches the slot, which keeps only the extension's.
    d->bus.connect(QString(), objectPath, propertiesInterface, u"PropertiesChanged"_s, this,
                   SLOT(onPropertiesChanged(QDBusMessage)));
    d->watcher =
        new QDBusServiceWatcher(busName, d->bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(d->watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                d->onOwnerChanged(newOwner);
            });
    d->call(getNameOwner(busName),
            [this](const QDBusMessage& reply) { d->onOwnerChanged(ownerIn(reply)); });
}

void GnomeShellExtension::stop()
{
    if (!d->following)
        return;
    d->following = false;
    ++d->generation;
    d->trusted.clear();
    d->current = {};
    d->bus.disconnect(QString(), objectPath, propertiesInterface, u"PropertiesChanged"_s, this,
                      SLOT(onPropertiesChanged(QDBusMessage)));
    delete d->watcher;
    d->watcher = nullptr;
}

void GnomeShellExtension::onPropertiesChanged(const QDBusMessage& message)
{
    if (d->trusted.isEmpty() || message.service() != d->trusted ||
        message.signature() != u"sa{sv}as" || message.arguments().constFirst() != interfaceName)
        return;
    if (const auto properties = propertyMap(message.arguments().at(1)))
        d->apply(*properties);
}

} // namespace kelvo
