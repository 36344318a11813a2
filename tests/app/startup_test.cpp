// The single-instance guard's name, the update decision, the browser's start and the exit status.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/orv_update_app.h"
#include "app/singleton_launch.h"
#include "engine/browser_launch.h"
#include "engine/update_manager.h"
#include "platform/text_codepage.h"
#include "tests/support/http_test_server.h"
#include "tests/support/process_settings.h"
#include "tests/support/recording_presenter.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace {

using testsupport::HttpTestServer;
using testsupport::Reply;
using testsupport::TempFolder;
using testsupport::WriteFile;

TEST(MutexName, GuidFollowedByFolderWithDotsColonsAndBackslashesReplaced) {
    struct Case {
        std::u16string folder;
        std::u16string tail;
    };
    const Case cases[] = {
        {u"D:\\Apps\\Orvel", u"D__Apps_Orvel"},
        {u"C:\\Program Files (x86)\\Orvel.Browser\\1.2",
         u"C__Program Files (x86)_Orvel_Browser_1_2"},
        {u"/opt/orvel.d/bin", u"/opt/orvel_d/bin"},
        {u"D:\\", u"D__"},
        {u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MutexNameForFolder(c.folder), u"E7559146_C78A_4425_8B03_0932D3694112" + c.tail)
            << platform::Utf16ToUtf8(c.folder);
    }
}

TEST(MutexName, TwoGuardsOfOneProcessExcludeEachOther) {
    SingletonLaunch first;
    EXPECT_FALSE(first.IsAlreadyRunning());
    SingletonLaunch second;
    EXPECT_TRUE(second.IsAlreadyRunning());
}

TEST(MutexName, NamesTheCanonicalFolderOfTheRunningProgram) {
    const std::u16string folder = UpdaterFolder();
    EXPECT_EQ(platform::Utf16ToUtf8(folder),
              std::filesystem::canonical(STARTUP_TEST_FOLDER).u8string());
}

TEST(Browser, CommandLineIsTheBarePathInTheInstallationFolder) {
    EXPECT_EQ(BrowserCommandLine("D:\\Apps\\Orvel\\"), "D:\\Apps\\Orvel\\orvel.exe");
    EXPECT_EQ(BrowserCommandLine("/opt/my browser\\"), "/opt/my browser\\orvel.exe");
}

TEST(Browser, LaunchBrowserStartsOnlyWhenFinishedOrForced) {
    TempFolder install("with space");
#ifdef BROWSER_STANDIN_EXE
    std::filesystem::copy_file(BROWSER_STANDIN_EXE, install / "orvel.exe");
#else
    testsupport::WriteExecutable(
        install / "orvel.exe",
        "#!/bin/sh\necho \"$0 $#\" >> \"$(dirname \"$0\")/browser-started.log\"\n");
#endif
    CUpdateManager& manager = CUpdateManager::Instance();
    const std::string savedFolder = manager.pathStore.installFolder;
    manager.pathStore.installFolder = install.Narrow();

    manager.finished = false;
    // Not finished: nothing is started, so there is nothing to wait for.
    EXPECT_FALSE(manager.LaunchBrowser(false));
    EXPECT_FALSE(std::filesystem::exists(install / "browser-started.log"));

    EXPECT_TRUE(manager.LaunchBrowser(true));
    ASSERT_EQ(
        testsupport::WaitForLines(install / "browser-started.log", 1, std::chrono::seconds(20)), 1);
    // Started with the bare path (in a folder with a blank) and no arguments.
    EXPECT_EQ(testsupport::ReadFile(install / "browser-started.log"),
              (install.path() / "orvel.exe").string() + " 0\n");

    manager.pathStore.installFolder = savedFolder;
}

TEST(Browser, MissingBrowserIsAFalseResultNotACrash) {
    TempFolder install;
    EXPECT_FALSE(StartProcess(BrowserCommandLine(install.Narrow())));
}

