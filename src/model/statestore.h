#pragma once

#include "storedstate.h"

namespace kelvo {

// Where the engine loads its state from and saves it to.
class StateStore {
public:
    StateStore() = default;
    StateStore(const StateStore&) = delete;
    StateStore& operator=(const StateStore&) = delete;
    virtual ~StateStore() = default;

    // Never fails: a missing or unreadable file yields a fallback state.
    virtual StoredState load() = 0;
    // Never fails to the caller; failures are reported by the store itself.
    virtual void save(const StoredState& state) = 0;
};

} // namespace kelvo
