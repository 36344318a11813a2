// The window front end on Windows: the native update dialog, and the system's own message boxes.

#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "platform/interrupt.h"
#include "platform/message_box.h"
#include "platform/message_target.h"
#include "ui/front_end.h"
#include "ui/orv_update_dlg_win.h"
#include "ui/resource_ids.h"

namespace {

class WinFrontEnd : public FrontEnd {
public:
    // A box is the system's MessageBoxW, shown from whichever thread asks (the worker's questions
    // too); the dialog's thread keeps handling the engine's messages meanwhile.
    WinFrontEnd() : previous_(platform::SetMessageBoxPresenter(nullptr)) {}
    ~WinFrontEnd() override { platform::SetMessageBoxPresenter(previous_); }

    DialogEnd RunUpdateDialog(CUpdateManager& manager) override {
        COrvUpdateDlg dialog(manager, window_);
        platform::CatchInterrupts();
        return dialog.Run();
    }

private:
    platform::MessageBoxPresenter* previous_;
    // The engine's window, valid as long as the front end.
    platform::MessageTarget window_;
};

}  // namespace

std::unique_ptr<FrontEnd> MakeGuiFrontEnd(int&, char**) {
    // A program without the dialog's template (a test program) has no window to show.
    if (FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_ORVUPDATE_DIALOG), RT_DIALOG) == nullptr) {
        return nullptr;
    }
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES;
    if (!InitCommonControlsEx(&controls)) {
        return nullptr;
    }
    return std::make_unique<WinFrontEnd>();
}
