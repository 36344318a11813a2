// Processes, the single-instance lock, signals, the console and the environment, with real
// programs.

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/environment.h"
#include "platform/files.h"
#include "platform/instance_lock.h"
#include "platform/process.h"
#include "platform/text_codepage.h"

#include "tests/support/child_process.h"
#include "tests/support/process_settings.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteExecutable;
using testsupport::WriteFile;

namespace {

constexpr auto kLimit = 30s;

testsupport::ChildOptions Helper(std::vector<std::string> arguments) {
    testsupport::ChildOptions options;
    options.program = PLATFORM_HELPER;
    options.arguments = std::move(arguments);
    return options;
}

// What a second process sees when it asks for the lock.
std::string ProbeLock(const std::string& name) {
    const testsupport::ChildResult result = testsupport::RunChild(Helper({"lock", name}), kLimit);
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitStatus, 0);
    return result.standardOutput;
}

// Waits until a file that another process writes is complete (its last line ended), or until
// it has the expected content.
std::string AwaitFile(const fs::path& path, const std::string& expected = {}) {
    std::string content;
    for (int i = 0; i < 3000; ++i) {
        if (fs::exists(path)) {
            content = ReadFile(path);
            if (!content.empty() && content.back() == '\n' &&
                (expected.empty() || content == expected)) {
                return content;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return content.empty() ? "(never written)" : content;
}

// Shell lines that wait until a file exists; a script also gives up when the test's folder is
// gone, so that a failed test leaves no program behind.
[[maybe_unused]] std::string WaitScript(const fs::path& file) {
    return "while [ -d '" + file.parent_path().string() + "' ] && [ ! -e '" + file.string() +
           "' ]; do sleep 0.05; done\n";
}

// The lock files go to a folder of this test, not to the user's own.
class LockTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A runtime folder is private to its user, as the system makes it.
        fs::permissions(runtime_.path(), fs::perms::owner_all);
    }

    TempFolder runtime_;
    TempFolder work_;
    testsupport::ScopedEnvironment runtimeFolder_{"XDG_RUNTIME_DIR", runtime_.path().u8string()};
};

TEST_F(LockTest, AnotherProcessSeesTheLockUntilTheHolderEnds) {
#ifdef _WIN32
    // The helper reads its arguments in the system's ANSI code page, which may lack Chinese.
    const std::string name = "E7559146_C78A_4425_8B03_0932D3694112/C:_Orvel browser";
#else
    const std::string name = "E7559146_C78A_4425_8B03_0932D3694112/home/user/Orvel 浏览器";
#endif
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "holder killed" : "holder ends");
        const fs::path release = work_ / (killed ? "never" : "release");
        testsupport::RunningChild holder(Helper({"hold", name, release.string()}));
        ASSERT_TRUE(holder.started());
        EXPECT_EQ(holder.ReadLine(kLimit), "locked");

        EXPECT_EQ(ProbeLock(name), "exists\n");
        EXPECT_EQ(ProbeLock(name + "-other"), "locked\n");
        platform::NamedLock here(platform::Utf8ToUtf16(name));
        EXPECT_EQ(here.state(), platform::NamedLock::State::AlreadyExists);

        if (killed) {
            holder.Signal(9);
        } else {
            WriteFile(release, "");
        }
        const testsupport::ChildResult end = holder.Wait(kLimit);
        EXPECT_EQ(killed ? end.signal : end.exitStatus, killed ? 9 : 0);
        EXPECT_EQ(ProbeLock(name), "locked\n");
    }
#ifdef _WIN32
    // A named mutex leaves no file behind.
    EXPECT_TRUE(testsupport::Names(runtime_.path()).empty());
    return;
#endif
    // One file, named after the lock, in the runtime folder.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(runtime_.path())) {
        EXPECT_NE(entry.path().filename().string().find("Orvel 浏览器"), std::string::npos);
        ++files;
    }
    EXPECT_EQ(files, 2);  // the name and the "-other" name
}

