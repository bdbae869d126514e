#include "platform/x11/foregroundsession.h"
#include "platform/x11/x11appmonitor.h"
#include "platform/x11/x11connection.h"
#include "testdesktop.h"

#include <QtTest>

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

namespace {

QString text(const FrontmostAppSnapshot& snapshot)
{
    return snapshot.bundleIdentifier.value_or(u"-"_s) + u'|' +
           snapshot.localizedName.value_or(u"-"_s);
}

// Records every callback as "poll id|name" or "change id|name", in order.
void record(AppMonitor& monitor, QStringList& calls)
{
    monitor.setOnPoll([&calls](const FrontmostAppSnapshot& s) { calls << u"poll "_s + text(s); });
    monitor.setOnChange(
        [&calls](const FrontmostAppSnapshot& s) { calls << u"change "_s + text(s); });
}

TestProperties wmClass(const QByteArray& instance, const QByteArray& windowClass)
{
    return {{"WM_CLASS", "STRING", instance + '\0' + windowClass + '\0'}};
}

} // namespace

// The monitor against a real X server and window manager (with-x11-desktop.sh).
class X11AppMonitorTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void keepsTheEmissionContract();
    void activationEmitsOnceAndAtOnce();
    void windowManagerStepIsNotNoApplication();
    void readsBadWindows_data();
    void readsBadWindows();
    void survivesVanishedWindows();
    void findsProcessIds();
    void entryChangeReachesRunningMonitor();
    void reportsLostDisplay();
    void runsWithoutDisplay();
    void tellsWaylandSessions_data();
    void tellsWaylandSessions();

private:
    TestDesktop m_desktop;
    xcb_window_t m_alpha = 0;
    xcb_window_t m_beta = 0;
};

void X11AppMonitorTest::initTestCase()
{
    QVERIFY2(m_desktop.isConnected(), "run under with-x11-desktop.sh");
    // Written before anything asks GIO, so every entry is known from the first lookup on.
    QVERIFY(writeDesktopEntry(u"org.example.Writer"_s, "[Desktop Entry]\nType=Application\n"
                                                       "Name=Writer\nExec=true\n"));
    QVERIFY(writeDesktopEntry(u"org.example.Viewer"_s, "[Desktop Entry]\nType=Application\n"
                                                       "Name=Viewer\nExec=true\n"));
    QVERIFY(
        writeDesktopEntry(u"live"_s, "[Desktop Entry]\nType=Application\nName=Old\nExec=true\n"));
    m_alpha = m_desktop.createWindow(wmClass("alpha", "Alpha"));
    m_beta = m_desktop.createWindow(wmClass("beta", "Beta"));
}

void X11AppMonitorTest::keepsTheEmissionContract()
{
    QVERIFY(m_desktop.activate(m_alpha));
    X11AppMonitor monitor;
    QVERIFY(monitor.isConnected());
    QStringList calls;
    record(monitor, calls);
    monitor.start();
    QCOMPARE(calls, QStringList({u"poll alpha|Alpha"_s, u"change alpha|Alpha"_s}));
    monitor.emitCurrentSnapshot();
    monitor.stop();
    monitor.start();
    QCOMPARE(calls.mid(2), QStringList({u"poll alpha|Alpha"_s, u"poll alpha|Alpha"_s}));

    monitor.stop();
    calls.clear();
    QVERIFY(m_desktop.activate(m_beta));
    QTest::qWait(100);
    QCOMPARE(calls, QStringList());
    monitor.start();
    QCOMPARE(calls, QStringList({u"poll beta|Beta"_s, u"change beta|Beta"_s}));
}

void X11AppMonitorTest::activationEmitsOnceAndAtOnce()
{
    QVERIFY(m_desktop.activate(m_alpha));
    X11AppMonitor monitor;
    QStringList calls;
    record(monitor, calls);
    monitor.start();
    monitor.start();
    calls.clear();
    QVERIFY(m_desktop.activate(m_beta));
    QElapsedTimer sinceActivation;
    sinceActivation.start();
    QTRY_VERIFY_WITH_TIMEOUT(calls.contains(u"change beta|Beta"_s), 1500);
    QVERIFY2(sinceActivation.elapsed() < 500, "the activation waited for the poll");
    QTest::qWait(300);
    QCOMPARE(calls, QStringList({u"poll beta|Beta"_s, u"change beta|Beta"_s}));
}

