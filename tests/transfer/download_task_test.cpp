// The download task against a real server on 127.0.0.1 serving a folder: resuming, complete and
// broken local copies, digest checks and the escaped request path.

#include "transfer/download_task.h"

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/file_digest.h"
#include "config/file_list.h"
#include "config/server_config.h"
#include "core/manager_context.h"
#include "core/messages.h"
#include "core/path_functions.h"
#include "platform/message_target.h"
#include "tests/support/http_test_server.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::HttpTestServer;
using testsupport::LetterBytes;
using testsupport::Reply;
using testsupport::TempFolder;

// A text and its MD5, as a file list gives it.
const std::string kFox = "The quick brown fox jumps over the lazy dog";
const std::string kFoxMd5 = "9e107d9d372bb6826bd81d3542a419d6";

TEST(EscapeRelativePath, EscapesEveryByteButLettersDigitsAndThreeMarks) {
    const struct {
        std::string path, escaped;
    } cases[] = {
        {"a b\\c-d.dll", "a%20b/c%2Dd.dll"},
        {"", ""},
        {"Az09/_.x", "Az09/_.x"},
        {"\\\\x\\", "//x/"},
        {" \t\n\v\f\r", "%20%20%20%20%20%20"},
        {"~!#$%&'()*+,:;=?@[]{}|\"<>^`",
         "%7E%21%23%24%25%26%27%28%29%2A%2B%2C%3A%3B%3D%3F%40%5B%5D%"
         "7B%7D%7C%22%3C%3E%5E%60"},
        {std::string("\x00\x1f\x7f", 3), "%00%1F%7F"},
        {"\xD6\xD0\xCE\xC4.dll", "%D6%D0%CE%C4.dll"},
        {"\x80\xFF", "%80%FF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeRelativePath(c.path), c.escaped) << c.path;
    }
}

class DownloadTaskTest : public testing::Test {
protected:
    void SetUp() override {
        // The tasks built by the test copy these parts from the manager's context.
        UpdateManagerContext().config = &context.serverConfig;
        UpdateManagerContext().progress = &context.progressCtrl;
        context.serverConfig.downUrl = server.BaseUrl() + "files/";
        context.serverConfig.downZxUrl = "";
        context.serverConfig.compressed = false;
        context.serverConfig.downTime = 30;
        context.progressCtrl.window = &target;
        context.progressCtrl.counter.StartCount(100000000);
        context.progressCtrl.lastPermille.value = 0;
        server.ServeFolder(remote.path(), "/files/");
    }
    void TearDown() override {
        UpdateManagerContext().config = nullptr;
        UpdateManagerContext().progress = nullptr;
    }

    // A task as the plan builder makes it for a plain file.
    std::unique_ptr<DownloadTask> MakeTask(const std::string& relative, std::int32_t size) {
        auto task = std::make_unique<DownloadTask>();
        task->source = relative;
        task->displayName = relative;
        task->localFolder = local.Narrow();
        task->expectedSize = size;
        task->window = &target;
        return task;
    }
    std::uint32_t Counted() const { return context.progressCtrl.counter.current; }
    std::vector<platform::Message> Drain() {
        std::vector<platform::Message> messages;
        platform::Message message;
        while (target.TryTake(message)) {
            messages.push_back(message);
        }
        return messages;
    }

    struct {
        ServerConfig serverConfig;
        ProgressCtrl progressCtrl;
    } context;
    HttpTestServer server;
    TempFolder remote;
    TempFolder local;
    platform::MessageTarget target;
};

TEST_F(DownloadTaskTest, FetchesAMissingFileIntoNewFoldersByItsEscapedPath) {
    const std::string body = LetterBytes(70000);
    // "子 目录\文件-1.dll", stored where a web server on this system finds it by the GBK bytes;
    // here in the file system's encoding.
    const std::string relative = "\xD7\xD3 \xC4\xBF\xC2\xBC\\\xCE\xC4\xBC\xFE-1.dll";
    testsupport::WriteFile(
        ServedFilePath(remote.path(), "\xD7\xD3 \xC4\xBF\xC2\xBC/\xCE\xC4\xBC\xFE-1.dll"), body);
    auto task = MakeTask(relative, 70000);

    task->Prepare();
    EXPECT_FALSE(task->IsDone());
    EXPECT_EQ(task->fileOffset, 0);
    EXPECT_EQ(Counted(), 0u);
    EXPECT_TRUE(task->Run());
    EXPECT_TRUE(task->IsDone());
    EXPECT_TRUE(testsupport::ReadFile(
                    local.path() /
                    std::filesystem::u8path(u8"\u5B50 \u76EE\u5F55/\u6587\u4EF6-1.dll")) == body);
    EXPECT_EQ(task->fileOffset, 70000);
    EXPECT_EQ(Counted(), 70000u);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/files/%D7%D3%20%C4%BF%C2%BC/%CE%C4%BC%FE%2D1.dll");
    EXPECT_EQ(requests[0].range, "");

    const auto messages = Drain();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].id, msg::kCurrentFile);
    EXPECT_TRUE(messages[0].text == u"\u5B50 \u76EE\u5F55\\\u6587\u4EF6-1.dll");
    std::uintptr_t lastPosition = 0;
    for (const auto& message : messages) {
        if (message.id == msg::kDownloadPosition) {
            lastPosition = message.wParam;
        }
    }
    EXPECT_EQ(lastPosition, 70000u);
}

