#include "sandboxidentity.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QRegularExpression>

namespace kelvo {

using namespace Qt::Literals::StringLiterals;

namespace {

// Both files are a few hundred bytes; anything past this is not what they should hold.
constexpr qint64 maxFileBytes = 64 * 1024;

QByteArray readHead(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(maxFileBytes);
}

QString processPath(const QString& procRoot, qint64 pid, QLatin1StringView file)
{
    return procRoot + QLatin1Char('/') + QString::number(pid) + QLatin1Char('/') + file;
}

// Reverse-DNS application ids as Flatpak accepts them.
bool isApplicationId(const QString& id)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[A-Za-z_][A-Za-z0-9_-]*(\\.[A-Za-z_][A-Za-z0-9_-]*)+$"));
    return id.size() <= 255 && pattern.match(id).hasMatch();
}

} // namespace

std::optional<QString> flatpakApplicationId(qint64 pid, const QString& procRoot)
{
    if (pid <= 0)
        return std::nullopt;
    bool inApplication = false;
    const QByteArray text = readHead(processPath(procRoot, pid, "root/.flatpak-info"_L1));
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inApplication = line == "[Application]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inApplication || equals < 0 || line.left(equals).trimmed() != "name")
            continue;
        const QString id = QString::fromUtf8(line.mid(equals + 1).trimmed());
        return isApplicationId(id) ? std::optional(id) : std::nullopt;
    }
    return std::nullopt;
}

std::optional<QString> snapName(qint64 pid, const QString& procRoot)
{
    if (pid <= 0)
        return std::nullopt;
    // "0::/user.slice/…/app.slice/snap.firefox.firefox-1b2c….scope": the name is the part after
    // "snap.", and an application or hook name must follow it.
    static const QRegularExpression group(
        QStringLiteral("(?:^|/)snap\\.([a-z0-9](?:[a-z0-9-]{0,38}[a-z0-9])?)\\.[^/]+"));
    const QByteArray text = readHead(processPath(procRoot, pid, "cgroup"_L1));
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype pathStart = line.indexOf(':', line.indexOf(':') + 1);
        if (pathStart < 0)
            continue;
        const auto match = group.match(QString::fromUtf8(line.mid(pathStart + 1)));
        if (match.hasMatch())
            return match.captured(1);
    }
    return std::nullopt;
}

} // namespace kelvo
