#pragma once

#include "enums.h"

#include <QDateTime>
#include <QUuid>

#include <optional>

namespace kelvo {

// One notification that was shown, or the user's answer to one.
struct ReminderEvent {
    QUuid id;
    std::optional<QUuid> sessionId; // absent for notifications that belong to no session
    ReminderKind kind = ReminderKind::sessionStart;
    QDateTime shownAt;
    ReminderAction action = ReminderAction::shown;

    bool operator==(const ReminderEvent&) const = default;
};

} // namespace kelvo
