#include "platform/x11/x11appmonitor.h"
#include "platform/x11/x11connection.h"
#include "testdesktop.h"

#include <QtTest>

using namespace kelvo;

namespace {

// Records every callback as "poll id|name" or "change id|name", in order.
void record(AppMonitor& monitor, QStringList& calls)
{
    monitor.setOnPoll([&calls](const FrontmostAppSnapshot& s) { calls << u"poll "_s + text(s); });
    monitor.setOnChange(
        [&calls](const FrontmostAppSnapshot& s) { calls << u"change "_s + text(s); });
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

// The monitor against a real X server and window manager.
class X11AppMonitorTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void followsActivations();
    void readsBadWindows_data();
    void readsBadWindows();
    void readsProcessIds();
    void entryChangeReachesRunningMonitor();

private:
    TestDesktop m_desktop;
    xcb_window_t m_alpha = 0;
    xcb_window_t m_beta = 0;
};

void X11AppMonitorTest::initTestCase()
{
    QVERIFY2(m_desktop.isConnected(), "run under tests/support/desktop.sh --display --home");
    // Before anything asks GIO, which reads these once: the only entries are the test's own.
    qputenv("XDG_DATA_DIRS", QFile::encodeName(qEnvironmentVariable("HOME") + u"/none"_s));
    QVERIFY(writeDesktopEntry(u"org.example.Writer"_s, "Name=Writer\n"));
    QVERIFY(writeDesktopEntry(u"org.example.Viewer"_s, "Name=Viewer\n"));
    QVERIFY(writeDesktopEntry(u"live"_s, "Name=Old\n"));
    m_alpha = m_desktop.createWindow(wmClass("alpha", "Alpha"));
    m_beta = m_desktop.createWindow(wmClass("beta", "Beta"));
}

// Started (twice), the monitor reports at once; then each activation once, without waiting for
// the poll. The window manager's brief step through "no window" on its way to the next one is
// not reported; a lasting one is. Stopped, it reports nothing.
void X11AppMonitorTest::followsActivations()
{
    QVERIFY(m_desktop.activate(m_alpha));
    X11AppMonitor monitor;
    QStringList calls;
    record(monitor, calls);
    monitor.start();
    monitor.start();
    QCOMPARE(calls.join(u", "), u"poll alpha|Alpha, change alpha|Alpha, poll alpha|Alpha"_s);
    calls.clear();
    QVERIFY(m_desktop.activate(m_beta));
    QElapsedTimer sinceActivation;
    sinceActivation.start();
    QTRY_VERIFY_WITH_TIMEOUT(calls.contains(u"change beta|Beta"_s), 1500);
    QVERIFY2(sinceActivation.elapsed() < 500, "the activation waited for the poll");
    QTest::qWait(300);
    QCOMPARE(calls.join(u", "), u"poll beta|Beta, change beta|Beta"_s);

    m_desktop.setActiveWindow(0);
    QTest::qWait(20);
    m_desktop.setActiveWindow(m_alpha);
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
    m_desktop.setActiveWindow(m_beta);
    QTest::qWait(100);
    QCOMPARE(calls, QStringList());
    monitor.start();
    QCOMPARE(calls.join(u", "), u"poll beta|Beta, change beta|Beta"_s);
}

void X11AppMonitorTest::readsBadWindows_data()
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

void X11AppMonitorTest::readsBadWindows()
{
    QFETCH(TestProperties, properties);
    QFETCH(QString, expected);
    const xcb_window_t window = m_desktop.createWindow(properties);
    QVERIFY(m_desktop.activate(window));
    X11AppMonitor monitor;
    monitor.emitCurrentSnapshot();
    m_desktop.destroyWindow(window);
    QCOMPARE(last(monitor), expected);
}

void X11AppMonitorTest::readsProcessIds()
{
    X11Connection x11;
    const xcb_window_t own = m_desktop.createWindow({{"_NET_WM_PID", "CARDINAL", cardinal(4242)}});
    QCOMPARE(x11.windowFacts(own).pid.value_or(0), 4242);
    QCOMPARE(x11.clientPid(own).value_or(0), QCoreApplication::applicationPid());
    m_desktop.destroyWindow(own);
}

// Also run with QT_NO_GLIB=1, where the monitor has to deliver GIO's change notices itself.
void X11AppMonitorTest::entryChangeReachesRunningMonitor()
{
    const xcb_window_t window = m_desktop.createWindow(wmClass("live", "Live"));
    QVERIFY(m_desktop.activate(window));
    X11AppMonitor monitor;
    monitor.start();
    QCOMPARE(last(monitor), u"live|Old"_s);
    QVERIFY(writeDesktopEntry(u"live"_s, "Name=New\n"));
    // Through the 2-second poll.
    QTRY_COMPARE_WITH_TIMEOUT(last(monitor), u"live|New"_s, 6000);
    m_desktop.destroyWindow(window);
}

QTEST_GUILESS_MAIN(X11AppMonitorTest)
#include "test_x11appmonitor.moc"
