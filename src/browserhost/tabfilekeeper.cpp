#include "tabfilekeeper.h"

#include "model/privatefiles.h"

#include <QFile>
#include <QFileInfo>

namespace kelvo::browserhost {

TabFileKeeper::TabFileKeeper(const QString& browserKey, qint64 pid)
    : m_path(tabs::tabFilePath(browserKey))
    // Found once: without $XDG_RUNTIME_DIR, Qt warns each time it picks a folder of its own.
    , m_folder(QFileInfo(m_path).path())
    , m_pid(pid)
{}

bool TabFileKeeper::record(const std::optional<QString>& origin, QString* error)
{
    // Compared with the file rather than with what this host wrote last: another host of the same
    // browser (a second profile) may have written it since, or someone removed it.
    const tabs::TabRecord record{origin, m_pid};
    if (stored() == record)
        return true;
    return PrivateFiles::ensureFolder(m_folder, error) &&
           PrivateFiles::writeAtomically(m_path, tabs::encode(record), error);
}

void TabFileKeeper::removeIfOwn()
{
    // Another host could write between the check and the removal; the window is a few system
    // calls wide, and the browser starts its hosts one connection at a time.
    const std::optional<tabs::TabRecord> current = stored();
    if (current && current->pid == m_pid)
        QFile::remove(m_path);
}

std::optional<tabs::TabRecord> TabFileKeeper::stored() const
{
    return tabs::readRecord(m_path);
}

} // namespace kelvo::browserhost
