#include "platform/dbus/sessionpresence.h"

#include "presencemocks.h"

#include <QSignalSpy>
#include <QtTest>

using namespace kelvo;

namespace {

struct Step {
    Cause cause;
    bool away; // expected afterwards
};
using Causes = QList<Cause>;
using Steps = QList<Step>;

// In a child process: watches with the default buses for a while and says what it saw.
int watchQuietly()
{
    SessionPresence presence;
    int changes = 0;
    QObject::connect(&presence, &SessionPresence::awayChanged, [&changes] { ++changes; });
    QTest::qWait(500);
    std::printf("away=%d changes=%d\n", int(presence.isAway()), changes);
    return 0;
}

} // namespace

Q_DECLARE_METATYPE(Causes)
Q_DECLARE_METATYPE(Steps)

// Sleep, lock and screensaver from python3-dbusmock services on buses of the test's own.
class SessionPresenceTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void followsEveryCause_data();
    void followsEveryCause();
    void findsItsSessionThroughAuto();
    void quietWithoutServices_data();
    void quietWithoutServices();
};

void SessionPresenceTest::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty(),
             "dbus-daemon is missing; scripts/setup installs it");
    qputenv("XDG_SESSION_ID", "c1");
}

void SessionPresenceTest::followsEveryCause_data()
{
    QTest::addColumn<QString>("saverPath"); // of the org.freedesktop.ScreenSaver mock
    QTest::addColumn<bool>("startLate");    // the services start after the watcher
    QTest::addColumn<Causes>("initial");    // switched on before the watcher looks
    QTest::addColumn<Steps>("steps");
    using enum Cause;
    const QString freedesktop = u"/org/freedesktop/ScreenSaver"_s;

    QTest::newRow("sleep, also at start") << freedesktop << false << Causes{sleep}
                                          << Steps{{wake, false}, {sleep, true}, {wake, false}};
    QTest::newRow("Lock and Unlock")
        << freedesktop << false << Causes{} << Steps{{lock, true}, {unlock, false}};
    QTest::newRow("LockedHint, also at start")
        << freedesktop << false << Causes{hintOn}
        << Steps{{hintOff, false}, {hintOn, true}, {hintOff, false}};
    QTest::newRow("freedesktop saver at /ScreenSaver, active at start")
        << u"/ScreenSaver"_s << false << Causes{freedesktopOn} << Steps{{freedesktopOff, false}};
    QTest::newRow("gnome saver, also at start")
        << freedesktop << false << Causes{gnomeOn}
        << Steps{{gnomeOff, false}, {gnomeOn, true}, {gnomeOff, false}};

    QTest::newRow("wake while still locked")
        << freedesktop << false << Causes{}
        << Steps{{hintOn, true}, {sleep, true}, {wake, true}, {hintOff, false}};
    QTest::newRow("unlock while the saver runs")
        << freedesktop << false << Causes{}
        << Steps{{gnomeOn, true}, {lock, true}, {unlock, true}, {gnomeOff, false}};
    // The locker that a Lock signal starts is unlocked with a password: no Unlock follows.
    QTest::newRow("Lock then LockedHint") << freedesktop << false << Causes{}
                                          << Steps{{lock, true}, {hintOn, true}, {hintOff, false}};

    QTest::newRow("logind comes and goes")
        << freedesktop << true << Causes{hintOn}
        << Steps{{hintOff, false}, {lock, true}, {logindQuits, false}};
    QTest::newRow("saver comes and goes")
        << freedesktop << true << Causes{freedesktopOn}
        << Steps{{freedesktopOff, false}, {freedesktopOn, true}, {freedesktopQuits, false}};
}

void SessionPresenceTest::followsEveryCause()
{
    QFETCH(QString, saverPath);
    QFETCH(bool, startLate);
    QFETCH(Causes, initial);
    QFETCH(Steps, steps);
    MockWorld world(saverPath);
    QVERIFY(world.busesRunning());
    if (!startLate)
        QVERIFY(world.startServices(initial));

    SessionPresence presence(world.systemBus, world.sessionBus);
    QSignalSpy spy(&presence, &SessionPresence::awayChanged);
    // Started late, the services are known to be watched once the watcher reports them on.
    QVERIFY(startLate ? world.startServices(initial) : world.waitUntilWatched());

    bool away = !initial.isEmpty();
    QTRY_COMPARE_WITH_TIMEOUT(presence.isAway(), away, busTimeoutMs);
    QVariantList expected = away ? QVariantList{true} : QVariantList{};
    for (const Step& step : std::as_const(steps)) {
        QVERIFY(world.apply(step.cause));
        QVERIFY(world.flush());
        QTRY_COMPARE_WITH_TIMEOUT(presence.isAway(), step.away, busTimeoutMs);
        if (step.away != away)
            expected.append(away = step.away);
    }
    QVERIFY(world.flush());
    QVariantList emitted;
    for (const QVariantList& arguments : std::as_const(spy))
        emitted.append(arguments.constFirst());
    QCOMPARE(emitted, expected);
}

// Without XDG_SESSION_ID, and unknown by process, the session is the one ".../session/auto"
// stands for (c1), not that object itself nor another session of the user (both locked).
void SessionPresenceTest::findsItsSessionThroughAuto()
{
    MockWorld world(u"/org/freedesktop/ScreenSaver"_s);
    QVERIFY(world.busesRunning() && world.startServices() && world.addAutoSession());
    qunsetenv("XDG_SESSION_ID");
    SessionPresence presence(world.systemBus, world.sessionBus);
    qputenv("XDG_SESSION_ID", "c1");

    QVERIFY(world.waitUntilWatched());
    QVERIFY(world.flush());
    QVERIFY(!presence.isAway());
    QVERIFY(world.apply(Cause::hintOn));
    QTRY_VERIFY_WITH_TIMEOUT(presence.isAway(), busTimeoutMs);
}

void SessionPresenceTest::quietWithoutServices_data()
{
    QTest::addColumn<bool>("privateBuses"); // else the address below
    QTest::addColumn<QString>("address");
    QTest::newRow("buses without the services") << true << QString();
    QTest::newRow("no buses") << false << u"unix:path=/nonexistent/kelvo-bus"_s;
}

void SessionPresenceTest::quietWithoutServices()
{
    QFETCH(bool, privateBuses);
    QFETCH(QString, address);
    PrivateBus system;
    PrivateBus session;
    QProcess child;
    QVERIFY(runSelf(child,
                    {{u"DBUS_SYSTEM_BUS_ADDRESS"_s, privateBuses ? system.address : address},
                     {u"DBUS_SESSION_BUS_ADDRESS"_s, privateBuses ? session.address : address}}));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(child.readAllStandardError(), QByteArray());
    QCOMPARE(child.readAllStandardOutput(), "away=0 changes=0\n");
}

int main(int argc, char** argv)
{
    return testMain<SessionPresenceTest>(argc, argv, watchQuietly);
}

#include "test_sessionpresence.moc"
