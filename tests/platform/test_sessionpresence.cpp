#include "platform/dbus/sessionpresence.h"

#include "presencemocks.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <cstdio>

using namespace kelvo;
using namespace Qt::Literals::StringLiterals;

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

QList<bool> emitted(const QSignalSpy& spy)
{
    QList<bool> values;
    for (const QList<QVariant>& arguments : spy)
        values.append(arguments.constFirst().toBool());
    return values;
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
    void findsItsSession_data();
    void findsItsSession();
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
    const QString legacy = u"/ScreenSaver"_s;

    QTest::newRow("sleep") << freedesktop << false << Causes{}
                           << Steps{{sleep, true}, {wake, false}};
    QTest::newRow("Lock and Unlock")
        << freedesktop << false << Causes{} << Steps{{lock, true}, {unlock, false}};
    QTest::newRow("LockedHint") << freedesktop << false << Causes{}
                                << Steps{{hintOn, true}, {hintOff, false}};
    QTest::newRow("LockedHint invalidated")
        << freedesktop << false << Causes{}
        << Steps{{hintInvalidatedOn, true}, {hintInvalidatedOff, false}};
    QTest::newRow("freedesktop saver") << freedesktop << false << Causes{}
                                       << Steps{{freedesktopOn, true}, {freedesktopOff, false}};
    QTest::newRow("freedesktop saver at /ScreenSaver")
        << legacy << false << Causes{} << Steps{{freedesktopOn, true}, {freedesktopOff, false}};
    QTest::newRow("gnome saver") << freedesktop << false << Causes{}
                                 << Steps{{gnomeOn, true}, {gnomeOff, false}};

    QTest::newRow("locked at start")
        << freedesktop << false << Causes{hintOn} << Steps{{hintOff, false}};
    QTest::newRow("preparing for sleep at start")
        << freedesktop << false << Causes{sleep} << Steps{{wake, false}};
    QTest::newRow("freedesktop saver active at start")
        << freedesktop << false << Causes{freedesktopOn} << Steps{{freedesktopOff, false}};
    QTest::newRow("freedesktop saver at /ScreenSaver active at start")
        << legacy << false << Causes{freedesktopOn} << Steps{{freedesktopOff, false}};
    QTest::newRow("gnome saver active at start")
        << freedesktop << false << Causes{gnomeOn} << Steps{{gnomeOff, false}};

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
    QTest::newRow("freedesktop saver comes and goes")
        << freedesktop << true << Causes{freedesktopOn}
        << Steps{{freedesktopOff, false}, {freedesktopOn, true}, {freedesktopQuits, false}};
    QTest::newRow("gnome saver comes and goes")
        << freedesktop << true << Causes{gnomeOn}
        << Steps{{gnomeOff, false}, {gnomeOn, true}, {gnomeQuits, false}};
}

void SessionPresenceTest::followsEveryCause()
{
    QFETCH(QString, saverPath);
    QFETCH(bool, startLate);
    QFETCH(Causes, initial);
    QFETCH(Steps, steps);
    MockWorld world(saverPath);
    QVERIFY(world.busesRunning());
    const auto switchOn = [&world, &initial] {
        return std::all_of(initial.cbegin(), initial.cend(),
                           [&world](Cause cause) { return world.apply(cause); });
    };
    if (!startLate)
        QVERIFY2(world.startServices() && switchOn(), qPrintable(world.failure()));

    SessionPresence presence(world.systemBus(), world.sessionBus());
    QSignalSpy spy(&presence, &SessionPresence::awayChanged);
    // Started late, the services are known to be watched once the watcher reports them on.
    if (startLate)
        QVERIFY2(world.startServices() && switchOn(), qPrintable(world.failure()));
    else
        QVERIFY2(world.waitUntilWatched(), qPrintable(world.failure()));

    bool away = !initial.isEmpty();
    QTRY_COMPARE_WITH_TIMEOUT(presence.isAway(), away, mockTimeoutMs);
    QList<bool> expected = away ? QList<bool>{true} : QList<bool>{};
    for (const Step& step : std::as_const(steps)) {
        QVERIFY2(world.apply(step.cause), qPrintable(world.failure()));
        QVERIFY(world.flush());
        QTRY_COMPARE_WITH_TIMEOUT(presence.isAway(), step.away, mockTimeoutMs);
        if (step.away != away)
            expected.append(away = step.away);
    }
    QVERIFY(world.flush());
    QCOMPARE(emitted(spy), expected);
}

void SessionPresenceTest::findsItsSession_data()
{
    QTest::addColumn<QByteArray>("sessionId"); // XDG_SESSION_ID
    QTest::addColumn<bool>("byProcess");       // logind knows this process's session
    QTest::addColumn<bool>("autoSession");     // logind resolves ".../session/auto" to c1
    QTest::newRow("by process, before XDG_SESSION_ID") << QByteArray("c2") << true << false;
    QTest::newRow("by XDG_SESSION_ID") << QByteArray("c1") << false << false;
    QTest::newRow("through session/auto") << QByteArray() << false << true;
}

// Every row watches session c1, while c2 and the "auto" object itself are locked.
void SessionPresenceTest::findsItsSession()
{
    QFETCH(QByteArray, sessionId);
    QFETCH(bool, byProcess);
    QFETCH(bool, autoSession);
    MockWorld world(u"/org/freedesktop/ScreenSaver"_s);
    QVERIFY2(world.busesRunning() && world.startServices(), qPrintable(world.failure()));
    QVERIFY2(world.addLockedSession(u"c2"_s), qPrintable(world.failure()));
    if (byProcess)
        QVERIFY2(world.answerSessionByPid(getpid(), u"c1"_s), qPrintable(world.failure()));
    if (autoSession)
        QVERIFY2(world.addAutoSession(u"c1"_s), qPrintable(world.failure()));

    const QByteArray saved = qgetenv("XDG_SESSION_ID");
    sessionId.isNull() ? qunsetenv("XDG_SESSION_ID") : qputenv("XDG_SESSION_ID", sessionId);
    SessionPresence presence(world.systemBus(), world.sessionBus());
    qputenv("XDG_SESSION_ID", saved);

    QVERIFY2(world.waitUntilWatched(), qPrintable(world.failure()));
    QVERIFY(world.flush());
    QVERIFY(!presence.isAway());
    QVERIFY2(world.apply(Cause::hintOn), qPrintable(world.failure()));
    QTRY_VERIFY_WITH_TIMEOUT(presence.isAway(), mockTimeoutMs);
}

void SessionPresenceTest::quietWithoutServices_data()
{
    QTest::addColumn<bool>("privateBuses"); // else the address below
    QTest::addColumn<QString>("address");
    QTest::newRow("buses without the services") << true << QString();
    QTest::newRow("socket missing") << false << u"unix:path=/nonexistent/kelvo-bus"_s;
    QTest::newRow("not an address") << false << u"no-such-transport:"_s;
}

void SessionPresenceTest::quietWithoutServices()
{
    QFETCH(bool, privateBuses);
    QFETCH(QString, address);
    TestBus system;
    TestBus session;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"KELVO_TEST_CHILD"_s, u"1"_s);
    env.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, privateBuses ? system.address : address);
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, privateBuses ? session.address : address);
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(mockTimeoutMs));
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(child.readAllStandardError(), QByteArray());
    QCOMPARE(child.readAllStandardOutput(), "away=0 changes=0\n");
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("KELVO_TEST_CHILD"))
        return watchQuietly();
    SessionPresenceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_sessionpresence.moc"
