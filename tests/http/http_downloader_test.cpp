// The HTTP client against a real server on 127.0.0.1: requests into memory and into appended,
// resumed files.

#include "http/http_downloader.h"

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/manager_context.h"
#include "core/messages.h"
#include "platform/message_target.h"
#include "tests/support/http_test_server.h"
#include "tests/support/process_settings.h"
#include "tests/support/sample_data.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::HttpTestServer;
using testsupport::LetterBytes;
using testsupport::Reply;
using testsupport::TempFolder;

std::vector<platform::Message> Drain(platform::MessageTarget& target) {
    std::vector<platform::Message> messages;
    platform::Message message;
    while (target.TryTake(message)) {
        messages.push_back(message);
    }
    return messages;
}

class HttpDownloaderTest : public testing::Test {
protected:
    std::string Url(const std::string& path) const { return server.BaseUrl() + path; }
    std::string LocalPath(const std::string& name) const { return folder.Narrow() + name; }

    HttpTestServer server;
    TempFolder folder;
};

TEST_F(HttpDownloaderTest, DownloadToStringTakesTheTextOfASuccessfulReply) {
    struct Case {
        const char* name;
        Reply reply;
        bool ok;
        std::string text;  // what the out string holds afterwards (it starts as "before")
    };
    const std::vector<Case> cases = {
        {"plain", Reply(200, "{\"a\":1}"), true, "{\"a\":1}"},
        {"empty", Reply(200, ""), true, ""},
        {"nul", Reply(200, std::string("ab\0cd", 5)), true, "ab"},
        {"no-content", Reply(204), true, ""},
        {"partial", Reply(206, "part"), true, "part"},
        {"not-found", Reply(404, "missing page"), false, "before"},
        {"server-error", Reply(500, "oops"), false, "before"},
        {"unfollowable", Reply(302, "moved"), false, "before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Set(std::string("/") + c.name, c.reply);
        HttpDownloader downloader;
        std::string out = "before";
        EXPECT_EQ(downloader.DownloadToString(Url(c.name), 20, out), c.ok);
        EXPECT_EQ(out, c.text);
        EXPECT_EQ(downloader.LastStatus(), c.reply.status);
    }
    // A binary reply, such as a signature, keeps every byte.
    HttpDownloader downloader;
    std::string bytes = "before";
    EXPECT_TRUE(downloader.DownloadToBytes(Url("nul"), 20, bytes));
    EXPECT_EQ(bytes, std::string("ab\0cd", 5));
    EXPECT_FALSE(downloader.DownloadToBytes(Url("not-found"), 20, bytes));
    EXPECT_EQ(bytes, std::string("ab\0cd", 5));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), cases.size() + 2);
    for (const auto& request : requests) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.range, "");
    }
}

TEST_F(HttpDownloaderTest, OneObjectServesSeveralRequestsWithOnlyTheLastReply) {
    server.Set("/long", Reply(200, LetterBytes(100000)));
    server.Set("/short", Reply(200, "bb"));
    server.Set("/gone", Reply(404, "a long error page that must not leak"));
    HttpDownloader downloader;
    std::string out;
    ASSERT_TRUE(downloader.DownloadToString(Url("long"), 20, out));
    EXPECT_EQ(out, LetterBytes(100000));
    ASSERT_TRUE(downloader.DownloadToString(Url("short"), 20, out));
    EXPECT_EQ(out, "bb");
    EXPECT_FALSE(downloader.DownloadToString(Url("gone"), 20, out));
    EXPECT_EQ(out, "bb");
    ASSERT_TRUE(downloader.DownloadToString(Url("short"), 20, out));
    EXPECT_EQ(out, "bb");
    // The storage of the long reply is reused, not shrunk.
    EXPECT_GE(downloader.buffer.capacity, 100000);
    EXPECT_EQ(downloader.buffer.size, 2);
}

// Each request has a handle of its own, but a plan of many files travels over one connection,
// also from one downloader object to the next and after an error reply; a reply that closes its
// connection is followed by a new one.
TEST_F(HttpDownloaderTest, RequestsToOneServerShareOneConnection) {
    server.KeepConnections(true);
    server.Set("/a", Reply(200, "aa"));
    server.Set("/gone", Reply(404, "no"));
    Reply closing(200, "cc");
    closing.headers = {{"Connection", "close"}};
    server.Set("/closing", closing);
    std::string out;
    for (const char* path : {"a", "gone", "a", "closing", "a"}) {
        HttpDownloader downloader;
        downloader.DownloadToString(Url(path), 20, out);
    }
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 5u);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(requests[i].remotePort, requests[0].remotePort) << i;
    }
    EXPECT_NE(requests[4].remotePort, requests[0].remotePort);
}

