// The release tool's tree builder: a tree read back with the updater's own loaders, packages
// decoded by independent tools, byte-identical rebuilds, and bad input refused with nothing
// half-written left behind.

#include "tools/release_tree.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/file_digest.h"
#include "config/file_dz.h"
#include "config/file_list.h"
#include "config/server_config.h"
#include "platform/text_codepage.h"
#include "tests/support/child_process.h"
#include "tests/support/process_settings.h"
#include "tests/support/temp_folder.h"
#include "tests/tools/release_fixture.h"

namespace {

using namespace releasetest;
using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

testsupport::ChildResult RunTool(const std::string& program,
                                 const std::vector<std::string>& arguments) {
    testsupport::ChildOptions options;
    options.program = program;
    options.arguments = arguments;
    return testsupport::RunChild(options, std::chrono::seconds(120));
}

std::uint64_t LittleEndian(const std::string& bytes, std::size_t offset, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    }
    return value;
}

// Folders beside out whose names start with out's name: leftovers of a build.
std::vector<std::string> Siblings(const fs::path& out) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(out.parent_path())) {
        const std::string name = item.path().filename().string();
        if (name.rfind(out.filename().string(), 0) == 0) {
            names.push_back(name);
        }
    }
    return names;
}

// The message of the ReleaseError that a build throws, or "" when it succeeds.
std::string BuildError(const release::TreeOptions& options) {
    try {
        release::BuildReleaseTree(options);
    } catch (const release::ReleaseError& error) {
        return error.what();
    }
    return "";
}

