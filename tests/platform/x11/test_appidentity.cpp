#include "platform/wayland/toplevelfacts.h"
#include "platform/x11/appidentityresolver.h"
#include "testdesktop.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kelvo;

// The identity chain against desktop entries of the test's own (the system's are hidden).
class AppIdentityTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void followsTheChain_data();
    void followsTheChain();
    void cachesUntilEntriesChange();

private:
    QTemporaryDir m_root;
    QString m_proc = m_root.path() + u"/proc"_s;
};

void AppIdentityTest::initTestCase()
{
    // Before the first GIO call: GLib reads these once. Localised names follow LC_ALL.
    qputenv("XDG_DATA_HOME", (m_root.path() + u"/data"_s).toUtf8());
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
        {u"cachetest"_s, "Name=Before\n"}};
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

void AppIdentityTest::followsTheChain_data()
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

// Entries are read again once their folder changes, and only then.
void AppIdentityTest::cachesUntilEntriesChange()
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

QTEST_GUILESS_MAIN(AppIdentityTest)
#include "test_appidentity.moc"
