#pragma once
// Modal message boxes, shown by the active user interface from any thread; the calling thread
// waits for the answer. Every box has no owner window and stays above other windows.

#include <string>

namespace platform {

// How the active user interface shows a box.
class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;
    // Shows a box with an OK button (okCancel false) or with OK and Cancel (okCancel true);
    // true when OK was chosen.
    virtual bool Present(const std::u16string& caption, const std::u16string& text,
                         bool okCancel) = 0;
};

// Installs the presenter of the active user interface (null removes it) and returns the one it
// replaces, for the caller to put back. Without one, the system's own box is shown: on Windows
// a message box of the system; on a POSIX system the caption and text on standard error, each
// on its own line, and a question is answered with Cancel: there is no user interface to ask.
MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter);

// A message with an OK button.
void ShowMessageBox(const std::u16string& caption, const std::u16string& text);

// A question with OK and Cancel; true when the answer is OK.
bool AskOkCancel(const std::u16string& caption, const std::u16string& text);

}  // namespace platform
