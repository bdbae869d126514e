#include "platform/x11/appidentityresolver.h"
#include "platform/x11/sandboxidentity.h"
#include "testdesktop.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

namespace {

WindowFacts facts(const QString& instance, const QString& windowClass, qint64 pid = 0)
{
    return {1, instance, windowClass, {}, {}, pid ? std::optional(pid) : std::nullopt};
}

} // namespace

// The identity chain against desktop entries of the test's own (the system's are hidden).
class AppIdentityTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void followsTheChain_data();
    void followsTheChain();
    void cachesUntilEntriesChange();
    void readsSandboxFiles_data();
    void readsSandboxFiles();

private:
    QTemporaryDir m_root;
    QString m_proc;
};

void AppIdentityTest::initTestCase()
{
    // Before the first GIO call: GLib reads these once. Localised names follow LC_ALL.
    QVERIFY(QDir(m_root.path()).mkpath(u"empty"_s));
    qputenv("XDG_DATA_HOME", (m_root.path() + u"/data"_s).toUtf8());
    qputenv("XDG_DATA_DIRS", (m_root.path() + u"/empty"_s).toUtf8());
    qputenv("LC_ALL", "zh_CN.UTF-8");
    qunsetenv("LANGUAGE");
    QVERIFY(writeDesktopEntry(u"org.example.Writer"_s, entry("Name=Writer\n")));
    QVERIFY(writeDesktopEntry(u"chat-desktop"_s,
                              entry("Name=ChatGPT\nStartupWMClass=ChatGPT-Desktop\n")));
    QVERIFY(writeDesktopEntry(u"browser"_s, entry("Name=Browser\nStartupWMClass=Browser\n")));
    QVERIFY(
        writeDesktopEntry(u"webapp-claude"_s, entry("Name=Claude\nStartupWMClass=crx_claude\n")));
    QVERIFY(writeDesktopEntry(u"notes"_s, entry("Name=Notes\n")));
    QVERIFY(writeDesktopEntry(u"localised"_s, entry("Name=Assistant\nName[de]=Assistent\n"
                                                    "Name[zh_CN]=助手\n")));
    QVERIFY(writeDesktopEntry(u"broken"_s, "\xff\xfe\0[[[ StartupWMClass=Broken\n"_ba));
    QVERIFY(
        writeDesktopEntry(u"broken2"_s, "StartupWMClass=Broken\nName=Broken\n[Desktop Entry\n"));
    QVERIFY(writeDesktopEntry(u"org.example.Sandboxed"_s, entry("Name=Sandboxed\n")));
    QVERIFY(writeDesktopEntry(u"cachetest"_s, entry("Name=Before\n")));

    m_proc = m_root.path() + u"/proc"_s;
    QVERIFY(writeFile(m_proc + u"/100/root/.flatpak-info"_s,
                      "[Application]\nname=org.example.Sandboxed\n"));
    QVERIFY(
        writeFile(m_proc + u"/200/cgroup"_s, "0::/user.slice/app.slice/snap.snapper.app.scope\n"));
    QVERIFY(writeFile(m_proc + u"/300/cgroup"_s, "0::/user.slice/session-2.scope\n"));
}

