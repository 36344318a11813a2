#pragma once
// Waiting in tests for what another thread or process does: poll a condition until it holds or
// the time is up, never a fixed sleep that a busy machine can outlast.

#include <chrono>
#include <filesystem>
#include <functional>

namespace testsupport {

// Polls the condition every few milliseconds; whether it held before the time was up.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// Waits until a file that another process appends to holds at least `lines` complete lines, or
// until the time is up, and returns the complete lines it holds. The file exists before its
// first line is written, so its mere existence says nothing.
int WaitForLines(const std::filesystem::path& path, int lines, std::chrono::milliseconds limit);

}  // namespace testsupport
