#include "platform/dbus/appearanceportal.h"

#include "presencemocks.h"

#include <QSignalSpy>

using namespace kelvo;

namespace {

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

// The colour scheme from a python3-dbusmock portal on a bus of the test's own.
class AppearancePortalTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"));
        QVERIFY(writeFile(m_template, portalTemplate));
    }
    void followsTheDesktop_data();
    void followsTheDesktop();

private:
    QTemporaryDir m_dir;
    QString m_template = m_dir.filePath(u"portal.py"_s);
};

void AppearancePortalTest::followsTheDesktop_data()
{
    QTest::addColumn<QString>("methods"); // {"method": "Python code"}; empty: no portal at all
    QTest::addColumn<bool>("late");       // the portal starts after the reader
    QTest::addColumn<bool>("dark");       // what the reader makes of the portal's answer
    QTest::newRow("ReadOne: prefer dark")
        << uR"j({"ReadOne": "ret = dbus.UInt32(1)", "Read": "ret = 0"})j"_s << false << true;
    QTest::newRow("ReadOne: prefer light")
        << uR"j({"ReadOne": "ret = dbus.UInt32(2)"})j"_s << false << false;
    QTest::newRow("older portal: Read, one variant more")
        << uR"j({"Read": "ret = dbus.UInt32(1, variant_level=2)"})j"_s << false << true;
    QTest::newRow("wrong type")
        << uR"j({"ReadOne": "ret = '1'", "Read": "ret = dbus.UInt32(1)"})j"_s << false << false;
    QTest::newRow("no portal") << QString() << false << false;
    QTest::newRow("portal starts later")
        << uR"j({"ReadOne": "ret = dbus.UInt32(1)"})j"_s << true << true;
}

void AppearancePortalTest::followsTheDesktop()
{
    QFETCH(QString, methods);
    QFETCH(bool, late);
    QFETCH(bool, dark);
    DBusMock mock;
    const auto startPortal = [&] {
        mock.start("DBUS_SESSION_BUS_ADDRESS", u"org.freedesktop.portal.Desktop"_s,
                   {u"--template"_s, m_template, u"--parameters"_s, methods});
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

    // Live changes: only the colour scheme counts, and anything but 1 is light.
    const QList<std::tuple<QString, QVariant, bool>> changes{
        {u"org.gnome.desktop.interface"_s, 1u, dark},
        {u"org.freedesktop.appearance"_s, 1u, true},
        {u"org.freedesktop.appearance"_s, u"prefer-dark"_s, false},
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

QTEST_GUILESS_MAIN(AppearancePortalTest)
#include "test_appearanceportal.moc"
