#pragma once

#include <QString>

#include <optional>

namespace kelvo {

// The Flatpak application id of a process: "name" in the [Application] group of its
// /proc/PID/root/.flatpak-info. None outside a Flatpak sandbox or when the file is not readable.
std::optional<QString> flatpakApplicationId(qint64 pid,
                                            const QString& procRoot = QStringLiteral("/proc"));

// The Snap name of a process, from the snap.<name>.<app>… group in its /proc/PID/cgroup.
std::optional<QString> snapName(qint64 pid, const QString& procRoot = QStringLiteral("/proc"));

} // namespace kelvo
