// The Windows window of orvupdate.exe, found on the desktop by its caption and driven as a user
// would: a real update against the loopback server, Esc during the download, the About box from
// the system menu, and a message box of the system. Run under a virtual display (xvfb-run).

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "core/user_texts.h"
#include "platform/environment.h"
#include "platform/text_codepage.h"
#include "tests/app/fixtures.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"
#include "tests/support/window_probe.h"
#include "ui/resource_ids.h"

namespace {

using namespace e2e;
using namespace std::chrono_literals;
using testsupport::HttpTestServer;
using testsupport::Reply;
using testsupport::TempFolder;
using testsupport::WindowId;

const std::u16string kCaption = u"Orvel浏览器更新程序";
const std::string kSlowPath = "/files/plugins/pdf viewer/pdf-render.dll";

Files OldVersion() {
    return {{"bin/core.dll", Bytes(300000, 1)}, {"文档/用户指南.txt", "版本 1.0"}};
}

Files NewVersion() {
    return {{"bin/core.dll", Bytes(450000, 3)},
            {"文档/用户指南.txt", "版本 2.0"},
            {"plugins/pdf viewer/pdf-render.dll", Bytes(200000, 4)}};
}

std::string Names(const Files& files) {
    std::string names;
    for (const auto& [name, content] : files) {
        names += name + " (" + std::to_string(content.size()) + " bytes) ";
    }
    return names;
}

std::string Utf8(const std::u16string& text) {
    return platform::Utf16ToUtf8(text);
}

class UpdateWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (platform::GetEnvironment("DISPLAY").value_or("").empty()) {
            GTEST_SKIP() << "no display: run under xvfb-run";
        }
        install_ = std::make_unique<Installation>(root_.path());
        // Plain files, so that the slow file is the one the server delays.
        TreeOptions oldOptions{"1.0", "orvel-1.0"};
        oldOptions.packages = false;
        install_->Install(
            MakeRelease(root_.path(), "old", OldVersion(), server_.BaseUrl(), oldOptions));
        TreeOptions newOptions{"2.0.1", "orvel-2.0.1"};
        newOptions.packages = false;
        release_ = MakeRelease(root_.path(), "new", NewVersion(), server_.BaseUrl(), newOptions);
        server_.ServeFolder(release_.tree, "/");
    }

    // The updater with its window: the text front end is not asked for.
    std::unique_ptr<testsupport::RunningChild> Start(const std::string& serviceHost) {
        testsupport::ChildOptions options = install_->RunOptions(serviceHost);
        options.environment.erase("ORVUPDATE_UI");
        options.unsetEnvironment.push_back("ORVUPDATE_UI");
        return std::make_unique<testsupport::RunningChild>(options);
    }

    void SlowDownload() {
        Reply slow;
        slow.holdAfter = 16 * 1024;
        server_.SetFault(kSlowPath, slow);
    }

    // The dialog once the download is under way and the slow file is being fetched.
    WindowId DialogDuringTheDownload() {
        const WindowId dialog = testsupport::FindDialog(kCaption, 60s);
        EXPECT_NE(dialog, 0u) << "no window with the caption";
        EXPECT_TRUE(testsupport::WaitUntil(
            [&] {
                return testsupport::ControlText(dialog, IDC_STATUS_LINE) ==
                       u"plugins\\pdf viewer\\pdf-render.dll";
            },
            30s));
        return dialog;
    }

    TempFolder root_;
    HttpTestServer server_;
    std::unique_ptr<Installation> install_;
    Release release_;
};

TEST_F(UpdateWindow, FollowsARealUpdateAndStartsTheBrowser) {
    SlowDownload();
    const auto run = Start(server_.HostPort());
    const WindowId dialog = DialogDuringTheDownload();
    ASSERT_NE(dialog, 0u);

    EXPECT_EQ(testsupport::Caption(dialog), kCaption);
    EXPECT_TRUE(testsupport::IsTopmost(dialog));
    EXPECT_EQ(Utf8(testsupport::ControlText(dialog, IDC_HEADLINE)), "Orvel浏览器2.0.1更新已发布！");
    EXPECT_EQ(Utf8(testsupport::ControlText(dialog, IDC_HINT)),
              "如果更新过慢，您也可访问官网下载最新版：");
    EXPECT_EQ(Utf8(testsupport::ControlText(dialog, IDC_LINK)), " http://www.orvel.example/ ");
    EXPECT_FALSE(testsupport::IsControlVisible(dialog, IDC_NOTES_BOX));
    const std::string stage = Utf8(testsupport::ControlText(dialog, IDC_STAGE_LINE));
    EXPECT_EQ(stage.rfind("正在下载更新文件，进度：", 0), 0u) << stage;
    const testsupport::Progress progress = testsupport::ProgressOf(dialog, IDC_PROGRESS);
    EXPECT_GT(progress.top, 0);
    EXPECT_GT(progress.position, 0) << "core.dll, fetched first, is counted";
    EXPECT_LT(progress.position, progress.top);

    server_.ClearFault(kSlowPath);
    const testsupport::ChildResult result = run->Wait(120s);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_TRUE(testsupport::WaitForClose(dialog, 10s));
    EXPECT_TRUE(install_->Contents() == NewVersion());
    EXPECT_EQ(install_->WaitForBrowserStarts(1), 1);
}

