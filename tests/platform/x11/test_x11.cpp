#include "model/snapshot.h"
#include "platform/privatebus.h"
#include "platform/wayland/toplevelfacts.h"
#include "platform/x11/appidentityresolver.h"
#include "platform/x11/x11appmonitor.h"
#include "platform/x11/x11connection.h"

#include <xcb/xcb.h>

#include <cstdlib>

using namespace kelvo;

namespace {

// A property to put on a test window: its name, type and bytes (format 32 for CARDINAL and
// WINDOW, else 8).
struct TestProperty {
    QByteArray name;
    QByteArray type;
    QByteArray bytes;
};
using TestProperties = QList<TestProperty>;

QByteArray cardinal(std::uint32_t value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}

// Windows of the test's own on the display.
class TestDesktop final {
public:
    TestDesktop()
        : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection) == 0)
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~TestDesktop() { xcb_disconnect(m_connection); }

    bool isConnected() const { return m_root != 0; }

    xcb_window_t createWindow(const TestProperties& properties)
    {
        const xcb_window_t window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 200, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        for (const TestProperty& property : properties)
            setProperty(window, property);
        xcb_map_window(m_connection, window);
        // The window manager brings a new window to the front, though not while it starts up;
        // waited for, so that doing so cannot overtake a later activation of another window.
        [[maybe_unused]] const bool shown =
            QTest::qWaitFor([&] { return activeWindow() == window; });
        return window;
    }

    void setProperty(xcb_window_t window, const TestProperty& property)
    {
        const bool cardinal = property.type == "CARDINAL" || property.type == "WINDOW";
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom(property.name),
                            atom(property.type), cardinal ? 32 : 8,
                            std::uint32_t(property.bytes.size() / (cardinal ? 4 : 1)),
                            property.bytes.constData());
        sync();
    }

    // Sets _NET_ACTIVE_WINDOW behind the window manager's back.
    void setActiveWindow(xcb_window_t window)
    {
        setProperty(m_root, {"_NET_ACTIVE_WINDOW", "WINDOW", cardinal(window)});
    }

    // A window id that names no window.
    xcb_window_t unusedWindowId() { return xcb_generate_id(m_connection); }

    xcb_window_t activeWindow()
    {
        const auto cookie = xcb_get_property(m_connection, 0, m_root, atom("_NET_ACTIVE_WINDOW"),
                                             XCB_ATOM_WINDOW, 0, 1);
        xcb_get_property_reply_t* reply = xcb_get_property_reply(m_connection, cookie, nullptr);
        xcb_window_t window = 0;
        if (reply && xcb_get_property_value_length(reply) == 4)
            window = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
        std::free(reply);
        return window;
    }

    // Brings the window to the front the way a pager does, and waits until it is there.
    bool activate(xcb_window_t window)
    {
        QProcess xdotool;
        xdotool.start(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, QString::number(window)});
        return xdotool.waitForFinished(5000) && xdotool.exitStatus() == QProcess::NormalExit &&
               xdotool.exitCode() == 0 && QTest::qWaitFor([&] { return activeWindow() == window; });
    }

private:
    xcb_atom_t atom(const QByteArray& name)
    {
        const auto cookie =
            xcb_intern_atom(m_connection, 0, std::uint16_t(name.size()), name.constData());
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(m_connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return result;
    }

    // The server serves its clients in any order: a round trip makes sure that what this
    // connection asked for is done before another connection looks.
    void sync()
    {
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_root = 0;
};

// Installs (replaces) a desktop entry with these keys in $XDG_DATA_HOME/applications.
bool writeDesktopEntry(const QString& id, const QByteArray& keys)
{
    return writeFile(qEnvironmentVariable("XDG_DATA_HOME") + u"/applications/"_s + id +
                         u".desktop"_s,
                     "[Desktop Entry]\nType=Application\nExec=true\n" + keys);
}

// A snapshot as "id|name", with "-" for what is absent.
QString text(const FrontmostAppSnapshot& snapshot)
{
    return snapshot.bundleIdentifier.value_or(u"-"_s) + u'|' +
           snapshot.localizedName.value_or(u"-"_s);
}

QString last(const AppMonitor& monitor)
{
    return text(monitor.lastSnapshot().value_or(FrontmostAppSnapshot{}));
}

TestProperties wmClass(const QByteArray& instance, const QByteArray& windowClass)
{
    return {{"WM_CLASS", "STRING", instance + '\0' + windowClass + '\0'}};
}

} // namespace

