#pragma once

#include "activationpacer.h"
#include "engine/appmonitor.h"
#include "platform/x11/appidentityresolver.h"

#include <QTimer>

#include <functional>
#include <optional>

namespace kelvo {

// What the monitors fed by a reporter of Kelvo's inside the compositor (a KWin script, a GNOME
// Shell extension) share: the window last reported in front, resolved through the identity chain;
// each report paced on its way to the engine, and the 2-second poll beside them.
class ReportedForeground final {
public:
    // `emitSnapshot` is the monitor's emitCurrentSnapshot.
    explicit ReportedForeground(std::function<void()> emitSnapshot);

    void start();
    // Nothing is in front until the next report.
    void stop();
    // None: no window in front. Ignored while stopped.
    void report(std::optional<WindowFacts> front);
    FrontmostAppSnapshot snapshot();

private:
    std::function<void()> m_emit;
    AppIdentityResolver m_identity;
    QTimer m_poll;
    ActivationPacer m_pacer;
    std::optional<WindowFacts> m_front;
    bool m_running = false;
};

} // namespace kelvo
