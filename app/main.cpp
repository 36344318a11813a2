// orvupdate.exe: checks the update server, updates the browser's installation folder and starts
// the browser again.

#include <memory>
#include <string>

#include "app/orv_update_app.h"
#include "core/build_config.h"
#include "core/user_texts.h"
#include "engine/update_manager.h"
#include "platform/environment.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "platform/signature.h"
#include "ui/front_end.h"
#include "ui/text_presenter.h"

int main(int argc, char** argv) {
    platform::ShareOneHeap();
    // Until a front end installs its own, boxes are shown and answered on the terminal.
    platform::SetMessageBoxPresenter(&TextMessageBoxPresenter());

    // ORVUPDATE_UI=text or gui forces a front end; otherwise the window when a display opens.
    const std::string choice = platform::GetEnvironment("ORVUPDATE_UI").value_or("");
    std::unique_ptr<FrontEnd> frontEnd;
    if (choice != "text") {
        frontEnd = MakeGuiFrontEnd(argc, argv);
    }
    if (!frontEnd) {
        frontEnd = MakeTextFrontEnd();
    }

    COrvUpdateApp app(*frontEnd);
    try {
        // The key is part of the program, never read from its surroundings, so that nobody who
        // can change a file or the environment can choose what it accepts. A key that does not
        // read as one refuses every release rather than accepting unsigned ones.
        static_assert(sizeof(ORVUPDATE_RELEASE_PUBLIC_KEY) == 1 ||
                          sizeof(ORVUPDATE_RELEASE_PUBLIC_KEY) == 2 * platform::kPublicKeySize + 1,
                      "the release key is 130 hexadecimal digits or empty");
        if (sizeof(ORVUPDATE_RELEASE_PUBLIC_KEY) > 1) {
            CUpdateManager::Instance().releasePublicKey =
                platform::BytesFromHex(ORVUPDATE_RELEASE_PUBLIC_KEY).value_or(platform::Bytes(1));
        }
        app.InitInstance();
    } catch (...) {
        // Memory exhausted, or a file or folder that cannot be used: the user learns that the
        // update did not start instead of seeing the program vanish.
        platform::ShowMessageBox(texts::kCaptionStartupFailed, texts::StartupFailed());
        platform::ExitProcessNow(COrvUpdateApp::kBrowserNotStarted);
    }
    // The worker may still run (the user closed the dialog during a download): end at once
    // rather than tear down objects that it uses. Partial downloads resume on the next run.
    platform::ExitProcessNow(app.exitStatus);
}
