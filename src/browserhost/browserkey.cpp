#include "browserkey.h"

#include "tabs/tabfile.h"

#include <QFile>

#include <array>
#include <climits>

#include <unistd.h>

namespace kelvo::browserhost {

std::optional<QString> browserKeyForArguments(const QStringList& arguments)
{
    if (arguments.size() == 2 && arguments.first().endsWith(u".json"))
        return QString::fromLatin1(tabs::firefoxKey);
    return std::nullopt;
}

std::optional<QString> browserKeyForExecutable(const QString& executablePath)
{
    // A browser replaced by an update while running shows as "<path> (deleted)"; the name still
    // counts.
    const QString name = executablePath.section(QLatin1Char('/'), -1).toLower();
    for (const char* key : {tabs::chromiumKey, tabs::firefoxKey, tabs::chromeKey}) {
        if (name.contains(QLatin1String(key)))
            return QString::fromLatin1(key);
    }
    return std::nullopt;
}

QString parentExecutable()
{
    const QByteArray link = "/proc/" + QByteArray::number(::getppid()) + "/exe";
    std::array<char, PATH_MAX> target{};
    const ssize_t size = ::readlink(link.constData(), target.data(), target.size());
    if (size <= 0)
        return {};
    return QFile::decodeName(QByteArray(target.data(), qsizetype(size)));
}

} // namespace kelvo::browserhost
