// Runs the text front end once for its tests, with what a server sent taken from the
// environment (UTF-8):
//   ORV_TEST_VERSION   the server's version text
//   ORV_TEST_HOMEPAGE  the server's home page
//   ORV_TEST_FILE      the name of the file being downloaded
// The worker begins a download, reaches 12.3%, names the file and quits. Ends with status 0
// when the dialog ended at the worker's quit.
//   box ok|okcancel  instead shows one message box while the text front end is active, and
//                    prints the answer ("shown", "OK" or "CANCEL")

#include <cstdint>
#include <iostream>
#include <string>

#include "core/messages.h"
#include "engine/update_manager.h"
#include "platform/environment.h"
#include "platform/message_box.h"
#include "platform/text_codepage.h"
#include "ui/front_end.h"

namespace {

std::string Given(const char* name) {
    return platform::GetEnvironment(name).value_or("");
}

class ScriptedManager : public CUpdateManager {
public:
    ~ScriptedManager() override { Join(); }
    void ThreadMain() override {
        PostToWindow(msg::kDownloadBegin, 1000, 0);
        PostToWindow(msg::kDownloadPermille, 123, 0);
        PostToWindow(msg::kCurrentFile, 0, 0, platform::Utf8ToUtf16(Given("ORV_TEST_FILE")));
        PostToWindow(msg::kQuit, 0, 0);
    }
};

int Box(const std::string& mode) {
    const std::unique_ptr<FrontEnd> frontEnd = MakeTextFrontEnd();
    const std::u16string caption = u"Orvel浏览器：更新失败";
    if (mode == "ok") {
        platform::ShowMessageBox(caption, u"更新完成。");
        std::cout << "shown" << std::endl;
    } else {
        const bool ok = platform::AskOkCancel(caption, u"是否重试？");
        std::cout << (ok ? "OK" : "CANCEL") << std::endl;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::string(argv[1]) == "box") {
        return Box(argv[2]);
    }
    ScriptedManager manager;
    // The manager holds what the server sent as the system's narrow text, as the loaders leave it.
    manager.serverFileDZ.version = platform::Utf8ToAnsi(Given("ORV_TEST_VERSION"));
    manager.serverConfig.homepage = platform::Utf8ToAnsi(Given("ORV_TEST_HOMEPAGE"));
    const std::unique_ptr<FrontEnd> frontEnd = MakeTextFrontEnd();
    const FrontEnd::DialogEnd end = frontEnd->RunUpdateDialog(manager);
    manager.Join();
    return end == FrontEnd::DialogEnd::WorkerQuit ? 0 : 1;
}
