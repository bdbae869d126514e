#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace kelvo {

// Turns a compositor's activation reports into a monitor's emissions. A window in front goes out
// at once, but never more often than once per `minIntervalMs`: a storm of reports goes out once
// per interval, with the latest. "No window in front" goes out only once it has lasted
// `settleMs`, since compositors pass through it on their way from one window to the next and
// moving between two windows of one AI tool must not end its session.
class ActivationPacer final : public QObject {
public:
    ActivationPacer(int settleMs, int minIntervalMs, std::function<void()> emitSnapshot,
                    QObject* parent = nullptr);

    void windowInFront();
    void noWindow();
    // Forgets what is waiting to go out.
    void stop();

private:
    void emitNow();

    std::function<void()> m_emit;
    QTimer m_settle;
    QTimer m_pace;
    bool m_pending = false;
};

} // namespace kelvo
