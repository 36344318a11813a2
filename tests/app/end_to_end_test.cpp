// The built orvupdate.exe in a temporary installation folder, against a real HTTP server on
// 127.0.0.1 serving trees made by orvrelease, through the text front end.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#include "core/build_config.h"
#include "tests/app/fixtures.h"
#include "tests/support/held_file.h"
#include "tests/support/http_test_server.h"
#include "tests/support/process_settings.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace {

using namespace e2e;
using testsupport::HttpTestServer;
using testsupport::Reply;
using testsupport::TempFolder;
using testsupport::WaitUntil;

const std::string kStartupCaption = "Orvel浏览器：启动更新失败";
const std::string kUpdateCaption = "Orvel浏览器：更新失败";
const std::string kContacts = std::string("请联系客服QQ：") + ORVUPDATE_SERVICE_QQ;
const std::string kQuestion = "请先关闭Orvel浏览器，再点击“确定”重试，或点击“取消”退出更新！";

// Whether a download under way has written its first bytes in time (a start under Wine can take
// seconds).
bool WaitForSomeBytes(const fs::path& partial) {
    return WaitUntil(
        [&] {
            std::error_code error;
            const std::uintmax_t size = fs::file_size(partial, error);
            return !error && size > 0;
        },
        std::chrono::seconds(60));
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

// The old and the new version of a small browser installation.
Files OldVersion() {
    return {{"bin/core.dll", Bytes(300000, 1)},
            {"resources/zh-CN.pak", Bytes(70000, 2)},
            {"文档/用户指南.txt", "版本 1.0"},
            {"resources/old-skin.dat", "dropped in 2.0"},
            {"unchanged.txt", "same in both"}};
}

Files NewVersion() {
    return {{"bin/core.dll", Bytes(450000, 3)},
            {"resources/zh-CN.pak", Bytes(70000, 2)},
            {"文档/用户指南.txt", "版本 2.0：新增同步功能"},
            {"plugins/pdf viewer/pdf-render.dll", Bytes(200000, 4)},
            {"plugins/empty.cfg", ""},
            {"unchanged.txt", "same in both"}};
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override { install_ = std::make_unique<Installation>(root_.path()); }

    // The old version installed, the new one served, with or without packages.
    void Prepare(bool packages, int downretry = 3) {
        TreeOptions oldOptions{"1.0", "orvel-1.0"};
        oldOptions.packages = packages;
        const Release oldRelease =
            MakeRelease(root_.path(), "old", OldVersion(), server_.BaseUrl(), oldOptions);
        install_->Install(oldRelease);
        TreeOptions newOptions{"2.0", "orvel-2.0"};
        newOptions.packages = packages;
        newOptions.downretry = downretry;
        newOptions.notices = {"新增PDF阅读插件", "修复已知问题"};
        release_ = MakeRelease(root_.path(), "new", NewVersion(), server_.BaseUrl(), newOptions);
        server_.ServeFolder(release_.tree, "/");
    }

    // The old version's release, as Prepare made it.
    Release OldRelease() const {
        return {OldVersion(), root_.path() / "old" / "release", root_.path() / "old" / "tree"};
    }

    // A non-empty folder stands where a changed file must go: it cannot be replaced.
    void BlockChangedFile() {
        fs::remove(install_->folder / "bin" / "core.dll");
        testsupport::WriteFile(install_->folder / "bin" / "core.dll" / "inside.txt", "x");
    }

    testsupport::ChildResult Run(const std::string& input = "") {
        return install_->Run(server_.HostPort(), input);
    }

    std::vector<testsupport::RecordedRequest> RequestsFor(const std::string& path) {
        std::vector<testsupport::RecordedRequest> found;
        for (const auto& request : server_.Requests()) {
            if (request.path == path) {
                found.push_back(request);
            }
        }
        return found;
    }

    void ExpectUpdated() {
        EXPECT_EQ(install_->Contents(), release_.files);
        EXPECT_EQ(testsupport::ReadFile(install_->folder / "fldz.update"),
                  testsupport::ReadFile(release_.tree / "files" / "fldz.update"));
        EXPECT_EQ(testsupport::ReadFile(install_->folder / "filelist.update"),
                  testsupport::ReadFile(release_.tree / "files" / "filelist.update"));
        EXPECT_TRUE(IsEmptyFolder(install_->DownloadFolder()));
        EXPECT_TRUE(IsEmptyFolder(install_->CompressedFolder()));
        EXPECT_EQ(install_->WaitForBrowserStarts(1), 1);
    }

    TempFolder root_;
    HttpTestServer server_;
    std::unique_ptr<Installation> install_;
    Release release_;
};

// ---- Start-up -------------------------------------------------------------------------------

TEST_F(EndToEnd, UnreachableServerShowsTheStartupFailureAndStartsNothing) {
    // A port that nobody listens on any more.
    std::string host;
    {
        HttpTestServer closed;
        host = closed.HostPort();
    }
    const testsupport::ChildResult result = install_->Run(host);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.standardError.find(kStartupCaption), std::string::npos);
    EXPECT_NE(result.standardError.find("获取更新配置信息失败！" + kContacts + "，或者到官网" +
                                        ORVUPDATE_OFFICIAL_SITE + "下载安装最新版本！"),
              std::string::npos)
        << result.standardError;
    EXPECT_EQ(result.standardError.find("正在检测更新配置"), std::string::npos);
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
}

