#pragma once

#include "enums.h"
#include "usagesession.h"

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

    // The record this session becomes when it ends at `endedAt`; the follow-up state is not kept.
    AiUsageSession endedAt(const QDateTime& endedAt) const
    {
        return AiUsageSession{
            .id = id,
            .appRuleId = appRuleId,
            .appName = displayName,
            .bundleIdentifier = bundleIdentifier,
            .sourceType = sourceType,
            .sourceIdentifier = sourceIdentifier,
            .domain = domain,
            .browserName = browserName,
            .startedAt = startedAt,
            .endedAt = endedAt,
            .firstReminderShownAt = firstReminderShownAt,
        };
    }
};

} // namespace kelvo
