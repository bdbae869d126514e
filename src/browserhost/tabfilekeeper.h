#pragma once

#include "tabs/tabfile.h"

#include <QString>

#include <optional>

namespace kelvo::browserhost {

// Keeps one browser's tab file: writes what the browser reports, and removes the file when the
// host goes away, unless another host has written it since.
class TabFileKeeper final {
public:
    TabFileKeeper(const QString& browserKey, qint64 pid);

    // Writes the record of `origin` and this host's pid, unless the file holds it already.
    bool record(const std::optional<QString>& origin, QString* error);
    // Removes the file if it holds this host's pid.
    void removeIfOwn();

private:
    std::optional<tabs::TabRecord> stored() const;

    QString m_path;
    QString m_folder;
    qint64 m_pid;
};

} // namespace kelvo::browserhost
