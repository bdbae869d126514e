#pragma once

#include "dbusmenuentry.h"

#include <QDBusConnection>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

namespace kelvo {

class DBusMenu;
class StatusNotifierObject;

// Kelvo's tray item, published as an org.kde.StatusNotifierItem with its menu over
// com.canonical.dbusmenu, for whichever tray host runs the org.kde.StatusNotifierWatcher.
class StatusNotifierItem final : public QObject {
    Q_OBJECT

public:
    explicit StatusNotifierItem(QDBusConnection bus = QDBusConnection::sessionBus(),
                                QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    // Exports the item and its menu, and registers with org.kde.StatusNotifierWatcher now and
    // every time the watcher's owner changes. Never blocks: every call to another process is
    // asynchronous.
    void start();
    // The text shown beside the icon (XAyatanaLabel), as the tooltip title and as Title.
    void setTitle(const QString& title);
    // IconName (an icon-theme name such as "kelvo") plus pixmaps for hosts without that theme.
    void setIcon(const QString& iconName, const QList<QImage>& pixmaps);
    // The whole flat menu, top to bottom. LayoutUpdated only when it differs from the last one.
    void setMenu(const QList<DBusMenuEntry>& entries);
    // True while a watcher accepted our registration.
    bool isRegistered() const { return m_registered; }
    // The bus name the item goes by, once known after start(); empty before.
    QString serviceName() const { return m_service; }

signals:
    // Activate(x, y): the host's primary click. (Screen coordinates as the host sent them.)
    void activated(QPoint position);
    // Event(id, "clicked", ...) on an enabled action or checkmark entry of the current menu.
    void entryClicked(int id);
    // The watcher accepted us (true) or went away / refused / is absent (false). After start(),
    // this is emitted once as soon as it is known whether a watcher exists, then on each change.
    void registrationChanged(bool registered);

private:
    void requestName();
    void registerWithWatcher();
    void onWatcherOwnerChanged(const QString& newOwner);
    void setRegistered(bool registered);

    QDBusConnection m_bus;
    StatusNotifierObject* m_item;
    DBusMenu* m_menu;
    QString m_service;
    bool m_ownsName = false;
    bool m_started = false;
    bool m_reported = false;
    bool m_registered = false;
    // Counts the watcher's owner changes, so an answer from an earlier owner is ignored.
    quint64 m_watcherGeneration = 0;
};

} // namespace kelvo
