// File-system calls on real files in a scoped folder.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/text_codepage.h"
#include "tests/support/child_process.h"
#include "tests/support/links.h"
#include "tests/support/process_settings.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testsupport::MakeLink;
using testsupport::Names;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

// The folder as the engine spells it: GBK with a trailing "\".
std::string Narrow(const fs::path& path) {
    return path.string() + "\\";
}
std::u16string Wide(const fs::path& path) {
    return platform::Utf8ToUtf16(path.u8string());
}

// POSIX modes; Windows has none to compare.
[[maybe_unused]] fs::perms Permissions(const fs::path& path) {
    return fs::status(path).permissions() & fs::perms::mask;
}

TEST(Files, BackslashesAndGbkNamesReachTheDiskAsUtf8WithSlashes) {
    TempFolder folder;
    struct Case {
        const char* name;
        std::string relativeGbk;
        const char* onDisk;
    };
    const Case cases[] = {
        {"backslash separator", "sub\\file.dll", "sub/file.dll"},
        {"chinese names", "\xD6\xD0\xCE\xC4\xC2\xB7\xBE\xB6\\\xB8\xFC\xD0\xC2.txt",
         "中文路径/更新.txt"},
        {"gbk trail byte 0x5C is no separator", "\x95\x5C.txt", "昞.txt"},
        {"mixed separators", "a/b\\c.txt", "a/b/c.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path expected = folder.path() / fs::u8path(c.onDisk);
        fs::create_directories(expected.parent_path());
        platform::File file;
        ASSERT_TRUE(
            file.Open(Narrow(folder.path()) + c.relativeGbk, platform::File::Mode::CreateTruncate));
        EXPECT_EQ(file.Write("x", 1), 1);
        file.Close();
        EXPECT_EQ(ReadFile(expected), "x");
        EXPECT_EQ(platform::KindOf(Narrow(folder.path()) + c.relativeGbk),
                  platform::PathKind::File);
    }
#ifdef _WIN32
    EXPECT_EQ(platform::SystemPath(std::u16string_view(u"C:/dir\\更新.exe")), "C:\\dir\\更新.exe");
#else
    EXPECT_EQ(platform::SystemPath(std::u16string_view(u"C:\\dir\\更新.exe")), "C:/dir/更新.exe");
#endif
    EXPECT_EQ(platform::SystemPath(std::string_view("")), "");
}

TEST(Files, KindOfFollowsLinks) {
    TempFolder folder;
    WriteFile(folder / "file", "data");
    fs::create_directory(folder / "dir");
    if (!MakeLink(folder / "dir", folder / "dir-link", true) ||
        !MakeLink(folder / "nowhere", folder / "dangling", false)) {
        GTEST_SKIP() << "this system makes no symbolic links here";
    }
    struct Case {
        const char* name;
        platform::PathKind kind;
    };
    const Case cases[] = {
        {"file", platform::PathKind::File},
        {"dir", platform::PathKind::Folder},
        {"dir-link", platform::PathKind::Folder},
        {"dangling", platform::PathKind::Missing},
        {"missing", platform::PathKind::Missing},
        {"file\\below-a-file", platform::PathKind::Missing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::KindOf(Narrow(folder.path()) + c.name), c.kind);
        EXPECT_EQ(platform::KindOf(Wide(folder.path()) + u"\\" + platform::Utf8ToUtf16(c.name)),
                  c.kind);
    }
    EXPECT_EQ(platform::KindOf(std::string_view()), platform::PathKind::Missing);
    EXPECT_EQ(platform::KindOf(Narrow(folder.path())), platform::PathKind::Folder);
}

TEST(Files, PathPresenceAnswersAsKindOf) {
    TempFolder folder;
    fs::create_directories(folder / "a" / "sub");
    fs::create_directory(folder / "b");
    WriteFile(folder / "a" / "file", "data");
    WriteFile(folder / "b" / "file", "data");
    // Without links on this system, both answers for their names are "missing".
    MakeLink(folder / "a" / "file", folder / "a" / "file-link", false);
    MakeLink(folder / "a" / "nowhere", folder / "a" / "dangling", false);
    // Folder by folder, then back to a folder read before, as a list in no order asks.
    const char* paths[] = {
        "a\\file",    "a/sub",          "a\\file-link", "a\\dangling", "a\\missing",
        "a\\sub\\",   "a\\.",           "b\\file",      "b\\missing",  "a\\file",
        "a\\missing", "a\\file\\below", "c\\missing",   "top-level",
    };
    platform::PathPresence presence;
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        const std::string full = Narrow(folder.path()) + path;
        EXPECT_EQ(presence.Exists(full), platform::KindOf(full) != platform::PathKind::Missing);
    }
    EXPECT_TRUE(presence.Exists(Narrow(folder.path()) + "b\\file"));
    EXPECT_FALSE(presence.Exists(Narrow(folder.path()) + "b\\missing"));
}