void X11AppMonitorTest::windowManagerStepIsNotNoApplication()
{
    QVERIFY(m_desktop.activate(m_alpha));
    X11AppMonitor monitor;
    QStringList calls;
    record(monitor, calls);
    monitor.start();
    const auto setActive = [this](xcb_window_t window) {
        m_desktop.setProperty(m_desktop.root(), {"_NET_ACTIVE_WINDOW", "WINDOW", cardinal(window)});
    };
    setActive(0);
    QTest::qWait(20);
    setActive(m_beta);
    QTRY_VERIFY(calls.contains(u"change beta|Beta"_s));
    QVERIFY2(!calls.contains(u"change -|-"_s), qPrintable(calls.join(u", ")));

    setActive(0);
    QTRY_VERIFY_WITH_TIMEOUT(calls.endsWith(u"change -|-"_s), 1000);
}

void X11AppMonitorTest::readsBadWindows_data()
{
    QTest::addColumn<TestProperties>("properties");
    QTest::addColumn<QString>("expected");
    const QByteArray mib(1 << 20, 'a');
    QTest::newRow("application id names an entry")
        << TestProperties{{"_GTK_APPLICATION_ID", "UTF8_STRING", "org.example.Writer"},
                          wmClass("writer", "Writer-app").first()}
        << u"org.example.Writer|Writer"_s;
    QTest::newRow("KDE desktop file names an entry")
        << TestProperties{{"_KDE_NET_WM_DESKTOP_FILE", "UTF8_STRING", "org.example.Viewer"}}
        << u"org.example.Viewer|Viewer"_s;
    QTest::newRow("without WM_CLASS") << TestProperties{} << u"-|-"_s;
    QTest::newRow("Latin-1 WM_CLASS") << wmClass("caf\xe9", "Caf\xe9") << u"café|Café"_s;
    QTest::newRow("bad UTF-8") << TestProperties{{"WM_CLASS", "UTF8_STRING",
                                                  "bad\xff\0Bad\xc3\0"_ba}}
                               << u"bad\uFFFD|Bad\uFFFD"_s;
    QTest::newRow("1 MiB WM_CLASS is read up to a bound")
        << wmClass(mib, "Huge") << QString(4096, u'a') + u"|-"_s;
    QTest::newRow("1 MiB WM_NAME")
        << TestProperties{{"WM_NAME", "STRING", mib}, wmClass("big", "Big").first()}
        << u"big|Big"_s;
}

void X11AppMonitorTest::readsBadWindows()
{
    QFETCH(TestProperties, properties);
    QFETCH(QString, expected);
    const xcb_window_t window = m_desktop.createWindow(properties);
    QVERIFY(m_desktop.activate(window));
    X11AppMonitor monitor;
    QStringList calls;
    record(monitor, calls);
    monitor.emitCurrentSnapshot();
    m_desktop.destroyWindow(window);
    QCOMPARE(calls.value(0), u"poll "_s + expected);
}

void X11AppMonitorTest::survivesVanishedWindows()
{
    QVERIFY(m_desktop.activate(m_alpha));
    X11AppMonitor monitor;
    QStringList calls;
    record(monitor, calls);
    monitor.start();
    m_desktop.setProperty(m_desktop.root(),
                          {"_NET_ACTIVE_WINDOW", "WINDOW", cardinal(m_desktop.unusedWindowId())});
    monitor.emitCurrentSnapshot();
    QCOMPARE(calls.last(), u"change -|-"_s);

    const xcb_window_t window = m_desktop.createWindow(wmClass("gone", "Gone"));
    QVERIFY(m_desktop.activate(window));
    m_desktop.destroyWindow(window);
    for (int i = 0; i < 20; ++i)
        monitor.emitCurrentSnapshot();
    QVERIFY(m_desktop.activate(m_beta));
    monitor.emitCurrentSnapshot();
    QCOMPARE(text(monitor.lastSnapshot().value_or(FrontmostAppSnapshot{})), u"beta|Beta"_s);
    QVERIFY(monitor.isConnected());
}

