// Starting a program detached from this one, ending the process at once, and its one heap.

#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/spawn_posix.h"

extern char** environ;

namespace platform {

bool StartProgram(std::string_view ansiPath) {
    const std::string path = SystemPath(ansiPath);
    if (path.empty()) {
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return false;
    }
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    // Like a program started with a console of its own: none of our standard streams (a pipe
    // somebody waits on, a terminal we are about to leave), no other descriptor (the
    // single-instance lock), default signal handling, and a session of its own.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    DefaultSignalsOnSpawn(attributes, POSIX_SPAWN_SETSID);

    std::string argument0 = path;
    char* argv[] = {argument0.data(), nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        return false;
    }

    // Nobody waits for the program, but its exit status is collected so that it does not stay
    // behind as a zombie while this process lives on.
    try {
        std::thread([pid] {
            int status;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
    }
    return true;
}

void ExitProcessNow(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    ::_exit(status);
}

void ShareOneHeap() {
#if defined(__GLIBC__)
    ::mallopt(M_ARENA_MAX, 1);
#endif
}

}  // namespace platform
