#pragma once

// The busy history the benchmarks measure with: 90 days x 200 sessions (18,000) and 5,000
// reminder records, ending at `now`.

#include "model/storedstate.h"

#include <QElapsedTimer>

#include <algorithm>
#include <functional>
#include <vector>

namespace kelvo::bench {

constexpr int days = 90;
constexpr int sessionsPerDay = 200;
constexpr int reminderCount = 5000;
constexpr int runs = 15;

inline StoredState fullState(const QDateTime& now)
{
    const QStringList desktopNames{QStringLiteral("ChatGPT"), QStringLiteral("Claude"),
                                   QStringLiteral("Cursor"), QStringLiteral("Windsurf"),
                                   QStringLiteral("Perplexity")};
    const QList<BrowserDomainRule> webRules = AppSettings::defaults().browserDomainRules;
    StoredState state;
    const QDateTime firstDay = now.addDays(-(days - 1));
    for (int day = 0; day < days; ++day) {
        const QDateTime morning = firstDay.addDays(day);
        for (int i = 0; i < sessionsPerDay; ++i) {
            AiUsageSession session;
            session.id = QUuid::createUuid();
            session.startedAt = morning.addSecs(i * 240);
            session.endedAt = session.startedAt.addSecs(60 + (i * 37) % 170);
            if (i % 3 == 0) {
                const BrowserDomainRule& rule = webRules.at(i % webRules.size());
                session.appName = rule.displayName;
                session.sourceType = SessionSourceType::browserDomain;
                session.bundleIdentifier = QStringLiteral("firefox-esr");
                session.browserName = QStringLiteral("Firefox");
                session.domain = rule.host;
                session.sourceIdentifier = QStringLiteral("firefox-esr::") + rule.host;
            } else {
                const MonitoredAppRule& rule = AppSettings::defaults().monitoredApps.at(i % 5);
                session.appName = desktopNames.at(i % 5);
                session.appRuleId = rule.id;
                session.bundleIdentifier = desktopNames.at(i % 5).toLower();
                session.sourceIdentifier = session.bundleIdentifier;
            }
            if (i % 2 == 0)
                session.firstReminderShownAt = session.startedAt.addSecs(1);
            state.sessions.append(session);
        }
    }
    for (int i = 0; i < reminderCount; ++i) {
        const AiUsageSession& session = state.sessions.at(i * 3);
        state.reminderEvents.append(
            {QUuid::createUuid(), session.id,
             i % 4 == 0 ? ReminderKind::sessionFollowUp : ReminderKind::sessionStart,
             session.startedAt.addSecs(1),
             i % 5 == 0 ? ReminderAction::acknowledged : ReminderAction::shown});
    }
    state.lastDailySummaryDayKey = QStringLiteral("2026-12-05");
    return state;
}

inline double medianMs(const std::function<void()>& work)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

// The same bytes written without any encoding: write, fsync, rename.
} // namespace kelvo::bench