TEST_F(DownloadTaskTest, PrepareTakesStockOfTheLocalCopy) {
    const std::string body = LetterBytes(5000);
    testsupport::WriteFile(remote / "f.bin", body);

    struct Case {
        const char* name;
        // What is at the local path before Prepare: nothing, a folder, or these bytes.
        enum { Nothing, Folder, Bytes } kind;
        std::string bytes;
        bool done;
        std::int32_t offset;
        std::uint32_t counted;
        std::string range;  // of the attempt after Prepare ("-" when none is made)
    } cases[] = {
        {"missing", Case::Nothing, "", false, 0, 0, ""},
        {"folder", Case::Folder, "", false, 0, 0, ""},
        {"complete", Case::Bytes, body, true, 5000, 5000, "-"},
        {"partial", Case::Bytes, body.substr(0, 1000), false, 1000, 1000, "bytes=1000-"},
        {"empty", Case::Bytes, "", false, 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = local / "f.bin";
        fs::remove_all(path);
        if (c.kind == Case::Folder) {
            testsupport::WriteFile(path / "inner" / "x", "x");
        } else if (c.kind == Case::Bytes) {
            testsupport::WriteFile(path, c.bytes);
        }
        context.progressCtrl.counter.StartCount(100000000);
        server.ClearRequests();
        Drain();

        auto task = MakeTask("f.bin", 5000);
        task->Prepare();
        EXPECT_EQ(task->IsDone(), c.done);
        if (!c.done) {
            EXPECT_EQ(task->fileOffset, c.offset);
        }
        EXPECT_EQ(Counted(), c.counted);
        if (c.kind == Case::Folder) {
            EXPECT_FALSE(fs::exists(path));
        }

        EXPECT_TRUE(task->Run());
        EXPECT_TRUE(testsupport::ReadFile(path) == body);
        EXPECT_EQ(Counted(), 5000u);
        const auto requests = server.Requests();
        if (std::string(c.range) == "-") {
            EXPECT_TRUE(requests.empty());
            for (const auto& message : Drain()) {
                EXPECT_NE(message.id, msg::kCurrentFile);
            }
        } else {
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0].range, c.range);
        }
    }
}

TEST_F(DownloadTaskTest, ABrokenAttemptIsResumedByTheNextWithoutCountingTwice) {
    const std::string body = LetterBytes(90000);
    testsupport::WriteFile(remote / "big.dat", body);
    Reply cut;
    cut.cutAfter = 300;
    server.SetFault("/files/big.dat", cut);

    auto task = MakeTask("big.dat", 90000);
    task->Prepare();
    EXPECT_FALSE(task->Run());
    EXPECT_EQ(task->fileOffset, 300);
    EXPECT_EQ(Counted(), 300u);

    // Cut again, this time in the middle of the rest.
    cut.cutAfter = 40000;
    server.SetFault("/files/big.dat", cut);
    EXPECT_FALSE(task->Run());
    EXPECT_EQ(task->fileOffset, 40300);

    server.ClearFault("/files/big.dat");
    EXPECT_TRUE(task->Run());
    EXPECT_TRUE(testsupport::ReadFile(local / "big.dat") == body);
    EXPECT_EQ(Counted(), 90000u);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].range, "");
    EXPECT_EQ(requests[1].range, "bytes=300-");
    EXPECT_EQ(requests[2].range, "bytes=40300-");
}

