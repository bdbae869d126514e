#include "platform/dbus/sessionpresence.h"

#include "presencemocks.h"

#include <QSignalSpy>
#include <QtTest>

#include <utility>

using namespace kelvo;

// Sleep, lock and screensaver from python3-dbusmock services on buses of the test's own.
class SessionPresenceTest final : public QObject {
    Q_OBJECT

private slots:
    void followsEveryCause_data();
    void followsEveryCause();
};

void SessionPresenceTest::followsEveryCause_data()
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

void SessionPresenceTest::followsEveryCause()
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

QTEST_GUILESS_MAIN(SessionPresenceTest)
#include "test_sessionpresence.moc"
