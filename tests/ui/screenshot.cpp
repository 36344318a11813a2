// ui_screenshot FILE.png: shows the update dialog half-way through a download and writes a
// picture of it. Run it on a display (xvfb-run -a -s "-screen 0 1280x800x24" ui_screenshot ...).

#include <filesystem>
#include <memory>
#include <string>

#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/timer.h>

#include "core/messages.h"
#include "engine/update_manager.h"
#include "platform/console.h"
#include "platform/text_codepage.h"
#include "tests/support/process_settings.h"
#include "ui/front_end.h"
#include "ui/orv_update_dlg.h"

namespace {

class ShowcaseManager : public CUpdateManager {
public:
    ShowcaseManager() {
        serverFileDZ.version = "2.0.1";
        serverConfig.homepage = "http://www.orvel.example/";
    }
    void ThreadMain() override {}
};

bool Capture(wxWindow& window, const wxString& path) {
    const wxRect rect = window.GetScreenRect();
    wxBitmap picture(rect.GetSize(), 24);
    wxMemoryDC memory(picture);
    wxScreenDC screen;
    memory.Blit(0, 0, rect.width, rect.height, &screen, rect.x, rect.y);
    memory.SelectObject(wxNullBitmap);
    return picture.SaveFile(path, wxBITMAP_TYPE_PNG);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        platform::WriteStandardError("usage: ui_screenshot FILE.png\n");
        return 2;
    }
    const std::string output = std::filesystem::absolute(argv[1]).string();

    // The manager's work folders go to a folder of their own.
    const std::filesystem::path work = std::filesystem::temp_directory_path() / "orv-ui-screenshot";
    std::filesystem::create_directories(work);
    testsupport::SetEnvironment("TMPDIR", work.c_str());

    std::unique_ptr<FrontEnd> frontEnd = MakeGuiFrontEnd(argc, argv);
    if (!frontEnd) {
        platform::WriteStandardError("no display\n");
        return 1;
    }
    wxImage::AddHandler(new wxPNGHandler);

    bool saved = false;
    {
        ShowcaseManager manager;
        COrvUpdateDlg dialog(manager);
        constexpr std::uint32_t kTotal = 48 * 1024 * 1024;
        auto post = [&](std::uint32_t id, std::uintptr_t wParam, std::u16string text = {}) {
            platform::PostMessageTo(&dialog.Window(), id, wParam, 0, std::move(text));
        };
        wxTimer timer;
        timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            saved = Capture(dialog, wxString::FromUTF8(output));
            post(msg::kQuit, 0);
        });
        wxTheApp->CallAfter([&] {
            post(msg::kDownloadBegin, kTotal);
            post(msg::kCurrentFile, 0, u"bin\\orvel_core.dll");
            post(msg::kDownloadPosition, kTotal / 2);
            post(msg::kDownloadPermille, 500);
            // Time for the window to be mapped and painted.
            timer.StartOnce(700);
        });
        dialog.ShowModal();
    }
    std::filesystem::remove_all(work);
    if (!saved) {
        platform::WriteStandardError("the picture could not be written\n");
        return 1;
    }
    return 0;
}
