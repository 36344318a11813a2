#pragma once
// The box of a process without a user interface, each system's own (message_box_posix.cpp,
// message_box_win.cpp); message_box.cpp shows it when no presenter is installed.

#include <string>

namespace platform {

// Shows a box with an OK button (okCancel false) or with OK and Cancel; true when OK was
// chosen.
bool PresentSystemBox(const std::u16string& caption, const std::u16string& text, bool okCancel);

}  // namespace platform
