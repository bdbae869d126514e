#pragma once

#include "engine/browserdetector.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace kelvo {

// Reads the active tab of a browser from the file its browser host keeps up to date. No file, a
// bad one, or one left by a host that no longer runs means that the browser cannot tell.
class TabFileReader final : public QObject, public ActiveTabReader {
    Q_OBJECT

public:
    // Creates the tab folder (mode 0700) when it is missing, and watches it.
    explicit TabFileReader(QObject* parent = nullptr);

    std::optional<QString> activeTabUrl(const SupportedBrowser& browser) override;

signals:
    // A browser reported another tab; the browser in front may need to be asked again.
    void tabsChanged();

private:
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
};

} // namespace kelvo