// A command run by setpriv as the unprivileged user 65534, without this user's groups.
std::vector<std::string> AsAnotherUser(std::vector<std::string> command) {
    command.insert(command.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    return command;
}

// Lets every user read every file below from but the one excepted, pass through the folders up
// to it, and write in from's parent, where the tree and its partial folder go.
void OpenToOthers(const fs::path& from, const fs::path& except) {
    const auto readable = fs::perms::others_read;
    const auto passable = readable | fs::perms::others_exec;
    for (const auto& item : fs::recursive_directory_iterator(from)) {
        if (item.path() != except) {
            fs::permissions(item.path(), item.is_directory() ? passable : readable,
                            fs::perm_options::add);
        }
    }
    fs::permissions(from, passable, fs::perm_options::add);
    fs::permissions(from.parent_path(), fs::perms::all);
    // The test program's own temporary folder, which holds from's parent.
    fs::permissions(fs::temp_directory_path(), fs::perms::others_exec, fs::perm_options::add);
}

class ReleaseTreeTest : public testing::Test {
protected:
    void SetUp() override {
        from = root.path() / "release";
        out = root.path() / "tree";
        WriteFiles(from, files);
    }

    TempFolder root;
    Files files = SampleFiles();
    fs::path from;
    fs::path out;
};

TEST_F(ReleaseTreeTest, TreeReadsBackThroughTheUpdatersLoaders) {
    const release::TreeSummary summary = release::BuildReleaseTree(Options(from, out));
    EXPECT_EQ(summary.files.size(), files.size());

    ServerConfig config;
    ASSERT_TRUE(config.Parse(ReadFile(out / "serviceAddress/geturl_windows.php")));
    EXPECT_EQ(config.downUrl, kBaseUrl + "files/");
    EXPECT_EQ(config.downZxUrl, kBaseUrl + "zx/");
    EXPECT_EQ(config.homepage, "http://www.orvel.example/");
    EXPECT_EQ(config.docUrl, "http://www.orvel.example/");
    EXPECT_EQ(config.downTime, 90);
    EXPECT_EQ(config.downRetry, 4);

    // Both download bases carry the same manifests, which an installation then keeps.
    for (const char* manifest : {"filelist.update", "fldz.update"}) {
        EXPECT_EQ(ReadFile(out / "files" / manifest), ReadFile(out / "zx" / manifest));
    }
    FileDZLoader notice;
    ASSERT_TRUE(notice.Parse(ReadFile(out / "files/fldz.update")));
    EXPECT_EQ(notice.id, "orvel-2.0.1");
    EXPECT_EQ(notice.version, "2.0.1");
    EXPECT_EQ(notice.notices,
              (std::vector<std::string>{platform::Utf8ToAnsi("新增PDF阅读插件"), "fixes"}));

    ServerFileList list;
    ASSERT_TRUE(list.Parse(ReadFile(out / "files/filelist.update")));
    EXPECT_TRUE(list.IsContained(true));
    ASSERT_EQ(list.Count(), files.size());
    for (const auto& [relative, content] : files) {
        SCOPED_TRACE(relative);
        const FileInfoItem* entry = list.Find(MemberName(relative));
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->size, static_cast<std::int32_t>(content.size()));
        const std::string source = platform::Utf8ToAnsi((from / fs::u8path(relative)).u8string());
        EXPECT_EQ(FileMd5(source), entry->md5);

        // The plain file, under the GBK bytes of its path.
        const std::string gbkPath = platform::Utf8ToAnsi(relative);
        EXPECT_EQ(ReadFile(out / "files" / gbkPath), content);

        // The package: named after the path, its size listed, the header stating the size and a
        // dictionary that fits the file, and decoded by two tools nobody here wrote.
        EXPECT_EQ(entry->zxPath, gbkPath + ".lzma");
        const fs::path package = out / "zx" / entry->zxPath;
        const std::string packed = ReadFile(package);
        EXPECT_EQ(entry->zxSize, static_cast<std::int32_t>(packed.size()));
        ASSERT_GE(packed.size(), 13u);
        EXPECT_EQ(LittleEndian(packed, 5, 8), content.size());
        const std::uint64_t dictionary = LittleEndian(packed, 1, 4);
        EXPECT_EQ(dictionary & (dictionary - 1), 0u) << dictionary;
        EXPECT_GE(dictionary, std::min<std::uint64_t>(content.size(), release::kMaxDictionarySize));
        EXPECT_LE(dictionary, std::max<std::uint64_t>(4096, 2 * content.size()));

        const testsupport::ChildResult xz =
            RunTool("xz", {"--format=lzma", "--decompress", "--stdout", package.string()});
        EXPECT_EQ(xz.exitStatus, 0) << xz.standardError;
        EXPECT_TRUE(xz.standardOutput == content);
        const fs::path unpacked = root.path() / "lzma_alone.out";
        const testsupport::ChildResult alone =
            RunTool("lzma_alone", {"d", package.string(), unpacked.string()});
        EXPECT_EQ(alone.exitStatus, 0) << alone.standardError;
        EXPECT_TRUE(ReadFile(unpacked) == content);
    }

    // Nothing else in the tree, nothing left beside it.
    Files expected;
    for (const char* manifest : {"filelist.update", "fldz.update"}) {
        expected[std::string("files/") + manifest];
        expected[std::string("zx/") + manifest];
    }
    expected["serviceAddress/geturl_windows.php"];
    for (const auto& [relative, content] : files) {
        expected["files/" + platform::Utf8ToAnsi(relative)];
        expected["zx/" + platform::Utf8ToAnsi(relative) + ".lzma"];
    }
    Files tree = ReadTree(out);
    for (auto& [name, content] : tree) {
        content.clear();
    }
    EXPECT_EQ(tree, expected);
    EXPECT_EQ(Siblings(out), std::vector<std::string>{"tree"});
}

TEST_F(ReleaseTreeTest, SameInputGivesAByteIdenticalTree) {
    release::TreeOptions options = Options(from, out);
    release::BuildReleaseTree(options);
    const Files first = ReadTree(out);

    // Another folder, one thread, and a rebuild over the earlier tree (which had gained a stray
    // file) all give the same bytes.
    options.out = root.path() / "again";
    options.threads = 1;
    release::BuildReleaseTree(options);
    EXPECT_TRUE(ReadTree(options.out) == first);

    WriteFile(out / "files/stray.txt", "not part of the release");
    release::BuildReleaseTree(Options(from, out));
    EXPECT_TRUE(ReadTree(out) == first);
    EXPECT_EQ(Siblings(out), std::vector<std::string>{"tree"});
}

