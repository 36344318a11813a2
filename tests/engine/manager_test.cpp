// The update manager: its wiring, its worker thread and the end of the update sequence.

#include <atomic>
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/user_texts.h"
#include "engine/update_manager.h"
#include "tests/engine/test_support.h"
#include "tests/support/http_test_server.h"

namespace {

using enginetest::Drain;
using enginetest::ManagerOnFolders;
using enginetest::RecordingPresenter;
using testsupport::ReadFile;
using testsupport::WriteFile;
namespace fs = std::filesystem;

// Generous: only guards the test against hanging when a message never comes.
constexpr std::chrono::seconds kHangGuard(120);

TEST(ManagerConstruction, PartsAreWiredToTheManagersOwnState) {
    CUpdateManager& manager = CUpdateManager::Instance();
    EXPECT_EQ(&CUpdateManager::Instance(), &manager);

    const OrvObject& own = manager;
    EXPECT_EQ(own.paths, &manager.pathStore);
    EXPECT_EQ(own.config, &manager.serverConfig);
    EXPECT_EQ(own.progress, &manager.progressCtrl);

    // The manifests were built during the manager's construction: wired afterwards, without a
    // progress reporter.
    const OrvObject& notice = manager.serverFileDZ;
    const OrvObject& list = manager.serverFileList;
    EXPECT_EQ(notice.paths, &manager.pathStore);
    EXPECT_EQ(notice.config, &manager.serverConfig);
    EXPECT_EQ(notice.progress, nullptr);
    EXPECT_EQ(list.paths, &manager.pathStore);
    EXPECT_EQ(list.config, &manager.serverConfig);
    EXPECT_EQ(list.progress, nullptr);

    ASSERT_NE(manager.taskManager, nullptr);
    EXPECT_EQ(manager.taskManager->paths, &manager.pathStore);
    EXPECT_EQ(manager.taskManager->config, &manager.serverConfig);
    EXPECT_EQ(manager.taskManager->progress, &manager.progressCtrl);

    // Any object made later shares the same context.
    TaskManager later;
    EXPECT_EQ(later.paths, &manager.pathStore);
    EXPECT_EQ(later.progress, &manager.progressCtrl);
}

TEST(ManagerThread, UnreachableServerListShowsTheMessageAndClosesTheDialog) {
    ManagerOnFolders state;
    RecordingPresenter presenter;
    CUpdateManager& manager = state.manager;
    // Nothing listens on port 1 of the loopback address: the request fails at once.
    manager.serverConfig.downUrl = "http://127.0.0.1:1/";
    WriteFile(state.download / "partial.bin", "kept");

    manager.Start();
    platform::Message message;
    ASSERT_TRUE(state.window.WaitFor(message, kHangGuard));
    EXPECT_EQ(message.id, msg::kQuit);
    // The message is there before the worker has left the post: the window must outlive it.
    manager.Join();
    EXPECT_FALSE(manager.HasThread());
    manager.Start();  // the manager's thread runs once per process
    EXPECT_FALSE(manager.HasThread());
    manager.Detach();

    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].caption, texts::kCaptionUpdateFailed);
    EXPECT_EQ(presenter.boxes[0].text, texts::ServerListFailed());
    EXPECT_FALSE(presenter.boxes[0].okCancel);
    EXPECT_FALSE(manager.IsFinished());
    EXPECT_EQ(ReadFile(state.download / "partial.bin"), "kept") << "work folders untouched";
    EXPECT_TRUE(Drain(state.window).empty());
}

TEST(ManagerThread, AnExceptionInTheUpdateIsToldAndStillClosesTheDialog) {
    ManagerOnFolders state;
    RecordingPresenter presenter;
    testsupport::HttpTestServer server;
    server.Set("/filelist.update", testsupport::Reply(200, "{}"));
    CUpdateManager& manager = state.manager;
    manager.serverConfig.downUrl = server.BaseUrl();
    // The server list cannot be saved: a file stands where its folder should be.
    WriteFile(state.download / "blocker", "");
    manager.pathStore.downloadFileListPath = manager.pathStore.downloadFolder + "blocker\\x";

    manager.ThreadMain();

    const auto messages = Drain(state.window);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, msg::kQuit);
    EXPECT_EQ(messages[0].wParam, 0u);
    // Before the plan exists, the failure is the server list's.
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].caption, texts::kCaptionUpdateFailed);
    EXPECT_EQ(presenter.boxes[0].text, texts::ServerListFailed());
    EXPECT_FALSE(manager.IsFinished());
}