TEST_F(EndToEnd, InstallationFolderThatGbkCannotNameIsNotUpdated) {
    // A Hangul syllable has no GBK form: the folder would become "?" and name another one.
    TempFolder root("-한");
    Installation install(root.path());
    Prepare(false);
    const testsupport::ChildResult result = install.Run(server_.HostPort());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.standardError.find(kStartupCaption), std::string::npos);
    EXPECT_EQ(install.WaitForBrowserStarts(0), 0);
    std::string misnamed = root.path().filename().u8string();
    misnamed.replace(misnamed.find("한"), std::string("한").size(), "?");
    EXPECT_FALSE(fs::exists(root.path().parent_path() / misnamed));
    EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(EndToEnd, BrokenServiceOrNoticeRepliesEndTheStartup) {
    Prepare(false);
    const std::string service = "/serviceAddress/geturl_windows.php";
    const std::string good =
        testsupport::ReadFile(release_.tree / "serviceAddress" / "geturl_windows.php");
    struct Case {
        const char* name;
        std::string path;
        Reply reply;
    };
    const Case cases[] = {
        {"service reply is an array", service, Reply{200, "[1, 2]"}},
        {"service reply has trailing text", service, Reply{200, good + " x"}},
        {"service reply repeats a member", service, Reply{200, R"({"downurl":"a","downurl":"b"})"}},
        {"service reply names no download base", service,
         Reply{200, R"({"downurl":"","downzxurl":"","homepage":"h"})"}},
        {"service endpoint answers 404", service, Reply{404, "missing"}},
        {"notice is not an object", "/files/fldz.update", Reply{200, "\"2.0\""}},
        {"notice answers 500", "/files/fldz.update", Reply{500, ""}},
    };
    for (const Case& c : cases) {
        server_.SetFault(c.path, c.reply);
        const testsupport::ChildResult result = Run();
        EXPECT_EQ(result.exitStatus, 1) << c.name;
        EXPECT_NE(result.standardError.find(kStartupCaption), std::string::npos) << c.name;
        EXPECT_EQ(result.standardError.find("正在检测更新配置"), std::string::npos) << c.name;
        server_.ClearFault(c.path);
    }
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
    EXPECT_TRUE(RequestsFor("/files/filelist.update").empty());
}