TEST(Files, CreateOneFolder) {
    TempFolder folder;
    WriteFile(folder / "file", "");
    const std::u16string base = Wide(folder.path()) + u"\\";
    EXPECT_EQ(platform::CreateOneFolder(base + u"新"), platform::CreateFolderResult::Created);
    EXPECT_TRUE(fs::is_directory(folder.path() / fs::u8path("新")));
    EXPECT_EQ(platform::CreateOneFolder(base + u"新"), platform::CreateFolderResult::AlreadyExists);
    EXPECT_EQ(platform::CreateOneFolder(base + u"file"),
              platform::CreateFolderResult::AlreadyExists);
    EXPECT_EQ(platform::CreateOneFolder(base + u"no\\parent"),
              platform::CreateFolderResult::Failed);
    EXPECT_FALSE(fs::exists(folder / "no"));
    EXPECT_EQ(platform::CreateOneFolder(u""), platform::CreateFolderResult::Failed);
}

TEST(Files, RecursiveDeleteStaysInsideTheTree) {
    TempFolder folder;
    WriteFile(folder / "outside/keep.txt", "keep");
    WriteFile(folder / "tree/a/b/c.txt", "c");
    WriteFile(folder / "tree/top.txt", "t");
    // Without links (Wine) the rest still runs.
    const bool links = MakeLink(folder / "outside", folder / "tree/a/link-to-outside", true) &&
                       MakeLink(folder / "outside/keep.txt", folder / "tree/file-link", false);

    EXPECT_EQ(platform::DeleteAt(Wide(folder / "tree") + u"\\", true),
              platform::DeleteResult::Deleted);
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "tree")));
    EXPECT_EQ(ReadFile(folder / "outside/keep.txt"), "keep");
    EXPECT_EQ(Names(folder / "outside"), std::vector<std::string>{"keep.txt"});

    // A link to a folder given as the path itself (even with a trailing separator): only the
    // link goes.
    if (links && MakeLink(folder / "outside", folder / "top-link", true)) {
        EXPECT_EQ(platform::DeleteAt(Wide(folder / "top-link") + u"\\", true),
                  platform::DeleteResult::Deleted);
        EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "top-link")));
        EXPECT_EQ(ReadFile(folder / "outside/keep.txt"), "keep");
    }

    EXPECT_EQ(platform::DeleteAt(Wide(folder / "missing"), true), platform::DeleteResult::NotFound);
    EXPECT_EQ(platform::DeleteAt(Wide(folder / "outside/keep.txt/below"), true),
              platform::DeleteResult::NotFound);
}

