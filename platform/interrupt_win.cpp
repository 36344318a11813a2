// Console control events as the request to close. The system calls the handler on a thread of
// its own.

#include <windows.h>

#include <atomic>

#include "platform/interrupt.h"

namespace platform {
namespace {

std::atomic<bool> requested{false};

BOOL WINAPI OnControlEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            requested.store(true);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The system ends the process as soon as the handler returns (and at the latest
            // after its own time limit), which must not happen while the installation folder
            // is being changed. The handler waits instead: the program sees the request, stops
            // at the next safe point and ends itself with ExitProcessNow.
            requested.store(true);
            for (;;) {
                Sleep(INFINITE);
            }
        default:
            return FALSE;
    }
}

}  // namespace

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

bool InterruptRequested() {
    return requested.load();
}

}  // namespace platform