TEST_F(HttpDownloaderTest, UnreachableServerFails) {
    // A port that nobody listens on once the server is gone.
    int port = 0;
    {
        HttpTestServer closed;
        port = closed.port();
    }
    HttpDownloader downloader;
    std::string out = "kept";
    EXPECT_FALSE(
        downloader.DownloadToString("http://127.0.0.1:" + std::to_string(port) + "/x", 20, out));
    EXPECT_EQ(out, "kept");
    EXPECT_EQ(downloader.LastStatus(), 0);
}

TEST_F(HttpDownloaderTest, RedirectsAreFollowedAndATargetlessOneFails) {
    const std::string body = LetterBytes(5000);
    server.Set("/real", Reply(200, body));
    Reply moved(302);
    moved.location = Url("real");
    server.Set("/moved", moved);
    Reply relative(302);
    relative.location = "/real";
    server.Set("/relative", relative);
    Reply toMissing(302);
    toMissing.location = Url("missing");
    server.Set("/to-missing", toMissing);
    server.Set("/nowhere", Reply(302));
    Reply blank(302);
    blank.location = " ";
    server.Set("/blank", blank);
    Reply local(302);
    local.location = "file:///etc/hostname";
    server.Set("/local", local);
    // Other services on this machine, which libcurl could speak to.
    for (const char* scheme : {"ftp", "gopher", "dict"}) {
        Reply other(302);
        other.location = std::string(scheme) + "://" + server.HostPort() + "/x";
        server.Set(std::string("/") + scheme, other);
    }

    HttpDownloader downloader;
    std::string out;
    EXPECT_TRUE(downloader.DownloadToString(Url("moved"), 20, out));
    EXPECT_EQ(out, body);
    EXPECT_TRUE(downloader.DownloadToString(Url("relative"), 20, out));
    EXPECT_EQ(out, body);
    out = "unchanged";
    EXPECT_FALSE(downloader.DownloadToString(Url("to-missing"), 20, out));
    EXPECT_EQ(downloader.LastStatus(), 404);
    for (const char* path : {"nowhere", "blank", "local", "ftp", "gopher", "dict"}) {
        SCOPED_TRACE(path);
        server.ClearRequests();
        EXPECT_FALSE(downloader.DownloadToString(Url(path), 20, out));
        EXPECT_EQ(downloader.LastStatus(), 302);
        EXPECT_EQ(server.Requests().size(), 1u);
    }
    EXPECT_EQ(out, "unchanged");

    // A resumed request keeps its offset at the redirect's target, and the body lands after the
    // bytes already in the file.
    testsupport::WriteFile(folder / "f", body.substr(0, 1000));
    downloader.fileOffset = 1000;
    server.ClearRequests();
    EXPECT_TRUE(downloader.DownloadToFile("f", Url("moved"), LocalPath("f"), 20));
    EXPECT_EQ(testsupport::ReadFile(folder / "f"), body);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].path, "/moved");
    EXPECT_EQ(requests[1].path, "/real");
    EXPECT_EQ(requests[0].range, "bytes=1000-");
    EXPECT_EQ(requests[1].range, "bytes=1000-");
}