TEST(Files, NonRecursiveDelete) {
    TempFolder folder;
    WriteFile(folder / "full/inside.txt", "x");
    fs::create_directory(folder / "empty");
    WriteFile(folder / "file.txt", "x");
    const bool links = MakeLink(folder / "full", folder / "link", true);

    EXPECT_EQ(platform::DeleteAt(Wide(folder / "full"), false), platform::DeleteResult::Failed);
    EXPECT_EQ(ReadFile(folder / "full/inside.txt"), "x");
    if (links) {
        EXPECT_EQ(platform::DeleteAt(Wide(folder / "link"), false),
                  platform::DeleteResult::Deleted);
        EXPECT_EQ(ReadFile(folder / "full/inside.txt"), "x");
    }
    EXPECT_EQ(platform::DeleteAt(Wide(folder / "empty"), false), platform::DeleteResult::Deleted);
    EXPECT_EQ(platform::DeleteAt(Wide(folder / "file.txt"), false),
              platform::DeleteResult::Deleted);
    EXPECT_EQ(platform::DeleteAt(Wide(folder / "file.txt"), false),
              platform::DeleteResult::NotFound);
    EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"full"});
}

TEST(Files, CopyReplacesTheTargetAndSetsItsMode) {
    TempFolder folder;
    WriteFile(folder / "plain.txt", std::string(200000, 'p'));
    testsupport::WriteExecutable(folder / "script", "#!/bin/sh\n");
    const std::string base = Narrow(folder.path());

    struct Case {
        const char* name;
        const char* from;
        const char* to;
        fs::perms mode;
    };
    const Case cases[] = {
        {"plain file", "plain.txt", "copy.txt", fs::perms(0644)},
        {"program by its name", "plain.txt", "orvel.EXE", fs::perms(0755)},
        {"executable source", "script", "tool", fs::perms(0755)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(folder / c.to, "an older and different content that is replaced");
        ASSERT_TRUE(platform::CopyWholeFile(base + c.from, base + c.to));
        EXPECT_EQ(ReadFile(folder / c.to), ReadFile(folder / c.from));
#ifndef _WIN32
        // Windows has no execute bit: every file may be run.
        EXPECT_EQ(Permissions(folder / c.to), c.mode);
#endif
    }

    // Into a sub folder with "\" separators, and onto itself.
    fs::create_directory(folder / "sub");
    EXPECT_TRUE(platform::CopyWholeFile(base + "plain.txt", base + "sub\\plain.txt"));
    EXPECT_EQ(ReadFile(folder / "sub/plain.txt"), std::string(200000, 'p'));
    EXPECT_TRUE(platform::CopyWholeFile(base + "plain.txt", base + "plain.txt"));
    EXPECT_EQ(ReadFile(folder / "plain.txt"), std::string(200000, 'p'));
    EXPECT_EQ(Names(folder.path()), (std::vector<std::string>{"copy.txt", "orvel.EXE", "plain.txt",
                                                              "script", "sub", "tool"}));
}

TEST(Files, CopyBatchWritesAheadAndReplacesOnlyWhenAsked) {
    TempFolder folder;
    WriteFile(folder / "a.new", "new a");
    WriteFile(folder / "b.new", "new b");
    WriteFile(folder / "a", "old a");
    const std::string base = Narrow(folder.path());
    if (!platform::CopyBatch::Supported()) {
        platform::CopyBatch batch;
        EXPECT_FALSE(batch.Add(base + "a.new", base + "a"));
        EXPECT_TRUE(batch.Flush().empty());
        EXPECT_EQ(Names(folder.path()), (std::vector<std::string>{"a", "a.new", "b.new"}));
        GTEST_SKIP() << "each copy is flushed on its own on this system";
    }
    {
        platform::CopyBatch batch;
        ASSERT_TRUE(batch.Add(base + "a.new", base + "a"));
        ASSERT_TRUE(batch.Add(base + "b.new", base + "b"));
        EXPECT_FALSE(batch.Add(base + "missing", base + "c"));
        EXPECT_EQ(ReadFile(folder / "a"), "old a");
        EXPECT_EQ(batch.Flush(), (std::vector<bool>{true, true}));
        EXPECT_TRUE(batch.Flush().empty());
    }
    // Flushed copies outlast their batch until they are renamed; a source changed since does
    // not matter.
    EXPECT_EQ(Names(folder.path()), (std::vector<std::string>{"a", "a.new", "a.orvupdate-new",
                                                              "b.new", "b.orvupdate-new"}));
    WriteFile(folder / "a.new", "changed a");
    EXPECT_TRUE(platform::ReplaceWithCopy(base + "a"));
    EXPECT_TRUE(platform::ReplaceWithCopy(base + "b"));
    EXPECT_EQ(ReadFile(folder / "a"), "new a");
    EXPECT_EQ(ReadFile(folder / "b"), "new b");
    EXPECT_FALSE(platform::ReplaceWithCopy(base + "a"));  // its copy is used up
    EXPECT_EQ(ReadFile(folder / "a"), "new a");

    // A batch that ends unflushed takes its copies with it.
    {
        platform::CopyBatch batch;
        ASSERT_TRUE(batch.Add(base + "a.new", base + "a"));
    }
    EXPECT_EQ(Names(folder.path()), (std::vector<std::string>{"a", "a.new", "b", "b.new"}));
}

TEST(Files, FailedCopyLeavesTheTargetAlone) {
    TempFolder folder;
    WriteFile(folder / "source.txt", "new");
    WriteFile(folder / "target.txt", "old");
    fs::create_directory(folder / "dir");
    const std::string base = Narrow(folder.path());

    EXPECT_FALSE(platform::CopyWholeFile(base + "missing.txt", base + "target.txt"));
    EXPECT_FALSE(platform::CopyWholeFile(base + "dir", base + "target.txt"));
    EXPECT_FALSE(platform::CopyWholeFile(base + "source.txt", base + "dir"));
    EXPECT_FALSE(platform::CopyWholeFile(base + "source.txt", base + "no-folder\\target.txt"));
    EXPECT_EQ(ReadFile(folder / "target.txt"), "old");
    EXPECT_EQ(Names(folder.path()), (std::vector<std::string>{"dir", "source.txt", "target.txt"}));
    EXPECT_TRUE(fs::is_empty(folder / "dir"));
}

TEST(Files, OpenModes) {
    TempFolder folder;
    const std::string path = Narrow(folder.path()) + "log.txt";
    char buffer[16] = {};

    platform::File file;
    EXPECT_FALSE(file.Open(path, platform::File::Mode::Read));
    ASSERT_TRUE(file.Open(path, platform::File::Mode::AppendOrCreate));
    EXPECT_EQ(file.Write("abc", 3), 3);
    file.Close();
    ASSERT_TRUE(file.Open(path, platform::File::Mode::AppendOrCreate));
    EXPECT_EQ(file.Size(), 3u);
    EXPECT_EQ(file.Write("def", 3), 3);
    EXPECT_EQ(file.Write("", 0), 0);
    file.Close();
    EXPECT_EQ(ReadFile(folder / "log.txt"), "abcdef");

    // Truncate starts over at the beginning, without a hole.
    ASSERT_TRUE(file.Open(path, platform::File::Mode::AppendOrCreate));
    EXPECT_TRUE(file.Truncate());
    EXPECT_EQ(file.Write("xy", 2), 2);
    platform::File moved(std::move(file));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    moved.Close();
    EXPECT_EQ(ReadFile(folder / "log.txt"), "xy");

    ASSERT_TRUE(file.Open(path, platform::File::Mode::CreateTruncate));
    file.Close();
    EXPECT_EQ(ReadFile(folder / "log.txt"), "");

    WriteFile(folder / "log.txt", "hello");
    ASSERT_TRUE(file.Open(path, platform::File::Mode::Read));
    EXPECT_EQ(file.Write("x", 1), -1);
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), 0);
    file.Close();
    EXPECT_EQ(file.Read(buffer, sizeof(buffer)), -1);

    // A folder, a missing folder and a pipe (which would wait for a peer forever) are no files;
    // on Windows a device name ("NUL" in any folder) is none either.
