#include "platform/dbus/appearanceportal.h"
#include "platform/dbus/sessionpresence.h"
#include "platform/dbus/statusnotifieritem.h"
#include "platform/privatebus.h"

#include <QtTest>

#include <utility>

using namespace kelvo;

namespace {

// One python3-dbusmock service; what it logs tells which calls reached it.
class DBusMock final {
public:
    ~DBusMock() { quit(); }

    // On the bus that `bus` names, which is where a template puts itself too.
    void start(const char* bus, const QString& name, const QStringList& arguments)
    {
        m_name = name;
        m_control = connectBus(bus);
        // The system interpreter: Debian installs python3-dbusmock for it alone.
        m_process.start(u"/usr/bin/python3"_s, QStringList{u"-m"_s, u"dbusmock"_s} + arguments);
    }
    // On the session bus, from the template that `code` (Python) holds.
    void startTemplate(const QString& name, const QByteArray& code, const QString& parameters)
    {
        const QString path = m_dir.filePath(u"template.py"_s);
        QVERIFY(writeFile(path, code));
        start("DBUS_SESSION_BUS_ADDRESS", name,
              {u"--template"_s, path, u"--parameters"_s, parameters});
    }
    // Whether the service (and not one left by an earlier test) took its name or, given a
    // `text`, logged it; says why not.
    bool waitFor(const QString& text = {})
    {
        const auto done = [this, &text] {
            m_log += m_process.readAllStandardOutput();
            return m_process.state() == QProcess::NotRunning ||
                   (text.isEmpty() ? m_control.interface()->servicePid(m_name).value() ==
                                         uint(m_process.processId())
                                   : m_log.contains(text.toUtf8()));
        };
        if (QTest::qWaitFor(done, busTimeoutMs) && m_process.state() == QProcess::Running)
            return true;
        qWarning() << m_name << "gave up waiting for" << text << m_log
                   << m_process.readAllStandardError();
        return false;
    }
    // Whether the call succeeded; says why not.
    bool call(const QString& path, const QString& interface, const QString& method,
              const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_name, path, interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = m_control.call(message, QDBus::Block, busTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage)
            qWarning() << m_name << "failed:" << reply.errorMessage();
        return reply.type() == QDBusMessage::ReplyMessage;
    }
    void quit()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QTemporaryDir m_dir;
    QString m_name;
    QDBusConnection m_control{QString()};
    QProcess m_process;
    QByteArray m_log;
};

// logind on the system bus, org.freedesktop.ScreenSaver (at `saverPath`) and org.gnome.ScreenSaver
// on the session bus, all mocked. This user's session is c1; the locked ".../session/auto" stands
// for it.
class MockWorld final {
public:
    explicit MockWorld(const QString& saverPath)
        : m_saverPath(saverPath)
    {}

    // Connections for the watcher under test.
    const QDBusConnection systemBus = connectBus("DBUS_SYSTEM_BUS_ADDRESS");
    const QDBusConnection sessionBus = connectBus();

    // Starts the services, then brings about the `initial` cause.
    bool start(const QString& initial)
    {
        m_logind.start("DBUS_SYSTEM_BUS_ADDRESS", u"org.freedesktop.login1"_s,
                       {u"--template"_s, u"logind"_s});
        m_saver.start("DBUS_SESSION_BUS_ADDRESS", saver, {saver, m_saverPath, saver});
        m_gnome.start("DBUS_SESSION_BUS_ADDRESS", gnome, {u"--template"_s, u"gnome_screensaver"_s});
        return m_logind.waitFor() && m_saver.waitFor() && m_gnome.waitFor() &&
               addSession(u"c1"_s, false) && addSession(u"auto"_s, true) &&
               m_logind.call(sessionPath(u"auto"_s), properties, u"Set"_s,
                             {session, u"Id"_s, QVariant::fromValue(QDBusVariant(u"c1"_s))}) &&
               // GetActive and SetActive as gnome_screensaver has them.
               m_saver.call(m_saverPath, mock, u"AddMethod"_s,
                            {saver, u"GetActive"_s, QString(), u"b"_s,
                             u"ret = getattr(self, 'is_active', False)"_s}) &&
               m_saver.call(m_saverPath, mock, u"AddMethod"_s,
                            {saver, u"SetActive"_s, u"b"_s, QString(),
                             u"self.is_active = args[0]\n"
                             "self.EmitSignal('', 'ActiveChanged', 'b', args)"_s}) &&
               apply(initial);
    }