TEST_F(EndToEnd, UpToDateInstallationStartsTheBrowserAtOnce) {
    struct Case {
        const char* installed;
        const char* served;
    };
    // Byte-string order: 1.9 sorts after 1.10, so 1.9 counts as up to date.
    const Case cases[] = {{"2.0.1", "2.0.1"}, {"1.9", "1.10"}, {"2.1", "2.0"}};
    for (const Case& c : cases) {
        TempFolder root;
        Installation install(root.path());
        const Release installed = MakeRelease(root.path(), "installed", {{"a.txt", "a"}},
                                              server_.BaseUrl(), TreeOptions{c.installed, "id"});
        install.Install(installed);
        const Release served = MakeRelease(root.path(), "served", {{"a.txt", "b"}},
                                           server_.BaseUrl(), TreeOptions{c.served, "id"});
        server_.ServeFolder(served.tree, "/");
        server_.ClearRequests();

        const testsupport::ChildResult result = install.Run(server_.HostPort());
        EXPECT_EQ(result.exitStatus, 0) << c.installed << " vs " << c.served;
        EXPECT_EQ(result.standardError, "") << c.installed << " vs " << c.served;
        EXPECT_EQ(install.WaitForBrowserStarts(1), 1);
        EXPECT_TRUE(RequestsFor("/files/filelist.update").empty());
        EXPECT_EQ(testsupport::ReadFile(install.folder / "a.txt"), "a");
    }
}

TEST_F(EndToEnd, MissingInstalledNoticeGoesOnToTheUpdate) {
    Prepare(false);
    std::filesystem::remove(install_->folder / "fldz.update");
    const testsupport::ChildResult result = Run();
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    ExpectUpdated();
}

TEST_F(EndToEnd, UnusableServerListShowsItsMessageAndDownloadsNothing) {
    Prepare(false);
    const std::string list = "/files/filelist.update";
    const Reply cases[] = {
        Reply{404, ""},
        Reply{200, "{\"a\":{}} trailing"},
        // Entries that would leave the installation or work folders.
        Reply{200, R"({"..\\evil.dll":{"md5":"x","size":1}})"},
        Reply{200, R"({"C:\\Windows\\evil.dll":{"md5":"x","size":1}})"},
        Reply{200, R"({"/etc/evil":{"md5":"x","size":1}})"},
        Reply{200, R"({"bin\\.\\x.dll":{"md5":"x","size":1}})"},
        Reply{200, R"({"":{"md5":"x","size":1}})"},
        // Entries that Windows would read as another file, a device or a stream.
        Reply{200, R"({"bin\\core.dll:x":{"md5":"x","size":1}})"},
        Reply{200, R"({"bin\\core.dll::$DATA":{"md5":"x","size":1}})"},
        Reply{200, R"({"bin\\Con.dll":{"md5":"x","size":1}})"},
        Reply{200, R"({"lpt1 .txt\\x.dll":{"md5":"x","size":1}})"},
        Reply{200, R"({"bin.\\core.dll":{"md5":"x","size":1}})"},
        Reply{200, R"({"unchanged.txt ":{"md5":"x","size":1}})"},
        Reply{200, R"({"bin\\a?.dll":{"md5":"x","size":1}})"},
        Reply{200, R"({"bin\\a\u0001.dll":{"md5":"x","size":1}})"},
        // A list that would delete every installed file.
        Reply{200, "{}"},
    };
    for (const Reply& reply : cases) {
        server_.SetFault(list, reply);
        server_.ClearRequests();
        const testsupport::ChildResult result = Run();
        EXPECT_EQ(result.exitStatus, 1) << reply.body;
        EXPECT_NE(result.standardError.find(kUpdateCaption), std::string::npos) << reply.body;
        EXPECT_NE(result.standardError.find("无法从服务器获得更新配置！" + kContacts),
                  std::string::npos)
            << reply.body;
        for (const auto& request : server_.Requests()) {
            EXPECT_TRUE(request.path == list || request.path == "/files/fldz.update" ||
                        request.path == "/serviceAddress/geturl_windows.php")
                << request.path;
        }
    }
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
    EXPECT_EQ(install_->Contents(), OldVersion());
}