void X11AppMonitorTest::findsProcessIds()
{
    X11Connection x11;
    const xcb_window_t own = m_desktop.createWindow(wmClass("own", "Own"));
    QVERIFY(!x11.windowFacts(own).pid);
    QCOMPARE(x11.clientPid(own).value_or(0), QCoreApplication::applicationPid());
    m_desktop.setProperty(own, {"_NET_WM_PID", "CARDINAL", cardinal(4242)});
    QCOMPARE(x11.windowFacts(own).pid.value_or(0), 4242);
    m_desktop.destroyWindow(own);

    QProcess xmessage;
    xmessage.start(u"xmessage"_s, {u"-name"_s, u"kelvo-probe"_s, u"probe"_s});
    QVERIFY(xmessage.waitForStarted());
    QProcess search;
    search.start(u"xdotool"_s, {u"search"_s, u"--sync"_s, u"--classname"_s, u"kelvo-probe"_s});
    QVERIFY(search.waitForFinished(5000));
    const auto window = std::uint32_t(search.readAllStandardOutput().split('\n').value(0).toUInt());
    QCOMPARE(x11.windowFacts(window).instance.value_or(QString()), u"kelvo-probe"_s);
    QCOMPARE(x11.clientPid(window).value_or(0), xmessage.processId());
    xmessage.kill();
    xmessage.waitForFinished();
}

// Also run with QT_NO_GLIB=1, where the monitor has to deliver GIO's change notices itself.
void X11AppMonitorTest::entryChangeReachesRunningMonitor()
{
    const xcb_window_t window = m_desktop.createWindow(wmClass("live", "Live"));
    QVERIFY(m_desktop.activate(window));
    X11AppMonitor monitor;
    QStringList calls;
    record(monitor, calls);
    monitor.start();
    QCOMPARE(calls.last(), u"change live|Old"_s);
    QVERIFY(
        writeDesktopEntry(u"live"_s, "[Desktop Entry]\nType=Application\nName=New\nExec=true\n"));
    QTRY_COMPARE_WITH_TIMEOUT(calls.last(), u"change live|New"_s, 6000);
    m_desktop.destroyWindow(window);
}

void X11AppMonitorTest::reportsLostDisplay()
{
    QProcess xvfb;
    xvfb.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s});
    QVERIFY(xvfb.waitForReadyRead(10000));
    const QByteArray ownDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", ':' + xvfb.readLine().trimmed());
    X11AppMonitor monitor;
    qputenv("DISPLAY", ownDisplay);
    QVERIFY(monitor.isConnected());
    QStringList calls;
    record(monitor, calls);
    monitor.start();
    QSignalSpy lost(&monitor, &X11AppMonitor::displayLost);

    xvfb.terminate();
    QVERIFY(xvfb.waitForFinished(10000));
    monitor.emitCurrentSnapshot(); // writes to the dead connection before noticing it
    QVERIFY(lost.wait(3000));
    QVERIFY(!monitor.isConnected());
    monitor.start();
    calls.clear();
    QTest::qWait(2300);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(calls, QStringList());
}

void X11AppMonitorTest::runsWithoutDisplay()
{
    const QByteArray ownDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":9999");
    X11AppMonitor monitor;
    qputenv("DISPLAY", ownDisplay);
    QVERIFY(!monitor.isConnected());
    QStringList calls;
    record(monitor, calls);
    monitor.start();
    monitor.start();
    monitor.stop();
    QCOMPARE(calls, QStringList({u"poll -|-"_s, u"change -|-"_s, u"poll -|-"_s}));
}

void X11AppMonitorTest::tellsWaylandSessions_data()
{
    QTest::addColumn<QString>("sessionType");
    QTest::addColumn<QString>("waylandDisplay");
    QTest::addColumn<bool>("wayland");
    QTest::newRow("X11") << u"x11"_s << QString() << false;
    QTest::newRow("Wayland") << u"wayland"_s << QString() << true;
    QTest::newRow("Wayland display only") << QString() << u"wayland-0"_s << true;
    QTest::newRow("X11 type, Wayland display") << u"x11"_s << u"wayland-1"_s << true;
    QTest::newRow("empty Wayland display") << u"tty"_s << u""_s << false;
    QTest::newRow("nothing set") << QString() << QString() << false;
}

void X11AppMonitorTest::tellsWaylandSessions()
{
    QFETCH(QString, sessionType);
    QFETCH(QString, waylandDisplay);
    QFETCH(bool, wayland);
    QProcessEnvironment environment;
    if (!sessionType.isNull())
        environment.insert(u"XDG_SESSION_TYPE"_s, sessionType);
    if (!waylandDisplay.isNull())
        environment.insert(u"WAYLAND_DISPLAY"_s, waylandDisplay);
    QCOMPARE(isWaylandSession(environment), wayland);
}

QTEST_GUILESS_MAIN(X11AppMonitorTest)
#include "test_x11appmonitor.moc"