#ifdef _WIN32
    const char* const device = "NUL";
#else
    const char* const device = "pipe";
    testsupport::ChildOptions makeFifo;
    makeFifo.program = "mkfifo";
    makeFifo.arguments = {(folder / "pipe").string()};
    ASSERT_EQ(testsupport::RunChild(makeFifo, std::chrono::seconds(10)).exitStatus, 0);
#endif
    for (auto mode : {platform::File::Mode::Read, platform::File::Mode::AppendOrCreate,
                      platform::File::Mode::CreateTruncate}) {
        EXPECT_FALSE(file.Open(Narrow(folder.path()), mode));
        EXPECT_FALSE(file.Open(Narrow(folder.path()) + "missing\\x.txt", mode));
        EXPECT_FALSE(file.Open(Narrow(folder.path()) + device, mode));
    }
}

// A running browser keeps its files open, as most programs do, sharing reading and writing but
// not deletion (the C runtime's default, and so std::ifstream's on Windows). Windows refuses to
// delete or replace such a file; the task fails, the old file stays whole, and nothing of the
// copy is left behind.
TEST(Files, AFileHeldOpenWithoutDeleteSharingIsNeitherDeletedNorReplaced) {
#ifndef _WIN32
    GTEST_SKIP() << "a POSIX system deletes and replaces files that others hold open";
#endif
    TempFolder folder;
    WriteFile(folder / "bin/held.dll", "old");
    WriteFile(folder / "new.dll", "new");
    const std::string base = Narrow(folder.path());
    {
        std::ifstream held(folder / "bin/held.dll", std::ios::binary);
        ASSERT_TRUE(held.is_open());
        EXPECT_FALSE(platform::CopyWholeFile(base + "new.dll", base + "bin\\held.dll"));
        EXPECT_EQ(platform::DeleteAt(Wide(folder / "bin/held.dll"), false),
                  platform::DeleteResult::Failed);
        EXPECT_EQ(platform::DeleteAt(Wide(folder / "bin"), true), platform::DeleteResult::Failed);
        EXPECT_EQ(ReadFile(folder / "bin/held.dll"), "old");
        EXPECT_EQ(Names(folder / "bin"), std::vector<std::string>{"held.dll"});
    }
    // Closed, both work.
    EXPECT_TRUE(platform::CopyWholeFile(base + "new.dll", base + "bin\\held.dll"));
    EXPECT_EQ(ReadFile(folder / "bin/held.dll"), "new");
    EXPECT_EQ(platform::DeleteAt(Wide(folder / "bin"), true), platform::DeleteResult::Deleted);
    EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"new.dll"});
}

