#pragma once

#include "engine/notificationservice.h"
#include "model/enums.h"
#include "summary/summaryrecords.h"

#include "privatebus.h"

#include <optional>

// A summary whose advice holds markup characters.
inline kelvo::DailySummary sampleSummary(double totalDuration)
{
    kelvo::DailySummary summary;
    summary.day = QDateTime(QDate(2024, 5, 6), QTime(0, 0));
    summary.totalDuration = totalDuration;
    summary.suggestion = QStringLiteral("先写草稿 & 再问 AI <提纲>");
    return summary;
}

// Every answer the service hands over, as "ACTION:session" texts ("-" for no session).
struct Answers {
    explicit Answers(kelvo::NotificationService& service)
    {
        service.setOnReminderAction(
            [this](kelvo::ReminderUserAction action, std::optional<QUuid> id) {
                list.append(kelvo::storedText(action) + u':' +
                            (id ? id->toString() : QStringLiteral("-")));
            });
    }
    QStringList list;
};

// The state that the service answers later; nothing if it answered inside the call or never.
inline std::optional<kelvo::NotificationAuthorizationState>
askState(kelvo::NotificationService& service, bool request)
{
    std::optional<kelvo::NotificationAuthorizationState> state;
    const auto done = [&state](kelvo::NotificationAuthorizationState answer) {
        state = answer;
    };
    request ? service.requestAuthorization(done) : service.authorizationStatus(done);
    if (state) // answered inside the call
        return std::nullopt;
    return QTest::qWaitFor([&state] { return state.has_value(); }, 10000) ? state : std::nullopt;
}
