#include "appmonitor.h"

namespace kelvo {

void AppMonitor::deliver(const FrontmostAppSnapshot& snapshot)
{
    if (m_onPoll)
        m_onPoll(snapshot);
    if (m_lastSnapshot == snapshot)
        return;
    m_lastSnapshot = snapshot;
    if (m_onChange)
        m_onChange(snapshot);
}

} // namespace kelvo
