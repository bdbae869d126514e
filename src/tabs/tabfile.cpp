#include "tabfile.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo::tabs {

namespace {

constexpr qsizetype maximumUrlLength = 2048;

// The bytes of a regular file of at most maximumFileSize bytes, or nothing. Opened without
// blocking and without following a link, so that nothing placed at the path can stall the caller.
std::optional<QByteArray> readSmallFile(const QString& path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> bytes;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= maximumFileSize) {
        QByteArray buffer(maximumFileSize + 1, Qt::Uninitialized);
        qsizetype filled = 0;
        ssize_t count = 0;
        while (filled < buffer.size() &&
               ((count = ::read(fd, buffer.data() + filled,
                                static_cast<size_t>(buffer.size() - filled))) > 0 ||
                (count < 0 && errno == EINTR)))
            filled += count > 0 ? count : 0;
        if (count >= 0 && filled <= maximumFileSize) {
            buffer.truncate(filled);
            bytes = std::move(buffer);
        }
    }
    ::close(fd);
    return bytes;
}

} // namespace

QString tabsFolder()
{
    // Qt's runtime location is $XDG_RUNTIME_DIR, or a private folder of its own without it.
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime))
        runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime + QStringLiteral("/kelvo/tabs");
}

QString tabFilePath(const QString& browserKey)
{
    return tabsFolder() + QLatin1Char('/') + browserKey + QStringLiteral(".json");
}

std::optional<QString> originOf(const QString& urlText)
{
    if (urlText.isEmpty() || urlText.size() > maximumUrlLength)
        return std::nullopt;
    const QUrl url(urlText, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty())
        return std::nullopt;
    QUrl origin;
    origin.setScheme(scheme);
    origin.setHost(url.host());
    origin.setPort(url.port());
    if (!origin.isValid())
        return std::nullopt;
    return origin.toString(QUrl::FullyEncoded);
}

QByteArray encode(const TabRecord& record)
{
    QJsonObject object;
    object.insert(QStringLiteral("origin"),
                  record.origin ? QJsonValue(*record.origin) : QJsonValue(QJsonValue::Null));
    object.insert(QStringLiteral("pid"), record.pid);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<TabRecord> decode(const QByteArray& bytes)
{
    if (bytes.size() > maximumFileSize)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    // A process id is a positive integer that fits pid_t.
    const QJsonValue pid = object.value(u"pid");
    const double pidNumber = pid.toDouble(-1);
    if (!pid.isDouble() || pidNumber < 1 || pidNumber > std::numeric_limits<int>::max() ||
        pidNumber != static_cast<double>(static_cast<qint64>(pidNumber)))
        return std::nullopt;

    TabRecord record;
    record.pid = static_cast<qint64>(pidNumber);
    const QJsonValue origin = object.value(u"origin");
    if (origin.isString()) {
        record.origin = originOf(origin.toString());
        if (!record.origin)
            return std::nullopt;
    } else if (!origin.isNull()) {
        return std::nullopt;
    }
    return record;
}

std::optional<TabRecord> readRecord(const QString& path)
{
    const auto bytes = readSmallFile(path);
    return bytes ? decode(*bytes) : std::nullopt;
}

bool processAlive(qint64 pid)
{
    if (pid < 1 || pid > std::numeric_limits<int>::max())
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

} // namespace kelvo::tabs