    // Once every service has been asked for its state, every signal reaches the watcher.
    bool waitUntilWatched()
    {
        return m_logind.waitFor(u"Get "_s + sessionPath(u"c1"_s) + u' ' + session +
                                u".LockedHint"_s) &&
               m_saver.waitFor(u"GetActive"_s) && m_gnome.waitFor(u"GetActive"_s);
    }

    // Brings about "sleep", "wake", "lock", "unlock", "hint on" or "hint off" (LockedHint),
    // "saver on", "saver off", "gnome on", "gnome off", "logind quits" or "saver quits".
    bool apply(const QString& cause)
    {
        const bool on = cause == u"sleep" || cause == u"lock" || cause.endsWith(u" on");
        const QString c1 = sessionPath(u"c1"_s);
        if (cause == u"sleep" || cause == u"wake") {
            return m_logind.call(
                       managerPath, properties, u"Set"_s,
                       {manager, u"PreparingForSleep"_s, QVariant::fromValue(QDBusVariant(on))}) &&
                   m_logind.call(managerPath, mock, u"EmitSignal"_s,
                                 {manager, u"PrepareForSleep"_s, u"b"_s, QVariantList{on}});
        }
        if (cause == u"lock" || cause == u"unlock")
            return m_logind.call(c1, session, on ? u"Lock"_s : u"Unlock"_s, {});
        if (cause.startsWith(u"hint"))
            return m_logind.call(c1, session, u"SetLockedHint"_s, {on});
        if (cause == u"saver on" || cause == u"saver off")
            return m_saver.call(m_saverPath, saver, u"SetActive"_s, {on});
        if (cause.startsWith(u"gnome"))
            return m_gnome.call(u"/org/gnome/ScreenSaver"_s, gnome, u"SetActive"_s, {on});
        if (cause.endsWith(u"quits"))
            (cause.startsWith(u"logind") ? m_logind : m_saver).quit();
        return cause.endsWith(u"quits");
    }

    // Returns once the watcher's connections have handed over every message that reached them.
    bool flush() { return ::flush(systemBus) && ::flush(sessionBus); }

private:
    inline static const QString managerPath = u"/org/freedesktop/login1"_s;
    inline static const QString manager = u"org.freedesktop.login1.Manager"_s;
    inline static const QString session = u"org.freedesktop.login1.Session"_s;
    inline static const QString properties = u"org.freedesktop.DBus.Properties"_s;
    inline static const QString mock = u"org.freedesktop.DBus.Mock"_s;
    inline static const QString saver = u"org.freedesktop.ScreenSaver"_s;
    inline static const QString gnome = u"org.gnome.ScreenSaver"_s;

    static QString sessionPath(const QString& id)
    {
        return u"/org/freedesktop/login1/session/"_s + id;
    }
    bool addSession(const QString& id, bool locked)
    {
        return m_logind.call(managerPath, mock, u"AddSession"_s,
                             {id, u"seat0"_s, uint(getuid()), u"user"_s, true}) &&
               (!locked || m_logind.call(sessionPath(id), session, u"SetLockedHint"_s, {true}));
    }

    const QString m_saverPath;
    DBusMock m_logind;
    DBusMock m_saver;
    DBusMock m_gnome;
};

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

const QString settings = u"org.freedesktop.portal.Settings"_s;

// A portal whose Settings methods are given as {"method": "python code"} in its parameters.
const QByteArray portalTemplate = R"py(
BUS_NAME = 'org.freedesktop.portal.Desktop'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.portal.Settings'
SYSTEM_BUS = False
def load(mock, parameters):
    for method, code in parameters.items():
        mock.AddMethod(MAIN_IFACE, method, 'ss', 'v', code)
)py";

} // namespace

// Sleep, lock and screensaver, the colour scheme and the tray item against python3-dbusmock
// services on buses of the test's own; the tray item read back as tray hosts read it.
class DBusServicesTest final : public QObject {
    Q_OBJECT

private slots:
    // A warning from Qt DBus means a method, signal or property that hosts cannot reach.
    void init() { QTest::failOnWarning(QRegularExpression(u"."_s)); }
    void presenceFollowsEveryCause_data();
    void presenceFollowsEveryCause();
    void colourSchemeFollowsTheDesktop_data();
    void colourSchemeFollowsTheDesktop();
    void trayRegistersWithEveryWatcher_data();
    void trayRegistersWithEveryWatcher();
    void trayPublishesOnlyChanges();
    void trayAnswersHostCalls_data();
    void trayAnswersHostCalls();

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

    QDBusConnection m_host = connectBus();
};