TEST_F(ReleaseTreeTest, TreeWithoutPackages) {
    release::TreeOptions options = Options(from, out);
    options.packages = false;
    release::BuildReleaseTree(options);

    ServerConfig config;
    ASSERT_TRUE(config.Parse(ReadFile(out / "serviceAddress/geturl_windows.php")));
    EXPECT_EQ(config.downUrl, kBaseUrl + "files/");
    EXPECT_EQ(config.downZxUrl, "");
    EXPECT_FALSE(fs::exists(out / "zx"));

    ServerFileList list;
    ASSERT_TRUE(list.Parse(ReadFile(out / "files/filelist.update")));
    ASSERT_EQ(list.Count(), files.size());
    for (const auto& entry : list.Entries()) {
        EXPECT_EQ(entry.zxPath, "");
        EXPECT_EQ(entry.zxSize, 0);
        EXPECT_EQ(entry.md5.size(), 32u);
    }
}

TEST_F(ReleaseTreeTest, ManifestsOfAnInstallationAreReplacedNotShipped) {
    WriteFile(from / "filelist.update", "{\"old.dll\":{}}");
    WriteFile(from / "fldz.update", "{\"version\":\"1.0\"}");
    WriteFile(from / "sub/filelist.update", "an ordinary file deeper down");
    const release::TreeSummary summary = release::BuildReleaseTree(Options(from, out));
    EXPECT_EQ(summary.skipped, (std::vector<std::string>{"filelist.update", "fldz.update"}));

    ServerFileList list;
    ASSERT_TRUE(list.Parse(ReadFile(out / "files/filelist.update")));
    EXPECT_EQ(list.Count(), files.size() + 1);
    EXPECT_EQ(list.Find("filelist.update"), nullptr);
    EXPECT_NE(list.Find("sub\\filelist.update"), nullptr);
    FileDZLoader notice;
    ASSERT_TRUE(notice.Parse(ReadFile(out / "files/fldz.update")));
    EXPECT_EQ(notice.version, "2.0.1");
}

TEST(PackageDictionarySize, SmallestPowerOfTwoWithinLimits) {
    const struct {
        std::uint64_t fileSize;
        std::uint32_t dictionary;
    } cases[] = {
        {0, 4096},
        {1, 4096},
        {4096, 4096},
        {4097, 8192},
        {1u << 20, 1u << 20},
        {(1u << 20) + 1, 2u << 20},
        {8u << 20, 8u << 20},
        {(8u << 20) + 1, 8u << 20},
        {release::kMaxFileSize, 8u << 20},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(release::PackageDictionarySize(c.fileSize), c.dictionary) << c.fileSize;
    }
}

