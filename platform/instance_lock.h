#pragma once
// A named lock that one process of the machine holds at a time (the single-instance guard).

#include <cstdint>
#include <string_view>

namespace platform {

class NamedLock {
public:
    enum class State { Acquired, AlreadyExists, Failed };

    // Takes the lock of this name. On a POSIX system: an exclusive lock on a file named after it
    // in a folder that only this user can write ($XDG_RUNTIME_DIR, else a private folder of this
    // user in /tmp); Failed when no such folder can be had or the file belongs to another user.
    // On Windows: a named mutex in the session's namespace, which exists while a handle to it is
    // open; AlreadyExists also when an elevated process holds it. The lock is released when the
    // object is destroyed or the process ends, also when it is killed; programs started later
    // do not inherit it.
    explicit NamedLock(std::u16string_view name);
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;
    ~NamedLock();

    State state() const { return state_; }
    void Release();

private:
    // The lock file's descriptor (POSIX) or the mutex's HANDLE (Windows); -1 when not held.
    std::intptr_t handle_ = -1;
    State state_ = State::Failed;
};

}  // namespace platform