#ifdef _WIN32
// A copy of the helper plays the browser (see "no arguments" in platform_helper.cpp).
TEST_F(LockTest, AProgramStartedByTheHolderDoesNotKeepTheLock) {
    const fs::path marker = work_ / "started";
    fs::copy_file(PLATFORM_HELPER, work_ / "browser.exe");
    testsupport::ChildOptions options =
        Helper({"hold", "guard", (work_ / "never").string(), (work_ / "browser.exe").string()});
    options.environment = {{"ORV_HELPER_MARKER", marker.u8string()}};
    testsupport::RunningChild holder(options);
    EXPECT_EQ(holder.ReadLine(kLimit), "locked");
    EXPECT_EQ(holder.ReadLine(kLimit), "started");
    EXPECT_EQ(AwaitFile(marker), "running 0\n");

    holder.Signal(9);
    holder.Wait(kLimit);
    // The browser still runs, and the lock is free.
    EXPECT_EQ(ProbeLock("guard"), "locked\n");
    WriteFile(marker.string() + ".finish", "");
    EXPECT_EQ(AwaitFile(marker, "ended\n"), "ended\n");
}
#else
TEST_F(LockTest, AProgramStartedByTheHolderDoesNotKeepTheLock) {
    const fs::path marker = work_ / "started";
    const fs::path finish = work_ / "finish";
    WriteExecutable(work_ / "browser.sh",
                    "#!/bin/sh\n"
                    "echo running > '" +
                        marker.string() + "'\n" + WaitScript(finish) + "echo ended > '" +
                        marker.string() + "'\n");
    testsupport::RunningChild holder(
        Helper({"hold", "guard", (work_ / "never").string(), (work_ / "browser.sh").string()}));
    EXPECT_EQ(holder.ReadLine(kLimit), "locked");
    EXPECT_EQ(holder.ReadLine(kLimit), "started");
    EXPECT_EQ(AwaitFile(marker), "running\n");

    holder.Signal(9);
    holder.Wait(kLimit);
    // The browser still runs, and the lock is free.
    EXPECT_EQ(ProbeLock("guard"), "locked\n");
    WriteFile(finish, "");
    EXPECT_EQ(AwaitFile(marker, "ended\n"), "ended\n");
}
#endif

// Whether chown could give the path to another user (only a privileged test run can).
bool GiveToAnotherUser(const fs::path& path) {
    testsupport::ChildOptions chown;
    chown.program = "chown";
    chown.arguments = {"-h", "65534", path.string()};
    return testsupport::RunChild(chown, std::chrono::seconds(30)).exitStatus == 0;
}

// The file of a lock in the runtime folder, made by taking the lock once.
fs::path LockFileOf(const fs::path& runtime, const std::u16string& name) {
    platform::NamedLock probe(name);
    EXPECT_EQ(probe.state(), platform::NamedLock::State::Acquired);
    const std::vector<std::string> names = testsupport::Names(runtime);
    EXPECT_EQ(names.size(), 1u);
    return names.empty() ? fs::path() : runtime / names[0];
}

TEST_F(LockTest, AnotherUsersLockFileIsAFailureNotAnotherUpdater) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps no lock files: the named mutex lives in the user's session";
#endif
    const fs::path lockFile = LockFileOf(runtime_.path(), u"guard");
    if (!GiveToAnotherUser(lockFile)) {
        GTEST_SKIP() << "needs a privileged run to make another user's file";
    }
    EXPECT_EQ(platform::NamedLock(u"guard").state(), platform::NamedLock::State::Failed);

    // A link in its place, to a file of this user's, is not followed either.
    fs::remove(lockFile);
    WriteFile(work_ / "target", "");
    fs::create_symlink(work_ / "target", lockFile);
    EXPECT_EQ(platform::NamedLock(u"guard").state(), platform::NamedLock::State::Failed);
}

TEST_F(LockTest, ARuntimeFolderThatOthersCanWriteIsNotUsed) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows keeps no lock files: the named mutex lives in the user's session";
#endif
    // A lock file in a folder that everybody may write, planted (by another user, when the
    // test may make one) to stop every update. The lock goes to this user's own folder instead.
    const fs::path planted = LockFileOf(runtime_.path(), u"guard");
    GiveToAnotherUser(planted);
    fs::permissions(runtime_.path(), fs::perms::all | fs::perms::sticky_bit);
    platform::NamedLock lock(u"guard");
    EXPECT_EQ(lock.state(), platform::NamedLock::State::Acquired);
    EXPECT_EQ(testsupport::Names(runtime_.path()),
              std::vector<std::string>{planted.filename().string()});
    EXPECT_EQ(platform::NamedLock(u"guard").state(), platform::NamedLock::State::AlreadyExists);
}

