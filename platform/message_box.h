#pragma once
// Modal message boxes, shown by the active user interface from any thread; the calling thread
// waits for the answer. Every box has no owner window and stays above other windows.

#include <string>

namespace platform {

// How the active user interface shows a box. The text presenter is active until a user
// interface installs its own.
class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;
    // Shows a box with an OK button (okCancel false) or with OK and Cancel (okCancel true);
    // true when OK was chosen.
    virtual bool Present(const std::u16string& caption, const std::u16string& text,
                         bool okCancel) = 0;
};

// The text presenter: caption and text on standard error, each on its own line; an OK/Cancel
// question reads one line from standard input, where an empty line or "ok" (any case) is OK
// and anything else, or the end of input, is Cancel.
MessageBoxPresenter& TextMessageBoxPresenter();

// Installs the presenter of the active user interface; null restores the text presenter.
void SetMessageBoxPresenter(MessageBoxPresenter* presenter);

// A message with an OK button.
void ShowMessageBox(const std::u16string& caption, const std::u16string& text);

// A question with OK and Cancel; true when the answer is OK.
bool AskOkCancel(const std::u16string& caption, const std::u16string& text);

}  // namespace platform
