#include "platform/dbus/statusnotifieritem.h"

#include "presencemocks.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kelvo;

namespace {

const QString itemPath = u"/StatusNotifierItem"_s;
const QString menuPath = u"/MenuBar"_s;
const QString menuInterface = u"com.canonical.dbusmenu"_s;
const QString itemInterface = u"org.kde.StatusNotifierItem"_s;

// A StatusNotifierWatcher that accepts every item, or refuses it with the parameter "refuse".
const QByteArray watcherTemplate = R"py(import dbus
BUS_NAME = 'org.kde.StatusNotifierWatcher'
MAIN_OBJ = '/StatusNotifierWatcher'
MAIN_IFACE = 'org.kde.StatusNotifierWatcher'
SYSTEM_BUS = False
def load(mock, parameters):
    refuse = "raise dbus.exceptions.DBusException('no', name='org.kde.Refused')"
    mock.AddMethod(MAIN_IFACE, 'RegisterStatusNotifierItem', 's', '',
                   refuse if parameters.get('refuse') else '')
)py";

using Kind = DBusMenuEntry::Kind;

QList<DBusMenuEntry> kelvoMenu(bool quietHours)
{
    return {{1, Kind::action, u"今日 AI 使用  0秒"_s, false, false, {}},
            {3, Kind::separator, {}, true, false, {}},
            {4, Kind::checkmark, u"免打扰  09:05-17:00"_s, true, quietHours, {}},
            {6, Kind::action, u"设置…"_s, true, false, {u"Control"_s, u"comma"_s}},
            {7, Kind::action, u"退出 my_app"_s, true, false, {u"Control"_s, u"q"_s}}};
}

// Records the member of every signal that reaches it.
class SignalLog final : public QObject {
    Q_OBJECT
public slots:
    void record(const QDBusMessage& message) { members.append(message.member()); }

public:
    QStringList members;
};

} // namespace

// The tray item against a python3-dbusmock watcher, read back as a tray host reads it.
class StatusNotifierItemTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    // A warning from Qt DBus means a method, signal or property that hosts cannot reach.
    void init() { QTest::failOnWarning(QRegularExpression(u"."_s)); }
    void registersWithEveryWatcher_data();
    void registersWithEveryWatcher();
    void publishesOnlyChanges();
    void answersHostCalls_data();
    void answersHostCalls();

private:
    // What a GLib tool prints when it reads the bus, with its white space simplified.
    QString glibTool(const QString& program, const QStringList& arguments)
    {
        QProcess tool;
        qputenv("CHARSET", "UTF-8"); // GLib converts what it prints to this
        tool.start(program, arguments);
        if (!QTest::qWaitFor([&] { return tool.state() == QProcess::NotRunning; }, busTimeoutMs))
            return u"timed out"_s;
        return QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError())
            .simplified();
    }
    QString gdbusCall(const QString& service, const QString& path, const QString& method,
                      const QStringList& arguments)
    {
        return glibTool(u"gdbus"_s,
                        QStringList{u"call"_s, u"--session"_s, u"--dest"_s, service,
                                    u"--object-path"_s, path, u"--method"_s, method, u"--"_s} +
                            arguments);
    }
    static bool started(StatusNotifierItem& item)
    {
        item.start();
        return QTest::qWaitFor([&] { return !item.serviceName().isEmpty(); }, busTimeoutMs);
    }
    void startWatcher(DBusMock& mock, bool refuse)
    {
        mock.start("DBUS_SESSION_BUS_ADDRESS", u"org.kde.StatusNotifierWatcher"_s,
                   {u"--template"_s, m_template, u"--parameters"_s,
                    refuse ? u"{\"refuse\": true}"_s : u"{}"_s});
    }

    QDBusConnection m_host{QString()};
    QTemporaryDir m_dir;
    QString m_template = m_dir.filePath(u"watcher.py"_s);
};

void StatusNotifierItemTest::initTestCase()
{
    QVERIFY(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"));
    QVERIFY(writeFile(m_template, watcherTemplate));
    m_host = connectBus();
}

void StatusNotifierItemTest::registersWithEveryWatcher_data()
{
    QTest::addColumn<QString>("watcher");     // at start: "accepting", "refusing" or "none"
    QTest::addColumn<QList<bool>>("reports"); // before and after an accepting watcher restarts
    QTest::newRow("accepting") << u"accepting"_s << QList<bool>{true, false, true};
    QTest::newRow("refusing") << u"refusing"_s << QList<bool>{false, true};
    QTest::newRow("none, one comes later") << u"none"_s << QList<bool>{false, true};
}

void StatusNotifierItemTest::registersWithEveryWatcher()
{
    QFETCH(QString, watcher);
    QFETCH(QList<bool>, reports);
    DBusMock first;
    if (watcher != u"none") {
        startWatcher(first, watcher == u"refusing");
        QVERIFY(first.waitFor());
    }
    StatusNotifierItem item(connectBus());
    QSignalSpy spy(&item, &StatusNotifierItem::registrationChanged);
    item.start();
    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), 1, busTimeoutMs);
    QCOMPARE(item.isRegistered(), reports.constFirst());
    QVERIFY(item.serviceName().startsWith(u"org.kde.StatusNotifierItem-%1-"_s.arg(getpid())));
    if (watcher != u"none")
        QVERIFY(first.waitFor(u"RegisterStatusNotifierItem \""_s + item.serviceName()));

    first.quit();
    DBusMock second;
    startWatcher(second, false);
    QVERIFY(second.waitFor(u"RegisterStatusNotifierItem \""_s + item.serviceName()));
    QTRY_COMPARE_WITH_TIMEOUT(spy.size(), reports.size(), busTimeoutMs);
    for (qsizetype i = 0; i < reports.size(); ++i)
        QCOMPARE(spy.at(i).constFirst().toBool(), reports.at(i));
    QVERIFY(item.isRegistered());
}