// The updater's own files let others in: a file it writes can be read, and even deleted, while
// it is open; a read-only installed file is still replaced and deleted.
TEST(Files, OwnFilesShareAndReadOnlyFilesAreReplaced) {
    TempFolder folder;
    const std::string base = Narrow(folder.path());
    platform::File file;
    ASSERT_TRUE(file.Open(base + "download.part", platform::File::Mode::CreateTruncate));
    EXPECT_EQ(file.Write("abc", 3), 3);
    EXPECT_EQ(ReadFile(folder / "download.part"), "abc");
    EXPECT_EQ(platform::DeleteAt(Wide(folder / "download.part"), false),
              platform::DeleteResult::Deleted);
    file.Close();

    WriteFile(folder / "new.dll", "new");
    WriteFile(folder / "installed.dll", "old");
    fs::permissions(folder / "installed.dll", fs::perms::owner_read);
    EXPECT_TRUE(platform::CopyWholeFile(base + "new.dll", base + "installed.dll"));
    EXPECT_EQ(ReadFile(folder / "installed.dll"), "new");
    fs::permissions(folder / "installed.dll", fs::perms::owner_read);
    EXPECT_EQ(platform::DeleteAt(Wide(folder / "installed.dll"), false),
              platform::DeleteResult::Deleted);
    EXPECT_EQ(Names(folder.path()), std::vector<std::string>{"new.dll"});
}

