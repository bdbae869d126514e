#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kelvo::browserhost {

// The browser key when the arguments are the ones Firefox passes a host: the path of the host
// manifest (ending in ".json") and the extension id.
std::optional<QString> browserKeyForArguments(const QStringList& arguments);

// The browser key of a browser's executable, by its base name: "chromium", "firefox" or "chrome"
// in it, checked in that order.
std::optional<QString> browserKeyForExecutable(const QString& executablePath);

// The executable of this process's parent, or the empty text when it cannot be read.
QString parentExecutable();

} // namespace kelvo::browserhost