TEST_F(EndToEnd, SecondUpdaterOfTheSameFolderIsRefusedAnotherFolderIsNot) {
    Prepare(false);
    // The first updater waits for the service reply while it holds the folder's lock.
    const std::string service = "/serviceAddress/geturl_windows.php";
    Reply slow{200, testsupport::ReadFile(release_.tree / "serviceAddress" / "geturl_windows.php")};
    slow.delay = std::chrono::seconds(4);
    server_.SetFault(service, slow);

    testsupport::RunningChild first(install_->RunOptions(server_.HostPort()));
    ASSERT_TRUE(first.started());
    WaitUntil([&] { return !RequestsFor(service).empty(); }, std::chrono::seconds(30));
    ASSERT_EQ(RequestsFor(service).size(), 1u);

    const testsupport::ChildResult second = Run();
    EXPECT_EQ(second.exitStatus, 1);
    EXPECT_EQ(second.standardError, "Orvel浏览器更新程序\n更新程序已经在运行中，请勿再次启动！\n");

    TempFolder otherRoot;
    Installation other(otherRoot.path());
    server_.ClearFault(service);
    const testsupport::ChildResult elsewhere = other.Run(server_.HostPort());
    EXPECT_EQ(elsewhere.standardError.find("更新程序已经在运行中"), std::string::npos);

    const testsupport::ChildResult firstResult = first.Wait(std::chrono::seconds(60));
    EXPECT_EQ(firstResult.exitStatus, 0) << firstResult.standardError;
}

TEST_F(EndToEnd, TwoInstallationsOfOneUserUpdateOneAtATime) {
    Prepare(false);
    const std::string slowPath = "/files/plugins/pdf viewer/pdf-render.dll";
    Reply slow;
    slow.holdAfter = 16 * 1024;
    server_.SetFault(slowPath, slow);
    testsupport::RunningChild first(install_->RunOptions(server_.HostPort()));
    ASSERT_TRUE(
        WaitForSomeBytes(install_->DownloadFolder() / "plugins" / "pdf viewer" / "pdf-render.dll"));

    // A second installation of the same user, with the same work folders.
    TempFolder otherRoot;
    Installation other(otherRoot.path());
    other.tmp = install_->tmp;
    other.Install(OldRelease());
    const testsupport::ChildResult refused = other.Run(server_.HostPort());
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.standardError.find("更新程序已经在运行中，请勿再次启动！"), std::string::npos)
        << refused.standardError;
    EXPECT_EQ(other.Contents(), OldVersion());
    EXPECT_EQ(testsupport::ReadFile(other.folder / "fldz.update"),
              testsupport::ReadFile(OldRelease().tree / "files" / "fldz.update"));

    server_.ClearFault(slowPath);
    const testsupport::ChildResult firstResult = first.Wait(std::chrono::seconds(60));
    EXPECT_EQ(firstResult.exitStatus, 0) << firstResult.standardError;
    ExpectUpdated();
    EXPECT_EQ(other.Run(server_.HostPort()).exitStatus, 0);
    EXPECT_EQ(other.Contents(), NewVersion());
}

TEST_F(EndToEnd, AnotherUsersLockFileIsAStartupFailure) {
    if (!testsupport::kPosixSystem) {
        GTEST_SKIP() << "Windows keeps no lock files: the named mutex lives in the user's session";
    }
    Prepare(false);
    TempFolder runtime;
    fs::permissions(runtime.path(), fs::perms::owner_all);
    testsupport::ChildOptions options = install_->RunOptions(server_.HostPort());
    options.environment["XDG_RUNTIME_DIR"] = runtime.path().string();
    // A run against no server makes the lock file, which is then given away.
    testsupport::ChildOptions probe = options;
    probe.environment["ORVUPDATE_SERVICE_HOST"] = "127.0.0.1:1";
    ASSERT_EQ(testsupport::RunChild(probe, std::chrono::seconds(60)).exitStatus, 1);
    testsupport::ChildOptions chown;
    chown.program = "chown";
    chown.arguments = {"65534"};
    for (const auto& entry : fs::directory_iterator(runtime.path())) {
        chown.arguments.push_back(entry.path().string());
    }
    ASSERT_EQ(chown.arguments.size(), 2u) << "one lock file";
    if (testsupport::RunChild(chown, std::chrono::seconds(30)).exitStatus != 0) {
        GTEST_SKIP() << "needs a privileged run to make another user's file";
    }

    const testsupport::ChildResult result =
        testsupport::RunChild(options, std::chrono::seconds(60));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.standardError.find(kStartupCaption), std::string::npos)
        << result.standardError;
    EXPECT_EQ(result.standardError.find("更新程序已经在运行中"), std::string::npos);
    EXPECT_TRUE(server_.Requests().empty()) << "refused before anything was asked";
    EXPECT_EQ(install_->Contents(), OldVersion());
}

