#include "tabfilereader.h"

#include "model/privatefiles.h"
#include "tabs/tabfile.h"

namespace kelvo {

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
    const auto record = tabs::readRecord(tabs::tabFilePath(browser.key));
    if (!record || !tabs::processAlive(record->pid))
        return std::nullopt;
    return record->origin;
}

} // namespace kelvo
