#include "tabfilereader.h"

#include "model/privatefiles.h"
#include "tabs/tabfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo {

namespace {

// The bytes of a regular file of at most tabs::maximumFileSize bytes, or nothing. Opened without
// blocking and without following a link, so that nothing placed at the path can stall the caller.
std::optional<QByteArray> readSmallFile(const QString& path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> bytes;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_size <= tabs::maximumFileSize) {
        QByteArray buffer(tabs::maximumFileSize + 1, Qt::Uninitialized);
        qsizetype filled = 0;
        ssize_t count = 0;
        while (filled < buffer.size() &&
               ((count = ::read(fd, buffer.data() + filled,
                                static_cast<size_t>(buffer.size() - filled))) > 0 ||
                (count < 0 && errno == EINTR)))
            filled += count > 0 ? count : 0;
        if (count >= 0 && filled <= tabs::maximumFileSize) {
            buffer.truncate(filled);
            bytes = std::move(buffer);
        }
    }
    ::close(fd);
    return bytes;
}

} // namespace

TabFileReader::TabFileReader(QObject* parent)
    : QObject(parent)
{
    const QString folder = tabs::tabsFolder();
    QString error;
    PrivateFiles::ensureFolder(folder, &error);
    m_watcher.addPath(folder);

    // A report arrives as a few folder changes (temporary file, rename); answer them once.
    m_settle.setSingleShot(true);
    m_settle.setInterval(10);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_settle,
            qOverload<>(&QTimer::start));
    connect(&m_settle, &QTimer::timeout, this, &TabFileReader::tabsChanged);
}

std::optional<QString> TabFileReader::activeTabUrl(const SupportedBrowser& browser)
{
    const auto bytes = readSmallFile(tabs::tabFilePath(browser.key));
    if (!bytes)
        return std::nullopt;
    const auto record = tabs::decode(*bytes);
    if (!record || !tabs::processAlive(record->pid))
        return std::nullopt;
    return record->origin;
}

} // namespace kelvo
