#include "notificationledger.h"

#include <algorithm>

namespace kelvo {

uint NotificationLedger::replacementFor(const QString& requestId) const
{
    const auto it = std::find_if(m_entries.cbegin(), m_entries.cend(),
                                 [&](const Entry& entry) { return entry.requestId == requestId; });
    return it == m_entries.cend() ? 0 : it->serverId;
}

void NotificationLedger::record(const QString& requestId, uint serverId,
                                std::optional<QUuid> sessionId)
{
    m_entries.removeIf([&](const Entry& entry) {
        return entry.requestId == requestId || entry.serverId == serverId;
    });
    if (m_entries.size() >= capacity)
        m_entries.removeFirst();
    m_entries.append({requestId, serverId, sessionId});
}

std::optional<std::optional<QUuid>> NotificationLedger::sessionFor(uint serverId) const
{
    for (const Entry& entry : m_entries) {
        if (entry.serverId == serverId)
            return entry.sessionId;
    }
    return std::nullopt;
}

void NotificationLedger::forget(uint serverId)
{
    m_entries.removeIf([&](const Entry& entry) { return entry.serverId == serverId; });
}

} // namespace kelvo
