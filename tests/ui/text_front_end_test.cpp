// The text front end with a worker that keeps posting after the dialog has ended, as the engine
// does when the user closes the dialog during a download.

#include <cstdint>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "engine/messages.h"
#include "engine/update_manager.h"
#include "ui/front_end.h"

namespace {

class ScriptedManager : public CUpdateManager {
public:
    ~ScriptedManager() override { Join(); }
    void ThreadMain() override { script(*this); }
    void Post(std::uint32_t id, std::uintptr_t wParam = 0) {
        static_cast<MessageSender&>(*this).PostToWindow(id, wParam, 0);
    }
    std::function<void(ScriptedManager&)> script;
};

// Overwrites the stack below the caller, where a dialog's locals lived.
std::uint64_t UseStack(int depth) {
    volatile char scratch[4096];
    for (std::size_t i = 0; i < sizeof(scratch); ++i) {
        scratch[i] = static_cast<char>(0xA5 ^ i ^ depth);
    }
    return depth == 0 ? scratch[7] : UseStack(depth - 1) + scratch[depth];
}

TEST(TextFrontEnd, WindowOutlivesTheDialogForAWorkerThatGoesOn) {
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        ScriptedManager manager;
        manager.script = [](ScriptedManager& worker) {
            worker.Post(msg::kDownloadBegin, 100000);
            worker.Post(msg::kQuit);
            for (std::uint32_t done = 1; done <= 100000; ++done) {
                worker.Post(msg::kDownloadPosition, done);
            }
        };
        const std::unique_ptr<FrontEnd> frontEnd = MakeTextFrontEnd();
        EXPECT_EQ(frontEnd->RunUpdateDialog(manager), FrontEnd::DialogEnd::WorkerQuit);
        EXPECT_NE(UseStack(64), 0u);
        manager.Join();
    }
}

}  // namespace
