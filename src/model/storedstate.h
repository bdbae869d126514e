#pragma once

#include "appsettings.h"
#include "reminderevent.h"
#include "usagesession.h"

#include <QList>
#include <QString>

#include <optional>

namespace kelvo {

// The root record of the state file.
struct StoredState {
    AppSettings settings = AppSettings::defaults();
    QList<AiUsageSession> sessions;
    QList<ReminderEvent> reminderEvents;
    std::optional<QString> lastDailySummaryDayKey;
    std::optional<QString> mutedReminderDayKey;

    bool operator==(const StoredState&) const = default;
};

} // namespace kelvo
