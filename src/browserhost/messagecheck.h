#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace kelvo::browserhost {

// A message from the extension once checked: either the origin of the active tab to record (or
// nothing, when the tab has none worth reporting), or the reason the message was ignored.
struct CheckedMessage {
    bool accepted = false;
    std::optional<QString> origin;
    QString reason;
};

// Accepts a JSON object whose "origin" is null or an http or https URL, reduced to its origin;
// other keys are ignored. Reasons never quote the message, which may hold a private address.
CheckedMessage checkMessage(const QByteArray& body);

} // namespace kelvo::browserhost