TEST_F(HttpDownloaderTest, DownloadToFileAppendsFromTheResumeOffset) {
    const std::string body = LetterBytes(50000);
    server.Set("/file", Reply(200, body));

    // Offset 0: the whole resource, no range.
    HttpDownloader fresh;
    EXPECT_TRUE(fresh.DownloadToFile("file", Url("file"), LocalPath("new"), 20));
    EXPECT_EQ(testsupport::ReadFile(folder / "new"), body);
    EXPECT_EQ(fresh.fileOffset, 50000);
    EXPECT_FALSE(fresh.file.IsOpen());

    // Offset 1000 on a file that holds the first 1000 bytes: the rest is asked for and appended.
    testsupport::WriteFile(folder / "partial", body.substr(0, 1000));
    HttpDownloader resumed;
    resumed.fileOffset = 1000;
    EXPECT_TRUE(resumed.DownloadToFile("file", Url("file"), LocalPath("partial"), 20));
    EXPECT_TRUE(testsupport::ReadFile(folder / "partial") == body);
    EXPECT_EQ(resumed.fileOffset, 50000);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].range, "");
    EXPECT_EQ(requests[0].headers.count("Range"), 0u);
    EXPECT_EQ(requests[1].range, "bytes=1000-");

    // Existing content is kept even at offset 0 (the caller owns the offset).
    testsupport::WriteFile(folder / "kept", "head:");
    server.Set("/small", Reply(200, "tail"));
    HttpDownloader appending;
    EXPECT_TRUE(appending.DownloadToFile("x", Url("small"), LocalPath("kept"), 20));
    EXPECT_EQ(testsupport::ReadFile(folder / "kept"), "head:tail");
    EXPECT_EQ(appending.fileOffset, 4);
}

TEST_F(HttpDownloaderTest, ABrokenTransferIsResumedByTheNextCall) {
    const std::string body = LetterBytes(100000);
    Reply cut(200, body);
    cut.cutAfter = 30000;
    server.Set("/big", cut);

    HttpDownloader downloader;
    EXPECT_FALSE(downloader.DownloadToFile("big", Url("big"), LocalPath("big"), 20));
    EXPECT_EQ(downloader.fileOffset, 30000);
    EXPECT_EQ(fs::file_size(folder / "big"), 30000u);

    server.Set("/big", Reply(200, body));
    EXPECT_TRUE(downloader.DownloadToFile("big", Url("big"), LocalPath("big"), 20));
    EXPECT_TRUE(testsupport::ReadFile(folder / "big") == body);
    EXPECT_EQ(downloader.fileOffset, 100000);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].range, "bytes=30000-");
}

TEST_F(HttpDownloaderTest, AnErrorReplyWritesNothingToTheFile) {
    server.Set("/gone", Reply(404, "<html>not here</html>"));
    server.Set("/error", Reply(500, "<html>broken</html>"));
    for (const char* url : {"gone", "error"}) {
        SCOPED_TRACE(url);
        // A new file and a partial one.
        HttpDownloader fresh;
        EXPECT_FALSE(fresh.DownloadToFile("f", Url(url), LocalPath(std::string("new-") + url), 20));
        EXPECT_EQ(fs::file_size(folder / (std::string("new-") + url)), 0u);
        EXPECT_EQ(fresh.fileOffset, 0);

        testsupport::WriteFile(folder / "partial", "12345");
        HttpDownloader resumed;
        resumed.fileOffset = 5;
        EXPECT_FALSE(resumed.DownloadToFile("f", Url(url), LocalPath("partial"), 20));
        EXPECT_EQ(testsupport::ReadFile(folder / "partial"), "12345");
        EXPECT_EQ(resumed.fileOffset, 5);
    }
}

TEST_F(HttpDownloaderTest, ARefusedResumeStartsTheFileAgain) {
    const std::string body = LetterBytes(5000);
    Reply noRanges(200, body);
    noRanges.ignoreRange = true;
    server.Set("/no-ranges", noRanges);
    server.Set("/short", Reply(200, body.substr(0, 800)));

    struct Case {
        const char* name;
        std::string url;
    } cases[] = {
        // A server without range support sends the whole resource again.
        {"whole-resource", Url("no-ranges")},
        // The copy here is longer than the resource: 416.
        {"beyond-end", Url("short")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(folder / c.name, body.substr(0, 1000));
        HttpDownloader downloader;
        downloader.fileOffset = 1000;
        EXPECT_FALSE(downloader.DownloadToFile(c.name, c.url, LocalPath(c.name), 20));
        EXPECT_EQ(downloader.fileOffset, 0);
        EXPECT_EQ(fs::file_size(folder / c.name), 0u);

        server.ClearRequests();
        EXPECT_TRUE(downloader.DownloadToFile(c.name, c.url, LocalPath(c.name), 20));
        const std::string expected = c.url == Url("short") ? body.substr(0, 800) : body;
        EXPECT_TRUE(testsupport::ReadFile(folder / c.name) == expected);
        EXPECT_EQ(downloader.fileOffset, static_cast<std::int32_t>(expected.size()));
        const auto requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].range, "");
    }
}