TEST_F(DownloadTaskTest, ARefusedResumeIsFetchedWholeByTheNextAttempt) {
    const std::string body = LetterBytes(5000);
    testsupport::WriteFile(remote / "f.bin", body);

    struct Case {
        const char* name;
        std::string localBytes;
        bool serverIgnoresRanges;
        std::int32_t listedSize;  // 0: the entry states none
    } cases[] = {
        {"no-range-support", body.substr(0, 1000), true, 5000},
        {"longer than the server's file, no size listed", body + "garbage", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(local / "f.bin", c.localBytes);
        Reply fault;
        fault.ignoreRange = c.serverIgnoresRanges;
        server.SetFault("/files/f.bin", fault);
        server.ClearRequests();

        auto task = MakeTask("f.bin", c.listedSize);
        task->Prepare();
        EXPECT_EQ(task->fileOffset, static_cast<std::int32_t>(c.localBytes.size()));
        EXPECT_FALSE(task->Run());
        EXPECT_EQ(task->fileOffset, 0);
        EXPECT_EQ(fs::file_size(local / "f.bin"), 0u);
        EXPECT_TRUE(task->Run());
        EXPECT_TRUE(testsupport::ReadFile(local / "f.bin") == body);

        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].range, "bytes=" + std::to_string(c.localBytes.size()) + "-");
        EXPECT_EQ(requests[1].range, "");
    }
}

TEST_F(DownloadTaskTest, OnlyExactlyTheListedSizeCompletesAFileWhateverTheDigest) {
    const std::string body = LetterBytes(5000);
    FileInfoItem entry;
    entry.md5 = "not a digest";
    auto makeTask = [&](const std::string& name) {
        auto task = MakeTask(name, 5000);
        task->entry = &entry;
        task->verifyDigest = true;
        return task;
    };

    // A local copy longer than the entry is no part of the file: thrown away at once.
    testsupport::WriteFile(local / "f.bin", body + "garbage");
    auto found = makeTask("f.bin");
    found->Prepare();
    EXPECT_EQ(found->fileOffset, 0);
    EXPECT_FALSE(fs::exists(local / "f.bin"));

    // The server sends more than the entry says: the attempt fails and keeps nothing to resume.
    testsupport::WriteFile(remote / "long.bin", body + std::string(300000, 'x'));
    auto longer = makeTask("long.bin");
    longer->Prepare();
    EXPECT_FALSE(longer->Run());
    EXPECT_EQ(longer->fileOffset, 0);
    EXPECT_FALSE(fs::exists(local / "long.bin"));

    // It sends less: the attempt fails, and the next one resumes where it ended.
    testsupport::WriteFile(remote / "short.bin", body.substr(0, 3000));
    auto shorter = makeTask("short.bin");
    shorter->Prepare();
    EXPECT_FALSE(shorter->Run());
    EXPECT_EQ(shorter->fileOffset, 3000);
    testsupport::WriteFile(remote / "short.bin", body);
    server.ClearRequests();
    EXPECT_TRUE(shorter->Run());
    EXPECT_TRUE(testsupport::ReadFile(local / "short.bin") == body);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].range, "bytes=3000-");
}

TEST_F(DownloadTaskTest, DigestsAreCheckedForPlainFilesOnly) {
    FileInfoItem entry;
    entry.path = "fox.txt";
    entry.md5 = kFoxMd5;
    const std::int32_t size = static_cast<std::int32_t>(kFox.size());
    std::string corrupt = kFox;
    corrupt[4] = 'Q';

    // A local copy of the right size but the wrong content is thrown away in Prepare.
    testsupport::WriteFile(local / "fox.txt", corrupt);
    auto plain = MakeTask("fox.txt", size);
    plain->entry = &entry;
    plain->verifyDigest = true;
    plain->Prepare();
    EXPECT_FALSE(plain->IsDone());
    EXPECT_EQ(plain->fileOffset, 0);
    EXPECT_EQ(Counted(), 0u);
    EXPECT_FALSE(fs::exists(local / "fox.txt"));

    // The server sends the wrong content: the attempt fails and leaves nothing to resume.
    testsupport::WriteFile(remote / "fox.txt", corrupt);
    EXPECT_FALSE(plain->Run());
    EXPECT_FALSE(fs::exists(local / "fox.txt"));
    EXPECT_EQ(plain->fileOffset, 0);

    // The right content passes, in Prepare and after a transfer (the upper-case digest too).
    testsupport::WriteFile(remote / "fox.txt", kFox);
    EXPECT_TRUE(plain->Run());
    EXPECT_EQ(testsupport::ReadFile(local / "fox.txt"), kFox);
    entry.md5 = "9E107D9D372BB6826BD81D3542A419D6";
    auto again = MakeTask("fox.txt", size);
    again->entry = &entry;
    again->verifyDigest = true;
    again->Prepare();
    EXPECT_TRUE(again->IsDone());

    // A package (the digest describes the unpacked file) and an unusable digest are not checked.
    testsupport::WriteFile(remote / "fox.txt", corrupt);
    fs::remove(local / "fox.txt");
    entry.md5 = kFoxMd5;
    auto package = MakeTask("fox.txt", size);
    package->entry = &entry;
    package->verifyDigest = false;
    EXPECT_TRUE(package->Run());
    package->Prepare();
    EXPECT_TRUE(package->IsDone());

    entry.md5 = "not a digest";
    auto unusable = MakeTask("fox.txt", size);
    unusable->entry = &entry;
    unusable->verifyDigest = true;
    unusable->Prepare();
    EXPECT_TRUE(unusable->IsDone());
}