TEST(ManagerThread, AnExceptionDuringThePlanIsToldAsTheRunningStagesFailure) {
    ManagerOnFolders state;
    CUpdateManager& manager = state.manager;
    manager.plan = std::make_unique<OrvUpdateTask>();
    OrvUpdateTask& plan = *manager.plan;
    // The finish stage installs into the installation folder, as the local set-up does.
    const struct {
        XTask* doneUpTo;
        std::u16string text;
    } cases[] = {
        {nullptr, texts::DownloadFailed()},
        {&plan.download, texts::UncompressFailed()},
        {&plan.uncompress, texts::LocalsetFailed()},
        {&plan.localset, texts::LocalsetFailed()},
    };
    for (const auto& c : cases) {
        RecordingPresenter presenter;
        for (XTask* stage : plan.children) {
            stage->ResetDone();
        }
        for (XTask* stage : plan.children) {
            if (c.doneUpTo == nullptr) {
                break;
            }
            stage->SetDone();
            if (stage == c.doneUpTo) {
                break;
            }
        }
        manager.ReportUnexpectedFailure();
        ASSERT_EQ(presenter.boxes.size(), 1u);
        EXPECT_EQ(presenter.boxes[0].caption, texts::kCaptionUpdateFailed);
        EXPECT_TRUE(presenter.boxes[0].text == c.text);
    }
    manager.plan.reset();
}

TEST(ManagerThread, SuccessfulUpdateInstallsEverythingAndEmptiesTheWorkFolders) {
    ManagerOnFolders state;
    RecordingPresenter presenter;
    testsupport::HttpTestServer server;
    CUpdateManager& manager = state.manager;
    manager.serverConfig.downUrl = server.BaseUrl();

    const std::string fox = "The quick brown fox jumps over the lazy dog";  // 43 bytes
    const std::string hello = "hello\n";                                    // 6 bytes
    const std::string serverList =
        R"({"a.txt": {"md5": "9e107d9d372bb6826bd81d3542a419d6", "size": 43},)"
        R"( "bin\\b.dll": {"md5": "b1946ac92492d2347c6235b4d2611184", "size": 6},)"
        R"( "same.txt": {"md5": "m", "size": 1}})";
    server.Set("/filelist.update", testsupport::Reply(200, serverList));
    server.Set("/a.txt", testsupport::Reply(200, fox));
    server.Set("/bin/b.dll", testsupport::Reply(200, hello));
    manager.serverFileDZ.replyText = R"({"ID": "r2", "version": "2.0"})";
    manager.serverFileDZ.version = "2.0";
    manager.serverFileDZ.id = "r2";

    WriteFile(state.install / "filelist.update",
              R"({"bin\\b.dll": {"md5": "old"}, "same.txt": {"md5": "m"}, "gone.txt": {}})");
    WriteFile(state.install / "bin" / "b.dll", "old");
    WriteFile(state.install / "same.txt", "s");
    WriteFile(state.install / "gone.txt", "g");
    WriteFile(state.install / "stray.txt", "neither list names me");
    WriteFile(state.download / "leftover", "from another release");

    manager.ThreadMain();

    EXPECT_TRUE(presenter.boxes.empty());
    EXPECT_TRUE(manager.IsFinished());
    EXPECT_EQ(ReadFile(state.install / "a.txt"), fox);
    EXPECT_EQ(ReadFile(state.install / "bin" / "b.dll"), hello);
    EXPECT_EQ(ReadFile(state.install / "same.txt"), "s");
    EXPECT_FALSE(fs::exists(state.install / "gone.txt"));
    EXPECT_EQ(ReadFile(state.install / "stray.txt"), "neither list names me");
    EXPECT_EQ(ReadFile(state.install / "filelist.update"), serverList);
    EXPECT_EQ(ReadFile(state.install / "fldz.update"), manager.serverFileDZ.replyText);
    EXPECT_TRUE(fs::is_directory(state.download.path()));
    EXPECT_TRUE(fs::is_empty(state.download.path()));
    EXPECT_TRUE(fs::is_directory(state.compressed.path()));
    EXPECT_TRUE(fs::is_empty(state.compressed.path()));

    const auto messages = Drain(state.window);
    const auto ids = enginetest::IdsAmong(
        messages, {msg::kDownloadBegin, msg::kDownloadComplete, msg::kUncompressStage,
                   msg::kLocalsetStage, msg::kFinishStage, msg::kQuit});
    EXPECT_EQ(ids,
              (std::vector<std::uint32_t>{msg::kDownloadBegin, msg::kDownloadComplete,
                                          msg::kLocalsetStage, msg::kFinishStage, msg::kQuit}));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().id, msg::kDownloadBegin);
    EXPECT_EQ(messages.front().wParam, 49u);
    EXPECT_EQ(messages.back().id, msg::kQuit);
    for (const platform::Message& message : messages) {
        if (message.id == msg::kDownloadComplete) {
            EXPECT_EQ(message.wParam, 49u);
        }
    }
}

