#include "persistencestore.h"

#include "privatefiles.h"
#include "statecodec.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>

namespace kelvo {

namespace {

const QString stateFileName = QStringLiteral("state.json");
// In order of precedence.
constexpr const char* storeFolderVariables[] = {"KELVO_STORE_DIR", "QUORRIN_STORE_DIR"};

void writeErrorLine(const QString& line)
{
    const QByteArray bytes = (line + u'\n').toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QHash<QString, QString> storeVariables()
{
    QHash<QString, QString> environment;
    for (const char* name : storeFolderVariables) {
        if (qEnvironmentVariableIsSet(name))
            environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
    }
    return environment;
}

// Far above any real state, which stays within some megabytes after years of heavy use: a larger
// file is taken for something else and kept aside rather than read into memory.
constexpr qint64 maxStateFileSize = 256 * 1024 * 1024;

enum class FileFound { nothing, state, unreadable };

// What stands at `fileName`: nothing, a readable state document, or anything else.
FileFound readState(const QString& fileName, StoredState* state)
{
    QByteArray bytes;
    switch (PrivateFiles::readRegularFile(fileName, maxStateFileSize, &bytes)) {
    case PrivateFiles::ReadOutcome::missing:
        return FileFound::nothing;
    case PrivateFiles::ReadOutcome::unreadable:
        return FileFound::unreadable;
    case PrivateFiles::ReadOutcome::read:
        break;
    }
    std::optional<StoredState> decoded = StateCodec::decode(bytes);
    if (!decoded)
        return FileFound::unreadable;
    *state = std::move(*decoded);
    return FileFound::state;
}

// The store's locations, with the data folder given up for the temporary one when its Kelvo
// folder cannot be created or written; said once on standard error. The temporary folder is
// shared with every user, so its Kelvo folder is taken only when it is this user's own and
// private. An explicitly chosen folder is taken as it is.
StoreLocations chooseLocations()
{
    const QHash<QString, QString> environment = storeVariables();
    const QString temp = QDir::tempPath();
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QString error;
    if (environment.isEmpty() && !data.isEmpty() &&
        !PrivateFiles::ensureWritableFolder(QDir(data).filePath(QStringLiteral("Kelvo")), &error)) {
        const QString fallback = QDir(temp).filePath(QStringLiteral("Kelvo"));
        QString ignored;
        if (PrivateFiles::ensureWritableFolder(fallback, &ignored) &&
            PrivateFiles::isOwnPrivateFolder(fallback)) {
            writeErrorLine(QStringLiteral("Kelvo keeps its state in %1 instead: %2")
                               .arg(QDir::toNativeSeparators(fallback), error));
            data.clear();
        }
    }
    return PersistenceStore::defaultLocations(environment, data, temp);
}

} // namespace

PersistenceStore::PersistenceStore()
    : m_locations(chooseLocations())
{}

PersistenceStore::PersistenceStore(const QString& baseDirectory)
    : m_locations{QDir(baseDirectory).filePath(stateFileName), std::nullopt}
{}

StoreLocations PersistenceStore::defaultLocations(const QHash<QString, QString>& environment,
                                                  const QString& dataLocation,
                                                  const QString& tempLocation)
{
    // Taken verbatim: no tilde expansion, a relative path stays relative, empty means here.
    for (const char* name : storeFolderVariables) {
        const auto variable = environment.constFind(QString::fromLatin1(name));
        if (variable != environment.cend())
            return {QDir(*variable).filePath(stateFileName), std::nullopt};
    }
    const QDir base(dataLocation.isEmpty() ? tempLocation : dataLocation);
    return {base.filePath(QStringLiteral("Kelvo/state.json")),
            base.filePath(QStringLiteral("Quorrinell/state.json"))};
}

std::optional<StoredState> PersistenceStore::readCurrentFile()
{
    StoredState state;
    const FileFound found = readState(m_locations.fileName, &state);
    m_currentFile =
        found == FileFound::unreadable ? CurrentFile::keepAside : CurrentFile::replaceable;
    if (found != FileFound::state)
        return std::nullopt;
    return state;
}

StoredState PersistenceStore::load()
{
    if (std::optional<StoredState> current = readCurrentFile())
        return std::move(*current);
    StoredState legacy;
    if (m_locations.legacyFileName &&
        readState(*m_locations.legacyFileName, &legacy) == FileFound::state) {
        return legacy;
    }
    return StoredState{};
}

void PersistenceStore::save(const StoredState& state)
{
    QString error;
    if (!writeState(state, &error))
        writeErrorLine(QStringLiteral("Failed to save state: ") + error);
}

bool PersistenceStore::writeState(const StoredState& state, QString* error)
{
    if (!PrivateFiles::ensureFolder(QFileInfo(m_locations.fileName).path(), error))
        return false;
    const QByteArray document = StateCodec::encode(state);
    if (document.isEmpty()) {
        *error = QStringLiteral("a time in the state lies outside the years 1 to 9999");
        return false;
    }
    if (m_currentFile == CurrentFile::unchecked)
        readCurrentFile();
    if (m_currentFile == CurrentFile::keepAside && !keepUnreadableFileAside(error))
        return false;
    if (!PrivateFiles::writeAtomically(m_locations.fileName, document, error))
        return false;
    m_currentFile = CurrentFile::replaceable;
    return true;
}

// Moves the unreadable file to state.json.unreadable-<UTC stamp>, adding "-1", "-2", ... when
// that name is taken, so that neither it nor an earlier kept file is ever overwritten.
bool PersistenceStore::keepUnreadableFileAside(QString* error)
{
    const QString stamp =
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString keptName = m_locations.fileName + QStringLiteral(".unreadable-") + stamp;
    constexpr int maxAttempts = 1000;
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        const QString target = attempt == 0 ? keptName : keptName + u'-' + QString::number(attempt);
        const int result = PrivateFiles::renameWithoutReplacing(m_locations.fileName, target);
        if (result == EEXIST)
            continue;
        if (result == ENOENT && !PrivateFiles::existsAt(m_locations.fileName)) {
            m_currentFile = CurrentFile::replaceable; // gone meanwhile: nothing left to keep
            return true;
        }
        if (result != 0) {
            *error = QStringLiteral("cannot keep the unreadable %1 aside: %2")
                         .arg(QDir::toNativeSeparators(m_locations.fileName),
                              PrivateFiles::errorText(result));
            return false;
        }
        writeErrorLine(QStringLiteral("Unreadable state file kept as ") +
                       QDir::toNativeSeparators(QFileInfo(target).absoluteFilePath()));
        m_currentFile = CurrentFile::replaceable;
        return true;
    }
    *error = QStringLiteral("cannot keep the unreadable %1 aside: every name is taken")
                 .arg(QDir::toNativeSeparators(m_locations.fileName));
    return false;
}

} // namespace kelvo