// A Chinese name in GBK reaches the disk as the same name in the system's own encoding, and
// back.
TEST(Files, GbkNamesRoundTripThroughTheDisk) {
    TempFolder folder;
    const std::string gbkName = "\xB8\xFC\xD0\xC2\xB3\xCC\xD0\xF2.dll";  // 更新程序.dll
    WriteFile(folder / "source", "bytes");
    ASSERT_TRUE(
        platform::CopyWholeFile(Narrow(folder.path()) + "source", Narrow(folder.path()) + gbkName));
    EXPECT_EQ(ReadFile(folder.path() / fs::u8path("更新程序.dll")), "bytes");
    bool found = false;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
        const std::u16string name = platform::Utf8ToUtf16(entry.path().filename().u8string());
        if (name == u"更新程序.dll") {
            found = true;
            EXPECT_EQ(platform::Utf16ToAnsi(name), gbkName);
            EXPECT_EQ(platform::KindOf(Wide(folder.path()) + u"\\" + name),
                      platform::PathKind::File);
        }
    }
    EXPECT_TRUE(found);
}

// A full disk: writes come back short, then fail, and a copy fails without leaving anything.
TEST(Files, WritesStopAtTheSizeLimit) {
    if (!testsupport::FileSizeLimitSupported()) {
        GTEST_SKIP() << "this system cannot limit the size of a process's files";
    }
    TempFolder folder;
    const std::string base = Narrow(folder.path());
    WriteFile(folder / "big", std::string(300000, 'b'));
    WriteFile(folder / "target", "old");
    const std::string data(4000, 'd');

    struct LiftLimit {
        ~LiftLimit() { testsupport::LimitFileSize(0); }
    } lift;
    testsupport::LimitFileSize(10000);

    platform::File file;
    ASSERT_TRUE(file.Open(base + "full", platform::File::Mode::CreateTruncate));
    EXPECT_EQ(file.Write(data.data(), data.size()), 4000);
    EXPECT_EQ(file.Write(data.data(), data.size()), 4000);
    EXPECT_EQ(file.Write(data.data(), data.size()), 2000);
    EXPECT_EQ(file.Write(data.data(), data.size()), -1);
    file.Close();
    EXPECT_EQ(fs::file_size(folder / "full"), 10000u);

    EXPECT_FALSE(platform::CopyWholeFile(base + "big", base + "target"));
    EXPECT_FALSE(platform::CopyWholeFile(base + "big", base + "new"));
    EXPECT_EQ(ReadFile(folder / "target"), "old");
    EXPECT_EQ(Names(folder.path()), (std::vector<std::string>{"big", "full", "target"}));

    testsupport::LimitFileSize(0);
    ASSERT_TRUE(file.Open(base + "full", platform::File::Mode::AppendOrCreate));
    EXPECT_EQ(file.Write(data.data(), data.size()), 4000);
    file.Close();
    EXPECT_TRUE(platform::CopyWholeFile(base + "big", base + "target"));
    EXPECT_EQ(fs::file_size(folder / "target"), 300000u);
}

// Whether chown could give the path to another user (only a privileged test run can).
bool GiveToAnotherUser(const fs::path& path) {
    testsupport::ChildOptions chown;
    chown.program = "chown";
    chown.arguments = {"65534", path.string()};
    return testsupport::RunChild(chown, std::chrono::seconds(30)).exitStatus == 0;
}

