// The stages run over real leaf tasks in real folders: what the dialog and the user see, and
// that nothing runs after the first stage that fails.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/file_list.h"
#include "core/messages.h"
#include "core/user_texts.h"
#include "engine/update_plan.h"
#include "local/local_tasks.h"
#include "platform/files.h"
#include "tests/engine/test_support.h"
#include "tests/support/http_test_server.h"
#include "tests/support/sample_data.h"

namespace {

using enginetest::Box;
using enginetest::Drain;
using enginetest::IdsAmong;
using enginetest::ManagerOnFolders;
using enginetest::RecordingPresenter;
using Ids = std::vector<std::uint32_t>;
using testsupport::ReadFile;
using testsupport::WriteFile;
namespace fs = std::filesystem;

void AddEntry(FileInfoItemHash& list, const std::string& path, const std::string& md5,
              std::int32_t size, const std::string& zxPath = {}, std::int32_t zxSize = 0) {
    FileInfoItem* item = list.Add(path);
    ASSERT_NE(item, nullptr) << path;
    item->md5 = list.Keep(md5);
    item->size = size;
    item->zxPath = list.Keep(zxPath);
    item->zxSize = zxSize;
}

Ids StageMessages(platform::MessageTarget& window) {
    return IdsAmong(Drain(window), {msg::kDownloadBegin, msg::kDownloadComplete,
                                    msg::kUncompressStage, msg::kLocalsetStage, msg::kFinishStage});
}

void ExpectOnlyBox(const RecordingPresenter& presenter, const std::u16string& text) {
    ASSERT_FALSE(presenter.boxes.empty());
    const Box& last = presenter.boxes.back();
    EXPECT_EQ(last.caption, texts::kCaptionUpdateFailed);
    EXPECT_EQ(last.text, text);
    EXPECT_FALSE(last.okCancel);
    for (std::size_t i = 0; i + 1 < presenter.boxes.size(); ++i) {
        EXPECT_TRUE(presenter.boxes[i].okCancel) << "only questions come before the message";
    }
}

TEST(Stages, FailedDownloadEndsTheRunBeforeAnythingIsUnpackedOrInstalled) {
    ManagerOnFolders state;
    RecordingPresenter presenter;
    state.manager.serverConfig.downUrl = "http://127.0.0.1:1/";  // nothing listens there
    state.manager.serverConfig.downRetry = 2;
    LocalFileList local;
    ServerFileList server;
    AddEntry(server, "a.txt", "9e107d9d372bb6826bd81d3542a419d6", 43);
    AddEntry(local, "gone.txt", "g", 1);
    WriteFile(state.install / "gone.txt", "g");

    const auto root = BuildUpdatePlan(local, server, *state.manager.taskManager);
    EXPECT_FALSE(root->Run());

    EXPECT_EQ(StageMessages(state.window), (Ids{msg::kDownloadBegin}));
    ASSERT_EQ(presenter.boxes.size(), 1u);
    ExpectOnlyBox(presenter, texts::DownloadFailed());
    EXPECT_TRUE(fs::exists(state.install / "gone.txt"));
    EXPECT_FALSE(fs::exists(state.install / "a.txt"));
    EXPECT_FALSE(fs::exists(state.install / "filelist.update"));
}

TEST(Stages, DownloadStageMakesTheServersNumberOfAttempts) {
    struct Case {
        const char* what;
        std::int32_t downRetry;
        bool completeBefore;  // the file is already whole in the work folder
        std::size_t requests;
        bool ok;
    };
    const Case cases[] = {
        {"three attempts, then the stage fails", 3, false, 3, false},
        {"a single failure fails the stage", 1, false, 1, false},
        {"no attempt at all", 0, false, 0, false},
        {"negative counts as none", -2, false, 0, false},
        {"no attempt needed for a complete file", 0, true, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ManagerOnFolders state;
        RecordingPresenter presenter;
        testsupport::HttpTestServer server;  // "/a.txt" is missing there: 404 every time
        state.manager.serverConfig.downUrl = server.BaseUrl();
        state.manager.serverConfig.downRetry = c.downRetry;
        if (c.completeBefore) {
            WriteFile(state.download / "a.txt", "The quick brown fox jumps over the lazy dog");
        }
        LocalFileList local;
        ServerFileList list;
        AddEntry(list, "a.txt", "9e107d9d372bb6826bd81d3542a419d6", 43);

        const auto root = BuildUpdatePlan(local, list, *state.manager.taskManager);
        EXPECT_EQ(root->download.Run(), c.ok);

        EXPECT_EQ(server.Requests().size(), c.requests);
        if (c.ok) {
            EXPECT_TRUE(presenter.boxes.empty());
            EXPECT_EQ(StageMessages(state.window),
                      (Ids{msg::kDownloadBegin, msg::kDownloadComplete}));
        } else {
            ASSERT_EQ(presenter.boxes.size(), 1u);
            ExpectOnlyBox(presenter, texts::DownloadFailed());
            EXPECT_EQ(StageMessages(state.window), (Ids{msg::kDownloadBegin}));
        }
    }
}

TEST(Stages, BrokenPackageEndsTheRunAfterTheDownloads) {
    ManagerOnFolders state;
    RecordingPresenter presenter;
    testsupport::HttpTestServer server;
    const std::string broken = "this is not an LZMA stream";
    server.Set("/pk/a.lz", testsupport::Reply(200, broken));
    // Good packages after it: the next one is being unpacked ahead when the broken one fails.
    const std::string good =
        testsupport::MakeLzmaPackage("The quick brown fox jumps over the lazy dog");
    server.Set("/pk/b.lz", testsupport::Reply(200, good));
    server.Set("/pk/c.lz", testsupport::Reply(200, good));
    state.manager.serverConfig.downZxUrl = server.BaseUrl();
    state.manager.serverConfig.compressed = true;
    LocalFileList local;
    ServerFileList list;
    AddEntry(list, "a.txt", "9e107d9d372bb6826bd81d3542a419d6", 43, "pk\\a.lz",
             static_cast<std::int32_t>(broken.size()));
    for (const char* name : {"b", "c"}) {
        AddEntry(list, std::string(name) + ".txt", "9e107d9d372bb6826bd81d3542a419d6", 43,
                 "pk\\" + std::string(name) + ".lz", static_cast<std::int32_t>(good.size()));
    }

    const auto root = BuildUpdatePlan(local, list, *state.manager.taskManager);
    EXPECT_FALSE(root->Run());

    EXPECT_EQ(StageMessages(state.window),
              (Ids{msg::kDownloadBegin, msg::kDownloadComplete, msg::kUncompressStage}));
    ASSERT_EQ(presenter.boxes.size(), 1u);
    ExpectOnlyBox(presenter, texts::UncompressFailed());
    EXPECT_FALSE(fs::exists(state.compressed / "pk" / "a.lz")) << "fetched afresh next time";
    EXPECT_FALSE(fs::exists(state.install / "a.txt"));
    EXPECT_FALSE(fs::exists(state.install / "b.txt"));
    EXPECT_TRUE(fs::exists(state.compressed / "pk" / "b.lz"));
}

TEST(Stages, LocalTaskAsksAfterEachFailedAttemptButTheLastAndCancelStopsAtOnce) {
    struct Case {
        const char* what;
        std::deque<bool> answers;  // then OK
        std::size_t questions;
    };
    const Case cases[] = {
        {"OK every time: four questions, the fifth failure ends the stage", {}, 4},
        {"Cancel at the second question", {true, false}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ManagerOnFolders state;
        RecordingPresenter presenter;
        presenter.answers = c.answers;
        LocalFileList local;
        ServerFileList server;
        AddEntry(local, "held", "1", 1);
        AddEntry(local, "later.txt", "2", 1);
        // A folder with content stands where the file "held" is: it cannot be deleted.
        WriteFile(state.install / "held" / "inside", "x");
        WriteFile(state.install / "later.txt", "y");

        const auto root = BuildUpdatePlan(local, server, *state.manager.taskManager);
        EXPECT_FALSE(root->Run());

        // Plain mode: the empty decompression stage says nothing; the finish stage never starts.
        EXPECT_EQ(StageMessages(state.window),
                  (Ids{msg::kDownloadBegin, msg::kDownloadComplete, msg::kLocalsetStage}));
        EXPECT_EQ(presenter.Questions(), c.questions);
        for (const Box& box : presenter.boxes) {
            if (box.okCancel) {
                EXPECT_EQ(box.caption, texts::kCaptionUpdateFailed);
                EXPECT_EQ(box.text, texts::kCloseBrowserQuestion);
            }
        }
        ExpectOnlyBox(presenter, texts::LocalsetFailed());
        EXPECT_EQ(presenter.boxes.size(), c.questions + 1);
        EXPECT_TRUE(fs::exists(state.install / "later.txt")) << "no later task of the stage runs";
        EXPECT_TRUE(fs::exists(state.install / "held" / "inside"));
    }
}

TEST(Stages, LocalStageWritesCopiesAheadInBatchesAndLeavesNoneBehind) {
    // More copies than one batch holds; in the second case a folder that cannot be deleted
    // stands where the 200th file goes, and the user cancels at the question.
    constexpr int kFiles = 300;
    constexpr int kBlocked = 200;
    const auto name = [](int i) {
        return std::string(i % 2 == 0 ? "even/" : "odd/") + "file-" + std::to_string(i);
    };
    for (const bool blocked : {false, true}) {
        SCOPED_TRACE(blocked ? "blocked" : "all copied");
        ManagerOnFolders state;
        RecordingPresenter presenter;
        presenter.answers = {false};
        // When the blocked task asks, the copies of the tasks after it in its batch are written.
        bool laterCopyWritten = false;
        presenter.onQuestion = [&](std::size_t) {
            laterCopyWritten = fs::exists(state.install / (name(kBlocked + 1) + ".orvupdate-new"));
        };
        OrvLocalsetTask stage;
        for (int i = 0; i < kFiles; ++i) {
            WriteFile(state.download / name(i), "new " + std::to_string(i));
            if (blocked && i == kBlocked) {
                WriteFile(state.install / name(i) / "inside", "x");
            } else {
                WriteFile(state.install / name(i), "old " + std::to_string(i));
            }
            auto replace = std::make_unique<LocalReplaceTask>();
            replace->source = replace->target = name(i);
            stage.Adopt(std::move(replace));
        }

        EXPECT_EQ(stage.Run(), !blocked);
        EXPECT_EQ(laterCopyWritten, blocked && platform::CopyBatch::Supported());

        for (int i = 0; i < kFiles; ++i) {
            if (blocked && i == kBlocked) {
                EXPECT_TRUE(fs::exists(state.install / name(i) / "inside"));
                continue;
            }
            const bool copied = !blocked || i < kBlocked;
            EXPECT_EQ(ReadFile(state.install / name(i)),
                      (copied ? "new " : "old ") + std::to_string(i))
                << name(i);
        }
        // The copies written ahead for the tasks that never ran are gone with the stage.
        for (const auto& item : fs::recursive_directory_iterator(state.install.path())) {
            EXPECT_EQ(item.path().filename().string().find(".orvupdate-new"), std::string::npos)
                << item.path();
        }
    }
}

TEST(Stages, LocalTaskSucceedsWhenTheUserRetriesAfterClosingTheBrowser) {
    ManagerOnFolders state;
    RecordingPresenter presenter;
    LocalFileList local;
    ServerFileList server;
    AddEntry(local, "held", "1", 1);
    WriteFile(state.install / "held" / "inside", "x");
    WriteFile(state.download / "filelist.update", "{}");
    WriteFile(state.download / "fldz.update", "{\"version\": \"2\"}");
    // What the user does before pressing OK the second time.
    presenter.onQuestion = [&](std::size_t question) {
        if (question == 2) {
            fs::remove(state.install / "held" / "inside");
        }
    };

    const auto root = BuildUpdatePlan(local, server, *state.manager.taskManager);
    EXPECT_TRUE(root->Run());

    EXPECT_EQ(StageMessages(state.window), (Ids{msg::kDownloadBegin, msg::kDownloadComplete,
                                                msg::kLocalsetStage, msg::kFinishStage}));
    EXPECT_EQ(presenter.boxes.size(), 2u);
    EXPECT_EQ(presenter.Questions(), 2u);
    EXPECT_FALSE(fs::exists(state.install / "held"));
    EXPECT_EQ(ReadFile(state.install / "filelist.update"), "{}");
    EXPECT_EQ(ReadFile(state.install / "fldz.update"), "{\"version\": \"2\"}");
}

TEST(Stages, FinishStageFailsWithoutAQuestionOrMessage) {
    ManagerOnFolders state;
    RecordingPresenter presenter;
    OrvUpdateTask plan;  // only its finish stage is run
    for (const char* manifest : {"filelist.update", "fldz.update"}) {
        auto replace = std::make_unique<LocalReplaceTask>();
        replace->source = manifest;
        replace->target = manifest;
        plan.finish.Adopt(std::move(replace));
    }
    WriteFile(state.download / "filelist.update", "{\"new\": {}}");
    WriteFile(state.install / "fldz.update", "old notice");

    EXPECT_FALSE(plan.finish.Run());

    EXPECT_EQ(StageMessages(state.window), (Ids{msg::kFinishStage}));
    EXPECT_TRUE(presenter.boxes.empty());
    EXPECT_EQ(ReadFile(state.install / "filelist.update"), "{\"new\": {}}");
    // The old notice stays when its copy fails: the next run updates again.
    EXPECT_EQ(ReadFile(state.install / "fldz.update"), "old notice");
}

}  // namespace