// Another local user keeps taking the work folders' names in the shared temporary folder, as
// folders that everybody may write, with a file planted at every path of the release, and as
// links to a folder of their own. No planted file is ever installed and nothing is written
// through a link.
TEST_F(EndToEnd, AnotherLocalUserRacingForTheWorkFoldersGetsNothingInstalled) {
#ifndef PLANTER_EXE
    GTEST_SKIP() << "another local user is played with setpriv, which only POSIX systems have";
#else
    testsupport::ChildOptions check;
    check.program = "setpriv";
    check.arguments = {"--reuid=65534", "--regid=65534", "--clear-groups", "--", "true"};
    if (testsupport::RunChild(check, std::chrono::seconds(10)).exitStatus != 0) {
        GTEST_SKIP() << "needs a privileged run to act as another user";
    }
    Prepare(false);
    // A temporary folder like /tmp: everybody may make names, nobody may take another's.
    fs::permissions(install_->tmp, fs::perms::all | fs::perms::sticky_bit);
    const fs::path stop = root_ / "stop";
    testsupport::ChildOptions planter;
    planter.program = "setpriv";
    planter.arguments = {"--reuid=65534", "--regid=65534",        "--clear-groups", "--",
                         PLANTER_EXE,     install_->tmp.string(), stop.string()};
    for (const auto& [path, bytes] : NewVersion()) {
        planter.arguments.push_back(path);
    }
    testsupport::RunningChild attacker(planter);
    ASSERT_EQ(attacker.ReadLine(std::chrono::seconds(20)), "planting");

    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        TempFolder runRoot;
        Installation target(runRoot.path());
        target.tmp = install_->tmp;
        target.Install(OldRelease());
        const testsupport::ChildResult result = target.Run(server_.HostPort());
        EXPECT_EQ(result.exitStatus, 0) << result.standardError;
        EXPECT_EQ(target.Contents(), NewVersion());
    }
    testsupport::WriteFile(stop, "");
    EXPECT_EQ(attacker.Wait(std::chrono::seconds(20)).exitStatus, 0);
    EXPECT_TRUE(IsEmptyFolder(install_->tmp / "theirs"));
    // Every work folder the updater used is its own and private.
    for (const auto& entry : fs::directory_iterator(install_->tmp)) {
        const fs::file_status status = fs::symlink_status(entry.path());
        if (fs::is_directory(status) &&
            (status.permissions() & fs::perms::others_all) == fs::perms::none) {
            EXPECT_TRUE(IsEmptyFolder(entry.path())) << entry.path();
        }
    }
#endif
}

// ---- The whole update -----------------------------------------------------------------------

TEST_F(EndToEnd, PlainUpdateFromAnOlderInstallation) {
    Prepare(false);
    testsupport::WriteFile(install_->folder / "user-data/bookmarks.json", "{}");
    const testsupport::ChildResult result = Run();
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    // A file that neither list names is left alone.
    EXPECT_EQ(testsupport::ReadFile(install_->folder / "user-data/bookmarks.json"), "{}");
    fs::remove_all(install_->folder / "user-data");
    ExpectUpdated();
    // Unchanged files are not fetched; the dialog's stages appear one line each.
    EXPECT_TRUE(RequestsFor("/files/unchanged.txt").empty());
    const std::string& shown = result.standardError;
    EXPECT_NE(shown.find("Orvel浏览器2.0更新已发布！"), std::string::npos) << shown;
    EXPECT_EQ(Count(shown, "正在下载更新文件，进度：0%\n"), 1u) << shown;
    EXPECT_EQ(Count(shown, "解压完成，正在更新本地文件...\n"), 1u) << shown;
    EXPECT_EQ(Count(shown, "更新完成，正在启动浏览器...\n"), 1u) << shown;
    EXPECT_EQ(Count(shown, "下载完成，正在解压更新文件..."), 0u) << shown;
    EXPECT_EQ(Count(shown, "  plugins\\pdf viewer\\pdf-render.dll\n"), 1u) << shown;
}

