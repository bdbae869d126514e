#pragma once

#include <QByteArray>
#include <QString>

namespace kelvo::PrivateFiles {

// Creates `folder` and every missing folder above it, each with mode 0700; does nothing when
// anything at all (a folder, a file, a link) already stands at its path.
bool ensureFolder(const QString& folder, QString* error);

// Like ensureFolder, and then true only when a folder stands there that this process may create
// files in.
bool ensureWritableFolder(const QString& folder, QString* error);

// True when `folder` is a folder (not a link to one) of this process's user that no one else may
// change.
bool isOwnPrivateFolder(const QString& folder);

// Replaces `fileName` with `bytes`, mode 0600: a temporary file in the same folder is written,
// flushed to disk and renamed over it, so the old or the new content is there whole at any time;
// the folder is flushed too, so that the rename itself survives a power cut. Where the name (or
// the link at it) leads to something that is not a regular file, nothing is replaced.
bool writeAtomically(const QString& fileName, const QByteArray& bytes, QString* error);

enum class ReadOutcome { missing, read, unreadable };

// Reads `fileName` whole into `bytes` when it is a regular file of at most `maxSize` bytes; a
// symbolic link is followed only to such a file. Anything else that stands there (a folder, a
// named pipe, a device, a larger file, a file this process may not read) is `unreadable`. Never
// blocks and never opens a device.
ReadOutcome readRegularFile(const QString& fileName, qint64 maxSize, QByteArray* bytes);

// Renames `from` to `to` unless something already stands at `to`. Returns 0 on success,
// otherwise the errno value (EEXIST when `to` is taken).
int renameWithoutReplacing(const QString& from, const QString& to);

// True when anything at all stands at `path`, a dangling symbolic link included.
bool existsAt(const QString& path);

// The text of an errno value, for error lines.
QString errorText(int errorNumber);

} // namespace kelvo::PrivateFiles