void DBusServicesTest::presenceFollowsEveryCause_data()
{
    QTest::addColumn<QString>("saverPath");    // of the org.freedesktop.ScreenSaver mock
    QTest::addColumn<QByteArray>("sessionId"); // XDG_SESSION_ID
    QTest::addColumn<bool>("startLate");       // the services start after the watcher
    QTest::addColumn<QString>("initial");      // the cause in place before the watcher looks
    QTest::addColumn<QString>("steps");        // "cause: presence expected afterwards", ...
    const QString saver = u"/org/freedesktop/ScreenSaver"_s;
    QTest::newRow("sleep at start, locked while asleep")
        << saver << "c1"_ba << false << u"sleep"_s
        << u"wake: here, hint on: away, sleep: away, wake: away, hint off: here"_s;
    // The locker that a Lock signal starts is unlocked with a password: no Unlock follows.
    QTest::newRow("LockedHint at start; the latest of Lock, Unlock and LockedHint wins")
        << saver << "c1"_ba << false << u"hint on"_s
        << u"hint off: here, lock: away, hint on: away, hint off: here, hint on: away, "
           u"unlock: here"_s;
    QTest::newRow("screensavers, at /ScreenSaver active at start")
        << u"/ScreenSaver"_s << "c1"_ba << false << u"saver on"_s
        << u"gnome on: away, saver off: away, lock: away, gnome off: away, unlock: here"_s;
    QTest::newRow("session found through .../session/auto, gnome saver at start")
        << saver << QByteArray() << false << u"gnome on"_s
        << u"gnome off: here, hint on: away, hint off: here"_s;
    QTest::newRow("services come and go")
        << saver << "c1"_ba << true << u"hint on"_s
        << u"hint off: here, saver on: away, saver quits: here, lock: away, logind quits: here"_s;
}

void DBusServicesTest::presenceFollowsEveryCause()
{
    QFETCH(QString, saverPath);
    QFETCH(QByteArray, sessionId);
    QFETCH(bool, startLate);
    QFETCH(QString, initial);
    QFETCH(QString, steps);
    sessionId.isEmpty() ? qunsetenv("XDG_SESSION_ID") : qputenv("XDG_SESSION_ID", sessionId);
    MockWorld world(saverPath);
    QVERIFY(startLate || world.start(initial));

    SessionPresence presence(world.systemBus, world.sessionBus);
    QSignalSpy spy(&presence, &SessionPresence::awayChanged);
    // Started late, the services are known to be watched once the watcher reports them on.
    QVERIFY(startLate ? world.start(initial) : world.waitUntilWatched());

    bool away = true;
    QTRY_COMPARE_WITH_TIMEOUT(presence.isAway(), away, busTimeoutMs);
    qsizetype changes = 1;
    for (const QString& step : steps.split(u", "_s)) {
        QVERIFY(world.apply(step.section(u':', 0, 0)));
        QVERIFY(world.flush());
        const bool expected = step.endsWith(u"away");
        QTRY_COMPARE_WITH_TIMEOUT(presence.isAway(), expected, busTimeoutMs);
        changes += std::exchange(away, expected) != expected ? 1 : 0;
    }
    QVERIFY(world.flush());
    QCOMPARE(spy.size(), changes);
}

void DBusServicesTest::colourSchemeFollowsTheDesktop_data()
{
    QTest::addColumn<QString>("methods"); // {"method": "Python code"}; empty: no portal at all
    QTest::addColumn<bool>("late");       // the portal starts after the reader
    QTest::addColumn<bool>("dark");       // what the reader makes of the portal's answer
    QTest::newRow("ReadOne: prefer dark")
        << uR"j({"ReadOne": "ret = dbus.UInt32(1)", "Read": "ret = 0"})j"_s << false << true;
    QTest::newRow("older portal: Read, one variant more")
        << uR"j({"Read": "ret = dbus.UInt32(1, variant_level=2)"})j"_s << false << true;
    QTest::newRow("wrong type")
        << uR"j({"ReadOne": "ret = '1'", "Read": "ret = dbus.UInt32(1)"})j"_s << false << false;
    QTest::newRow("no portal") << QString() << false << false;
    QTest::newRow("portal starts later")
        << uR"j({"ReadOne": "ret = dbus.UInt32(1)"})j"_s << true << true;
}