// The identity chain against desktop entries of the test's own (the system's are hidden), and
// the monitor against a real X server and window manager.
class X11Test final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void followsTheChain_data();
    void followsTheChain();
    void cachesUntilEntriesChange();
    void followsActivations();
    void readsBadWindows_data();
    void readsBadWindows();
    void readsProcessIds();
    void entryChangeReachesRunningMonitor();

private:
    QTemporaryDir m_root;
    QString m_proc = m_root.path() + u"/proc"_s;
    TestDesktop m_desktop;
};

void X11Test::initTestCase()
{
    QVERIFY2(m_desktop.isConnected(), "run under tests/support/desktop.sh --display --home");
    // Before the first GIO call: GLib reads these once. Localised names follow LC_ALL.
    qputenv("XDG_DATA_DIRS", (m_root.path() + u"/none"_s).toUtf8());
    qputenv("LC_ALL", "zh_CN.UTF-8");
    qunsetenv("LANGUAGE");
    const QList<std::pair<QString, QByteArray>> entries{
        {u"org.example.Writer"_s, "Name=Writer\n"},
        {u"chat-desktop"_s, "Name=ChatGPT\nStartupWMClass=ChatGPT-Desktop\n"},
        {u"browser"_s, "Name=Browser\nStartupWMClass=Browser\n"},
        {u"webapp-claude"_s, "Name=Claude\nStartupWMClass=crx_claude\n"},
        {u"notes"_s, "Name=Notes\n"},
        {u"localised"_s, "Name=Assistant\nName[de]=Assistent\nName[zh_CN]=助手\n"},
        {u"broken"_s, "StartupWMClass=Broken\n\xff\xfe\0[[[\n"_ba},
        {u"org.example.Sandboxed"_s, "Name=Sandboxed\n"},
        {u"cachetest"_s, "Name=Before\n"},
        {u"org.example.Viewer"_s, "Name=Viewer\n"},
        {u"live"_s, "Name=Old\n"}};
    for (const auto& [id, keys] : entries)
        QVERIFY(writeDesktopEntry(id, keys));
    const QList<std::pair<QString, QByteArray>> procFiles{
        {u"100/root/.flatpak-info"_s, "[Runtime]\nname=org.freedesktop.Platform\n\n"
                                      "[Application]\n name = org.example.Sandboxed \n"},
        {u"200/cgroup"_s,
         "12:pids:/user.slice\n1:name=systemd:/user.slice/snap.snapper.app.0d1c.scope\n"},
        {u"300/cgroup"_s, "0::/user.slice/session-2.scope\n"},
        {u"400/root/.flatpak-info"_s, "[Application]\nname=../../etc\n"},
        {u"400/cgroup"_s, "0::/app.slice/mysnap.foo.bar\n"}};
    for (const auto& [file, content] : procFiles)
        QVERIFY(writeFile(m_proc + u'/' + file, content));
}