TEST_F(EndToEnd, CompressedUpdateFromAnOlderInstallation) {
    Prepare(true);
    const testsupport::ChildResult result = Run();
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    ExpectUpdated();
    EXPECT_EQ(Count(result.standardError, "下载完成，正在解压更新文件...\n"), 1u);
    for (const auto& request : server_.Requests()) {
        EXPECT_TRUE(request.path.rfind("/zx/", 0) == 0 ||
                    request.path == "/serviceAddress/geturl_windows.php")
            << request.path;
    }
}

TEST_F(EndToEnd, UpdateThroughTheWindowUnderAVirtualDisplay) {
#ifndef ORV_GUI_BUILT
    GTEST_SKIP() << "built without the window front end";
#endif
    if (!fs::exists("/usr/bin/xvfb-run")) {
        GTEST_SKIP() << "xvfb-run is not installed";
    }
    Prepare(true);
    testsupport::ChildOptions options = install_->RunOptions(server_.HostPort());
    options.environment["ORVUPDATE_UI"] = "gui";
    options.arguments = {"-a", "-s", "-screen 0 1280x800x24", options.program};
    options.program = "/usr/bin/xvfb-run";
    const testsupport::ChildResult result =
        testsupport::RunChild(options, std::chrono::seconds(120));
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    ExpectUpdated();
    // The window showed the update: the text front end wrote nothing.
    EXPECT_EQ(result.standardError.find("正在下载更新文件"), std::string::npos)
        << result.standardError;
}

TEST_F(EndToEnd, ConnectionsCutHalfWayAreFinishedByTheNextAttempts) {
    // Every reply for the file breaks off after 100 000 bytes: each attempt asks only for the
    // rest, so the 450 000 bytes arrive in five attempts without a pause.
    Prepare(false, 10);
    Reply cut;
    cut.cutAfter = 100000;
    server_.SetFault("/files/bin/core.dll", cut);
    const testsupport::ChildResult result = Run();
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    ExpectUpdated();
    const auto requests = RequestsFor("/files/bin/core.dll");
    ASSERT_EQ(requests.size(), 5u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].range, i == 0 ? "" : "bytes=" + std::to_string(i * 100000) + "-");
    }
}

TEST_F(EndToEnd, RunKilledDuringTheDownloadIsResumedByTheNextRun) {
    Prepare(false, 1);
    // Files are fetched in path order: bin\core.dll completes, then the plug-in stops part-way.
    const std::string slowPath = "/files/plugins/pdf viewer/pdf-render.dll";
    Reply slow;
    slow.holdAfter = 16 * 1024;
    server_.SetFault(slowPath, slow);

    testsupport::RunningChild first(install_->RunOptions(server_.HostPort()));
    const fs::path partial =
        install_->DownloadFolder() / "plugins" / "pdf viewer" / "pdf-render.dll";
    ASSERT_TRUE(WaitForSomeBytes(partial));
    first.Signal(9);
    first.Wait(std::chrono::seconds(10));
    ASSERT_TRUE(fs::exists(partial));
    const auto kept = fs::file_size(partial);
    ASSERT_GT(kept, 0u);
    ASSERT_LT(kept, release_.files.at("plugins/pdf viewer/pdf-render.dll").size());
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);

    server_.ClearFault(slowPath);
    server_.ClearRequests();
    const testsupport::ChildResult second = Run();
    EXPECT_EQ(second.exitStatus, 0) << second.standardError;
    ExpectUpdated();
    EXPECT_TRUE(RequestsFor("/files/bin/core.dll").empty());
    const auto requests = RequestsFor(slowPath);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].range, "bytes=" + std::to_string(kept) + "-");
}

// Ctrl+C closes the text front end like Esc closes the window, and SIGINT reaches the window's
// program too: both follow one rule. A closed terminal (SIGHUP) is a request to close as well.
struct FrontEndCase {
    const char* name;
    bool window;
    int signal;
};
const FrontEndCase kFrontEnds[] = {
    {"text", false, 2}, {"text_terminal_closed", false, 1}, {"window", true, 2}};

class EndToEndInterrupt : public EndToEnd, public ::testing::WithParamInterface<FrontEndCase> {
protected:
    void SetUp() override {
        EndToEnd::SetUp();
        if (GetParam().signal == 1 && !testsupport::kPosixSystem) {
            GTEST_SKIP() << "a test cannot close another program's console on Windows";
        }
        if (GetParam().window) {
#ifndef ORV_GUI_BUILT
            GTEST_SKIP() << "built without the window front end";
#endif
            display_ = std::make_unique<VirtualDisplay>();
            if (display_->name().empty()) {
                GTEST_SKIP() << "no virtual display";
            }
        }
    }