void StatusNotifierItemTest::publishesOnlyChanges()
{
    QDBusConnection bus = connectBus();
    StatusNotifierItem item(bus);
    const QImage plain(16, 16, QImage::Format_ARGB32);
    item.setTitle(u"今日vu 0分"_s);
    item.setIcon(u"kelvo"_s, {plain});
    item.setMenu(kelvoMenu(false));
    QVERIFY(started(item));
    SignalLog log;
    for (const auto& [path, interface] :
         {std::pair(itemPath, itemInterface), {menuPath, menuInterface}})
        QVERIFY(m_host.connect(item.serviceName(), path, interface, QString(), &log,
                               SLOT(record(QDBusMessage))));
    QImage icon(2, 1, QImage::Format_ARGB32);
    icon.setPixel(0, 0, qRgba(0x11, 0x22, 0x33, 0x44));
    icon.setPixel(1, 0, qRgba(0xaa, 0xbb, 0xcc, 0xff));

    // What the engine's refresh does every 30 s, then with one thing changed each time.
    const QList<std::pair<std::function<void()>, QStringList>> steps{
        {[&] {
             item.setTitle(u"今日vu 0分"_s);
             item.setIcon(u"kelvo"_s, {plain.copy()});
             item.setMenu(kelvoMenu(false));
         },
         {}},
        {[&] { item.setMenu(kelvoMenu(true)); }, {u"LayoutUpdated"_s}},
        {[&] { item.setTitle(u"今日vu 1时5分"_s); },
         {u"NewTitle"_s, u"XAyatanaNewLabel"_s, u"NewToolTip"_s}},
        {[&] {
             item.setIcon(u"kelvo"_s, {icon, QImage()});
         },
         {u"NewIcon"_s, u"NewToolTip"_s}},
        {[&] { item.setMenu(kelvoMenu(true)); }, {}}};
    for (const auto& [step, expected] : steps) {
        log.members.clear();
        step();
        QVERIFY(flush(bus) && flush(m_host));
        QTRY_COMPARE_WITH_TIMEOUT(log.members, expected, busTimeoutMs);
    }

    QCOMPARE(gdbusCall(item.serviceName(), itemPath, u"org.freedesktop.DBus.Properties.GetAll"_s,
                       {itemInterface}),
             uR"(({'AttentionIconName': <''>, 'AttentionIconPixmap': <@a(iiay) []>, )"
             uR"('AttentionMovieName': <''>, 'Category': <'ApplicationStatus'>, )"
             uR"('IconName': <'kelvo'>, 'IconPixmap': <[(2, 1, [byte 0x44, 0x11, 0x22, 0x33, )"
             uR"(0xff, 0xaa, 0xbb, 0xcc])]>, 'IconThemePath': <''>, 'Id': <'kelvo'>, )"
             uR"('ItemIsMenu': <false>, 'Menu': <objectpath '/MenuBar'>, )"
             uR"('OverlayIconName': <''>, 'OverlayIconPixmap': <@a(iiay) []>, )"
             uR"('Status': <'Active'>, 'Title': <'今日vu 1时5分'>, 'ToolTip': <('kelvo', )"
             uR"([(2, 1, [byte 0x44, 0x11, 0x22, 0x33, 0xff, 0xaa, 0xbb, 0xcc])], )"
             uR"('今日vu 1时5分', '')>, 'WindowId': <0>, 'XAyatanaLabel': <'今日vu 1时5分'>, )"
             uR"('XAyatanaLabelGuide': <''>, 'XAyatanaOrderingIndex': <uint32 0>},))"_s);
    // The whole menu through libdbusmenu's own reader, as GTK hosts read it.
    QCOMPARE(
        glibTool(u"/usr/libexec/dbusmenu-dumper"_s,
                 {u"--dbus-name="_s + item.serviceName(), u"--dbus-object="_s + menuPath}),
        uR"({ "id": 0, "children-display": 'submenu', "submenu": [ )"
        uR"({ "id": 1, "enabled": false, "label": '今日 AI 使用 0秒' }, )"
        uR"({ "id": 3, "type": 'separator' }, )"
        uR"({ "id": 4, "label": '免打扰 09:05-17:00', "toggle-state": 1, "toggle-type": 'checkmark' }, )"
        uR"({ "id": 6, "label": '设置…', "shortcut": [['Control', 'comma']] }, )"
        uR"({ "id": 7, "label": '退出 my__app', "shortcut": [['Control', 'q']] } ] })"_s);
}

