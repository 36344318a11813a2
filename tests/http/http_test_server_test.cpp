// The test server itself, checked with an independent client (cpp-httplib's).

#include "tests/support/http_test_server.h"

#include <string>

#include <gtest/gtest.h>
#include <httplib.h>

#include "core/path_functions.h"
#include "tests/support/temp_folder.h"

namespace {

using testsupport::HttpTestServer;
using testsupport::Reply;

struct Answer {
    bool complete = false;  // the whole announced body arrived
    int status = 0;
    std::string body;
    httplib::Headers headers;
};

Answer Get(const HttpTestServer& server, const std::string& target, const std::string& range = "") {
    httplib::Client client("127.0.0.1", server.port());
    httplib::Headers headers;
    if (!range.empty())
        headers.emplace("Range", range);
    Answer answer;
    auto result = client.Get(target, headers, [&](const char* data, size_t length) {
        answer.body.append(data, length);
        return true;
    });
    answer.complete = static_cast<bool>(result);
    if (result) {
        answer.status = result->status;
        answer.headers = result->headers;
    }
    return answer;
}

TEST(HttpTestServer, AnswersSetPathsAndHonoursRanges) {
    HttpTestServer server;
    EXPECT_EQ(server.BaseUrl(), "http://" + server.HostPort() + "/");
    server.Set("/a", Reply{200, "0123456789"});
    Reply ignoring{200, "0123456789"};
    ignoring.ignoreRange = true;
    server.Set("/ignore", ignoring);

    struct Case {
        std::string target, range;
        int status;
        std::string body;
    } cases[] = {
        {"/a", "", 200, "0123456789"},
        {"/a", "bytes=3-", 206, "3456789"},
        {"/a", "bytes=9-", 206, "9"},
        {"/a", "bytes=10-", 416, ""},
        {"/ignore", "bytes=3-", 200, "0123456789"},
        {"/missing", "", 404, "not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target + " " + c.range);
        const Answer answer = Get(server, c.target, c.range);
        ASSERT_TRUE(answer.complete);
        EXPECT_EQ(answer.status, c.status);
        if (c.status != 416) {
            EXPECT_EQ(answer.body, c.body);
        }
    }
    const Answer partial = Get(server, "/a", "bytes=3-");
    EXPECT_EQ(httplib::detail::get_header_value(partial.headers, "Content-Range", 0, ""),
              std::string("bytes 3-9/10"));
}

TEST(HttpTestServer, RedirectsWithAndWithoutTarget) {
    HttpTestServer server;
    Reply to;
    to.status = 302;
    to.location = server.BaseUrl() + "b";
    server.Set("/to", to);
    Reply nowhere;
    nowhere.status = 302;
    server.Set("/nowhere", nowhere);

    const Answer a = Get(server, "/to");
    EXPECT_EQ(a.status, 302);
    EXPECT_EQ(httplib::detail::get_header_value(a.headers, "Location", 0, ""), to.location);
    const Answer b = Get(server, "/nowhere");
    EXPECT_EQ(b.status, 302);
    EXPECT_EQ(b.headers.count("Location"), 0u);
}

TEST(HttpTestServer, CutsTheConnectionAfterTheGivenBytes) {
    HttpTestServer server;
    Reply cut{200, std::string(100000, 'x')};
    cut.cutAfter = 40000;
    cut.chunkDelay = std::chrono::milliseconds(1);
    server.Set("/cut", cut);

    const Answer answer = Get(server, "/cut");
    EXPECT_FALSE(answer.complete);
    EXPECT_EQ(answer.body.size(), 40000u);

    // The cut applies to what this reply sends, after the range.
    const Answer rest = Get(server, "/cut", "bytes=90000-");
    EXPECT_TRUE(rest.complete);
    EXPECT_EQ(rest.body.size(), 10000u);
}

TEST(HttpTestServer, ServesAFolderByDecodedBytesWithFaults) {
    testsupport::TempFolder root;
    const std::string gbkName = "\xD6\xD0\xCE\xC4 1.txt";
    testsupport::WriteFile(ServedFilePath(root.path(), "sub/" + gbkName), "gbk content");
    testsupport::WriteFile(root / "plain.bin", "abcdef");
    testsupport::WriteFile(root.path().parent_path() / "secret", "secret");

    HttpTestServer server;
    server.ServeFolder(root.path(), "/files/");
    const Answer named = Get(server, "/files/sub/%D6%D0%CE%C4%201.txt");
    EXPECT_EQ(named.status, 200);
    EXPECT_EQ(named.body, "gbk content");
    EXPECT_EQ(Get(server, "/files/plain.bin", "bytes=2-").body, "cdef");
    EXPECT_EQ(Get(server, "/files/plain.bin", "bytes=6-").status, 416);
    EXPECT_EQ(Get(server, "/files/none").status, 404);
    EXPECT_EQ(Get(server, "/files/sub").status, 404);
    EXPECT_EQ(Get(server, "/files/%2E%2E/secret").status, 403);
    // An absolute path after the prefix would name a file anywhere on the machine.
    EXPECT_EQ(Get(server, "/files/" + (root.path().parent_path() / "secret").string()).status, 403);

    server.SetFault("/files/plain.bin", Reply{404});
    EXPECT_EQ(Get(server, "/files/plain.bin").status, 404);
    Reply cut;
    cut.cutAfter = 2;
    server.SetFault("/files/plain.bin", cut);
    const Answer broken = Get(server, "/files/plain.bin");
    EXPECT_FALSE(broken.complete);
    EXPECT_EQ(broken.body, "ab");
    server.ClearFault("/files/plain.bin");
    EXPECT_EQ(Get(server, "/files/plain.bin").body, "abcdef");

    const auto requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/files/sub/" + gbkName);
    EXPECT_EQ(requests[0].target, "/files/sub/%D6%D0%CE%C4%201.txt");
    EXPECT_EQ(requests[0].range, "");
    EXPECT_EQ(requests[1].range, "bytes=2-");
    EXPECT_EQ(requests[1].headers.count("Range"), 1u);
    server.ClearRequests();
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpTestServer, DelaysDoNotLoseTheReply) {
    HttpTestServer server;
    Reply slow{200, std::string(50000, 'y')};
    slow.delay = std::chrono::milliseconds(20);
    slow.chunkDelay = std::chrono::milliseconds(5);
    server.Set("/slow", slow);
    const Answer answer = Get(server, "/slow");
    EXPECT_TRUE(answer.complete);
    EXPECT_EQ(answer.body, slow.body);
}

}  // namespace