TEST(UpdateProgram, CarriesItsIconAndVersionInformation) {
    const std::u16string program = platform::Utf8ToUtf16(ORVUPDATE_EXE);
    EXPECT_EQ(testsupport::IconCount(program), 1);
    EXPECT_EQ(Utf8(testsupport::VersionValue(program, u"FileDescription")), "Orvel浏览器更新程序");
    EXPECT_EQ(Utf8(testsupport::VersionValue(program, u"OriginalFilename")), "orvupdate.exe");
    EXPECT_EQ(Utf8(testsupport::VersionValue(program, u"ProductVersion")), "1.0");
}

TEST_F(UpdateWindow, EscDuringTheDownloadEndsTheProgramAtOnce) {
    SlowDownload();
    const auto run = Start(server_.HostPort());
    const WindowId dialog = DialogDuringTheDownload();
    ASSERT_NE(dialog, 0u);

    testsupport::PressEscape(dialog);
    const testsupport::ChildResult result = run->Wait(30s);
    EXPECT_EQ(result.exitStatus, 2) << result.standardError;
    EXPECT_TRUE(install_->Contents() == OldVersion()) << Names(install_->Contents());
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
}

TEST_F(UpdateWindow, EscWhileTheInstallationChangesWaitsForTheUpdateToFinish) {
    const auto run = Start(server_.HostPort());
    const WindowId dialog = testsupport::FindDialog(kCaption, 60s);
    ASSERT_NE(dialog, 0u);
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
            return testsupport::ControlText(dialog, IDC_STAGE_LINE) ==
                   u"解压完成，正在更新本地文件...";
        },
        60s));

    testsupport::PressEscape(dialog);
    const testsupport::ChildResult result = run->Wait(60s);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_TRUE(install_->Contents() == NewVersion());
    EXPECT_EQ(install_->WaitForBrowserStarts(1), 1);
}

TEST_F(UpdateWindow, AboutBoxOpensFromTheSystemMenuWhileTheUpdateGoesOn) {
    SlowDownload();
    const auto run = Start(server_.HostPort());
    const WindowId dialog = DialogDuringTheDownload();
    ASSERT_NE(dialog, 0u);

    testsupport::PostSystemCommand(dialog, IDM_ABOUTBOX);
    const WindowId about = testsupport::FindDialog(u"关于 OrvUpdate", 30s, dialog);
    ASSERT_NE(about, 0u);
    EXPECT_EQ(Utf8(testsupport::ControlText(about, testsupport::kOkButton)), "确定");

    // The update goes on behind the box and ends it: first the box, then the dialog.
    server_.ClearFault(kSlowPath);
    const testsupport::ChildResult result = run->Wait(120s);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_FALSE(testsupport::IsWindowOpen(about));
    EXPECT_TRUE(install_->Contents() == NewVersion());
    EXPECT_EQ(install_->WaitForBrowserStarts(1), 1);
}

TEST_F(UpdateWindow, AMessageBoxShowsItsTextAndWaitsForOk) {
    // Nothing listens on port 1: the start-up fails and says so in a box of the system.
    const auto run = Start("127.0.0.1:1");
    const WindowId box = testsupport::FindDialog(texts::kCaptionStartupFailed, 60s);
    ASSERT_NE(box, 0u);
    EXPECT_EQ(testsupport::ControlText(box, testsupport::kMessageBoxText), texts::StartupFailed());
    EXPECT_TRUE(run->started());

    testsupport::PostCommand(box, testsupport::kOkButton);
    const testsupport::ChildResult result = run->Wait(30s);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(install_->WaitForBrowserStarts(0), 0);
}

}  // namespace
