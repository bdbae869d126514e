#pragma once

#include "dbusmenuentry.h"

#include <QDBusArgument>
#include <QDBusContext>
#include <QDBusVariant>
#include <QList>
#include <QObject>
#include <QVariantMap>

namespace kelvo {

// One node of a dbusmenu layout, (ia{sv}av): the children travel as variants of nodes.
struct DBusMenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

// The properties of one item, (ia{sv}).
struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};

// The names of properties removed from one item, (ias).
struct DBusMenuItemKeys {
    int id = 0;
    QStringList names;
};

// One event of an EventGroup call, (isvu).
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemKeys& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemKeys& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

} // namespace kelvo

Q_DECLARE_METATYPE(kelvo::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(kelvo::DBusMenuItemProperties)
Q_DECLARE_METATYPE(kelvo::DBusMenuItemKeys)
Q_DECLARE_METATYPE(kelvo::DBusMenuEvent)

namespace kelvo {

// A flat menu exported as com.canonical.dbusmenu: the object that a tray host reads the menu
// from and sends clicks to. Everything a host sends is checked against the current menu.
class DBusMenu final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit DBusMenu(QObject* parent = nullptr);

    // Replaces the menu; false, and nothing sent, when it equals the current one.
    bool setEntries(const QList<DBusMenuEntry>& entries);

    uint version() const { return 3; }
    QString textDirection() const;
    QString status() const;
    QStringList iconThemePath() const { return {}; }

public slots:
    Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                kelvo::DBusMenuLayoutItem& layout);
    Q_SCRIPTABLE QList<kelvo::DBusMenuItemProperties>
    GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames);
    Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString& name);
    Q_SCRIPTABLE void Event(int id, const QString& eventId, const QDBusVariant& data,
                            uint timestamp);
    Q_SCRIPTABLE QList<int> EventGroup(const QList<kelvo::DBusMenuEvent>& events);
    Q_SCRIPTABLE bool AboutToShow(int id);
    Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    Q_SCRIPTABLE void ItemsPropertiesUpdated(const QList<kelvo::DBusMenuItemProperties>& updated,
                                             const QList<kelvo::DBusMenuItemKeys>& removed);
    Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);
    Q_SCRIPTABLE void ItemActivationRequested(int id, uint timestamp);

    // An enabled action or checkmark entry was clicked; sent after the host has had its answer.
    void clicked(int id);

private:
    // The index of entry `id` in the menu, or -1; the root 0 is no entry.
    qsizetype indexOf(int id) const;
    bool knows(int id) const { return id == 0 || indexOf(id) >= 0; }
    const QVariantMap& propertiesOf(int id) const;
    // Whether the call names an item of the menu; answers the caller with an error otherwise.
    bool checkKnown(int id);
    // True when the event was delivered to a known item.
    bool handleEvent(int id, const QString& eventId);

    QList<DBusMenuEntry> m_given;   // as last set, for the cheap comparison
    QList<DBusMenuEntry> m_entries; // the valid ones among them
    DBusMenuLayoutItem m_root;      // built once per menu; its children match m_entries
    uint m_revision = 1;
};

} // namespace kelvo
