// The tasks that copy, delete and replace files in the installation folder.

#include <string>

#include <gtest/gtest.h>

#include "core/user_texts.h"
#include "local/local_tasks.h"
#include "tests/support/process_settings.h"
#include "tests/support/recording_presenter.h"
#include "tests/support/task_folders.h"

namespace {

using testsupport::Names;
using testsupport::ReadFile;
using testsupport::RecordingPresenter;
using testsupport::TaskFolders;
using testsupport::WriteFile;
namespace fs = std::filesystem;

template <class Task>
bool Execute(const std::string& source, const std::string& target = {}) {
    Task task;
    task.source = source;
    task.target = target;
    return task.Execute();
}

TEST(LocalCopy, OverwritesTheTargetAndCreatesItsFolders) {
    TaskFolders state;
    WriteFile(state.download / "sub" / "f.txt", "new");
    WriteFile(state.install / "f.txt", "old, longer than the new content");

    EXPECT_TRUE(Execute<LocalCopyTask>("sub\\f.txt", "f.txt"));
    EXPECT_EQ(ReadFile(state.install / "f.txt"), "new");

    EXPECT_TRUE(Execute<LocalCopyTask>("sub\\f.txt", "deep\\er\\g.txt"));
    EXPECT_EQ(ReadFile(state.install / "deep" / "er" / "g.txt"), "new");
    EXPECT_EQ(ReadFile(state.download / "sub" / "f.txt"), "new") << "the source stays";

    EXPECT_FALSE(Execute<LocalCopyTask>("missing.txt", "f.txt"));
    EXPECT_EQ(ReadFile(state.install / "f.txt"), "new");
}

TEST(LocalDelete, MissingFileCountsAsDeletedAndItsFoldersAreCreated) {
    TaskFolders state;
    WriteFile(state.install / "a" / "here.txt", "x");

    EXPECT_TRUE(Execute<LocalDeleteTask>("a\\here.txt"));
    EXPECT_FALSE(fs::exists(state.install / "a" / "here.txt"));

    EXPECT_TRUE(Execute<LocalDeleteTask>("b\\c\\never.txt"));
    EXPECT_TRUE(fs::is_directory(state.install / "b" / "c"));
    EXPECT_TRUE(fs::is_empty(state.install / "b" / "c"));
}

TEST(LocalDelete, NamesOutsideTheInstallationFolderAreNeverTouched) {
    TaskFolders state;
    // "outside" lies beside the installation folder; so does the folder the last name would
    // create.
    const fs::path outside = state.install.path().parent_path() / "outside.txt";
    WriteFile(outside, "not ours");
    const std::string installName = state.install.path().filename().string();
    const std::string absolute = (state.install.path().parent_path() / "outside.txt").string();
    const std::string names[] = {
        "..\\outside.txt",
        "../outside.txt",
        "sub\\..\\..\\outside.txt",
        absolute,
        "\\" + absolute.substr(1),
        "..\\" + installName + "-made\\x.txt",
        "",
        ".",
        "sub\\.\\x.txt",
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(Execute<LocalDeleteTask>(name)) << "nothing to delete counts as deleted";
        EXPECT_EQ(ReadFile(outside), "not ours");
        EXPECT_FALSE(fs::exists(state.install.path().parent_path() / (installName + "-made")));
        EXPECT_FALSE(fs::exists(state.install / "sub"));
    }
    fs::remove(outside);
}

TEST(LocalCopy, NamesOutsideTheirFoldersAreNeverWritten) {
    TaskFolders state;
    const fs::path beside = state.install.path().parent_path() / "written-beside.txt";
    WriteFile(state.download / "ok.txt", "x");
    WriteFile(state.install.path().parent_path() / "secret.txt", "y");
    EXPECT_FALSE(Execute<LocalCopyTask>("ok.txt", "..\\written-beside.txt"));
    EXPECT_FALSE(Execute<LocalReplaceTask>("ok.txt", "../written-beside.txt"));
    EXPECT_FALSE(Execute<LocalCopyTask>("..\\secret.txt", "secret.txt"));
    EXPECT_FALSE(fs::exists(beside));
    EXPECT_FALSE(fs::exists(state.install / "secret.txt"));
    fs::remove(state.install.path().parent_path() / "secret.txt");
}

TEST(LocalReplace, WritesTheNewFileWhetherOrNotTheTargetExists) {
    TaskFolders state;
    WriteFile(state.download / "orvupdate.exe", "new updater");
    WriteFile(state.download / "bin" / "x.dll", "new x");
    WriteFile(state.install / "orvupdate.exe", "running updater");
    WriteFile(state.install / "orvupdate_new.exe", "older new updater");

    EXPECT_TRUE(Execute<LocalReplaceTask>("orvupdate.exe", "orvupdate_new.exe"));
    EXPECT_EQ(ReadFile(state.install / "orvupdate_new.exe"), "new updater");
    EXPECT_EQ(ReadFile(state.install / "orvupdate.exe"), "running updater");

    EXPECT_TRUE(Execute<LocalReplaceTask>("bin\\x.dll", "bin\\x.dll"));
    EXPECT_EQ(ReadFile(state.install / "bin" / "x.dll"), "new x");
}

TEST(LocalReplace, AFailedReplaceKeepsTheInstalledFile) {
    TaskFolders state;
    WriteFile(state.download / "t.txt", "new");
    WriteFile(state.install / "t.txt" / "inside", "a folder with content");

    // A folder with content in the way cannot be deleted, so nothing is copied.
    EXPECT_FALSE(Execute<LocalReplaceTask>("t.txt", "t.txt"));
    EXPECT_EQ(ReadFile(state.install / "t.txt" / "inside"), "a folder with content");
    // An empty one gives way.
    fs::remove(state.install / "t.txt" / "inside");
    EXPECT_TRUE(Execute<LocalReplaceTask>("t.txt", "t.txt"));
    EXPECT_EQ(ReadFile(state.install / "t.txt"), "new");

    // A missing source, and a full disk: the old file stays, no temporary is left, and a later
    // attempt mends it.
    WriteFile(state.install / "u.txt", "old");
    EXPECT_FALSE(Execute<LocalReplaceTask>("u.txt", "u.txt"));
    WriteFile(state.download / "u.txt", std::string(100000, 'n'));
    const bool limited = testsupport::FileSizeLimitSupported();
    if (limited) {
        struct LiftLimit {
            ~LiftLimit() { testsupport::LimitFileSize(0); }
        } lift;
        testsupport::LimitFileSize(50000);
        EXPECT_FALSE(Execute<LocalReplaceTask>("u.txt", "u.txt"));
    }
    EXPECT_EQ(ReadFile(state.install / "u.txt"), "old");
    EXPECT_EQ(Names(state.install.path()), (std::vector<std::string>{"t.txt", "u.txt"}));
    EXPECT_TRUE(Execute<LocalReplaceTask>("u.txt", "u.txt"));
    EXPECT_EQ(ReadFile(state.install / "u.txt"), std::string(100000, 'n'));
    if (!limited) {
        GTEST_SKIP() << "the full disk: this system cannot limit the size of a process's files";
    }
}

TEST(LocalTasks, ACopyLeftByAKilledRunIsRemovedByTheNextRun) {
    TaskFolders state;
    WriteFile(state.download / "a.dll", "new a");
    for (const char* name : {"a.dll", "b.dll"}) {
        WriteFile(state.install / name, "old");
        WriteFile(state.install / (std::string(name) + ".orvupdate-new"), "cut short");
    }

    // The next copy of the same file, and the deletion of a file that the release dropped.
    EXPECT_TRUE(Execute<LocalReplaceTask>("a.dll", "a.dll"));
    EXPECT_TRUE(Execute<LocalDeleteTask>("b.dll"));
    EXPECT_EQ(Names(state.install.path()), (std::vector<std::string>{"a.dll"}));
    EXPECT_EQ(ReadFile(state.install / "a.dll"), "new a");
}

TEST(LocalTasks, PathsOf260CharactersOrMoreAreRefused) {
    TaskFolders state;
    const std::string folder = state.paths.installFolder;
    // Relative names whose full path is exactly 259 and 260 characters long, in folders of
    // 100 characters so that no single name is too long for the file system.
    auto nameOfLength = [&](std::size_t total) {
        std::string name;
        while (folder.size() + name.size() + 101 < total) {
            name += std::string(100, 'd') + "\\";
        }
        name += std::string(total - folder.size() - name.size(), 'f');
        return name;
    };
    const std::string accepted = nameOfLength(259);
    const std::string refused = nameOfLength(260);
    ASSERT_EQ((folder + accepted).size(), 259u);
    ASSERT_EQ((folder + refused).size(), 260u);
    auto onDisk = [&](const std::string& name) {
        std::string path = name;
        for (char& c : path) {
            c = c == '\\' ? '/' : c;
        }
        return state.install / path;
    };
    WriteFile(onDisk(accepted), "x");
    WriteFile(onDisk(refused), "x");
    WriteFile(state.download / "new.txt", "new");

    EXPECT_FALSE(Execute<LocalDeleteTask>(refused));
    EXPECT_FALSE(Execute<LocalReplaceTask>("new.txt", refused));
    EXPECT_EQ(ReadFile(onDisk(refused)), "x");

    EXPECT_TRUE(Execute<LocalDeleteTask>(accepted));
    EXPECT_FALSE(fs::exists(onDisk(accepted)));
}

TEST(LocalTasks, FailureQuestionAnswers) {
    for (const bool ok : {true, false}) {
        RecordingPresenter presenter;
        presenter.answers = {ok};
        LocalDeleteTask task;
        EXPECT_EQ(task.OnFailed(), ok);
        ASSERT_EQ(presenter.boxes.size(), 1u);
        EXPECT_EQ(presenter.boxes[0].caption, texts::kCaptionUpdateFailed);
        EXPECT_EQ(presenter.boxes[0].text, texts::kCloseBrowserQuestion);
        EXPECT_TRUE(presenter.boxes[0].okCancel);
    }
}

}  // namespace
