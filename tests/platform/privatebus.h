#pragma once

#include "support/stderrcapture.h"

#include <QtDBus>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;

// The buses and the display come from tests/support/desktop.sh, which CTest runs each test in.

// Generous: a loaded 2-core machine starts daemons and Python slowly.
constexpr int busTimeoutMs = 20000;

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes (replaces) a file at once, making its folder.
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(bytes) == bytes.size() && file.commit();
}

// A new connection of its own to the bus named by that variable.
inline QDBusConnection connectBus(const char* variable = "DBUS_SESSION_BUS_ADDRESS")
{
    static int counter = 0;
    return QDBusConnection::connectToBus(qEnvironmentVariable(variable),
                                         u"kelvo-test-%1"_s.arg(++counter));
}

// Returns once `bus` has handed over every message that reached it before: replies and signals
// reach the receiver in the order of arrival.
inline bool flush(const QDBusConnection& bus)
{
    const QDBusMessage ping =
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus.Peer"_s, u"Ping"_s);
    QDBusPendingCallWatcher watcher(bus.asyncCall(ping, busTimeoutMs));
    bool done = false;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&done] { done = true; });
    return QTest::qWaitFor([&done] { return done; }, busTimeoutMs);
}
