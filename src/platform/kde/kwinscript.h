#pragma once

#include <QDBusConnection>
#include <QObject>

#include <memory>

namespace kelvo {

// What KWin's script reports about the window in front; all empty and a pid of 0 when no window
// is active.
struct KWinWindowReport {
    QString desktopFileName;
    QString resourceClass;
    QString resourceName;
    qint64 pid = 0;

    bool operator==(const KWinWindowReport&) const = default;
};

// A small script of Kelvo's own, run inside KWin (5.27 and 6), that calls Kelvo back over the
// session bus each time a window is activated. Every call to KWin is asynchronous. The script is
// loaded again whenever org.kde.KWin gets a new owner, and callbacks count only from that owner.
class KWinScript final : public QObject {
    Q_OBJECT

public:
    explicit KWinScript(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                        QObject* parent = nullptr);
    // Unloads the script if it is loaded.
    ~KWinScript() override;

    // Loads and runs the script now, and again whenever KWin comes back; does nothing if loaded.
    void load();
    // Unloads the script and stops following KWin.
    void unload();

    // The path under which Kelvo receives the script's calls, and the interface and method.
    static const QString objectPath;
    static const QString interfaceName;

signals:
    // KWin reported the window in front; also emitted with an empty report when KWin goes away.
    void reported(const KWinWindowReport& window);

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace kelvo
