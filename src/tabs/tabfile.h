#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The active tab of one browser, handed from the browser host to the program through a small
// file: $XDG_RUNTIME_DIR/kelvo/tabs/<browser>.json, in a folder of mode 0700.
namespace kelvo::tabs {

// The browsers that have a tab file; the key names the file.
inline constexpr char chromeKey[] = "chrome";
inline constexpr char chromiumKey[] = "chromium";
inline constexpr char firefoxKey[] = "firefox";

// What the host last heard from the browser: the origin of the active tab of its last focused
// normal window, or nothing when that tab has none worth reporting. `pid` is the host's own
// process, so a file left behind by a host that died can be told apart.
struct TabRecord {
    std::optional<QString> origin;
    qint64 pid = 0;

    bool operator==(const TabRecord&) const = default;
};

// The folder of the tab files, and the file of one browser.
QString tabsFolder();
QString tabFilePath(const QString& browserKey);

// Scheme, host and port of an http or https URL ("https://chatgpt.com:8443"), or nothing for
// any other text. User information, path, query and fragment never survive.
std::optional<QString> originOf(const QString& urlText);

QByteArray encode(const TabRecord& record);
// Nothing for anything but a well-formed record; the origin is reduced again on reading.
std::optional<TabRecord> decode(const QByteArray& bytes);

// The record in the file at `path`, or nothing when there is none, it is no small regular file, or
// it does not decode. Never blocks: a named pipe or a link at the path is not opened.
std::optional<TabRecord> readRecord(const QString& path);

// Whether a process with this id is running (one of another user counts as running).
bool processAlive(qint64 pid);

// The longest tab file worth reading.
inline constexpr qint64 maximumFileSize = 4096;

} // namespace kelvo::tabs
