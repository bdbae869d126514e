#include "reportedforeground.h"

namespace kelvo {

namespace {

constexpr int pollIntervalMs = 2000;
// Compositors activate "no window" on their way from one window to the next (GNOME Shell also
// while its overview is shown); that is reported as "no application" only when it lasts.
constexpr int settleMs = 50;
// However fast the compositor reports, the engine hears at most one observation in this time: the
// last.
constexpr int minIntervalMs = 20;

} // namespace

ReportedForeground::ReportedForeground(std::function<void()> emitSnapshot)
    : m_emit(std::move(emitSnapshot))
    , m_pacer(settleMs, minIntervalMs, m_emit)
{
    m_poll.setInterval(pollIntervalMs);
    QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] {
        m_identity.dispatchPendingChanges();
        m_emit();
    });
}

void ReportedForeground::start()
{
    m_running = true;
    m_poll.start();
}

void ReportedForeground::stop()
{
    m_running = false;
    m_poll.stop();
    m_pacer.stop();
    m_front.reset();
}

void ReportedForeground::report(std::optional<WindowFacts> front)
{
    if (!m_running)
        return;
    m_front = std::move(front);
    if (m_front)
        m_pacer.windowInFront();
    else
        m_pacer.noWindow();
}

FrontmostAppSnapshot ReportedForeground::snapshot()
{
    return m_front ? m_identity.resolve(*m_front) : FrontmostAppSnapshot{};
}

} // namespace kelvo
