// Message boxes go to whichever presenter the active user interface installed.

#include <atomic>
#include <string>

#include "platform/message_box.h"
#include "platform/message_box_system.h"

namespace platform {
namespace {

// The box of a process without a user interface.
class SystemPresenter : public MessageBoxPresenter {
public:
    bool Present(const std::u16string& caption, const std::u16string& text,
                 bool okCancel) override {
        return PresentSystemBox(caption, text, okCancel);
    }
};

std::atomic<MessageBoxPresenter*> installed{nullptr};

MessageBoxPresenter& Active() {
    static SystemPresenter system;
    MessageBoxPresenter* presenter = installed.load();
    return presenter != nullptr ? *presenter : system;
}

}  // namespace

MessageBoxPresenter* SetMessageBoxPresenter(MessageBoxPresenter* presenter) {
    return installed.exchange(presenter);
}

void ShowMessageBox(const std::u16string& caption, const std::u16string& text) {
    Active().Present(caption, text, false);
}

bool AskOkCancel(const std::u16string& caption, const std::u16string& text) {
    return Active().Present(caption, text, true);
}

}  // namespace platform
