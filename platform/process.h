#pragma once
// Starting programs, the process's own end, and its one heap.

#include <string_view>

namespace platform {

// Starts the program at a narrow path: the bare path, no shell, no arguments, in a session of
// its own, not waited for. False when it could not be started (missing, not executable).
bool StartProgram(std::string_view ansiPath);

// Ends the process at once with a status, without running static destructors, so that a worker
// thread that is still running never meets half-destroyed objects. Standard streams are flushed.
[[noreturn]] void ExitProcessNow(int status);

// Has every thread of the process allocate from one shared heap. The updater's few threads
// take turns at the heap; a heap of each one's own would keep what that thread freed, and the
// process's memory would grow with its threads. Called once, before any thread starts.
void ShareOneHeap();

}  // namespace platform
