#pragma once

#include "browserhost/framereader.h"

#include <csignal>

namespace kelvo::browserhost {

// Standard input as the browser writes it, read until it ends or SIGTERM, SIGINT or SIGHUP comes.
// The three signals stay blocked except while the host waits for input, so one that comes at any
// moment ends the wait rather than being lost between a check and a blocking read. SIGPIPE is
// ignored: a closed standard error must not kill the host. One instance per process.
class StandardInput final : public ByteSource {
public:
    StandardInput();

    qsizetype read(char* buffer, qsizetype maximum) override;

private:
    sigset_t m_waitMask{};
};

} // namespace kelvo::browserhost