TEST_F(LockTest, NamesOfAnyLengthAndContent) {
    const std::u16string longName = std::u16string(300, u'长') + u"/%/..";
    struct Case {
        const char* name;
        std::u16string first;
        std::u16string second;
        bool exclusive;
    };
    const Case cases[] = {
        {"same long name", longName, longName, true},
        {"long names differing at the end", longName, longName + u"x", false},
        {"escaped characters stay apart", u"a/b", u"a%2Fb", false},
        {"slash and backslash differ", u"a/b", u"a\\b", false},
        {"dots", u"..", u"..", true},
        {"empty name", u"", u"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::NamedLock first(c.first);
        EXPECT_EQ(first.state(), platform::NamedLock::State::Acquired);
        platform::NamedLock second(c.second);
        EXPECT_EQ(second.state(), c.exclusive ? platform::NamedLock::State::AlreadyExists
                                              : platform::NamedLock::State::Acquired);
        first.Release();
        // Released, the name is free again.
        platform::NamedLock third(c.first);
        EXPECT_EQ(third.state(), platform::NamedLock::State::Acquired);
    }
    for (const auto& entry : fs::directory_iterator(runtime_.path())) {
        EXPECT_LE(entry.path().filename().string().size(), 255u);
        EXPECT_EQ(entry.path().parent_path(), runtime_.path());
    }
}

#ifdef _WIN32
// A copy of the helper plays the browser (see "no arguments" in platform_helper.cpp): it is
// started under a name with a blank, gets no arguments, and runs on after StartProgram returned.
TEST(StartProgram, RunsTheBarePathDetachedWithoutWaiting) {
    TempFolder folder("with blank");
    const fs::path marker = folder / "marker";
    fs::copy_file(PLATFORM_HELPER, folder / "start me.exe");
    const testsupport::ScopedEnvironment markerName("ORV_HELPER_MARKER", marker.u8string());
    ASSERT_TRUE(platform::StartProgram(folder.Narrow() + "start me.exe"));
    EXPECT_EQ(AwaitFile(marker), "running 0\n");
    WriteFile(marker.string() + ".finish", "");
    EXPECT_EQ(AwaitFile(marker, "ended\n"), "ended\n");

    WriteFile(folder / "not-a-program.exe", "text");
    EXPECT_FALSE(platform::StartProgram(folder.Narrow() + "missing.exe"));
    EXPECT_FALSE(platform::StartProgram(folder.Narrow() + "not-a-program.exe"));
    EXPECT_FALSE(platform::StartProgram(folder.Narrow()));
    EXPECT_FALSE(platform::StartProgram(""));
}
#else
TEST(StartProgram, RunsTheBarePathDetachedWithoutWaiting) {
    TempFolder folder("with blank");
    const fs::path marker = folder / "marker";
    const fs::path go = folder / "go";
    // The script waits for the test, so StartProgram must have returned before it can end; then
    // it records how it was started: its name, its argument count, its standard input and
    // output, and whether it leads a session of its own.
    WriteExecutable(folder / "start me.sh",
                    "#!/bin/sh\n" + WaitScript(go) +
                        "sid=$(awk '{print $6}' /proc/self/stat)\n"
                        "session=$([ \"$sid\" = \"$$\" ] && echo own-session)\n"
                        "echo \"$0|$#|$(readlink /proc/$$/fd/0)|$(readlink /proc/$$/fd/1)|"
                        "$session\" > '" +
                        marker.string() + "'\n");
    const std::string narrow = folder.Narrow() + "start me.sh";
    ASSERT_TRUE(platform::StartProgram(narrow));
    EXPECT_FALSE(fs::exists(marker));
    WriteFile(go, "");
    EXPECT_EQ(AwaitFile(marker),
              (folder / "start me.sh").string() + "|0|/dev/null|/dev/null|own-session\n");

    WriteFile(folder / "not-executable.sh", "#!/bin/sh\ntouch '" + marker.string() + "2'\n");
    EXPECT_FALSE(platform::StartProgram(folder.Narrow() + "missing.exe"));
    EXPECT_FALSE(platform::StartProgram(folder.Narrow() + "not-executable.sh"));
    EXPECT_FALSE(platform::StartProgram(folder.Narrow()));
    EXPECT_FALSE(platform::StartProgram(""));
}
#endif

TEST(ChildProcess, RunsProgramsAndCollectsTheirOutput) {
#ifdef _WIN32
    GTEST_SKIP() << "runs the POSIX shell and tools";
#endif
    TempFolder folder;
    const std::string big(1 << 20, 'x');
    testsupport::ChildOptions options;
    options.program = "sh";  // found on PATH
    options.arguments = {
        "-c",
        "cat; head -c 1048576 /dev/zero | tr '\\0' e >&2; echo \"$A|$HOME|$(pwd)\"; "
        "exit 3"};
    options.environment = {{"A", "value"}};
    options.unsetEnvironment = {"HOME"};
    options.workingFolder = folder.path().string();
    options.standardInput = big;
    const testsupport::ChildResult result = testsupport::RunChild(options, kLimit);
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.standardOutput, big + "value||" + folder.path().string() + "\n");
    EXPECT_EQ(result.standardError, std::string(1 << 20, 'e'));

    testsupport::ChildOptions missing;
    missing.program = "/nonexistent/program";
    EXPECT_FALSE(testsupport::RunChild(missing, kLimit).started);
    missing.program = "no-such-program-on-path";
    EXPECT_FALSE(testsupport::RunChild(missing, kLimit).started);
}