TEST_F(HttpDownloaderTest, FailedAndShortWritesStopTheTransfer) {
    const std::string body = LetterBytes(60000);
    server.Set("/file", Reply(200, body));

    // A device that refuses every byte.
    HttpDownloader full;
    EXPECT_FALSE(full.DownloadToFile("file", Url("file"), "/dev/full", 20));
    EXPECT_EQ(full.fileOffset, 0);

    // A disk that fills up part-way: the bytes that made it are counted.
    if (!testsupport::FileSizeLimitSupported()) {
        GTEST_SKIP() << "this system cannot limit the size of a process's files";
    }
    HttpDownloader limited;
    testsupport::LimitFileSize(20000);
    const bool ok = limited.DownloadToFile("file", Url("file"), LocalPath("limited"), 20);
    testsupport::LimitFileSize(0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(limited.fileOffset, 20000);
    EXPECT_TRUE(testsupport::ReadFile(folder / "limited") == body.substr(0, 20000));

    // And the next call goes on from there.
    EXPECT_TRUE(limited.DownloadToFile("file", Url("file"), LocalPath("limited"), 20));
    EXPECT_TRUE(testsupport::ReadFile(folder / "limited") == body);
}

TEST_F(HttpDownloaderTest, AFileThatCannotBeOpenedMakesNoRequest) {
    server.Set("/file", Reply(200, "data"));
    fs::create_directory(folder / "a-folder");
    HttpDownloader downloader;
    EXPECT_FALSE(downloader.DownloadToFile("f", Url("file"), LocalPath("missing\\f"), 20));
    EXPECT_FALSE(downloader.DownloadToFile("f", Url("file"), LocalPath("a-folder"), 20));
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

TEST_F(HttpDownloaderTest, TheOffsetNeverPassesTheSigned32BitEnd) {
    // A reply that would carry the offset past 2 GiB - 1 is not written.
    const std::int32_t start = std::numeric_limits<std::int32_t>::max() - 5;
    Reply tail(206, "0123456789");
    tail.ignoreRange = true;
    tail.headers.push_back({"Content-Range", "bytes " + std::to_string(start) + "-" +
                                                 std::to_string(std::int64_t{start} + 9) + "/" +
                                                 std::to_string(std::int64_t{start} + 10)});
    server.Set("/huge", tail);
    testsupport::WriteFile(folder / "huge", "");
    HttpDownloader downloader;
    downloader.fileOffset = start;
    EXPECT_FALSE(downloader.DownloadToFile("huge", Url("huge"), LocalPath("huge"), 20));
    EXPECT_EQ(downloader.fileOffset, start);
    EXPECT_EQ(fs::file_size(folder / "huge"), 0u);
}

TEST_F(HttpDownloaderTest, OnlyWebAddressesAreAskedAndRedirectsEndAfterTen) {
    HttpDownloader downloader;
    std::string out = "kept";
    for (const char* scheme : {"ftp", "gopher", "dict", "file", "telnet"}) {
        SCOPED_TRACE(scheme);
        EXPECT_FALSE(downloader.DownloadToString(
            std::string(scheme) + "://" + server.HostPort() + "/x", 20, out));
        EXPECT_EQ(downloader.LastStatus(), 0);
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(out, "kept");
    EXPECT_TRUE(IsWebAddress("HTTPS://x/"));
    EXPECT_FALSE(IsWebAddress("http:/x"));

    // Ten redirects are followed; the eleventh ends the request.
    for (int i = 0; i <= 11; ++i) {
        Reply hop(302);
        hop.location = Url("hop" + std::to_string(i + 1));
        server.Set("/hop" + std::to_string(i), hop);
    }
    server.Set("/hop10", Reply(200, "after ten"));
    EXPECT_TRUE(downloader.DownloadToString(Url("hop0"), 20, out));
    EXPECT_EQ(out, "after ten");
    Reply more(302);
    more.location = Url("hop11");
    server.Set("/hop10", more);
    server.Set("/hop11", Reply(200, "after eleven"));
    server.ClearRequests();
    EXPECT_FALSE(downloader.DownloadToString(Url("hop0"), 20, out));
    EXPECT_EQ(server.Requests().size(), 11u);
}

TEST_F(HttpDownloaderTest, RepliesInMemoryEndAtTheirLimit) {
    const std::string body = LetterBytes(200000);
    server.Set("/big", Reply(200, body));
    HttpDownloader downloader;
    std::string out = "kept";
    EXPECT_FALSE(downloader.DownloadToString(Url("big"), 20, out, 199999));
    EXPECT_EQ(out, "kept");
    EXPECT_TRUE(downloader.DownloadToString(Url("big"), 20, out, 200000));
    EXPECT_TRUE(out == body);
    // The limit belongs to one request.
    EXPECT_TRUE(downloader.DownloadToString(Url("big"), 20, out));
}

TEST_F(HttpDownloaderTest, AServerThatSendsNothingEndsTheAttemptWithoutATimeLimit) {
    // A request that the server takes and never answers.
    Reply stalled(200, LetterBytes(40000));
    stalled.delay = std::chrono::milliseconds(3000);
    server.Set("/stalled", stalled);
    HttpDownloader downloader;
    downloader.stallSeconds = 1;
    EXPECT_FALSE(downloader.DownloadToFile("stalled", Url("stalled"), LocalPath("stalled"), 0));
    EXPECT_EQ(downloader.fileOffset, 0);
}

TEST_F(HttpDownloaderTest, TimeOutZeroLetsASlowTransferFinishAndALimitCutsItOff) {
    const std::string body = LetterBytes(80000);
    Reply slow(200, body);
    slow.delay = std::chrono::milliseconds(300);
    slow.chunkDelay = std::chrono::milliseconds(100);
    server.Set("/slow", slow);
    HttpDownloader unlimited;
    EXPECT_TRUE(unlimited.DownloadToFile("slow", Url("slow"), LocalPath("slow"), 0));
    EXPECT_TRUE(testsupport::ReadFile(folder / "slow") == body);

    Reply stalled(200, "late");
    stalled.delay = std::chrono::milliseconds(3000);
    server.Set("/stalled", stalled);
    HttpDownloader limited;
    std::string out = "kept";
    EXPECT_FALSE(limited.DownloadToString(Url("stalled"), 1, out));
    EXPECT_EQ(out, "kept");
}

TEST_F(HttpDownloaderTest, TheCurrentFileIsAnnouncedToTheWindow) {
    server.Set("/file", Reply(200, "data"));
    platform::MessageTarget target;

    // No window anywhere: nothing is posted and the download runs.
    {
        HttpDownloader downloader;
        EXPECT_EQ(downloader.window, nullptr);
        EXPECT_TRUE(downloader.DownloadToFile("a.dll", Url("file"), LocalPath("a"), 20));
    }

    // The manager's window is adopted at construction.
    MessageSender& manager = UpdateManagerContext();
    manager.window = &target;
    HttpDownloader adopted;
    manager.window = nullptr;
    EXPECT_EQ(adopted.window, &target);

    // 1000 ASCII characters and 100 two-byte GBK ones: cut at 1023 units.
    std::string mixed(1000, 'y');
    for (int i = 0; i < 100; ++i) {
        mixed += "\xD6\xD0";
    }
    struct Case {
        std::string name;      // GBK
        std::u16string shown;  // what the message carries
    } cases[] = {
        {"bin\\a b.dll", u"bin\\a b.dll"},
        {"\xD6\xD0\xCE\xC4\\\xCE\xC4\xBC\xFE.dll", u"\u4E2D\u6587\\\u6587\u4EF6.dll"},
        {std::string(2000, 'x'), std::u16string(1023, u'x')},
        {mixed, std::u16string(1000, u'y') + std::u16string(23, u'\u4E2D')},
    };
    for (const Case& c : cases) {
        fs::remove(folder / "b");
        adopted.fileOffset = 0;
        EXPECT_TRUE(adopted.DownloadToFile(c.name, Url("file"), LocalPath("b"), 20));
        const auto messages = Drain(target);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].id, msg::kCurrentFile);
        EXPECT_EQ(messages[0].lParam, 0);
        EXPECT_TRUE(messages[0].text == c.shown);
    }

    // Also when the file cannot be opened, the name was announced first.
    EXPECT_FALSE(adopted.DownloadToFile("x", Url("file"), LocalPath("no\\such"), 20));
    EXPECT_EQ(Drain(target).size(), 1u);
}

}  // namespace
