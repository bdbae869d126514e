#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace kelvo {

// What Kelvo remembers of the notifications it posted: the server's id for each request
// identifier, so that posting the identifier again replaces it, and the session each id answers
// for. Bounded: the oldest entries are forgotten first.
class NotificationLedger final {
public:
    static constexpr qsizetype capacity = 256;

    // The server id that a new post of `requestId` replaces, or 0 for none.
    uint replacementFor(const QString& requestId) const;
    // Records the id the server gave to `requestId`; an id the server reuses moves to it.
    void record(const QString& requestId, uint serverId, std::optional<QUuid> sessionId);
    // The session of a notification Kelvo posted; nothing when the id is not Kelvo's.
    std::optional<std::optional<QUuid>> sessionFor(uint serverId) const;
    void forget(uint serverId);
    void clear() { m_entries.clear(); }

private:
    struct Entry {
        QString requestId;
        uint serverId = 0;
        std::optional<QUuid> sessionId;
    };

    QList<Entry> m_entries; // oldest first
};

} // namespace kelvo
