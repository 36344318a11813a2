// The wxWidgets front end: the update dialog in a window, and message boxes as modal dialogs.

#include <clocale>
#include <future>
#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/thread.h>

#include "engine/update_manager.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/interrupt.h"
#include "platform/message_box.h"
#include "ui/front_end.h"
#include "ui/orv_update_dlg.h"
#include "ui/wx_text.h"

namespace {

// The application object that the toolkit needs; the start-up runs the program, so there is no
// main loop, no main frame and no command line to parse.
class OrvGuiApp : public wxApp {
public:
    bool OnInit() override {
        // Toolkit errors go to standard error, never into boxes of their own.
        delete wxLog::SetActiveTarget(new wxLogStderr);
        return true;
    }

    void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                         const wxChar* msg) override {
        // A toolkit assertion must not stop the update with a box of its own.
        wxString text;
        text.Printf("wxWidgets assertion \"%s\" failed in %s() at %s:%d: %s\n", cond, func, file,
                    line, msg);
        platform::WriteStandardError(text.utf8_string());
    }
};

// Shows a box on the main thread and gives the answer: true for OK.
bool ShowBox(const std::u16string& caption, const std::u16string& text, bool okCancel) {
    long style = wxOK | wxCENTRE | wxICON_NONE | wxSTAY_ON_TOP | wxDIALOG_NO_PARENT;
    if (okCancel) {
        style |= wxCANCEL;
    }
    wxMessageDialog box(nullptr, ToWx(text), ToWx(caption), style);
    if (okCancel) {
        box.SetOKCancelLabels(ToWx(u"确定"), ToWx(u"取消"));
    } else {
        box.SetOKLabel(ToWx(u"确定"));
    }
    return box.ShowModal() == wxID_OK;
}

class GuiMessageBoxPresenter : public platform::MessageBoxPresenter {
public:
    bool Present(const std::u16string& caption, const std::u16string& text,
                 bool okCancel) override {
        if (wxIsMainThread()) {
            return ShowBox(caption, text, okCancel);
        }
        // The worker asks: the box runs on the main thread, the worker waits for the answer.
        auto answer = std::make_shared<std::promise<bool>>();
        std::future<bool> future = answer->get_future();
        wxTheApp->CallAfter([answer, caption, text, okCancel] {
            answer->set_value(ShowBox(caption, text, okCancel));
        });
        return future.get();
    }
};

class GuiFrontEnd : public FrontEnd {
public:
    GuiFrontEnd() : previous_(platform::SetMessageBoxPresenter(&presenter_)) {}
    // The boxes go back to whoever showed them before, the terminal in the program.
    ~GuiFrontEnd() override { platform::SetMessageBoxPresenter(previous_); }

    DialogEnd RunUpdateDialog(CUpdateManager& manager) override {
        COrvUpdateDlg dialog(manager);
        platform::CatchInterrupts();
        wxTheApp->SetTopWindow(&dialog);
        const int end = dialog.ShowModal();
        wxTheApp->SetTopWindow(nullptr);
        return end == COrvUpdateDlg::kEndedByWorker ? DialogEnd::WorkerQuit
                                                    : DialogEnd::ClosedByUser;
    }

private:
    GuiMessageBoxPresenter presenter_;
    platform::MessageBoxPresenter* previous_;
};

bool DisplayNamed() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const std::optional<std::string> value = platform::GetEnvironment(name);
        if (value && !value->empty()) {
            return true;
        }
    }
    return false;
}

// Initialises the toolkit once per process; false when no display can be opened.
bool StartToolkit(int& argc, char** argv) {
    static bool started = false;
    if (started) {
        return true;
    }
    if (!DisplayNamed()) {
        return false;
    }
    wxApp::SetInstance(new OrvGuiApp);
    {
        // A display that cannot be opened is no error here: the text front end takes over.
        wxLogNull quiet;
        if (!wxEntryStart(argc, argv)) {
            return false;
        }
    }
    if (!wxTheApp->CallOnInit()) {
        wxEntryCleanup();
        return false;
    }
    // The toolkit adopts the user's locale; numbers in the engine's texts stay in the C form.
    std::setlocale(LC_NUMERIC, "C");
    started = true;
    return true;
}

}  // namespace

std::unique_ptr<FrontEnd> MakeGuiFrontEnd(int& argc, char** argv) {
    if (!StartToolkit(argc, argv)) {
        return nullptr;
    }
    return std::make_unique<GuiFrontEnd>();
}
