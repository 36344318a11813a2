#pragma once
// Shared by the two ways programs are started: the browser, and the programs that the tests run
// (tests/support/child_process_posix.cpp).

#include <signal.h>
#include <spawn.h>

namespace platform {

// The started program gets default signal handling and no blocked signals: what this process
// ignores (SIGPIPE, SIGXFSZ) or blocks must not carry over. extraFlags are added (POSIX_SPAWN_*).
inline void DefaultSignalsOnSpawn(posix_spawnattr_t& attributes, short extraFlags = 0) {
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, static_cast<short>(POSIX_SPAWN_SETSIGMASK |
                                                             POSIX_SPAWN_SETSIGDEF | extraFlags));
}

}  // namespace platform
