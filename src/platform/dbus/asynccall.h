#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

#include <functional>

namespace kelvo {

// Sends `message` without waiting for the answer: `onReply` gets the reply, or the error (a
// timeout after `timeoutMs` included), on `context`'s thread, unless `context` is gone by then.
inline void callAsync(const QDBusConnection& bus, const QDBusMessage& message, int timeoutMs,
                      QObject* context, std::function<void(const QDBusMessage&)> onReply)
{
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(message, timeoutMs), context);
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, context,
                     [pending, onReply = std::move(onReply)] {
                         pending->deleteLater();
                         onReply(pending->reply());
                     });
}

} // namespace kelvo
