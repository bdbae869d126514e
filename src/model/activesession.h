#pragma once

#include "enums.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace kelvo {

// The session that is open now; held in memory only, never stored as such.
struct ActiveSession {
    QUuid id;
    std::optional<QUuid> appRuleId;
    QString displayName;
    std::optional<QString> bundleIdentifier;
    SessionSourceType sourceType = SessionSourceType::desktopApp;
    QString sourceIdentifier;
    std::optional<QString> domain;
    std::optional<QString> browserName;
    QDateTime startedAt;
    std::optional<QDateTime> firstReminderShownAt;
    std::optional<QDateTime> followUpReminderAt;
    bool followUpShown = false;

    bool operator==(const ActiveSession&) const = default;
};

} // namespace kelvo
