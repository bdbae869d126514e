#pragma once

#include "privatebus.h"

#include <optional>

// Reads back what the dunst that tests/support/desktop.sh --notifications started received and
// offers.
namespace dunst {

inline QString file(const char* name)
{
    return qEnvironmentVariable("KELVO_DESKTOP_DIR") + u'/' + QLatin1StringView(name);
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

struct Received {
    uint id = 0;
    QString app;
    QString summary;
    QString body;
    QString desktopEntry;
};

inline QList<Received> received()
{
    QList<Received> result;
    const QString log = QString::fromUtf8(readFile(file("notifications.log")));
    for (const QString& record : log.split(QChar(0x1e), Qt::SkipEmptyParts)) {
        const QStringList f = record.split(QChar(0x1f));
        if (f.size() == 5)
            result.append({f[0].toUInt(), f[1], f[2], f[3], f[4]});
    }
    return result;
}

} // namespace dunst
