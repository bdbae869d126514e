#pragma once

#include "model/statestore.h"

// Keeps the state in memory: what was last saved.
class MemoryStore final : public kelvo::StateStore {
public:
    explicit MemoryStore(kelvo::StoredState initial = {})
        : state(std::move(initial))
    {}

    kelvo::StoredState load() override { return state; }
    void save(const kelvo::StoredState& saved) override { state = saved; }

    kelvo::StoredState state;
};
