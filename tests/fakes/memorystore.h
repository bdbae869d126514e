#pragma once

#include "calllog.h"
#include "model/statestore.h"

// Keeps the state in memory and remembers every save.
class MemoryStore final : public kelvo::StateStore {
public:
    explicit MemoryStore(CallLog& log, kelvo::StoredState initial = {})
        : state(std::move(initial))
        , m_log(log)
    {}

    kelvo::StoredState load() override { return state; }
    void save(const kelvo::StoredState& saved) override
    {
        m_log.record(QStringLiteral("store.save"));
        state = saved;
        ++saves;
    }

    kelvo::StoredState state;
    int saves = 0;

private:
    CallLog& m_log;
};