// The digest is taken while the file is written and carried from one attempt to the next; a
// part kept from an earlier run counts with its own bytes, so a corrupt one fails the file.
TEST_F(DownloadTaskTest, TheDigestCoversEveryPartOfAResumedFile) {
    const std::string body = LetterBytes(90000);
    testsupport::WriteFile(remote / "big.dat", body);
    const std::string md5 = FileMd5((remote / "big.dat").string()).value();
    FileInfoItem entry;
    entry.path = "big.dat";
    entry.md5 = md5;
    const auto makeTask = [&] {
        auto task = MakeTask("big.dat", 90000);
        task->entry = &entry;
        task->verifyDigest = true;
        task->Prepare();
        return task;
    };

    auto task = makeTask();
    for (const std::size_t cut : {300, 40000}) {
        Reply reply;
        reply.cutAfter = cut;
        server.SetFault("/files/big.dat", reply);
        EXPECT_FALSE(task->Run());
    }
    server.ClearFault("/files/big.dat");
    EXPECT_TRUE(task->Run());
    EXPECT_TRUE(testsupport::ReadFile(local / "big.dat") == body);

    struct Kept {
        const char* name;
        std::string part;
        bool firstAttemptPasses;
    };
    std::string corrupt = body.substr(0, 1000);
    corrupt[500] = '#';
    for (const Kept& kept :
         {Kept{"sound", body.substr(0, 1000), true}, Kept{"corrupt", corrupt, false}}) {
        SCOPED_TRACE(kept.name);
        testsupport::WriteFile(local / "big.dat", kept.part);
        server.ClearRequests();
        auto resumed = makeTask();
        EXPECT_EQ(resumed->fileOffset, 1000);
        EXPECT_EQ(resumed->Run(), kept.firstAttemptPasses);
        EXPECT_EQ(server.Requests().at(0).range, "bytes=1000-");
        if (!kept.firstAttemptPasses) {
            EXPECT_FALSE(fs::exists(local / "big.dat"));
            EXPECT_TRUE(resumed->Run());
        }
        EXPECT_TRUE(testsupport::ReadFile(local / "big.dat") == body);
    }
}

TEST_F(DownloadTaskTest, ACorruptCopyThatCannotBeDeletedIsStillFetchedAfresh) {
    // Paths of 260 characters or more cannot be deleted; folders of 100 characters keep every
    // single name short enough for the file system.
    std::string relative;
    while (local.Narrow().size() + relative.size() < 260) {
        relative += std::string(100, 'd') + "\\";
    }
    relative += "fox.txt";
    std::string onDisk = relative;
    for (char& c : onDisk) {
        c = c == '\\' ? '/' : c;
    }
    FileInfoItem entry;
    entry.md5 = kFoxMd5;
    std::string corrupt = kFox;
    corrupt[4] = 'Q';
    testsupport::WriteFile(remote / onDisk, kFox);
    testsupport::WriteFile(local / onDisk, corrupt);

    auto task = MakeTask(relative, static_cast<std::int32_t>(kFox.size()));
    task->entry = &entry;
    task->verifyDigest = true;
    task->Prepare();
    EXPECT_FALSE(task->IsDone());
    EXPECT_TRUE(task->Run());
    EXPECT_EQ(testsupport::ReadFile(local / onDisk), kFox);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].range, "");

    // The server sends the wrong content: the next attempt does not add to it.
    testsupport::WriteFile(remote / onDisk, corrupt);
    auto again = MakeTask(relative, static_cast<std::int32_t>(kFox.size()));
    again->entry = &entry;
    again->verifyDigest = true;
    std::filesystem::remove(local / onDisk);
    EXPECT_FALSE(again->Run());
    testsupport::WriteFile(remote / onDisk, kFox);
    EXPECT_TRUE(again->Run());
    EXPECT_EQ(testsupport::ReadFile(local / onDisk), kFox);
}

