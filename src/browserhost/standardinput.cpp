#include "standardinput.h"

#include <cerrno>

#include <poll.h>
#include <unistd.h>

namespace kelvo::browserhost {

namespace {

volatile std::sig_atomic_t terminationSignal = 0;

extern "C" void onTerminationSignal(int number)
{
    terminationSignal = number;
}

constexpr int terminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

} // namespace

StandardInput::StandardInput()
{
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, nullptr);

    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int number : terminationSignals)
        sigaddset(&blocked, number);
    ::sigprocmask(SIG_BLOCK, &blocked, &m_waitMask);
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (const int number : terminationSignals) {
        sigdelset(&m_waitMask, number); // the browser may have started us with them blocked
        ::sigaction(number, &action, nullptr);
    }
}

qsizetype StandardInput::read(char* buffer, qsizetype maximum)
{
    for (;;) {
        if (terminationSignal != 0)
            return 0;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (::ppoll(&input, 1, nullptr, &m_waitMask) < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        const ssize_t count = ::read(STDIN_FILENO, buffer, size_t(maximum));
        if (count >= 0)
            return count;
        // EAGAIN: the browser handed over a non-blocking descriptor; wait for it again.
        if (errno != EINTR && errno != EAGAIN)
            return 0;
    }
}

} // namespace kelvo::browserhost
