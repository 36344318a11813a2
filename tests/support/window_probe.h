#pragma once
// The desktop's windows as a test sees and drives them, the way a user would: found by their
// caption, read by their controls, sent keys and commands. Windows only.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace testsupport {

// A top-level window; 0 is none.
using WindowId = std::uintptr_t;

// The ids of a dialog's OK button and of a message box's text.
constexpr int kOkButton = 1;
constexpr int kMessageBoxText = 0xFFFF;

// Waits up to the limit for a visible dialog window (of any process) with this caption, owned by
// the given window when owner is not 0.
WindowId FindDialog(const std::u16string& caption, std::chrono::milliseconds limit,
                    WindowId owner = 0);
bool IsWindowOpen(WindowId window);
// Waits up to the limit for the window to close.
bool WaitForClose(WindowId window, std::chrono::milliseconds limit);

std::u16string Caption(WindowId window);
std::u16string ControlText(WindowId window, int controlId);
bool IsControlVisible(WindowId window, int controlId);
// A progress bar's position and the top of its range.
struct Progress {
    std::int64_t position = 0;
    std::int64_t top = 0;
};
Progress ProgressOf(WindowId window, int controlId);
bool IsTopmost(WindowId window);

// What a user sees in a program file's properties: the number of icons it carries, and a value
// of its version information ("FileDescription", "ProductVersion", ...); empty when missing.
int IconCount(const std::u16string& program);
std::u16string VersionValue(const std::u16string& program, const std::u16string& name);

// Esc pressed in the window.
void PressEscape(WindowId window);
// A command as a button or a menu would send it (WM_COMMAND), or a system-menu command.
void PostCommand(WindowId window, int command);
void PostSystemCommand(WindowId window, unsigned command);

}  // namespace testsupport