TEST_F(DownloadTaskTest, AFileBeyondTheSigned32BitRangeIsFetchedAgain) {
    const std::string body = LetterBytes(3000);
    testsupport::WriteFile(remote / "huge.bin", body);
    {
        // Sparse: no disk space is used.
        std::ofstream(local / "huge.bin", std::ios::binary);
        fs::resize_file(local / "huge.bin",
                        std::uint64_t{std::numeric_limits<std::int32_t>::max()} + 4097);
    }
    auto task = MakeTask("huge.bin", 3000);
    task->Prepare();
    EXPECT_FALSE(fs::exists(local / "huge.bin"));
    EXPECT_EQ(task->fileOffset, 0);
    EXPECT_EQ(Counted(), 0u);
    EXPECT_TRUE(task->Run());
    EXPECT_TRUE(testsupport::ReadFile(local / "huge.bin") == body);
}

TEST_F(DownloadTaskTest, TheServersTimeLimitCutsASlowTransferAndZeroSetsNone) {
    const std::string body = LetterBytes(64 * 1024);
    testsupport::WriteFile(remote / "slow.bin", body);
    // Well over a second before the first byte, and more while the body comes.
    Reply slow;
    slow.delay = std::chrono::milliseconds(1500);
    slow.chunkDelay = std::chrono::milliseconds(300);
    server.SetFault("/files/slow.bin", slow);
    auto task = MakeTask("slow.bin", static_cast<std::int32_t>(body.size()));
    task->Prepare();

    context.serverConfig.downTime = 1;
    EXPECT_FALSE(task->Run());
    context.serverConfig.downTime = 0;
    EXPECT_TRUE(task->Run());
    EXPECT_TRUE(testsupport::ReadFile(local / "slow.bin") == body);
}

TEST_F(DownloadTaskTest, FailuresLeaveTheTaskToBeTriedAgain) {
    auto missing = MakeTask("none.bin", 10);
    missing->Prepare();
    EXPECT_FALSE(missing->Run());
    EXPECT_FALSE(missing->IsDone());
    EXPECT_TRUE(missing->OnFailed());
    // A 404 page is not taken for the file.
    EXPECT_EQ(fs::file_size(local / "none.bin"), 0u);
}

// A path that climbs out of the work folder is neither prepared nor fetched, though everything
// else would let it through: a file of the listed size is there, its digest fails (so Prepare
// would delete it), and the server would send the right bytes under the climbing name.
TEST_F(DownloadTaskTest, APathThatLeavesTheWorkFolderIsNeitherPreparedNorFetched) {
    const fs::path beside = local.path().parent_path();
    std::string corrupt = kFox;
    corrupt[4] = 'Q';
    FileInfoItem entry;
    entry.md5 = kFoxMd5;

    const struct {
        const char* name;
        std::string source;
        std::string served;  // the request paths under which the server sends kFox
    } cases[] = {
        {"a file beside the work folder", "..\\outside.txt", "outside.txt"},
        {"a new folder beside it", "..\\fresh\\fox.txt", "fresh/fox.txt"},
        {"out through a folder inside it", "sub\\..\\..\\outside.txt", "outside.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(beside / "outside.txt", corrupt);
        // The request path as sent, and as the client may resolve its ".." segments.
        server.Set("/" + c.served, Reply(200, kFox));
        server.Set("/files/../" + c.served, Reply(200, kFox));
        server.ClearRequests();
        const std::vector<std::string> before = testsupport::Names(beside);

        auto task = MakeTask(c.source, static_cast<std::int32_t>(kFox.size()));
        task->entry = &entry;
        task->verifyDigest = true;
        task->Prepare();
        EXPECT_FALSE(task->IsDone());
        EXPECT_EQ(task->fileOffset, 0);
        EXPECT_FALSE(task->Run());
        EXPECT_FALSE(task->IsDone());

        EXPECT_EQ(testsupport::ReadFile(beside / "outside.txt"), corrupt);
        EXPECT_EQ(testsupport::Names(beside), before);
        EXPECT_TRUE(testsupport::Names(local.path()).empty());
        EXPECT_TRUE(server.Requests().empty());
        EXPECT_EQ(Counted(), 0u);
    }
    fs::remove(beside / "outside.txt");
}

}  // namespace
