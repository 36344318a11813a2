// One whole update against a production HTTP server: nginx on a loopback port serving the tree
// that orvrelease built, so the tree's layout (GBK file names, Range, 206) is what a real static
// server needs.

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "tests/app/fixtures.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace {

using namespace e2e;

const char* const kNginx = "/usr/sbin/nginx";

// A loopback port that was free a moment ago.
int FreePort() {
    testsupport::HttpTestServer probe;
    return probe.port();
}

TEST(Nginx, WholeUpdateFromAStaticTree) {
    if (!fs::exists(kNginx)) {
        GTEST_SKIP() << "nginx is not installed";
    }
    testsupport::TempFolder root;
    const int port = FreePort();
    const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";

    const Files oldFiles = {{"bin/core.dll", Bytes(120000, 7)}, {"old.txt", "old"}};
    const Files newFiles = {{"bin/core.dll", Bytes(180000, 8)},
                            {"文档/说明 new-1.txt", "新版本"},
                            {"plugins/a b-c.dll", Bytes(90000, 9)}};
    Installation install(root.path());
    install.Install(MakeRelease(root.path(), "old", oldFiles, base, TreeOptions{"1.0", "r1"}));
    const Release release =
        MakeRelease(root.path(), "new", newFiles, base, TreeOptions{"2.0", "r2"});

    const fs::path prefix = root.path() / "nginx";
    fs::create_directories(prefix / "logs");
    testsupport::WriteFile(
        prefix / "nginx.conf",
        "daemon off;\nmaster_process off;\npid " + (prefix / "nginx.pid").string() +
            ";\nerror_log " + (prefix / "logs/error.log").string() +
            ";\nevents {}\nhttp {\n  access_log " + (prefix / "logs/access.log").string() +
            ";\n  client_body_temp_path " + (prefix / "body").string() + ";\n  proxy_temp_path " +
            (prefix / "proxy").string() + ";\n  fastcgi_temp_path " +
            (prefix / "fastcgi").string() + ";\n  uwsgi_temp_path " + (prefix / "uwsgi").string() +
            ";\n  scgi_temp_path " + (prefix / "scgi").string() +
            ";\n  types { }\n  default_type application/octet-stream;\n"
            "  server {\n    listen 127.0.0.1:" +
            std::to_string(port) + ";\n    root " + release.tree.string() + ";\n  }\n}\n");

    testsupport::ChildOptions options;
    options.program = kNginx;
    options.arguments = {"-p", prefix.string(),
                         "-e", (prefix / "logs/error.log").string(),
                         "-c", (prefix / "nginx.conf").string()};
    testsupport::RunningChild nginx(options);
    ASSERT_TRUE(nginx.started());
    // Ready when it answers the service address.
    testsupport::ChildOptions probe;
    probe.program = "curl";
    probe.arguments = {"-sf", base + "serviceAddress/geturl_windows.php"};
    const bool ready = testsupport::WaitUntil(
        [&] { return testsupport::RunChild(probe, std::chrono::seconds(5)).exitStatus == 0; },
        std::chrono::seconds(10));
    ASSERT_TRUE(ready) << testsupport::ReadFile(prefix / "logs/error.log");

    const testsupport::ChildResult result = install.Run("127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(result.exitStatus, 0)
        << result.standardError << testsupport::ReadFile(prefix / "logs/error.log");
    EXPECT_EQ(install.Contents(), newFiles);
    EXPECT_EQ(install.WaitForBrowserStarts(1), 1);
    nginx.Signal(15);
    nginx.Wait(std::chrono::seconds(10));
}

}  // namespace