    testsupport::ChildOptions Options() {
        testsupport::ChildOptions options = install_->RunOptions(server_.HostPort());
        if (GetParam().window) {
            options.environment["ORVUPDATE_UI"] = "gui";
            options.environment["DISPLAY"] = display_->name();
            options.unsetEnvironment = {"WAYLAND_DISPLAY"};
        }
        return options;
    }

    std::unique_ptr<VirtualDisplay> display_;
};

INSTANTIATE_TEST_SUITE_P(FrontEnds, EndToEndInterrupt, ::testing::ValuesIn(kFrontEnds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(EndToEndInterrupt, DuringTheDownloadEndsAtOnceAndTheNextRunResumes) {
    Prepare(false);
    const std::string slowPath = "/files/plugins/pdf viewer/pdf-render.dll";
    Reply slow;
    slow.holdAfter = 16 * 1024;
    server_.SetFault(slowPath, slow);

    testsupport::RunningChild run(Options());
    const fs::path partial =
        install_->DownloadFolder() / "plugins" / "pdf viewer" / "pdf-render.dll";
    ASSERT_TRUE(WaitForSomeBytes(partial));
    run.Signal(GetParam().signal);
    const testsupport::ChildResult result = run.Wait(std::chrono::seconds(20));
    EXPECT_EQ(result.exitStatus, 2) << result.standardError;
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
    EXPECT_EQ(install_->Contents(), OldVersion());
    ASSERT_TRUE(fs::exists(partial));
    EXPECT_GT(fs::file_size(partial), 0u);

    server_.ClearFault(slowPath);
    EXPECT_EQ(Run().exitStatus, 0);
    ExpectUpdated();
}

// Reads the child's lines until one is the given line; false when the child's output ends or the
// time is up first.
bool ReadUntilLine(testsupport::RunningChild& run, const std::string& line,
                   std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        const std::optional<std::string> next = run.ReadLine(left);
        if (!next) {
            return false;
        }
        if (*next == line) {
            return true;
        }
    }
}

TEST_P(EndToEndInterrupt, WhileTheInstallationChangesWaitsForTheUpdateToFinish) {
    Prepare(false);
    testsupport::ChildOptions options = Options();
    if (!GetParam().window) {
        // The text front end's lines are read as they come: its standard error joins the
        // standard output, which the test reads line by line.
        options.errorIntoOutput = true;
    }
    testsupport::RunningChild run(options);
    if (GetParam().window) {
        // The window shows its stage line only on the screen: the first installed file of the
        // new version says that the local stage is under way.
        ASSERT_TRUE(WaitUntil([&] { return install_->Contents() != OldVersion(); },
                              std::chrono::seconds(60)));
    } else {
        ASSERT_TRUE(ReadUntilLine(run, "解压完成，正在更新本地文件...", std::chrono::seconds(60)));
    }
    // The signal must come while the update runs: the finish stage, which replaces the
    // manifests, is still to come.
    ASSERT_EQ(testsupport::ReadFile(install_->folder / "fldz.update"),
              testsupport::ReadFile(OldRelease().tree / "files" / "fldz.update"))
        << "the update had ended before the signal";
    run.Signal(GetParam().signal);
    const testsupport::ChildResult result = run.Wait(std::chrono::seconds(60));
    EXPECT_EQ(result.exitStatus, 0) << result.standardOutput << result.standardError;
    if (!GetParam().window) {
        EXPECT_NE(result.standardOutput.find("正在更新本地文件，完成后退出..."), std::string::npos)
            << result.standardOutput;
    }
    ExpectUpdated();
}

// ---- Failures -------------------------------------------------------------------------------

TEST_F(EndToEnd, MissingFileFailsTheDownloadStageAndKeepsTheWorkFolders) {
    Prepare(false, 2);
    server_.SetFault("/files/plugins/pdf viewer/pdf-render.dll", Reply{404, "gone"});
    const testsupport::ChildResult result = Run();
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.standardError.find(kUpdateCaption + "\n下载更新文件失败！" + kContacts),
              std::string::npos)
        << result.standardError;
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
    EXPECT_EQ(install_->Contents(), OldVersion());
    // What was fetched stays for the next run of the same release.
    EXPECT_TRUE(fs::exists(install_->DownloadFolder() / "bin" / "core.dll"));
    EXPECT_TRUE(fs::exists(install_->DownloadFolder() / "fldz.update"));
}

