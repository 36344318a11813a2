// The server configuration: reading the service-address reply, the download base, and the fetch
// from a real HTTP server on the loopback interface.

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "config/server_config.h"
#include "core/build_config.h"
#include "tests/support/http_test_server.h"
#include "tests/support/process_settings.h"

using testsupport::HttpTestServer;
using testsupport::Reply;

namespace {

constexpr char kEndpoint[] = "/serviceAddress/geturl_windows.php";

using testsupport::ScopedEnvironment;

struct Fields {
    std::string docUrl;
    std::string downUrl;
    std::string downZxUrl;
    std::string homepage;
    std::int32_t downTime;
    std::int32_t downRetry;
};

void ExpectFields(const ServerConfig& config, const Fields& expected) {
    EXPECT_EQ(config.docUrl, expected.docUrl);
    EXPECT_EQ(config.downUrl, expected.downUrl);
    EXPECT_EQ(config.downZxUrl, expected.downZxUrl);
    EXPECT_EQ(config.homepage, expected.homepage);
    EXPECT_EQ(config.downTime, expected.downTime);
    EXPECT_EQ(config.downRetry, expected.downRetry);
}

const Fields kDefaults{"", "", "", "", 30, 50};

TEST(ServerConfig, ParseReadsTheSixKeys) {
    const struct {
        const char* name;
        std::string reply;
        bool ok;
        Fields fields;
    } cases[] = {
        {"all keys",
         R"({"docurl":"http://d/","downurl":"http://p/","downzxurl":"http://z/",)"
         R"("homepage":"http://www.orvel.example/","downtime":45,"downretry":7,"extra":[1]})",
         true,
         {"http://d/", "http://p/", "http://z/", "http://www.orvel.example/", 45, 7}},
        {"downtime missing replaces the default with 0",
         R"({"downurl":"http://p/"})",
         true,
         {"", "http://p/", "", "", 0, 0}},
        {"numbers as strings read as 0",
         R"({"downtime":"30","downretry":"3"})",
         true,
         {"", "", "", "", 0, 0}},
        {"fractions truncate",
         R"({"downtime":30.9,"downretry":3.7})",
         true,
         {"", "", "", "", 30, 3}},
        {"out of range saturates",
         R"({"downtime":1e10,"downretry":-3000000000})",
         true,
         {"", "", "", "", INT32_MAX, INT32_MIN}},
        {"strings of other types read empty",
         R"({"downurl":5,"homepage":null,"docurl":{}})",
         true,
         {"", "", "", "", 0, 0}},
        {"array", R"([{"downurl":"http://p/"}])", false, kDefaults},
        {"trailing text", R"({"downurl":"http://p/"} x)", false, kDefaults},
        {"repeated key", R"({"downurl":"http://p/","downurl":"http://q/"})", false, kDefaults},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerConfig config;
        EXPECT_EQ(config.Parse(c.reply), c.ok);
        ExpectFields(config, c.fields);
    }
}

TEST(ServerConfig, DownloadBaseAndServerUrl) {
    ServerConfig config;
    config.downUrl = "http://plain.example/files/";
    config.downZxUrl = "http://zx.example/packages/";
    EXPECT_EQ(config.GetDownloadBase(), "http://plain.example/files/");
    EXPECT_EQ(MakeServerUrl(config, "fldz.update"), "http://plain.example/files/fldz.update");
    config.compressed = true;
    EXPECT_EQ(config.GetDownloadBase(), "http://zx.example/packages/");
    EXPECT_EQ(MakeServerUrl(config, "bin/a.dll.lzma"), "http://zx.example/packages/bin/a.dll.lzma");
    // No separator is inserted.
    config.downZxUrl = "http://zx.example/base";
    EXPECT_EQ(MakeServerUrl(config, "fldz.update"), "http://zx.example/basefldz.update");
}

TEST(ServerConfig, ServiceAddressHost) {
    {
        ScopedEnvironment unset("ORVUPDATE_SERVICE_HOST", nullptr);
        EXPECT_EQ(ServiceAddressUrl(), std::string("http://") + ORVUPDATE_SERVICE_HOST + kEndpoint);
    }
    {
        ScopedEnvironment empty("ORVUPDATE_SERVICE_HOST", "");
        EXPECT_EQ(ServiceAddressUrl(), std::string("http://") + ORVUPDATE_SERVICE_HOST + kEndpoint);
    }
    {
        ScopedEnvironment staging("ORVUPDATE_SERVICE_HOST", "127.0.0.1:8123");
        EXPECT_EQ(ServiceAddressUrl(), std::string("http://127.0.0.1:8123") + kEndpoint);
    }
}

TEST(ServerConfig, FetchAsksTheEndpointWithAPlainGet) {
    HttpTestServer server;
    ScopedEnvironment host("ORVUPDATE_SERVICE_HOST", server.HostPort().c_str());
    const std::string reply =
        R"({"downurl":"http://p/","downzxurl":"","homepage":"h","downtime":20,"downretry":4})";
    server.Set(kEndpoint, Reply(200, reply));

    ServerConfig config;
    ASSERT_TRUE(config.Fetch());
    EXPECT_FALSE(config.compressed);
    EXPECT_EQ(config.GetDownloadBase(), "http://p/");
    EXPECT_EQ(config.replyText, reply);
    ExpectFields(config, {"", "http://p/", "", "h", 20, 4});

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, kEndpoint);
}

// A JSON text followed by white space up to a length.
std::string Padded(const std::string& json, std::size_t length) {
    return json + std::string(length - json.size(), ' ');
}

TEST(ServerConfig, FetchOutcomes) {
    const struct {
        const char* name;
        Reply reply;
        bool ok;
        bool compressed;
        std::string base;
    } cases[] = {
        {"both bases: compressed wins",
         Reply(200, R"({"downurl":"http://p/","downzxurl":"http://z/"})"), true, true, "http://z/"},
        {"only the compressed base", Reply(200, R"({"downzxurl":"http://z/"})"), true, true,
         "http://z/"},
        {"only the plain base", Reply(200, R"({"downurl":"http://p/","downzxurl":""})"), true,
         false, "http://p/"},
        {"body up to its first zero byte",
         Reply(200, std::string("{\"downurl\":\"http://p/\"}\0tail", 28)), true, false,
         "http://p/"},
        {"no base", Reply(200, R"({"homepage":"h"})"), false, false, ""},
        {"empty bases", Reply(200, R"({"downurl":"","downzxurl":""})"), false, false, ""},
        {"array", Reply(200, R"([{"downurl":"http://p/"}])"), false, false, ""},
        {"trailing text", Reply(200, R"({"downurl":"http://p/"}<br>)"), false, false, ""},
        {"repeated key", Reply(200, R"({"downurl":"http://p/","downurl":"http://p/"})"), false,
         false, ""},
        {"empty body", Reply(200, ""), false, false, ""},
        // Only web addresses: another scheme in either base makes the reply unusable.
        {"upper-case scheme", Reply(200, R"({"downzxurl":"HTTPS://z/"})"), true, true,
         "HTTPS://z/"},
        {"plain base of another scheme", Reply(200, R"({"downurl":"ftp://p/"})"), false, false,
         "ftp://p/"},
        {"compressed base of another scheme",
         Reply(200, R"({"downurl":"http://p/","downzxurl":"gopher://127.0.0.1:70/"})"), false,
         false, "http://p/"},
        {"base without a scheme", Reply(200, R"({"downurl":"p/"})"), false, false, "p/"},
        // Up to 1 MiB is read, not a byte more.
        {"reply of 1 MiB", Reply(200, Padded(R"({"downurl":"http://p/"})", 1 << 20)), true, false,
         "http://p/"},
        {"reply over 1 MiB", Reply(200, Padded(R"({"downurl":"http://p/"})", (1 << 20) + 1)), false,
         false, ""},
        {"not found", Reply(404, R"({"downurl":"http://p/"})"), false, false, ""},
        {"server error", Reply(500, R"({"downurl":"http://p/"})"), false, false, ""},
    };
    HttpTestServer server;
    ScopedEnvironment host("ORVUPDATE_SERVICE_HOST", server.HostPort().c_str());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.Set(kEndpoint, c.reply);
        ServerConfig config;
        EXPECT_EQ(config.Fetch(), c.ok);
        EXPECT_EQ(config.compressed, c.compressed);
        EXPECT_EQ(config.GetDownloadBase(), c.base);
        if (c.reply.status != 200) {
            // A failed request leaves everything as constructed.
            EXPECT_EQ(config.replyText, "");
            ExpectFields(config, kDefaults);
        }
    }
}

TEST(ServerConfig, FetchWithoutServerFails) {
    std::string hostPort;
    {
        HttpTestServer closed;
        hostPort = closed.HostPort();
    }
    ScopedEnvironment host("ORVUPDATE_SERVICE_HOST", hostPort.c_str());
    ServerConfig config;
    EXPECT_FALSE(config.Fetch());
    EXPECT_EQ(config.replyText, "");
    ExpectFields(config, kDefaults);
}

}  // namespace
