#pragma once

#include <QDBusConnection>
#include <QObject>

#include <memory>

namespace kelvo {

// Whether the user is away: the machine is going to sleep (logind PrepareForSleep), the session
// is locked (logind Lock/Unlock and LockedHint), or the screensaver is active
// (org.freedesktop.ScreenSaver / org.gnome.ScreenSaver ActiveChanged). Missing services are
// simply not watched.
class SessionPresence final : public QObject {
    Q_OBJECT

public:
    explicit SessionPresence(const QDBusConnection& systemBus = QDBusConnection::systemBus(),
                             const QDBusConnection& sessionBus = QDBusConnection::sessionBus(),
                             QObject* parent = nullptr);
    ~SessionPresence() override;

    bool isAway() const;

signals:
    // Emitted on every change of isAway().
    void awayChanged(bool away);

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace kelvo