TEST(ChildProcess, TimeLimitKills) {
#ifdef _WIN32
    GTEST_SKIP() << "runs the POSIX shell and tools";
#endif
    testsupport::ChildOptions options;
    options.program = "sh";
    options.arguments = {"-c", "echo before; exec sleep 60"};
    const testsupport::ChildResult result = testsupport::RunChild(options, 300ms);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.signal, 9);
    EXPECT_EQ(result.standardOutput, "before\n");
}

TEST(ChildProcess, InterruptsSetTheFlag) {
#ifdef _WIN32
    // Ctrl+C; terminating (15) ends a Windows process without asking it.
    const int signals[] = {2};
#else
    const int signals[] = {2, 15};
#endif
    for (const int signal : signals) {
        SCOPED_TRACE(signal);
        testsupport::RunningChild child(Helper({"interrupt"}));
        EXPECT_EQ(child.ReadLine(kLimit), "ready");
        child.Signal(signal);
        const testsupport::ChildResult result = child.Wait(kLimit);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.standardOutput, "interrupted\n");
    }
}

TEST(ChildProcess, ConsoleAndExit) {
    const testsupport::ChildResult console = testsupport::RunChild(Helper({"console"}), kLimit);
    EXPECT_EQ(console.standardOutput, "not a terminal\n");
    EXPECT_EQ(console.standardError, "to standard error\n");

    testsupport::ChildOptions lines = Helper({"lines"});
    struct Case {
        std::optional<std::string> input;
        const char* output;
    };
    const Case cases[] = {
        {"a\r\nb\n\nlast", "[a][b][][last]\n"},
        {"", "\n"},
        {std::nullopt, "\n"},
        {"\n", "[]\n"},
        {"中文\n", "[中文]\n"},
    };
    for (const Case& c : cases) {
        lines.standardInput = c.input;
        EXPECT_EQ(testsupport::RunChild(lines, kLimit).standardOutput, c.output);
    }

    const testsupport::ChildResult exit = testsupport::RunChild(Helper({"exit", "7"}), kLimit);
    EXPECT_EQ(exit.exitStatus, 7);
    EXPECT_EQ(exit.standardOutput, "from cout from printf");
}

TEST(Environment, SetGetAndRemove) {
    EXPECT_EQ(platform::GetEnvironment("ORV_PLATFORM_TEST"), std::nullopt);
    testsupport::SetEnvironment("ORV_PLATFORM_TEST", "值");
    EXPECT_EQ(platform::GetEnvironment("ORV_PLATFORM_TEST"), "值");
    testsupport::SetEnvironment("ORV_PLATFORM_TEST", "");
    EXPECT_EQ(platform::GetEnvironment("ORV_PLATFORM_TEST"), "");
    testsupport::SetEnvironment("ORV_PLATFORM_TEST", nullptr);
    EXPECT_EQ(platform::GetEnvironment("ORV_PLATFORM_TEST"), std::nullopt);
}

}  // namespace
