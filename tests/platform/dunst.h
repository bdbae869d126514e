#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QVariantMap>

// Reads back what the dunst started by with-notification-daemon.sh received and offers.
namespace dunst {

inline QString folder()
{
    return qEnvironmentVariable("KELVO_TEST_NOTIFY_DIR");
}

inline bool isRunning()
{
    return !folder().isEmpty() && QDBusConnection::sessionBus().interface()->isServiceRegistered(
                                      QStringLiteral("org.freedesktop.Notifications"));
}

// One notification as dunst received it.
struct Received {
    uint id = 0;
    QString appName;
    QString summary;
    QString body;
    QString desktopEntry;
    QString urgency;
};

inline QList<Received> received()
{
    QFile file(folder() + QStringLiteral("/notifications.log"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Received> result;
    const QString text = QString::fromUtf8(file.readAll());
    for (const QString& record : text.split(QChar(0x1e), Qt::SkipEmptyParts)) {
        const QStringList f = record.split(QChar(0x1f));
        if (f.size() == 6)
            result.append({f[0].toUInt(), f[1], f[2], f[3], f[4], f[5]});
    }
    return result;
}

// Runs dunstctl with `arguments`; true when it succeeded.
inline bool ctl(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("dunstctl"), arguments) == 0;
}

inline QDBusMessage call(const QString& interface, const QString& method,
                         const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"), interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

// Notifications shown or waiting to be shown.
inline int openCount()
{
    int count = 0;
    for (const char* property : {"displayedLength", "waitingLength"}) {
        const QDBusMessage reply =
            call(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {QStringLiteral("org.dunstproject.cmd0"), QString::fromLatin1(property)});
        count += reply.arguments().value(0).value<QDBusVariant>().variant().toInt();
    }
    return count;
}

// Closed notifications, newest first. (`dunstctl history` gives the same through busctl.)
inline QList<QVariantMap> history()
{
    const QDBusMessage reply =
        call(QStringLiteral("org.dunstproject.cmd0"), QStringLiteral("NotificationListHistory"));
    return qdbus_cast<QList<QVariantMap>>(reply.arguments().value(0));
}

// The buttons dunst last offered its menu for notification `id`, as sorted "label=key" texts.
inline QStringList offeredButtons(uint id)
{
    QFile file(folder() + QStringLiteral("/menu-input"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression entry(QStringLiteral(R"(^#(.*?) \((.*)\) \[(\d+),(.*)\]$)"));
    QStringList buttons;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch() && match.captured(3).toUInt() == id)
            buttons.append(match.captured(1) + QLatin1Char('=') + match.captured(4));
    }
    buttons.sort();
    return buttons;
}

// Makes the menu script pick the first entry that contains `text`.
inline bool choose(const QString& text)
{
    QFile file(folder() + QStringLiteral("/menu-choice"));
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

} // namespace dunst
