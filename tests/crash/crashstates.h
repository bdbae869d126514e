#pragma once

#include "model/storedstate.h"

#include <QByteArrayView>

#include <random>

// The k-th state of the crash test, built from a fixed seed and k alone, so that the test can
// rebuild exactly whichever state a killed saver may have written last. Its muted day key is k.
inline kelvo::StoredState crashTestState(quint64 k)
{
    using namespace kelvo;
    std::mt19937_64 random(0x4B656C766FULL + k * 0x9E3779B97F4A7C15ULL);
    const auto uuid = [&random] {
        const quint64 bits[2] = {random(), random()};
        return QUuid::fromRfc4122(QByteArrayView(reinterpret_cast<const char*>(bits), 16));
    };
    const QDateTime start =
        QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addSecs(qint64(k % 100000) * 60);
    StoredState state;
    state.mutedReminderDayKey = QString::number(k);
    // The default rules get fresh identities in every process; these are the same in all.
    for (MonitoredAppRule& rule : state.settings.monitoredApps)
        rule.id = uuid();
    for (int i = 0; i < 4000; ++i) {
        AiUsageSession session;
        session.id = uuid();
        session.appName = QStringLiteral("ChatGPT 网页");
        session.startedAt = start.addSecs(i * 900 + qint64(random() % 300));
        session.endedAt = session.startedAt.addSecs(qint64(random() % 3000));
        state.sessions.append(session);
    }
    return state;
}
