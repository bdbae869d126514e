#pragma once

#include "calllog.h"
#include "engine/appmonitor.h"

// A foreground monitor whose foreground the test sets; it keeps the real emission contract
// (onPoll for every observation, then onChange for a changed one).
class ScriptedMonitor final : public kelvo::AppMonitor {
public:
    explicit ScriptedMonitor(CallLog& log)
        : m_log(log)
    {}

    void start() override
    {
        m_log.record(QStringLiteral("monitor.start"));
        emitCurrentSnapshot();
    }
    void stop() override { m_log.record(QStringLiteral("monitor.stop")); }

    // Puts an application in front and emits it, as an activation would.
    void bringToFront(const kelvo::FrontmostAppSnapshot& snapshot)
    {
        m_foreground = snapshot;
        emitCurrentSnapshot();
    }
    void setForeground(const kelvo::FrontmostAppSnapshot& snapshot) { m_foreground = snapshot; }

protected:
    kelvo::FrontmostAppSnapshot currentSnapshot() override { return m_foreground; }

private:
    CallLog& m_log;
    kelvo::FrontmostAppSnapshot m_foreground;
};
