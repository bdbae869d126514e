#pragma once

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <optional>

// Reads back what the dunst started by with-notification-daemon.sh received and offers.
namespace dunst {

inline QString path(const char* file)
{
    return qEnvironmentVariable("KELVO_TEST_NOTIFY_DIR") + u'/' + QLatin1StringView(file);
}

inline QByteArray read(const char* file)
{
    QFile input(path(file));
    return input.open(QIODevice::ReadOnly) ? input.readAll() : QByteArray();
}

// Runs dunstctl with `arguments`: what it printed, or nothing when it failed.
inline std::optional<QByteArray> ctl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("dunstctl"), arguments);
    if (!process.waitForFinished() || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

inline bool isRunning()
{
    return qEnvironmentVariableIsSet("KELVO_TEST_NOTIFY_DIR") &&
           ctl({QStringLiteral("is-paused")}).has_value();
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
    const QString text = QString::fromUtf8(read("notifications.log"));
    for (const QString& record : text.split(QChar(0x1e), Qt::SkipEmptyParts)) {
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
        return ctl({QStringLiteral("count"), QString::fromLatin1(kind)}).value_or("?").trimmed();
    };
    return count("displayed") + '+' + count("waiting");
}

// The buttons dunst last offered its menu for notification `id`, as sorted "label=key" texts.
inline QStringList offeredButtons(uint id)
{
    static const QRegularExpression entry(QStringLiteral(R"(^#(.*?) \((.*)\) \[(\d+),(.*)\]$)"));
    QStringList buttons;
    const QString input = QString::fromUtf8(read("menu-input"));
    for (const QString& line : input.split(u'\n')) {
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
    QFile file(path("menu-choice"));
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

} // namespace dunst
