#include "dbusmenu.h"

#include <QDBusMetaType>
#include <QMetaObject>

#include <algorithm>

namespace kelvo {

using namespace Qt::Literals::StringLiterals;

namespace {

// The root always opens as a submenu; a host asks for its properties like any item's.
const QVariantMap rootProperties{{u"children-display"_s, u"submenu"_s}};

QVariantMap propertiesOf(const DBusMenuEntry& entry)
{
    QVariantMap properties;
    if (entry.kind == DBusMenuEntry::Kind::separator) {
        properties.insert(u"type"_s, u"separator"_s);
        return properties;
    }
    // A single underscore marks the next letter as a mnemonic; ours are plain text.
    properties.insert(u"label"_s, QString(entry.label).replace(u'_', u"__"_s));
    if (!entry.enabled)
        properties.insert(u"enabled"_s, false);
    if (entry.kind == DBusMenuEntry::Kind::checkmark) {
        properties.insert(u"toggle-type"_s, u"checkmark"_s);
        properties.insert(u"toggle-state"_s, entry.checked ? 1 : 0);
    }
    if (!entry.shortcut.isEmpty())
        properties.insert(u"shortcut"_s, QVariant::fromValue(QList<QStringList>{entry.shortcut}));
    return properties;
}

// `properties` cut down to `names`; all of them when `names` is empty.
QVariantMap only(const QVariantMap& properties, const QStringList& names)
{
    if (names.isEmpty())
        return properties;
    QVariantMap kept;
    for (const QString& name : names) {
        const auto found = properties.constFind(name);
        if (found != properties.cend())
            kept.insert(name, *found);
    }
    return kept;
}

bool isClickable(const DBusMenuEntry& entry)
{
    return entry.enabled && entry.kind != DBusMenuEntry::Kind::separator;
}

void registerTypes()
{
    static const bool registered = [] {
        // Qt matches a call to a slot only through parameter types that it already knows.
        qRegisterMetaType<QDBusVariant>();
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<QList<DBusMenuItemProperties>>();
        qDBusRegisterMetaType<DBusMenuItemKeys>();
        qDBusRegisterMetaType<QList<DBusMenuItemKeys>>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<QList<DBusMenuEvent>>();
        qDBusRegisterMetaType<QList<QStringList>>();
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const DBusMenuLayoutItem& child : item.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    item.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children.append(qdbus_cast<DBusMenuLayoutItem>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemKeys& item)
{
    argument.beginStructure();
    argument << item.id << item.names;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemKeys& item)
{
    argument.beginStructure();
    argument >> item.id >> item.names;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

DBusMenu::DBusMenu(QObject* parent)
    : QObject(parent)
{
    registerTypes();
    m_root.properties = rootProperties;
}

bool DBusMenu::setEntries(const QList<DBusMenuEntry>& entries)
{
    // The usual refresh brings the same menu again: one comparison, nothing built or sent.
    if (entries == m_given)
        return false;
    m_given = entries;
    m_entries.clear();
    m_root.children.clear();
    for (const DBusMenuEntry& entry : entries) {
        if (entry.id <= 0 || indexOf(entry.id) >= 0) {
            qWarning("Tray menu entry with the id %d left out: ids must be positive and unique",
                     entry.id);
            continue;
        }
        m_entries.append(entry);
        m_root.children.append({entry.id, kelvo::propertiesOf(entry), {}});
    }
    ++m_revision;
    emit LayoutUpdated(m_revision, 0);
    return true;
}

QString DBusMenu::textDirection() const
{
    return u"ltr"_s;
}

QString DBusMenu::status() const
{
    return u"normal"_s;
}

uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                         DBusMenuLayoutItem& layout)
{
    if (!checkKnown(parentId))
        return 0;
    // The menu is flat: only the root has children, and every depth but 0 reaches them all.
    if (parentId == 0 && recursionDepth != 0)
        layout = m_root;
    else
        layout = {parentId, propertiesOf(parentId), {}};
    if (!propertyNames.isEmpty()) {
        layout.properties = only(layout.properties, propertyNames);
        for (DBusMenuLayoutItem& child : layout.children)
            child.properties = only(child.properties, propertyNames);
    }
    return m_revision;
}

QList<DBusMenuItemProperties> DBusMenu::GetGroupProperties(const QList<int>& ids,
                                                           const QStringList& propertyNames)
{
    QList<DBusMenuItemProperties> found;
    for (int id : ids) {
        if (knows(id))
            found.append({id, only(propertiesOf(id), propertyNames)});
    }
    return found;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString& name)
{
    if (!checkKnown(id))
        return {};
    const QVariantMap& properties = propertiesOf(id);
    const auto found = properties.constFind(name);
    if (found == properties.cend()) {
        sendErrorReply(QDBusError::InvalidArgs, u"Item %1 has no property %2"_s.arg(id).arg(name));
        return {};
    }
    return QDBusVariant(*found);
}

void DBusMenu::Event(int id, const QString& eventId, const QDBusVariant&, uint)
{
    if (!handleEvent(id, eventId))
        checkKnown(id);
}

QList<int> DBusMenu::EventGroup(const QList<DBusMenuEvent>& events)
{
    QList<int> unknown;
    for (const DBusMenuEvent& event : events) {
        if (!handleEvent(event.id, event.eventId))
            unknown.append(event.id);
    }
    return unknown;
}

bool DBusMenu::AboutToShow(int id)
{
    checkKnown(id);
    return false;
}

QList<int> DBusMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors)
{
    idErrors.clear();
    std::copy_if(ids.cbegin(), ids.cend(), std::back_inserter(idErrors),
                 [this](int id) { return !knows(id); });
    return {};
}

qsizetype DBusMenu::indexOf(int id) const
{
    if (id <= 0)
        return -1;
    const auto found = std::find_if(m_entries.cbegin(), m_entries.cend(),
                                    [id](const DBusMenuEntry& entry) { return entry.id == id; });
    return found == m_entries.cend() ? -1 : found - m_entries.cbegin();
}

const QVariantMap& DBusMenu::propertiesOf(int id) const
{
    const qsizetype index = indexOf(id);
    return index < 0 ? m_root.properties : m_root.children.at(index).properties;
}

bool DBusMenu::checkKnown(int id)
{
    if (knows(id))
        return true;
    if (calledFromDBus())
        sendErrorReply(QDBusError::InvalidArgs, u"No menu item with the id %1"_s.arg(id));
    return false;
}

bool DBusMenu::handleEvent(int id, const QString& eventId)
{
    if (!knows(id))
        return false;
    if (eventId != u"clicked" || id == 0 || !isClickable(m_entries.at(indexOf(id))))
        return true;
    // After the host has had its answer, and only if the entry can still be clicked: whatever
    // the click starts (a window, a nested event loop) must not hold up the reply.
    QMetaObject::invokeMethod(
        this,
        [this, id] {
            const qsizetype index = indexOf(id);
            if (index >= 0 && isClickable(m_entries.at(index)))
                emit clicked(id);
        },
        Qt::QueuedConnection);
    return true;
}

} // namespace kelvo
