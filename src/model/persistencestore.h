#pragma once

#include "statestore.h"

#include <QHash>
#include <QString>

#include <optional>

namespace kelvo {

struct StoreLocations {
    QString fileName;                      // read first and always written
    std::optional<QString> legacyFileName; // read only as a fallback; never written

    bool operator==(const StoreLocations&) const = default;
};

// The state file on disk: chosen by KELVO_STORE_DIR, QUORRIN_STORE_DIR or the XDG data folder,
// read once, rewritten whole and atomically on every save.
class PersistenceStore final : public StateStore {
public:
    // Chooses the location from the process environment and the user's data folder, or the
    // temporary folder when the data folder cannot be written (said on standard error).
    PersistenceStore();
    // Uses `baseDirectory`/state.json with no legacy fallback.
    explicit PersistenceStore(const QString& baseDirectory);

    // Pure: `dataLocation` is the writable per-user data folder (empty when there is none),
    // `tempLocation` the process's temporary folder.
    static StoreLocations defaultLocations(const QHash<QString, QString>& environment,
                                           const QString& dataLocation,
                                           const QString& tempLocation);

    const StoreLocations& locations() const { return m_locations; }

    StoredState load() override;
    void save(const StoredState& state) override;

private:
    // Whether the file at `fileName` may be replaced as it is, or must first be kept aside
    // because something stands there that could not be read as a state document.
    enum class CurrentFile { unchecked, replaceable, keepAside };

    // Reads and decodes the current file, and notes in m_currentFile what was found.
    std::optional<StoredState> readCurrentFile();
    bool writeState(const StoredState& state, QString* error);
    bool keepUnreadableFileAside(QString* error);

    StoreLocations m_locations;
    CurrentFile m_currentFile = CurrentFile::unchecked;
};

} // namespace kelvo