void X11Test::followsTheChain_data()
{
    QTest::addColumn<WindowFacts>("window"); // window, instance, class, GTK id, KDE file, pid
    QTest::addColumn<qint64>("resourcePid"); // what the X Resource extension would say; 0: none
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("asksForPid");
    const QString kdeFile = u"/usr/share/applications/org.example.Writer.desktop"_s;
    QTest::newRow("GTK application id first")
        << WindowFacts{1, u"crx_claude"_s, u"Browser"_s, u"org.example.Writer"_s, {}, {}} << 0ll
        << u"org.example.Writer|Writer"_s << false;
    QTest::newRow("KDE desktop file as a path, after an id without an entry")
        << WindowFacts{1, u"notes"_s, u"Notes"_s, u"org.example.Missing"_s, kdeFile, {}} << 0ll
        << u"org.example.Writer|Writer"_s << false;
    QTest::newRow("StartupWMClass of the instance before the class's")
        << WindowFacts{1, u"crx_claude"_s, u"Browser"_s, {}, {}, {}} << 0ll
        << u"webapp-claude|Claude"_s << false;
    QTest::newRow("StartupWMClass of the class before file names")
        << WindowFacts{1, u"notes"_s, u"ChatGPT-Desktop"_s, {}, {}, {}} << 0ll
        << u"chat-desktop|ChatGPT"_s << false;
    QTest::newRow("lower-cased class as a file name, before the sandbox")
        << WindowFacts{1, u"main"_s, u"Notes"_s, {}, {}, 100} << 0ll << u"notes|Notes"_s << false;
    QTest::newRow("localised Name") << WindowFacts{1, u"localised"_s, u"Localised"_s, {}, {}, {}}
                                    << 0ll << u"localised|助手"_s << false;
    QTest::newRow("Flatpak id from _NET_WM_PID")
        << WindowFacts{1, u"weird"_s, u"Weird"_s, {}, {}, 100} << 300ll
        << u"org.example.Sandboxed|Sandboxed"_s << false;
    QTest::newRow("Snap name from the X Resource extension")
        << WindowFacts{1, u"snappy"_s, u"Snappy"_s, {}, {}, {}} << 200ll << u"snapper|Snappy"_s
        << true;
    QTest::newRow("unparsable entry skipped, process outside any sandbox")
        << WindowFacts{1, u"broken"_s, u"Broken"_s, {}, {}, {}} << 300ll << u"broken|Broken"_s
        << true;
    QTest::newRow("Flatpak name that is no id, \"snap.\" inside a name")
        << WindowFacts{1, u"odd"_s, u"Odd"_s, {}, {}, 400} << 0ll << u"odd|Odd"_s << false;
    // Wayland app ids, which are all a toplevel tells.
    const auto wayland = [](const QByteArray& appId) {
        return toplevelFacts(7, appId);
    };
    QTest::newRow("app id: desktop-entry id, case kept")
        << wayland("org.example.Writer") << 0ll << u"org.example.Writer|Writer"_s << false;
    QTest::newRow("app id: mixed case, as StartupWMClass")
        << wayland("ChatGPT-Desktop") << 0ll << u"chat-desktop|ChatGPT"_s << false;
    QTest::newRow("app id: no entry") << wayland("foot") << 0ll << u"foot|foot"_s << true;
    QTest::newRow("app id: control characters and 100 KB, cut")
        << wayland("\x01 term\x1b[0m\t\n" + QByteArray(100'000, 'x')) << 0ll
        << u"term[0m"_s + QString(248, u'x') + u'|' + u"term[0m"_s + QString(248, u'x') << true;
    QTest::newRow("app id: empty, or nothing but control characters")
        << wayland("\x7f\x1b") << 0ll << u"-|-"_s << true;
}

void X11Test::followsTheChain()
{
    QFETCH(WindowFacts, window);
    QFETCH(qint64, resourcePid);
    QFETCH(QString, expected);
    QFETCH(bool, asksForPid);
    AppIdentityResolver resolver(m_proc);
    bool asked = false;
    const auto pid = [&]() -> std::optional<qint64> {
        asked = true;
        return resourcePid ? std::optional(resourcePid) : std::nullopt;
    };
    QCOMPARE(text(resolver.resolve(window, pid)), expected);
    QCOMPARE(asked, asksForPid);
}

// Entries are read again once their folder changes, and only then.
void X11Test::cachesUntilEntriesChange()
{
    AppIdentityResolver resolver(m_proc);
    const auto resolve = [&resolver] {
        return text(resolver.resolve({1, u"cachetest"_s, u"CacheTest"_s, {}, {}, {}})) + u' ' +
               text(resolver.resolve({2, u"late-main"_s, u"LateClass"_s, {}, {}, {}}));
    };
    QCOMPARE(resolve(), u"cachetest|Before late-main|LateClass"_s);
    QVERIFY(writeDesktopEntry(u"cachetest"_s, "Name=After\n"));
    QVERIFY(writeDesktopEntry(u"late"_s, "Name=Late\nStartupWMClass=LateClass\n"));
    // Without the folder-change notice (no event loop has run), nothing is read again.
    QCOMPARE(resolve(), u"cachetest|Before late-main|LateClass"_s);
    QTRY_COMPARE(resolve(), u"cachetest|After late|Late"_s);
}

// Started (twice), the monitor reports at once; then each activation once, without waiting for
// the poll. The window manager's brief step through "no window" on its way to the next one is
// not reported; a lasting one is. Stopped, it reports nothing.
void X11Test::followsActivations()
{
    const xcb_window_t alpha = m_desktop.createWindow(wmClass("alpha", "Alpha"));
    const xcb_window_t beta = m_desktop.createWindow(wmClass("beta", "Beta"));
    QVERIFY(m_desktop.activate(alpha));
    X11AppMonitor monitor;
    QStringList calls; // "poll id|name" or "change id|name", in order
    monitor.setOnPoll([&calls](const FrontmostAppSnapshot& s) { calls << u"poll "_s + text(s); });
    monitor.setOnChange(
        [&calls](const FrontmostAppSnapshot& s) { calls << u"change "_s + text(s); });
    monitor.start();
    monitor.start();
    QCOMPARE(calls.join(u", "), u"poll alpha|Alpha, change alpha|Alpha, poll alpha|Alpha"_s);
    calls.clear();
    QVERIFY(m_desktop.activate(beta));
    QElapsedTimer sinceActivation;
    sinceActivation.start();
    QTRY_VERIFY_WITH_TIMEOUT(calls.contains(u"change beta|Beta"_s), 1500);
    QVERIFY2(sinceActivation.elapsed() < 500, "the activation waited for the poll");
    QTest::qWait(300);
    QCOMPARE(calls.join(u", "), u"poll beta|Beta, change beta|Beta"_s);

    m_desktop.setActiveWindow(0);
    QTest::qWait(20);
    m_desktop.setActiveWindow(alpha);
    QTRY_VERIFY(calls.contains(u"change alpha|Alpha"_s));
    QVERIFY2(!calls.contains(u"change -|-"_s), qPrintable(calls.join(u", ")));
    m_desktop.setActiveWindow(0);
    QTRY_VERIFY_WITH_TIMEOUT(calls.contains(u"change -|-"_s), 1000);
    // A window that has gone reads as none, and the errors that causes upset no later reply.
    m_desktop.setActiveWindow(m_desktop.unusedWindowId());
    monitor.emitCurrentSnapshot();
    QCOMPARE(calls.last(), u"poll -|-"_s);

    monitor.stop();
    calls.clear();
    m_desktop.setActiveWindow(beta);
    QTest::qWait(100);
    QCOMPARE(calls, QStringList());
    monitor.start();
    QCOMPARE(calls.join(u", "), u"poll beta|Beta, change beta|Beta"_s);
}

void X11Test::readsBadWindows_data()
{
    QTest::addColumn<TestProperties>("properties");
    QTest::addColumn<QString>("expected");
    QTest::newRow("application id names an entry")
        << TestProperties{{"_GTK_APPLICATION_ID", "UTF8_STRING", "org.example.Writer"},
                          wmClass("writer", "Writer-app").first()}
        << u"org.example.Writer|Writer"_s;
    QTest::newRow("KDE desktop file names an entry")
        << TestProperties{{"_KDE_NET_WM_DESKTOP_FILE", "UTF8_STRING", "org.example.Viewer"}}
        << u"org.example.Viewer|Viewer"_s;
    QTest::newRow("Latin-1 WM_CLASS") << wmClass("caf\xe9", "Caf\xe9") << u"café|Café"_s;
    QTest::newRow("bad UTF-8") << TestProperties{{"WM_CLASS", "UTF8_STRING",
                                                  "bad\xff\0Bad\xc3\0"_ba}}
                               << u"bad\uFFFD|Bad\uFFFD"_s;
    QTest::newRow("1 MiB WM_CLASS is read up to a bound")
        << wmClass(QByteArray(1 << 20, 'a'), "Huge") << QString(4096, u'a') + u"|-"_s;
}

void X11Test::readsBadWindows()
{
    QFETCH(TestProperties, properties);
    QFETCH(QString, expected);
    const xcb_window_t window = m_desktop.createWindow(properties);
    QVERIFY(m_desktop.activate(window));
    X11AppMonitor monitor;
    monitor.emitCurrentSnapshot();
    QCOMPARE(last(monitor), expected);
}

void X11Test::readsProcessIds()
{
    X11Connection x11;
    const xcb_window_t own = m_desktop.createWindow({{"_NET_WM_PID", "CARDINAL", cardinal(4242)}});
    QCOMPARE(x11.windowFacts(own).pid.value_or(0), 4242);
    QCOMPARE(x11.clientPid(own).value_or(0), QCoreApplication::applicationPid());
}

// Also run with QT_NO_GLIB=1, where the monitor has to deliver GIO's change notices itself.
void X11Test::entryChangeReachesRunningMonitor()
{
    const xcb_window_t window = m_desktop.createWindow(wmClass("live", "Live"));
    QVERIFY(m_desktop.activate(window));
    X11AppMonitor monitor;
    monitor.start();
    QCOMPARE(last(monitor), u"live|Old"_s);
    QVERIFY(writeDesktopEntry(u"live"_s, "Name=New\n"));
    // Through the 2-second poll.
    QTRY_COMPARE_WITH_TIMEOUT(last(monitor), u"live|New"_s, 6000);
}

QTEST_GUILESS_MAIN(X11Test)
#include "test_x11.moc"
