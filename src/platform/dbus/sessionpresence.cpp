#include "sessionpresence.h"

#include "asynccall.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QStringList>
#include <QVariantMap>

#include <array>
#include <functional>
#include <unistd.h>

namespace kelvo {

using namespace Qt::Literals::StringLiterals;

namespace {

const QString logindName = u"org.freedesktop.login1"_s;
const QString managerPath = u"/org/freedesktop/login1"_s;
const QString managerInterface = u"org.freedesktop.login1.Manager"_s;
const QString sessionInterface = u"org.freedesktop.login1.Session"_s;
const QString autoSessionPath = u"/org/freedesktop/login1/session/auto"_s;
const QString propertiesInterface = u"org.freedesktop.DBus.Properties"_s;
const QString lockedHint = u"LockedHint"_s;

// No answer within this time counts as no answer; nothing ever waits for it.
constexpr int replyTimeoutMs = 2000;

using ReplyHandler = std::function<void(const QDBusMessage& reply)>;

bool isReply(const QDBusMessage& message, QStringView signature)
{
    return message.type() == QDBusMessage::ReplyMessage && message.signature() == signature;
}

QDBusMessage propertyGet(const QString& service, const QString& path, const QString& interface,
                         const QString& property)
{
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, propertiesInterface, u"Get"_s);
    get << interface << property;
    return get;
}

// The value in a reply to Properties.Get, or an invalid QVariant for anything else.
QVariant propertyValue(const QDBusMessage& reply)
{
    if (!isReply(reply, u"v"))
        return {};
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
}

bool isBool(const QVariant& value)
{
    return value.metaType() == QMetaType::fromType<bool>();
}

// Follows one service on one bus. Answers count only while the owner that gave them is still
// the owner, so a restarted service never hears replies meant for its predecessor.
class ServiceWatch : public QObject {
    Q_OBJECT

public:
    ServiceWatch(const QDBusConnection& bus, const QString& service, std::function<void()> onChange)
        : m_bus(bus)
        , m_service(service)
        , m_onChange(std::move(onChange))
    {
        if (!m_bus.isConnected())
            return;
        auto* watcher =
            new QDBusServiceWatcher(service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                &ServiceWatch::onOwnerChanged);
    }

protected:
    // The service got a new owner (`present`) or has none any more.
    virtual void ownerChanged(bool present) = 0;

    // Calls without starting the service: Kelvo watches these services, it never launches them.
    void call(QDBusMessage message, ReplyHandler onReply)
    {
        message.setAutoStartService(false);
        callAsync(m_bus, message, replyTimeoutMs, this,
                  [this, generation = m_generation,
                   onReply = std::move(onReply)](const QDBusMessage& reply) {
                      if (generation == m_generation)
                          onReply(reply);
                  });
    }
    void changed() { m_onChange(); }

    QDBusConnection m_bus;
    const QString m_service;

private slots:
    void onOwnerChanged(const QString&, const QString&, const QString& newOwner)
    {
        ++m_generation;
        ownerChanged(!newOwner.isEmpty());
    }

private:
    std::function<void()> m_onChange;
    quint64 m_generation = 0;
};

// A screensaver on the session bus, org.freedesktop.ScreenSaver or org.gnome.ScreenSaver:
// whether it is active.
class ScreenSaverWatch final : public ServiceWatch {
    Q_OBJECT

public:
    // The interface bears the service's name; `paths` are tried in order for GetActive.
    ScreenSaverWatch(const QDBusConnection& bus, const QString& service, const QStringList& paths,
                     std::function<void()> onChange)
        : ServiceWatch(bus, service, std::move(onChange))
        , m_paths(paths)
    {
        if (!m_bus.isConnected())
            return;
        for (const QString& path : m_paths) {
            m_bus.connect(m_service, path, m_service, u"ActiveChanged"_s, this,
                          SLOT(onActiveChanged(bool)));
        }
        readActive(0);
    }

    bool isActive() const { return m_active; }

private slots:
    void onActiveChanged(bool active) { setActive(active); }

private:
    void ownerChanged(bool present) override
    {
        if (present)
            readActive(0);
        else
            setActive(false);
    }

    void readActive(qsizetype pathIndex)
    {
        const QDBusMessage getActive = QDBusMessage::createMethodCall(
            m_service, m_paths.at(pathIndex), m_service, u"GetActive"_s);
        call(getActive, [this, pathIndex](const QDBusMessage& reply) {
            if (isReply(reply, u"b"))
                setActive(reply.arguments().constFirst().toBool());
            else if (pathIndex + 1 < m_paths.size())
                readActive(pathIndex + 1);
        });
    }

    void setActive(bool active)
    {
        m_active = active;
        changed();
    }

    const QStringList m_paths;
    bool m_active = false;
};

// logind on the system bus: whether the machine is preparing for sleep, and whether this
// session is locked.
class LogindWatch final : public ServiceWatch {
    Q_OBJECT

public:
    LogindWatch(const QDBusConnection& bus, std::function<void()> onChange)
        : ServiceWatch(bus, logindName, std::move(onChange))
        , m_sessionId(qEnvironmentVariable("XDG_SESSION_ID"))
    {
        if (!m_bus.isConnected())
            return;
        m_bus.connect(logindName, managerPath, managerInterface, u"PrepareForSleep"_s, this,
                      SLOT(onPrepareForSleep(bool)));
        start();
    }

