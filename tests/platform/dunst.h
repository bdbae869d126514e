#pragma once

#include "privatebus.h"

#include <QRegularExpression>

#include <optional>

// Reads back what the dunst started by with-notification-daemon.sh received and offers.
namespace dunst {

inline QString path(const char* file)
{
    return qEnvironmentVariable("KELVO_TEST_NOTIFY_DIR") + u'/' + QLatin1StringView(file);
}

inline QString read(const char* file)
{
    return QString::fromUtf8(readFile(path(file)));
}

// Runs dunstctl with `arguments`: what it printed, or nothing when it failed.
inline std::optional<QByteArray> ctl(const QStringList& arguments)
{
    QProcess process;
    process.start(u"dunstctl"_s, arguments);
    if (!process.waitForFinished() || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

inline bool isRunning()
{
    return qEnvironmentVariableIsSet("KELVO_TEST_NOTIFY_DIR") && ctl({u"is-paused"_s}).has_value();
}

// One notification as dunst received it.
struct Received {
    uint id = 0;
    QString summary;
    QString body;
    QString desktopEntry;
};

inline QList<Received> received()
{
    QList<Received> result;
    for (const QString& record : read("notifications.log").split(QChar(0x1e), Qt::SkipEmptyParts)) {
        const QStringList f = record.split(QChar(0x1f));
        if (f.size() == 4)
            result.append({f[0].toUInt(), f[1], f[2], f[3]});
    }
    return result;
}

// How many notifications dunst shows and how many wait to be shown, as "shown+waiting".
inline QByteArray openCounts()
{
    const auto count = [](const char* kind) {
        return ctl({u"count"_s, QString::fromLatin1(kind)}).value_or("?").trimmed();
    };
    return count("displayed") + '+' + count("waiting");
}

// The buttons dunst last offered its menu for notification `id`, as sorted "label=key" texts.
inline QStringList offeredButtons(uint id)
{
    static const QRegularExpression entry(QStringLiteral(R"(^#(.*?) \((.*)\) \[(\d+),(.*)\]$)"));
    QStringList buttons;
    for (const QString& line : read("menu-input").split(u'\n')) {
        const QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch() && match.captured(3).toUInt() == id)
            buttons.append(match.captured(1) + u'=' + match.captured(4));
    }
    buttons.sort();
    return buttons;
}

// Makes the menu script pick the first entry that contains `text`.
inline bool choose(const QString& text)
{
    return writeFile(path("menu-choice"), text.toUtf8());
}

} // namespace dunst