TEST(Files, PrivateFolder) {
    TempFolder folder;
    const std::u16string base = Wide(folder.path()) + u"\\";
    EXPECT_EQ(platform::CreatePrivateFolder(base + u"own"), platform::CreateFolderResult::Created);
    EXPECT_EQ(platform::CreatePrivateFolder(base + u"own"),
              platform::CreateFolderResult::AlreadyExists);
#ifndef _WIN32
    // Windows keeps the access list apart from the mode, which says only "read-only" or not.
    EXPECT_EQ(fs::status(folder / "own").permissions() & fs::perms::mask, fs::perms::owner_all);
    fs::create_directory(folder / "shared");
    fs::permissions(folder / "shared", fs::perms::owner_all | fs::perms::others_exec);
    EXPECT_FALSE(platform::IsPrivateFolder(base + u"shared"));
#endif
    WriteFile(folder / "file", "x");
    if (MakeLink(folder / "own", folder / "link", true)) {
        EXPECT_FALSE(platform::IsPrivateFolder(base + u"link"));
        EXPECT_FALSE(platform::IsPrivateFolder(base + u"link\\"));
    }
    EXPECT_TRUE(platform::IsPrivateFolder(base + u"own"));
    EXPECT_TRUE(platform::IsPrivateFolder(base + u"own\\"));
    EXPECT_FALSE(platform::IsPrivateFolder(base + u"file"));
    EXPECT_FALSE(platform::IsPrivateFolder(base + u"missing"));
    EXPECT_FALSE(platform::IsPrivateFolder(u""));
#ifdef _WIN32
    GTEST_SKIP() << "another user's folder and a folder open to others need access lists that "
                    "the tests do not make";
#endif
    fs::create_directory(folder / "foreign");
    fs::permissions(folder / "foreign", fs::perms::owner_all, fs::perm_options::replace);
    if (!GiveToAnotherUser(folder / "foreign")) {
        GTEST_SKIP() << "needs a privileged run to make another user's folder";
    }
    EXPECT_FALSE(platform::IsPrivateFolder(base + u"foreign"));
}

TEST(Files, EmptyFolderKeepsTheFolderAndFollowsNoLink) {
    TempFolder folder;
    WriteFile(folder / "work/a/b.dll", "x");
    WriteFile(folder / "work/c.txt", "x");
    WriteFile(folder / "outside/keep.txt", "x");
    // Without links (Wine) the rest still runs.
    const bool links = MakeLink(folder / "outside", folder / "work/link", true) &&
                       MakeLink(folder / "outside/keep.txt", folder / "work/file-link", false);
    const std::u16string base = Wide(folder.path()) + u"\\";

    EXPECT_TRUE(platform::EmptyFolder(base + u"work\\"));
    EXPECT_TRUE(fs::is_directory(folder / "work"));
    EXPECT_TRUE(fs::is_empty(folder / "work"));
    EXPECT_EQ(Names(folder / "outside"), std::vector<std::string>{"keep.txt"});
    EXPECT_TRUE(platform::EmptyFolder(base + u"work"));

    // Only a folder itself is emptied, never one reached through a link, nor a file.
    if (links && MakeLink(folder / "outside", folder / "link", true)) {
        EXPECT_FALSE(platform::EmptyFolder(base + u"link"));
    }
    EXPECT_FALSE(platform::EmptyFolder(base + u"outside\\keep.txt"));
    EXPECT_FALSE(platform::EmptyFolder(base + u"missing"));
    EXPECT_EQ(Names(folder / "outside"), std::vector<std::string>{"keep.txt"});
}

TEST(Files, CreateUniqueFolder) {
    TempFolder folder;
    std::u16string first;
    std::u16string second;
    ASSERT_TRUE(platform::CreateUniqueFolder(Wide(folder.path()), u"更新-", first));
    ASSERT_TRUE(platform::CreateUniqueFolder(Wide(folder.path()) + u"\\", u"更新-", second));
    EXPECT_NE(first, second);
    for (const std::u16string& created : {first, second}) {
        EXPECT_EQ(created.rfind(Wide(folder.path()), 0), 0u);
        EXPECT_EQ(platform::KindOf(created), platform::PathKind::Folder);
    }
    EXPECT_EQ(Names(folder.path()).size(), 2u);
    EXPECT_FALSE(platform::CreateUniqueFolder(Wide(folder / "missing"), u"x", first));
}

}  // namespace