void AppIdentityTest::followsTheChain_data()
{
    QTest::addColumn<WindowFacts>("window");
    QTest::addColumn<qint64>("resourcePid"); // what the X Resource extension would say; 0: none
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("asksForPid");
    WindowFacts gtk = facts(u"writer"_s, u"Writer-app"_s);
    gtk.gtkApplicationId = u"org.example.Writer"_s;
    WindowFacts kde = facts(u"writer"_s, u"Writer-app"_s);
    kde.kdeDesktopFile = u"/usr/share/applications/org.example.Writer.desktop"_s;
    WindowFacts missing = facts(u"main"_s, u"Notes"_s);
    missing.gtkApplicationId = u"org.example.Missing"_s;
    QTest::newRow("GTK application id") << gtk << 0ll << u"org.example.Writer|Writer"_s << false;
    QTest::newRow("KDE desktop file as a path")
        << kde << 0ll << u"org.example.Writer|Writer"_s << false;
    QTest::newRow("id without an entry, then the lower-cased class as a file name")
        << missing << 0ll << u"notes|Notes"_s << false;
    QTest::newRow("StartupWMClass equals the class")
        << facts(u"chatgpt"_s, u"ChatGPT-Desktop"_s) << 0ll << u"chat-desktop|ChatGPT"_s << false;
    QTest::newRow("StartupWMClass of the instance first")
        << facts(u"crx_claude"_s, u"Browser"_s) << 0ll << u"webapp-claude|Claude"_s << false;
    QTest::newRow("localised Name")
        << facts(u"localised"_s, u"Localised"_s) << 0ll << u"localised|助手"_s << false;
    QTest::newRow("unparsable entries are skipped, no process id")
        << facts(u"broken"_s, u"Broken"_s) << 0ll << u"broken|Broken"_s << true;
    QTest::newRow("Flatpak id from _NET_WM_PID") << facts(u"weird"_s, u"Weird"_s, 100) << 300ll
                                                 << u"org.example.Sandboxed|Sandboxed"_s << false;
    QTest::newRow("Snap name from the X Resource extension")
        << facts(u"snappy"_s, u"Snappy"_s) << 200ll << u"snapper|Snappy"_s << true;
    QTest::newRow("entries before the sandbox")
        << facts(u"main"_s, u"Notes"_s, 100) << 0ll << u"notes|Notes"_s << false;
    QTest::newRow("process outside any sandbox")
        << facts(u"plain"_s, u"Plain"_s) << 300ll << u"plain|Plain"_s << true;
}

void AppIdentityTest::followsTheChain()
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

void AppIdentityTest::cachesUntilEntriesChange()
{
    AppIdentityResolver resolver(m_proc);
    const WindowFacts window = facts(u"cachetest"_s, u"CacheTest"_s);
    WindowFacts lateWindow = facts(u"late-main"_s, u"LateClass"_s);
    lateWindow.window = 2;
    QCOMPARE(text(resolver.resolve(window)), u"cachetest|Before"_s);
    QCOMPARE(text(resolver.resolve(lateWindow)), u"late-main|LateClass"_s);

    QVERIFY(writeDesktopEntry(u"cachetest"_s, entry("Name=After\n")));
    QVERIFY(writeDesktopEntry(u"late"_s, entry("Name=Late\nStartupWMClass=LateClass\n")));
    QCOMPARE(DesktopEntries().byId(u"cachetest"_s).value_or(DesktopEntry{}).name, u"After"_s);
    // Without the folder-change notice (no event loop has run), nothing is read again.
    QCOMPARE(text(resolver.resolve(window)), u"cachetest|Before"_s);
    QCOMPARE(text(resolver.resolve(lateWindow)), u"late-main|LateClass"_s);

    QTRY_COMPARE(text(resolver.resolve(window)), u"cachetest|After"_s);
    QCOMPARE(text(resolver.resolve(lateWindow)), u"late|Late"_s);
}

void AppIdentityTest::readsSandboxFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    const QString flatpak = u"root/.flatpak-info"_s;
    const QString cgroup = u"cgroup"_s;
    QTest::newRow("Flatpak, runtime group first")
        << flatpak
        << "[Runtime]\nname=org.freedesktop.Platform\n\n[Application]\n name = org.gnome.Calculator \n"_ba
        << u"org.gnome.Calculator"_s;
    QTest::newRow("Flatpak, not an id")
        << flatpak << "[Application]\nname=../../etc\n"_ba << QString();
    QTest::newRow("Snap, cgroup v1")
        << cgroup
        << "12:pids:/user.slice\n1:name=systemd:/user.slice/snap.spotify.spotify.0d1c.scope\n"_ba
        << u"spotify"_s;
    QTest::newRow("snapd itself") << cgroup << "0::/system.slice/snapd.service\n"_ba << QString();
    QTest::newRow("snap. inside a name")
        << cgroup << "0::/app.slice/mysnap.foo.bar\n"_ba << QString();
}

void AppIdentityTest::readsSandboxFiles()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QTemporaryDir proc;
    QVERIFY(writeFile(proc.path() + u"/77/"_s + file, content));
    const std::optional<QString> found = file.startsWith(u"root")
                                             ? flatpakApplicationId(77, proc.path())
                                             : snapName(77, proc.path());
    QCOMPARE(found.value_or(QString()), expected);
    // No files at all: a process that has gone.
    QVERIFY(!flatpakApplicationId(78, proc.path()) && !snapName(78, proc.path()));
}

QTEST_GUILESS_MAIN(AppIdentityTest)
#include "test_appidentity.moc"
