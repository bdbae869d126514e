#pragma once

#include "engine/appmonitor.h"

#include <QStringList>

// A foreground monitor whose foreground the test sets and then emits with emitCurrentSnapshot();
// it keeps the real emission contract (onPoll for every observation, then onChange for a changed
// one).
class ScriptedMonitor final : public kelvo::AppMonitor {
public:
    explicit ScriptedMonitor(QStringList& log)
        : m_log(log)
    {}

    void start() override { emitCurrentSnapshot(); }
    void stop() override { m_log.append(QStringLiteral("monitor.stop")); }

    kelvo::FrontmostAppSnapshot foreground;

protected:
    kelvo::FrontmostAppSnapshot currentSnapshot() override { return foreground; }

private:
    QStringList& m_log;
};