void DBusServicesTest::colourSchemeFollowsTheDesktop()
{
    QFETCH(QString, methods);
    QFETCH(bool, late);
    QFETCH(bool, dark);
    DBusMock mock;
    const auto startPortal = [&] {
        mock.startTemplate(u"org.freedesktop.portal.Desktop"_s, portalTemplate, methods);
        return mock.waitFor();
    };
    QVERIFY(methods.isEmpty() || late || startPortal());
    const QDBusConnection bus = connectBus();
    AppearancePortal reader(bus);
    QSignalSpy spy(&reader, &AppearancePortal::prefersDarkChanged);
    reader.start();
    QVERIFY(!late || (flush(bus) && startPortal()));
    QVERIFY(methods.isEmpty() ||
            mock.waitFor(methods.contains(u"ReadOne") ? u"ReadOne "_s : u"Read "_s));
    QVERIFY(flush(bus));
    QTRY_COMPARE_WITH_TIMEOUT(reader.prefersDark(), dark, busTimeoutMs);
    QCOMPARE(spy.size(), dark ? 1 : 0);
    if (methods.isEmpty())
        return;

    // Live changes: only the colour scheme counts, and anything but 1 (2: prefer light) is light.
    const QList<std::tuple<QString, QVariant, bool>> changes{
        {u"org.gnome.desktop.interface"_s, 1u, dark},
        {u"org.freedesktop.appearance"_s, 1u, true},
        {u"org.freedesktop.appearance"_s, 2u, false},
        {u"org.freedesktop.appearance"_s, 1u, true}};
    qsizetype changed = spy.size();
    bool before = dark;
    for (const auto& [group, value, expected] : changes) {
        QVERIFY(mock.call(u"/org/freedesktop/portal/desktop"_s, u"org.freedesktop.DBus.Mock"_s,
                          u"EmitSignal"_s,
                          {settings, u"SettingChanged"_s, u"ssv"_s,
                           QVariantList{group, u"color-scheme"_s, value}}));
        QVERIFY(flush(bus));
        QTRY_COMPARE_WITH_TIMEOUT(reader.prefersDark(), expected, busTimeoutMs);
        changed += std::exchange(before, expected) != expected ? 1 : 0;
    }
    QCOMPARE(spy.size(), changed);
}

void DBusServicesTest::trayRegistersWithEveryWatcher_data()
{
    QTest::addColumn<QString>("watcher");     // at start: "accepting", "refusing" or "none"
    QTest::addColumn<QList<bool>>("reports"); // before and after an accepting watcher restarts
    QTest::newRow("accepting") << u"accepting"_s << QList<bool>{true, false, true};
    QTest::newRow("refusing") << u"refusing"_s << QList<bool>{false, true};
    QTest::newRow("none, one comes later") << u"none"_s << QList<bool>{false, true};
}

void DBusServicesTest::trayRegistersWithEveryWatcher()
{
    QFETCH(QString, watcher);
    QFETCH(QList<bool>, reports);
    const auto startWatcher = [](DBusMock& mock, bool refuse) {
        mock.startTemplate(u"org.kde.StatusNotifierWatcher"_s, watcherTemplate,
                           refuse ? u"{\"refuse\": true}"_s : u"{}"_s);
    };
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

void DBusServicesTest::trayPublishesOnlyChanges()
{
    QDBusConnection bus = connectBus();
    StatusNotifierItem item(bus);
    const QImage plain(16, 16, QImage::Format_ARGB32);
    item.setTitle(u"今日vu 0分"_s);
    item.setIcon(u"kelvo"_s, {plain});
    item.setMenu(kelvoMenu(false));
    item.start();
    QTRY_VERIFY_WITH_TIMEOUT(!item.serviceName().isEmpty(), busTimeoutMs);
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

void DBusServicesTest::trayAnswersHostCalls_data()
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
    row("click on a checkmark, odd payload", u"Event"_s, click(u"4"_s, u"<{'x': <(1, 'y')>}>"_s),
        u"()"_s, u"clicked 4"_s);
    row("click on an unknown id", u"Event"_s, click(u"99"_s), noId);
    row("Event with a wrong signature", u"Event"_s, click(u"6"_s) << u"1"_s, u"UnknownMethod"_s);
    // Of a hover and clicks on a separator, a disabled row and the root, Kelvo hears nothing.
    row("events in a group", u"EventGroup"_s,
        {u"[(6, 'hovered', <0>, 0), (3, 'clicked', <''>, 0), (1, 'clicked', <0>, 0), "
         u"(0, 'clicked', <0>, 0), (99, 'x', <0>, 0), (6, 'clicked', <0>, 0)]"_s},
        u"([99],)"_s, u"clicked 6"_s);
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

void DBusServicesTest::trayAnswersHostCalls()
{
    QFETCH(QString, method);
    QFETCH(QStringList, arguments);
    QFETCH(QString, reply);
    QFETCH(QString, heard);
    StatusNotifierItem item(connectBus());
    item.setMenu(kelvoMenu(false));
    item.start();
    QTRY_VERIFY_WITH_TIMEOUT(!item.serviceName().isEmpty(), busTimeoutMs);
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

QTEST_GUILESS_MAIN(DBusServicesTest)
#include "test_dbusservices.moc"
