#include <signal.h>

#include <atomic>
#include <initializer_list>

#include "platform/interrupt.h"

namespace platform {
namespace {

std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int) {
    requested.store(true);
}

}  // namespace

void CatchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Reads and writes in progress go on; the program looks at the flag at its own pace.
    action.sa_flags = SA_RESTART;
    // A closed terminal (SIGHUP) is a request to close like the others: it must not end the
    // program while the installation folder is being changed.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
    // Nor may a reader of standard error that went away: the write fails, the update goes on.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

bool InterruptRequested() {
    return requested.load();
}

}  // namespace platform