// One bad thing in an otherwise good release folder; the error names it, and neither the tree
// nor a partial folder appears.
TEST_F(ReleaseTreeTest, BadInputIsRefusedAndNothingIsWritten) {
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        std::vector<std::string> expected;  // parts of the message
    } cases[] = {
        {"symbolic link to a file",
         [](const fs::path& in) { fs::create_symlink(in / "README", in / "bin/link.dll"); },
         {"\"bin/link.dll\"", "symbolic link"}},
        {"symbolic link to a folder",
         [](const fs::path& in) { fs::create_directory_symlink(in / "bin", in / "bin2"); },
         {"\"bin2\"", "symbolic link"}},
        {"dangling symbolic link",
         [](const fs::path& in) { fs::create_symlink(in / "missing", in / "gone.dll"); },
         {"\"gone.dll\"", "symbolic link"}},
        {"name GBK cannot write",
         [](const fs::path& in) { WriteFile(in / fs::u8path("表情😀.png"), "x"); },
         {"\"表情😀.png\"", "cannot be written in GBK"}},
        {"name that is not UTF-8",
         [](const fs::path& in) { WriteFile(in / "bin" / "\xC3\x28.dll", "x"); },
         {"\"bin/\\xC3(.dll\"", "not valid UTF-8"}},
        {"backslash in a name",
         [](const fs::path& in) { WriteFile(in / "a\\b.txt", "x"); },
         {"\"a\\b.txt\"", "\"\\\""}},
        {"tab in a name",
         [](const fs::path& in) { WriteFile(in / "a\tb.txt", "x"); },
         {"\"a\\x09b.txt\"", "control character"}},
        {"line feed in a folder name",
         [](const fs::path& in) { WriteFile(in / "new\nline/x.txt", "x"); },
         {"\"new\\x0Aline/x.txt\"", "control character"}},
        {"GBK trail byte 0x5C",
         [](const fs::path& in) { WriteFile(in / fs::u8path("乗换.txt"), "x"); },
         {"\"乗换.txt\"", "0x5C"}},
        {"file of 2 GiB",
         [](const fs::path& in) {
             WriteFile(in / "huge.bin", "");
             fs::resize_file(in / "huge.bin", std::uint64_t{1} << 31);
         },
         {"\"huge.bin\"", "2147483648 bytes", "2 GiB"}},
        {"named pipe",
         [](const fs::path& in) {
             ASSERT_EQ(RunTool("mkfifo", {(in / "pipe").string()}).exitStatus, 0);
         },
         {"\"pipe\"", "not a regular file"}},
        {"package name taken by a folder",
         [](const fs::path& in) {
             WriteFile(in / "data", "a");
             WriteFile(in / "data.lzma/inner.txt", "b");
         },
         {"\"data\"", "\"data.lzma\"", "folder"}},
        // The updater refuses a whole file list that holds one of these, so nobody could update.
        {"name the updater reads as a drive",
         [](const fs::path& in) { WriteFile(in / "c:setup.exe", "x"); },
         {"\"c:setup.exe\"", "refuse"}},
        {"folder of dots",
         [](const fs::path& in) { WriteFile(in / ".../x.txt", "x"); },
         {"\".../x.txt\"", "refuse"}},
        {"file of dots and blanks",
         [](const fs::path& in) { WriteFile(in / "bin/. .", "x"); },
         {"\"bin/. .\"", "refuse"}},
        // Names that Windows would read as another file, a device or a stream.
        {"stream of a file",
         [](const fs::path& in) { WriteFile(in / "bin/a.dll:x", "x"); },
         {"\"bin/a.dll:x\"", "refuse", "\":\""}},
        {"device name with an extension",
         [](const fs::path& in) { WriteFile(in / "bin/Con.txt", "x"); },
         {"\"bin/Con.txt\"", "refuse", "device"}},
        {"device name as a folder",
         [](const fs::path& in) { WriteFile(in / "LPT9.x.y/a.txt", "x"); },
         {"\"LPT9.x.y/a.txt\"", "refuse", "device"}},
        {"device name with blanks before the dot",
         [](const fs::path& in) { WriteFile(in / "nul .log", "x"); },
         {"\"nul .log\"", "refuse", "device"}},
        {"folder ending in a dot",
         [](const fs::path& in) { WriteFile(in / "dir./a.txt", "x"); },
         {"\"dir./a.txt\"", "refuse", "ends in a dot or a blank"}},
        {"file ending in a blank",
         [](const fs::path& in) { WriteFile(in / "bin/a.dll ", "x"); },
         {"\"bin/a.dll \"", "refuse", "ends in a dot or a blank"}},
        {"character Windows forbids",
         [](const fs::path& in) { WriteFile(in / "what?.txt", "x"); },
         {"\"what?.txt\"", "refuse", "forbids"}},
        {"another character Windows forbids",
         [](const fs::path& in) { WriteFile(in / "a|b<c>.txt", "x"); },
         {"\"a|b<c>.txt\"", "refuse", "forbids"}},
        {"folder with a manifest's name",
         [](const fs::path& in) { WriteFile(in / "fldz.update/x.txt", "x"); },
         {"\"fldz.update\"", "reserved"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const fs::path in = folder.path() / "in";
        const fs::path tree = folder.path() / "tree";
        WriteFiles(in, {{"README", "ok"}, {"bin/good.dll", "ok"}});
        c.make(in);
        const std::string message = BuildError(Options(in, tree));
        for (const std::string& part : c.expected) {
            EXPECT_NE(message.find(part), std::string::npos) << message;
        }
        EXPECT_EQ(Siblings(tree), std::vector<std::string>{});
    }
}

TEST_F(ReleaseTreeTest, BadOptionsAreRefused) {
    const struct {
        const char* what;
        std::function<void(release::TreeOptions&)> change;
        std::string expected;
    } cases[] = {
        {"base without a final slash", [](auto& o) { o.baseUrl = "http://host/tree"; },
         "--base-url"},
        {"base that is not a web address", [](auto& o) { o.baseUrl = "ftp://host/"; },
         "--base-url"},
        {"empty version", [](auto& o) { o.version = ""; }, "--version"},
        {"empty ID", [](auto& o) { o.id = ""; }, "--id"},
        {"note GBK cannot write", [](auto& o) { o.notices.push_back("🚀 faster"); }, "--notice"},
        {"no download attempt", [](auto& o) { o.downRetry = 0; }, "--downretry"},
        {"negative time limit", [](auto& o) { o.downTime = -1; }, "--downtime"},
        {"output inside the input", [&](auto& o) { o.out = from / "tree"; }, "inside --from"},
        {"output inside the input named with a final separator",
         [&](auto& o) {
             o.from = from.string() + "/";
             o.out = from / "tree";
         },
         "inside --from"},
        {"input inside the output", [&](auto& o) { o.out = root.path(); }, "inside --out"},
        {"output is the input", [&](auto& o) { o.out = from; }, "inside"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        release::TreeOptions options = Options(from, out);
        c.change(options);
        const std::string message = BuildError(options);
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(from / "tree"));
    }
    EXPECT_TRUE(ReadTree(from) == files);
}

TEST_F(ReleaseTreeTest, OutputThatIsNotATreeIsLeftAlone) {
    WriteFile(out / "notes.txt", "mine");
    EXPECT_NE(BuildError(Options(from, out)).find("neither empty nor an earlier update tree"),
              std::string::npos);
    EXPECT_TRUE(ReadTree(out) == (Files{{"notes.txt", "mine"}}));

    const fs::path file = root.path() / "file";
    WriteFile(file, "a file");
    EXPECT_NE(BuildError(Options(from, file)).find("not a folder"), std::string::npos);
    EXPECT_EQ(ReadFile(file), "a file");

    // An empty folder is taken, and "tree/" names the same folder.
    fs::remove_all(out);
    fs::create_directory(out);
    release::BuildReleaseTree(Options(from, out.string() + "/"));
    EXPECT_TRUE(fs::is_regular_file(out / "files/filelist.update"));
    EXPECT_EQ(Siblings(out), std::vector<std::string>{"tree"});
}

TEST_F(ReleaseTreeTest, FailedBuildLeavesTheEarlierTreeAsItWas) {
    release::BuildReleaseTree(Options(from, out));
    const Files earlier = ReadTree(out);
    WriteFile(from / "bin/core.dll", Sample(500000, 9));

    // Stopped part of the way through.
    release::TreeOptions options = Options(from, out);
    auto polls = std::make_shared<std::atomic<int>>(0);
    options.stopRequested = [polls] { return ++*polls > 3; };
    EXPECT_THROW(release::BuildReleaseTree(options), release::BuildStopped);
    EXPECT_TRUE(ReadTree(out) == earlier);
    EXPECT_EQ(Siblings(out), std::vector<std::string>{"tree"});

    // A write that fails (the disk is full) part of the way through.
    const bool limited = testsupport::FileSizeLimitSupported();
    if (limited) {
        testsupport::LimitFileSize(100000);
        const std::string message = BuildError(Options(from, out));
        testsupport::LimitFileSize(0);
        EXPECT_NE(message.find("cannot be written"), std::string::npos) << message;
        EXPECT_TRUE(ReadTree(out) == earlier);
        EXPECT_EQ(Siblings(out), std::vector<std::string>{"tree"});
    }

    // A bad file is found before anything is written.
    fs::create_symlink(from / "README", from / "link");
    EXPECT_NE(BuildError(Options(from, out)).find("\"link\""), std::string::npos);
    EXPECT_TRUE(ReadTree(out) == earlier);
    if (!limited) {
        GTEST_SKIP() << "the full disk: this system cannot limit the size of a process's files";
    }
}

// A user who reads any file (root, as in CI) runs orvrelease as another, unprivileged user, who
// may traverse the release folder and write beside the tree but cannot read the one file.
TEST_F(ReleaseTreeTest, UnreadableFileIsNamed) {
    const fs::path secret = from / "bin/secret.dll";
    WriteFile(secret, "x");
    fs::permissions(secret, fs::perms::none);
    std::string message;
    if (!std::ifstream(secret).good()) {
        message = BuildError(Options(from, out));
    } else {
        if (RunTool("setpriv", AsAnotherUser({"true"})).exitStatus != 0) {
            fs::permissions(secret, fs::perms::owner_all);
            GTEST_SKIP() << "this user reads files regardless of their permissions and cannot "
                            "act as another user";
        }
        OpenToOthers(from, secret);
        const release::TreeOptions options = Options(from, out);
        const testsupport::ChildResult run =
            RunTool("setpriv", AsAnotherUser({ORVRELEASE_EXE, "build", "--from", from.string(),
                                              "--out", out.string(), "--version", options.version,
                                              "--id", options.id, "--base-url", options.baseUrl}));
        EXPECT_EQ(run.exitStatus, 1) << run.standardError;
        message = run.standardError;
    }
    fs::permissions(secret, fs::perms::owner_all);
    EXPECT_NE(message.find("\"bin/secret.dll\": the file cannot be read"), std::string::npos)
        << message;
    EXPECT_FALSE(fs::exists(out));
}

TEST(ScanReleaseFolder, SizesUpToTheSigned32BitLimitAreAccepted) {
    TempFolder folder;
    WriteFile(folder.path() / "edge.bin", "");
    fs::resize_file(folder.path() / "edge.bin", release::kMaxFileSize);
    const std::vector<release::ReleaseFile> files = release::ScanReleaseFolder(folder.path(), true);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].size, 2147483647);
    EXPECT_EQ(files[0].zxPath, "edge.bin.lzma");
}

TEST(ScanReleaseFolder, OrderIsByMemberNameBytes) {
    TempFolder folder;
    WriteFiles(folder.path(), {{"b.txt", ""},
                               {"a/z.txt", ""},
                               {"a.txt", ""},
                               {"中.txt", ""},
                               {"Z.txt", ""},
                               {"a b.txt", ""}});
    std::vector<std::string> names;
    for (const release::ReleaseFile& file : release::ScanReleaseFolder(folder.path(), false)) {
        names.push_back(file.memberName);
        EXPECT_EQ(file.zxPath, "");
    }
    // "\" (0x5C) sorts after "." (0x2E); the GBK lead byte of 中 (0xD6) sorts last.
    EXPECT_EQ(names, (std::vector<std::string>{"Z.txt", "a b.txt", "a.txt", "a\\z.txt", "b.txt",
                                               platform::Utf8ToAnsi("中.txt")}));
}

}  // namespace