TEST_F(EndToEnd, CorruptPackageFailsTheDecompressionStageAndIsDeleted) {
    Prepare(true);
    std::string package;
    for (const auto& [path, content] : ReadFiles(release_.tree / "zx")) {
        if (path.rfind("bin/", 0) == 0) {
            package = path;
        }
    }
    ASSERT_FALSE(package.empty());
    std::string corrupt = testsupport::ReadFile(release_.tree / "zx" / package);
    for (std::size_t i = 13; i < corrupt.size(); i += 7) {
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    }
    server_.SetFault("/zx/" + package, Reply{200, corrupt});

    const testsupport::ChildResult result = Run();
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(
        result.standardError.find(kUpdateCaption + "\n解压更新文件失败！请重试！或联系客服QQ："),
        std::string::npos)
        << result.standardError;
    EXPECT_FALSE(fs::exists(install_->CompressedFolder() / package));
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
    EXPECT_EQ(install_->Contents(), OldVersion());
}

TEST_F(EndToEnd, BlockedTargetAsksFourTimesThenFailsTheLocalStage) {
    Prepare(false);
    BlockChangedFile();

    const testsupport::ChildResult result = Run("ok\nok\nok\nok\nok\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(Count(result.standardError, kQuestion), 4u) << result.standardError;
    EXPECT_NE(result.standardError.find(kUpdateCaption + "\n更新本地文件失败！" + kContacts),
              std::string::npos);
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
}

TEST_F(EndToEnd, CancelAtTheFirstQuestionEndsTheLocalStageAtOnce) {
    Prepare(false);
    BlockChangedFile();

    const testsupport::ChildResult result = Run("cancel\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(Count(result.standardError, kQuestion), 1u);
    EXPECT_NE(result.standardError.find("更新本地文件失败！"), std::string::npos);
    // The stage stopped at the blocked file: the deletions that come last did not run.
    EXPECT_TRUE(fs::exists(install_->folder / "resources" / "old-skin.dat"));
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
}

// On Windows a running browser holds its files open: replacing one fails with a sharing
// violation, the user is asked, and the installed file stays whole until it is freed.
TEST_F(EndToEnd, FileHeldOpenByTheBrowserIsAskedAboutAndReplacedOnceFreed) {
    Prepare(false);
    const fs::path core = install_->folder / "bin" / "core.dll";
    const std::string installed = testsupport::ReadFile(core);
    {
        const testsupport::HeldFile held(core);
        if (!held.held()) {
            GTEST_SKIP() << "this system replaces files that others hold open";
        }
        const testsupport::ChildResult result = Run("cancel\n");
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(Count(result.standardError, kQuestion), 1u) << result.standardError;
        EXPECT_NE(result.standardError.find("更新本地文件失败！"), std::string::npos);
        EXPECT_TRUE(testsupport::ReadFile(core) == installed);
        EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
    }
    // Freed: the next run finishes the update.
    EXPECT_EQ(Run().exitStatus, 0);
    ExpectUpdated();
}

TEST_F(EndToEnd, ManifestThatCannotBeInstalledFailsTheFinishStageWithoutQuestion) {
    Prepare(false);
    fs::remove(install_->folder / "fldz.update");
    testsupport::WriteFile(install_->folder / "fldz.update" / "inside.txt", "x");

    const testsupport::ChildResult result = Run("ok\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(Count(result.standardError, kQuestion), 0u);
    EXPECT_EQ(Count(result.standardError, kUpdateCaption), 0u) << result.standardError;
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
    // The files themselves were already replaced; the next run updates again.
    Files contents = install_->Contents();
    contents.erase("fldz.update/inside.txt");
    EXPECT_EQ(contents, NewVersion());
}

}  // namespace
