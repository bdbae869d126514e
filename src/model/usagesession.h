#pragma once

#include "enums.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace kelvo {

// One finished stretch of foreground use of one AI source; its identity is `id`.
struct AiUsageSession {
    QUuid id;
    std::optional<QUuid> appRuleId;
    QString appName;
    std::optional<QString> bundleIdentifier;
    SessionSourceType sourceType = SessionSourceType::desktopApp;
    std::optional<QString> sourceIdentifier;
    std::optional<QString> domain;
    std::optional<QString> browserName;
    QDateTime startedAt;
    QDateTime endedAt;
    std::optional<QDateTime> firstReminderShownAt;

    bool operator==(const AiUsageSession&) const = default;
};

} // namespace kelvo
