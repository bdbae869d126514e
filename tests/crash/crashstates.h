#pragma once

#include "model/storedstate.h"

// The k-th state of the crash test: large, and built from k alone, so that the test can rebuild
// exactly whichever state a killed saver may have written last. Its muted day key is k.
inline kelvo::StoredState crashTestState(quint64 k)
{
    using namespace kelvo;
    const auto id = [k](uint i) {
        return QUuid(uint(k), ushort(i), ushort(i >> 16), 1, 2, 3, 4, 5, 6, 7, 8);
    };
    const QDateTime start =
        QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(k % 100000) * 60);
    StoredState state;
    state.mutedReminderDayKey = QString::number(k);
    // The default rules get fresh identities in every process; these are the same in all.
    uint next = 4000;
    for (MonitoredAppRule& rule : state.settings.monitoredApps)
        rule.id = id(next++);
    for (uint i = 0; i < 4000; ++i) {
        AiUsageSession session;
        session.id = id(i);
        session.appName = QStringLiteral("ChatGPT 网页");
        session.startedAt = start.addSecs(qint64(i * 900 + (k + i) * 7 % 300));
        session.endedAt = session.startedAt.addSecs(qint64((k * 31 + i * 13) % 3000));
        state.sessions.append(session);
    }
    return state;
}
