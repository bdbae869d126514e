#include "activationpacer.h"

namespace kelvo {

ActivationPacer::ActivationPacer(int settleMs, int minIntervalMs,
                                 std::function<void()> emitSnapshot, QObject* parent)
    : QObject(parent)
    , m_emit(std::move(emitSnapshot))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &ActivationPacer::windowInFront);
    m_pace.setSingleShot(true);
    m_pace.setInterval(minIntervalMs);
    connect(&m_pace, &QTimer::timeout, this, [this] {
        if (m_pending)
            emitNow();
    });
}

void ActivationPacer::windowInFront()
{
    m_settle.stop();
    if (m_pace.isActive())
        m_pending = true;
    else
        emitNow();
}

void ActivationPacer::noWindow()
{
    // A flood of such reports does not put the moment off for ever.
    if (!m_settle.isActive())
        m_settle.start();
}

void ActivationPacer::stop()
{
    m_settle.stop();
    m_pace.stop();
    m_pending = false;
}

void ActivationPacer::emitNow()
{
    m_pending = false;
    m_pace.start();
    m_emit();
}

} // namespace kelvo
