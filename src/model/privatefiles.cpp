#include "privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvo::PrivateFiles {

namespace {

constexpr mode_t folderMode = 0700;
constexpr mode_t fileMode = 0600;

QString describe(const QString& action, const QString& path, const QString& reason)
{
    return QStringLiteral("cannot %1 %2: %3").arg(action, QDir::toNativeSeparators(path), reason);
}

// Flushes the folder's own entries to disk, where a rename is recorded.
bool syncFolder(const QString& folder, QString* error)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // EINVAL: a file system that cannot flush a folder, and has nothing to flush.
    const bool synced = fd >= 0 && (::fsync(fd) == 0 || errno == EINVAL);
    const int reason = errno;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        *error = describe(QStringLiteral("flush folder"), folder, errorText(reason));
    return synced;
}

// Opens `name` for reading without blocking (a named pipe with no writer would block forever).
int openForReading(const QByteArray& name)
{
    constexpr int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int fd = ::open(name.constData(), flags | O_NOFOLLOW);
    if (fd >= 0 || errno != ELOOP)
        return fd;
    // A symbolic link is followed only to a regular file, so that no device is ever opened
    // through it; what is opened is checked again by the caller.
    struct stat target {};
    if (::stat(name.constData(), &target) != 0 || !S_ISREG(target.st_mode))
        return -1;
    return ::open(name.constData(), flags);
}

} // namespace

bool existsAt(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

QString errorText(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

bool ensureFolder(const QString& folder, QString* error)
{
    if (existsAt(folder))
        return true;
    QStringList missing;
    for (QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath()); !existsAt(path);
         path = QFileInfo(path).path()) {
        missing.prepend(path);
    }
    for (const QString& path : std::as_const(missing)) {
        const QByteArray name = QFile::encodeName(path);
        if (::mkdir(name.constData(), folderMode) != 0) {
            if (errno == EEXIST)
                continue; // made by someone else meanwhile; not ours to change
            *error = describe(QStringLiteral("create folder"), path, errorText(errno));
            return false;
        }
        // The umask may have taken bits away; the folder holds private history, so set it exactly.
        ::chmod(name.constData(), folderMode);
    }
    return true;
}

bool ensureWritableFolder(const QString& folder, QString* error)
{
    if (!ensureFolder(folder, error))
        return false;
    const QByteArray name = QFile::encodeName(folder);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = describe(QStringLiteral("use folder"), folder, errorText(ENOTDIR));
        return false;
    }
    if (::faccessat(AT_FDCWD, name.constData(), W_OK | X_OK, AT_EACCESS) != 0) {
        *error = describe(QStringLiteral("write to folder"), folder, errorText(errno));
        return false;
    }
    return true;
}

bool isOwnPrivateFolder(const QString& folder)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool writeAtomically(const QString& fileName, const QByteArray& bytes, QString* error)
{
    // A save replaces the file that the name leads to, through a link too: never a device, a
    // pipe or a folder, whatever a hand-made link or a fault elsewhere points it at.
    struct stat info {};
    if (::stat(QFile::encodeName(fileName).constData(), &info) == 0 && !S_ISREG(info.st_mode)) {
        *error = describe(QStringLiteral("write"), fileName, QStringLiteral("not a regular file"));
        return false;
    }
    QSaveFile file(fileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = describe(QStringLiteral("write"), fileName, file.errorString());
        return false;
    }
    // QSaveFile copies the old file's mode or derives one from the umask; the file is private.
    if (::fchmod(file.handle(), fileMode) != 0) {
        *error = describe(QStringLiteral("set the mode of"), fileName, errorText(errno));
        file.cancelWriting();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        *error = describe(QStringLiteral("write"), fileName, file.errorString());
        file.cancelWriting();
        return false;
    }
    // commit() flushes, fdatasync()s the temporary file and only then renames it into place.
    if (!file.commit()) {
        *error = describe(QStringLiteral("write"), fileName, file.errorString());
        return false;
    }
    // QSaveFile writes through a symbolic link to the file it names; that file's folder holds
    // the rename.
    const QString written = QFileInfo(fileName).canonicalFilePath();
    return syncFolder(QFileInfo(written.isEmpty() ? fileName : written).absolutePath(), error);
}

ReadOutcome readRegularFile(const QString& fileName, qint64 maxSize, QByteArray* bytes)
{
    const int fd = openForReading(QFile::encodeName(fileName));
    if (fd < 0)
        return existsAt(fileName) ? ReadOutcome::unreadable : ReadOutcome::missing;
    ReadOutcome outcome = ReadOutcome::unreadable;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maxSize) {
        QByteArray content;
        content.reserve(qsizetype(info.st_size));
        char chunk[65536];
        ssize_t count = 0;
        // Stops one chunk past the limit at most, should the file grow while it is read.
        while (content.size() <= maxSize && (count = ::read(fd, chunk, sizeof chunk)) != 0) {
            if (count > 0)
                content.append(chunk, qsizetype(count));
            else if (errno != EINTR)
                break;
        }
        if (count == 0 && content.size() <= maxSize) {
            *bytes = std::move(content);
            outcome = ReadOutcome::read;
        }
    }
    ::close(fd);
    return outcome;
}

int renameWithoutReplacing(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without RENAME_NOREPLACE: a hard link fails just as safely on a taken name.
    if (::link(source.constData(), target.constData()) != 0)
        return errno;
    ::unlink(source.constData());
    return 0;
}

} // namespace kelvo::PrivateFiles