TEST(ManagerThread, ManifestsThatCannotBeReadCountAsMissing) {
    ManagerOnFolders state;
    RecordingPresenter presenter;
    testsupport::HttpTestServer server;
    CUpdateManager& manager = state.manager;
    manager.serverConfig.downUrl = server.BaseUrl();
    const std::string fox = "The quick brown fox jumps over the lazy dog";
    const std::string serverList = R"({"a.txt": {"md5": "9e107d9d372bb6826bd81d3542a419d6"}})";
    server.Set("/filelist.update", testsupport::Reply(200, serverList));
    server.Set("/a.txt", testsupport::Reply(200, fox));
    manager.serverFileDZ.replyText = R"({"ID": "r2", "version": "2.0"})";
    manager.serverFileDZ.version = "2.0";
    manager.serverFileDZ.id = "r2";
    WriteFile(state.install / "a.txt", "old");
    WriteFile(state.download / "leftover", "of an unknown release");
    if (!testsupport::MakeUnreadable(state.download / "fldz.update", "{}") ||
        !testsupport::MakeUnreadable(state.install / "filelist.update", "{}")) {
        GTEST_SKIP() << "no file that cannot be opened can be made here";
    }

    manager.ThreadMain();

    // The saved notice names no release, so the work folders start afresh; the installed list
    // is empty, so every server file is new.
    EXPECT_TRUE(presenter.boxes.empty());
    EXPECT_TRUE(manager.IsFinished());
    EXPECT_EQ(ReadFile(state.install / "a.txt"), fox);
    EXPECT_EQ(ReadFile(state.install / "filelist.update"), serverList);
    EXPECT_TRUE(fs::is_empty(state.download.path()));
}

TEST(ManagerResume, WorkFoldersBelongToTheReleaseWithTheSameVersionAndId) {
    struct Case {
        const char* what;
        const char* saved;  // nullptr: nothing saved; "/": a folder in its place
        bool resumable;
    };
    const Case cases[] = {
        {"same version and ID", R"({"ID": "r2", "version": "2.0.1", "notice": ["x"]})", true},
        {"other version", R"({"ID": "r2", "version": "2.0.2"})", false},
        {"version a prefix of the server's", R"({"ID": "r2", "version": "2.0"})", false},
        {"other ID", R"({"ID": "r3", "version": "2.0.1"})", false},
        {"no ID", R"({"version": "2.0.1"})", false},
        {"not JSON", "2.0.1", false},
        {"nothing saved", nullptr, false},
        {"a folder in its place", "/", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ManagerOnFolders state;
        state.manager.serverFileDZ.version = "2.0.1";
        state.manager.serverFileDZ.id = "r2";
        const fs::path saved = state.download / "fldz.update";
        if (c.saved != nullptr && std::string(c.saved) == "/") {
            fs::create_directory(saved);
        } else if (c.saved != nullptr) {
            WriteFile(saved, c.saved);
        }
        EXPECT_EQ(state.manager.HasResumableWork(), c.resumable);
    }
}

}  // namespace