void StatusNotifierItemTest::answersHostCalls_data()
{
    QTest::addColumn<QString>("method"); // of the menu, or with "Item." of the item
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reply"); // what gdbus prints, or a part of its error
    QTest::addColumn<QString>("heard"); // what the item then tells Kelvo
    const auto row = [](const char* name, const QString& method, const QStringList& arguments,
                        const QString& reply, const QString& heard = {}) {
        QTest::newRow(name) << method << arguments << reply << heard;
    };
    const auto click = [](const QString& id, const QString& data = u"<0>"_s) {
        return QStringList{id, u"'clicked'"_s, data, u"0"_s};
    };
    const QString noId = u"InvalidArgs: No menu item with the id"_s;
    row("click on an action", u"Event"_s, click(u"6"_s), u"()"_s, u"clicked 6"_s);
    row("click on a checkmark, odd payload", u"Event"_s, click(u"4"_s, u"<{'x': <(1, 'y')>}>"_s),
        u"()"_s, u"clicked 4"_s);
    row("hover", u"Event"_s, {u"6"_s, u"'hovered'"_s, u"<0>"_s, u"0"_s}, u"()"_s);
    row("click on a separator", u"Event"_s, click(u"3"_s), u"()"_s);
    row("click on a disabled row", u"Event"_s, click(u"1"_s), u"()"_s);
    row("click on the root", u"Event"_s, click(u"0"_s), u"()"_s);
    row("click on an unknown id", u"Event"_s, click(u"99"_s), noId);
    row("Event with a wrong signature", u"Event"_s, click(u"6"_s) << u"1"_s, u"UnknownMethod"_s);
    row("clicks in a group", u"EventGroup"_s,
        {u"[(6, 'clicked', <0>, 0), (3, 'clicked', <''>, 0), (99, 'x', <0>, 0)]"_s}, u"([99],)"_s,
        u"clicked 6"_s);
    row("layout of an unknown parent", u"GetLayout"_s, {u"42"_s, u"-1"_s, u"[]"_s}, noId);
    row("layout of one entry, one property", u"GetLayout"_s, {u"6"_s, u"-1"_s, u"['label']"_s},
        u"(uint32 2, (6, {'label': <'设置…'>}, @av []))"_s);
    row("properties of a group, root included", u"GetGroupProperties"_s,
        {u"[0, 6, 99]"_s, u"['children-display', 'enabled']"_s},
        u"([(0, {'children-display': <'submenu'>}), (6, {})],)"_s);
    row("property of an unknown id", u"GetProperty"_s, {u"42"_s, u"'label'"_s}, noId);
    row("unknown property", u"GetProperty"_s, {u"6"_s, u"'icon-data'"_s},
        u"InvalidArgs: Item 6 has no property icon-data"_s);
    row("AboutToShow of unknown ids", u"AboutToShowGroup"_s, {u"[0, 42]"_s}, u"(@ai [], [42])"_s);
    row("primary click", u"Item.Activate"_s, {u"10"_s, u"20"_s}, u"()"_s, u"activated 10,20"_s);
}

void StatusNotifierItemTest::answersHostCalls()
{
    QFETCH(QString, method);
    QFETCH(QStringList, arguments);
    QFETCH(QString, reply);
    QFETCH(QString, heard);
    StatusNotifierItem item(connectBus());
    item.setMenu(kelvoMenu(false));
    QVERIFY(started(item));
    QStringList told;
    connect(&item, &StatusNotifierItem::entryClicked, this,
            [&told](int id) { told.append(u"clicked %1"_s.arg(id)); });
    connect(&item, &StatusNotifierItem::activated, this, [&told](QPoint position) {
        told.append(u"activated %1,%2"_s.arg(position.x()).arg(position.y()));
    });

    const bool ofItem = method.startsWith(u"Item.");
    const QString printed = gdbusCall(
        item.serviceName(), ofItem ? itemPath : menuPath,
        ofItem ? itemInterface + method.mid(4) : menuInterface + u'.' + method, arguments);
    QVERIFY2(reply.startsWith(u'(') ? printed == reply : printed.contains(reply),
             qPrintable(printed));
    QCoreApplication::processEvents();
    QCOMPARE(told, heard.isEmpty() ? QStringList() : QStringList{heard});
}

QTEST_GUILESS_MAIN(StatusNotifierItemTest)
#include "test_statusnotifieritem.moc"