    bool isAway() const { return m_sleeping || m_locked; }

private slots:
    void onPrepareForSleep(bool preparing)
    {
        m_sleeping = preparing;
        changed();
    }
    void onLock() { lockEvent(true); }
    void onUnlock() { lockEvent(false); }
    void onSessionPropertiesChanged(const QString& interface, const QVariantMap& changedValues,
                                    const QStringList& invalidated)
    {
        if (interface != sessionInterface)
            return;
        const QVariant locked = changedValues.value(lockedHint);
        if (isBool(locked))
            lockEvent(locked.toBool());
        else if (invalidated.contains(lockedHint))
            readLocked();
    }

private:
    void ownerChanged(bool present) override
    {
        if (present) {
            start();
            return;
        }
        subscribeSession(false);
        m_sessionPath.clear();
        m_sleeping = false;
        m_locked = false;
        changed();
    }

    void start()
    {
        call(propertyGet(logindName, managerPath, managerInterface, u"PreparingForSleep"_s),
             [this](const QDBusMessage& reply) {
                 const QVariant sleeping = propertyValue(reply);
                 if (isBool(sleeping))
                     onPrepareForSleep(sleeping.toBool());
             });
        findSession();
    }

    // This process's session; else the one that XDG_SESSION_ID names; else logind's "auto"
    // session, the caller's or else the user's graphical one.
    void findSession()
    {
        QDBusMessage byProcess = managerCall(u"GetSessionByPID"_s);
        byProcess << uint(getpid());
        askSessionPath(byProcess, [this] {
            if (m_sessionId.isEmpty()) {
                findAutoSession();
                return;
            }
            QDBusMessage byId = managerCall(u"GetSession"_s);
            byId << m_sessionId;
            askSessionPath(byId, [this] { findAutoSession(); });
        });
    }

    // The session's signals come from its own path, never from ".../auto": ask for its id first.
    void findAutoSession()
    {
        call(propertyGet(logindName, autoSessionPath, sessionInterface, u"Id"_s),
             [this](const QDBusMessage& reply) {
                 const QString id = propertyValue(reply).toString();
                 if (id.isEmpty())
                     return;
                 QDBusMessage byId = managerCall(u"GetSession"_s);
                 byId << id;
                 askSessionPath(byId, nullptr);
             });
    }

    void askSessionPath(const QDBusMessage& question, std::function<void()> otherwise)
    {
        call(question, [this, otherwise = std::move(otherwise)](const QDBusMessage& reply) {
            if (isReply(reply, u"o"))
                watchSession(qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path());
            else if (otherwise)
                otherwise();
        });
    }

    void watchSession(const QString& path)
    {
        if (path != m_sessionPath) {
            subscribeSession(false);
            m_sessionPath = path;
            subscribeSession(true);
        }
        readLocked();
    }

    void subscribeSession(bool subscribe)
    {
        if (m_sessionPath.isEmpty())
            return;
        struct Signal {
            QString interface;
            QString name;
            const char* slot;
        };
        const std::array sessionSignals{
            Signal{sessionInterface, u"Lock"_s, SLOT(onLock())},
            Signal{sessionInterface, u"Unlock"_s, SLOT(onUnlock())},
            Signal{propertiesInterface, u"PropertiesChanged"_s,
                   SLOT(onSessionPropertiesChanged(QString, QVariantMap, QStringList))},
        };
        for (const Signal& signal : sessionSignals) {
            if (subscribe)
                m_bus.connect(logindName, m_sessionPath, signal.interface, signal.name, this,
                              signal.slot);
            else
                m_bus.disconnect(logindName, m_sessionPath, signal.interface, signal.name, this,
                                 signal.slot);
        }
    }

    void readLocked()
    {
        call(propertyGet(logindName, m_sessionPath, sessionInterface, lockedHint),
             [this, path = m_sessionPath, events = m_lockEvents](const QDBusMessage& reply) {
                 // A Lock or Unlock that came meanwhile is newer than this answer.
                 if (path != m_sessionPath || events != m_lockEvents)
                     return;
                 const QVariant locked = propertyValue(reply);
                 if (isBool(locked))
                     lockEvent(locked.toBool());
             });
    }

    // The latest word on locking wins, whether a signal or LockedHint: a screen locker that
    // `loginctl lock-session` started is unlocked with a password, which sends no Unlock.
    void lockEvent(bool locked)
    {
        ++m_lockEvents;
        m_locked = locked;
        changed();
    }

    static QDBusMessage managerCall(const QString& method)
    {
        return QDBusMessage::createMethodCall(logindName, managerPath, managerInterface, method);
    }

    const QString m_sessionId; // XDG_SESSION_ID
    QString m_sessionPath;
    quint64 m_lockEvents = 0;
    bool m_sleeping = false;
    bool m_locked = false;
};

} // namespace

class SessionPresence::Private {
public:
    Private(SessionPresence* owner, const QDBusConnection& systemBus,
            const QDBusConnection& sessionBus)
        : q(owner)
        , logind(systemBus, [this] { update(); })
        , freedesktopSaver(sessionBus, u"org.freedesktop.ScreenSaver"_s,
                           {u"/org/freedesktop/ScreenSaver"_s, u"/ScreenSaver"_s},
                           [this] { update(); })
        , gnomeSaver(sessionBus, u"org.gnome.ScreenSaver"_s, {u"/org/gnome/ScreenSaver"_s},
                     [this] { update(); })
    {}

    void update()
    {
        const bool now = logind.isAway() || freedesktopSaver.isActive() || gnomeSaver.isActive();
        if (now == away)
            return;
        away = now;
        emit q->awayChanged(away);
    }

    SessionPresence* const q;
    bool away = false;
    LogindWatch logind;
    ScreenSaverWatch freedesktopSaver;
    ScreenSaverWatch gnomeSaver;
};

SessionPresence::SessionPresence(const QDBusConnection& systemBus,
                                 const QDBusConnection& sessionBus, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, systemBus, sessionBus))
{}

SessionPresence::~SessionPresence() = default;

bool SessionPresence::isAway() const
{
    return d->away;
}

} // namespace kelvo

#include "sessionpresence.moc"