// The installed notice as a file, a folder, an unreadable file or nothing, against the server's
// version. An installed notice that cannot be read counts as missing and must not throw.
TEST(Startup, IsUpdateNeededComparesTheInstalledVersionAsBytes) {
    enum Installed { kMissing, kFile, kFolder, kUnreadable };
    const struct {
        const char* name;
        Installed installed;
        std::string notice;
        std::string server;
        bool needed;
    } cases[] = {
        {"same version", kFile, R"({"version":"2.0.1"})", "2.0.1", false},
        {"1.9 sorts after 1.10", kFile, R"({"version":"1.9"})", "1.10", false},
        {"older", kFile, R"({"version":"1.2"})", "1.2.1", true},
        {"missing notice", kMissing, "", "1.0", true},
        {"missing notice, empty server version", kMissing, "", "", false},
        {"not parsable", kFile, R"({"version":"9.9"} x)", "1.0", true},
        {"a folder", kFolder, "", "1.0", true},
        {"unreadable", kUnreadable, R"({"version":"9.9"})", "1.0", true},
    };
    CUpdateManager& manager = CUpdateManager::Instance();
    const std::string savedPath = manager.pathStore.installNoticePath;
    const std::string savedVersion = manager.serverFileDZ.version;
    std::string notRun;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder install;
        const std::filesystem::path notice = install / "fldz.update";
        if (c.installed == kFolder) {
            std::filesystem::create_directories(notice / "inner");
        } else if (c.installed == kFile) {
            WriteFile(notice, c.notice);
        } else if (c.installed == kUnreadable && !testsupport::MakeUnreadable(notice, c.notice)) {
            notRun += std::string(notRun.empty() ? "" : ", ") + c.name;
            continue;
        }
        manager.pathStore.installNoticePath = install.Narrow() + "fldz.update";
        manager.serverFileDZ.version = c.server;
        EXPECT_EQ(manager.IsUpdateNeeded(), c.needed);
    }
    manager.pathStore.installNoticePath = savedPath;
    manager.serverFileDZ.version = savedVersion;
    if (!notRun.empty()) {
        GTEST_SKIP() << "not run, as every file is readable here: " << notRun;
    }
}

// A front end whose dialog must never be needed.
class NoDialog : public FrontEnd {
public:
    DialogEnd RunUpdateDialog(CUpdateManager&) override {
        ++runs;
        return DialogEnd::WorkerQuit;
    }
    int runs = 0;
};

// The manager's loaders are filled once per process, so this is the only test that runs the
// start-up against a server.
TEST(Startup, UpToDateInstallationWithoutABrowserEndsWithTheNotStartedStatus) {
    HttpTestServer server;
    server.Set("/serviceAddress/geturl_windows.php",
               Reply(200, "{\"downurl\":\"" + server.BaseUrl() + "files/\"}"));
    server.Set("/files/fldz.update", Reply(200, R"({"version":"2.0"})"));
    const testsupport::ScopedEnvironment host("ORVUPDATE_SERVICE_HOST", server.HostPort());

    TempFolder install;
    WriteFile(install / "fldz.update", R"({"version":"2.0"})");
    CUpdateManager& manager = CUpdateManager::Instance();
    const std::string savedFolder = manager.pathStore.installFolder;
    manager.pathStore.installFolder = install.Narrow();
    manager.pathStore.installNoticePath = install.Narrow() + "fldz.update";

    NoDialog dialog;
    testsupport::RecordingPresenter presenter;
    COrvUpdateApp app(dialog);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(dialog.runs, 0);
    EXPECT_TRUE(presenter.boxes.empty()) << platform::Utf16ToUtf8(presenter.boxes[0].text);
    // No "orvel.exe" in the installation: the status must not claim that the browser runs.
    EXPECT_EQ(app.exitStatus, COrvUpdateApp::kBrowserNotStarted);

    manager.pathStore.installFolder = savedFolder;
    manager.pathStore.installNoticePath = savedFolder + "fldz.update";
}

}  // namespace
