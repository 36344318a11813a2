#pragma once
// The user's request to close a program without a window (Ctrl+C, SIGTERM, a closed terminal).

namespace platform {

// From now on Ctrl+C, SIGTERM and SIGHUP set the request instead of ending the process.
void CatchInterrupts();
// Whether the user asked to close since CatchInterrupts.
bool InterruptRequested();

}  // namespace platform
