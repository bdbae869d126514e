#pragma once

#include <QDBusConnection>
#include <QObject>

#include <memory>

class QDBusMessage;

namespace kelvo {

// What Kelvo's GNOME Shell extension exports about the focused window; an empty app id and a pid
// of 0 when no window has the focus.
struct GnomeWindowReport {
    QString appId;
    qint64 pid = 0;

    bool operator==(const GnomeWindowReport&) const = default;
};

// Kelvo's side of its GNOME Shell extension (src/platform/gnome/extension), which exports the
// focused window on the session bus under a name of its own. Every call is asynchronous. The
// extension is believed only while its name is owned by the connection that also owns
// org.gnome.Shell (the extension runs inside the shell), and only signals from that owner count.
class GnomeShellExtension final : public QObject {
    Q_OBJECT

public:
    explicit GnomeShellExtension(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                 QObject* parent = nullptr);
    ~GnomeShellExtension() override;

    // The extension's uuid, folder name under gnome-shell/extensions/.
    static const QString uuid;
    static const QString busName;
    static const QString objectPath;
    static const QString interfaceName;

    // True when the extension's name is on the bus now (asks the bus, not the shell).
    static bool isRunning(const QDBusConnection& bus = QDBusConnection::sessionBus());

    // Follows the extension from now on, through the shell's restarts; does nothing if following.
    void follow();
    // Stops following.
    void stop();

signals:
    // The extension told which window has the focus; also emitted with an empty report when the
    // extension goes away.
    void reported(const GnomeWindowReport& window);

private slots:
    void onPropertiesChanged(const QDBusMessage& message);

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace kelvo
