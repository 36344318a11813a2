// The two manifests, "fldz.update" and "filelist.update": reading, loading the installed copies,
// fetching the server's copies from a real HTTP server and saving them byte for byte.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/file_dz.h"
#include "config/file_list.h"
#include "config/path_store.h"
#include "config/server_config.h"
#include "core/path_functions.h"
#include "tests/support/http_test_server.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testsupport::HttpTestServer;
using testsupport::ReadFile;
using testsupport::Reply;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

// An installation folder and a download folder of the test's own.
struct Folders {
    Folders() {
        fs::create_directory(install / "inst");
        fs::create_directory(install / "down");
        store.installFolder = install.Narrow() + "inst\\";
        store.downloadFolder = install.Narrow() + "down\\";
        store.installNoticePath = store.installFolder + "fldz.update";
        store.installFileListPath = store.installFolder + "filelist.update";
        store.downloadNoticePath = store.downloadFolder + "fldz.update";
        store.downloadFileListPath = store.downloadFolder + "filelist.update";
    }
    fs::path Install(const std::string& name) const { return install / "inst" / name; }
    fs::path Download(const std::string& name) const { return install / "down" / name; }

    TempFolder install;
    PathStore store;
};

template <class Loader>
void Wire(Loader& loader, PathStore& store, ServerConfig* config = nullptr) {
    loader.paths = &store;
    loader.config = config;
}

// ---- fldz.update ----

TEST(FileDZ, ParseTakesIdVersionAndNotes) {
    const struct {
        const char* name;
        std::string text;
        bool ok;
        std::string id;
        std::string version;
        std::vector<std::string> notices;
    } cases[] = {
        {"all members",
         R"({"ID":"r42","version":"5.0.1","notice":["a","b"],"other":1})",
         true,
         "r42",
         "5.0.1",
         {"a", "b"}},
        {"a note of another type is empty",
         R"({"notice":["first",7,"third"]})",
         true,
         "",
         "",
         {"first", "", "third"}},
        {"notice missing", R"({"version":"1"})", true, "", "1", {}},
        {"notice as a single string", R"({"notice":"just one"})", true, "", "", {}},
        {"version missing or of another type", R"({"ID":"x","version":5})", true, "x", "", {}},
        {"keys are exact", R"({"id":"lower","Version":"2"})", true, "", "", {}},
        {"GBK notes pass unchanged",
         "{\"notice\":[\"\xD0\xDE\xB8\xB4\"]}",
         true,
         "",
         "",
         {"\xD0\xDE\xB8\xB4"}},
        {"array", R"([{"version":"1"}])", false, "", "", {}},
        {"trailing text", R"({"version":"1"},)", false, "", "", {}},
        {"repeated member", R"({"version":"1","version":"2"})", false, "", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerFileDZ dz;
        EXPECT_EQ(dz.Parse(c.text), c.ok);
        EXPECT_EQ(dz.id, c.id);
        EXPECT_EQ(dz.version, c.version);
        EXPECT_EQ(dz.notices, c.notices);
    }
}

TEST(FileDZ, NoticeTextNumbersTheNotes) {
    ServerFileDZ dz;
    ASSERT_TRUE(dz.Parse(R"({"notice":["A",3,"B"]})"));
    EXPECT_EQ(dz.NoticeText(),
              "1\xA1\xA2"
              "A\r\n\r\n2\xA1\xA2\r\n\r\n3\xA1\xA2"
              "B\r\n\r\n");

    FileDZ none;
    EXPECT_EQ(none.NoticeText(), "");

    FileDZ many;
    many.notices.assign(10, "n");
    const std::string text = many.NoticeText();
    EXPECT_NE(text.find("\r\n\r\n10\xA1\xA2n\r\n\r\n"), std::string::npos);
}

TEST(FileDZ, VersionSortsBeforeComparesBytes) {
    const struct {
        std::string a;
        std::string b;
        bool before;
    } cases[] = {
        {"", "1", true},         {"", "", false},
        {"1", "", false},        {"5.0", "5.0", false},
        {"5.0", "5.0.1", true},                          // a prefix sorts first
        {"5.0.1", "5.0", false}, {"1.10", "1.9", true},  // bytes, not numbers
        {"10.0", "9.0", true},   {"a", "\x80", true},    // bytes are unsigned
        {"\x80", "a", false},    {"\xB0\xE6", "\xB0\xE7", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VersionSortsBefore(c.a, c.b), c.before) << c.a << " < " << c.b;
    }
}

// ---- filelist.update ----

struct Entry {
    std::string path;
    std::string md5;
    std::int32_t size;
    std::string zxPath;
    std::int32_t zxSize;
};

void ExpectEntries(const FileInfoItemHash& list, const std::vector<Entry>& expected) {
    ASSERT_EQ(list.Count(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const FileInfoItem& item = list.Entries()[i];
        SCOPED_TRACE(expected[i].path);
        EXPECT_EQ(item.path, expected[i].path);
        EXPECT_EQ(item.md5, expected[i].md5);
        EXPECT_EQ(item.size, expected[i].size);
        EXPECT_EQ(item.zxPath, expected[i].zxPath);
        EXPECT_EQ(item.zxSize, expected[i].zxSize);
        EXPECT_EQ(list.Find(expected[i].path), &item);
    }
}

// An entry with "size" and many other members; the last repeats the first when asked.
std::string ManyNames(int count, bool repeat) {
    std::string text = R"({"f":{"size":7)";
    for (int i = 0; i < count; ++i) {
        text += ",\"k" + std::to_string(i) + "\":1";
    }
    return text + (repeat ? R"(,"k0":2}})" : "}}");
}

TEST(FileList, ParseReadsEntriesInDocumentOrder) {
    const struct {
        const char* name;
        std::string text;
        bool ok;
        std::vector<Entry> entries;
    } cases[] = {
        {"empty object", "{}", true, {}},
        {"full entries",
         R"({"orvel.exe":{"md5":"0123456789abcdef0123456789ABCDEF","size":1024,)"
         R"("zxpath":"orvel.exe.lzma","zxsize":300,"other":"x"},)"
         R"("bin\\a.dll":{"zxsize":5,"md5":"m","size":7}})",
         true,
         {{"orvel.exe", "0123456789abcdef0123456789ABCDEF", 1024, "orvel.exe.lzma", 300},
          {"bin\\a.dll", "m", 7, "", 5}}},
        {"values that are not objects",
         R"({"n":5,"s":"text","a":[1,2],"z":null})",
         true,
         {{"n", "", 0, "", 0}, {"s", "", 0, "", 0}, {"a", "", 0, "", 0}, {"z", "", 0, "", 0}}},
        {"sizes truncate, strings of digits read 0",
         R"({"f":{"size":1024.9,"zxsize":"512","md5":5}})",
         true,
         {{"f", "", 1024, "", 0}}},
        {"sizes at the 2 GiB edge",
         R"({"a":{"size":2147483647,"zxsize":2147483648},"b":{"size":-1,"zxsize":1e12}})",
         true,
         {{"a", "", INT32_MAX, "", INT32_MAX}, {"b", "", -1, "", INT32_MAX}}},
        {"names differing in case are two entries",
         R"({"A.dll":{"size":1},"a.dll":{"size":2}})",
         true,
         {{"A.dll", "", 1, "", 0}, {"a.dll", "", 2, "", 0}}},
        {"GBK names",
         "{\"\xD6\xD0\\\\\xCE\xC4.txt\":{\"size\":3}}",
         true,
         {{"\xD6\xD0\\\xCE\xC4.txt", "", 3, "", 0}}},
        {"array", R"([{"f":{}}])", false, {}},
        {"repeated name", R"({"f":{"size":1},"f":{"size":2}})", false, {}},
        {"repeated key inside an entry", R"({"f":{"size":1,"size":2}})", false, {}},
        {"trailing text", R"({"f":{}}])", false, {}},
        {"fields inside arrays or nested objects are not an entry's",
         R"({"f":{"size":[1],"md5":["m"],"x":{"size":2},"y":[{"zxsize":3}]}})",
         true,
         {{"f", "", 0, "", 0}}},
        {"repeated key deep inside an entry", R"({"f":{"x":[{"a":1,"a":2}]}})", false, {}},
        {"32 levels",
         "{\"f\":" + std::string(31, '[') + std::string(31, ']') + "}",
         true,
         {{"f", "", 0, "", 0}}},
        {"objects inside arrays count their level too",
         "{\"f\":" + std::string(30, '[') + "{}" + std::string(30, ']') + "}",
         true,
         {{"f", "", 0, "", 0}}},
        {"objects inside arrays beyond 32 levels",
         "{\"f\":" + std::string(31, '[') + "{}" + std::string(31, ']') + "}",
         false,
         {}},
        {"many names in an entry", ManyNames(40, false), true, {{"f", "", 7, "", 0}}},
        {"a name repeated among many", ManyNames(40, true), false, {}},
        {"33 levels", "{\"f\":" + std::string(32, '[') + std::string(32, ']') + "}", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServerFileList list;
        EXPECT_EQ(list.Parse(c.text), c.ok);
        ExpectEntries(list, c.entries);
    }
}

TEST(FileList, FindIsExact) {
    ServerFileList list;
    ASSERT_TRUE(list.Parse(R"({"bin\\a.dll":{"size":1}})"));
    EXPECT_NE(list.Find("bin\\a.dll"), nullptr);
    EXPECT_EQ(list.Find("bin/a.dll"), nullptr);
    EXPECT_EQ(list.Find("BIN\\A.DLL"), nullptr);
    EXPECT_EQ(list.Find(""), nullptr);
}

TEST(FileList, AddCopiesAndEntriesStayPut) {
    // Enough entries for the index to grow many times; each path and md5 is a temporary.
    constexpr int kCount = 5000;
    const auto pathOf = [](int i) { return "folder/" + std::to_string(i); };
    const auto md5Of = [](int i) { return std::string(32, static_cast<char>('a' + i % 26)); };
    FileInfoItemHash hash;
    std::vector<const FileInfoItem*> added;
    for (int i = 0; i < kCount; ++i) {
        FileInfoItem* item = hash.Add(pathOf(i));
        ASSERT_NE(item, nullptr);
        item->md5 = hash.Keep(md5Of(i));
        added.push_back(item);
    }
    EXPECT_EQ(hash.Add(pathOf(7)), nullptr);
    // A text longer than the list's chunks of kept texts.
    const std::string longText(200 * 1024, 'x');
    EXPECT_EQ(hash.Keep(longText), longText);
    ASSERT_EQ(hash.Count(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(hash.Find(pathOf(i)), added[i]);
        EXPECT_EQ(added[i]->path, pathOf(i));
        EXPECT_EQ(added[i]->md5, md5Of(i));
    }
    EXPECT_EQ(hash.Find(pathOf(kCount)), nullptr);
    hash.Clear();
    EXPECT_EQ(hash.Count(), 0u);
    EXPECT_EQ(hash.Find(pathOf(0)), nullptr);
    EXPECT_NE(hash.Add(pathOf(0)), nullptr);
}

TEST(FileList, ContainedRelativePaths) {
    const struct {
        std::string path;
        bool contained;
    } cases[] = {
        {"orvel.exe", true},
        {"bin\\a.dll", true},
        {"bin/a.dll", true},
        {"a..b\\.hidden\\x", true},
        {"a..b\\.hidden\\x.", false},
        {"\xD6\xD0\xCE\xC4\\\xB8\xFC\xD0\xC2.txt", true},
        {"", false},
        {"C:\\Windows\\x.dll", false},
        {"c:x.dll", false},
        {"\\x.dll", false},
        {"/etc/passwd", false},
        {"\\\\server\\share\\x", false},
        {"..\\x.dll", false},
        {"bin\\..\\..\\x.dll", false},
        {"bin/../x", false},
        {"bin\\..", false},
        {".\\x.dll", false},
        {"bin\\.\\x.dll", false},
        {"bin\\\\x.dll", false},
        {"bin\\", false},
        {"bin/", false},
        {"...\\x", false},
        {"bin\\.. \\x", false},
        {std::string("a\0/..", 5), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsContainedRelativePath(c.path), c.contained) << c.path;
    }
}

TEST(FileList, IsContainedChecksEveryEntry) {
    ServerFileList list;
    ASSERT_TRUE(list.Parse(R"({"a.dll":{"zxpath":"a.lzma"},"b\\c.dll":{"zxpath":"..\\c.lzma"}})"));
    EXPECT_TRUE(list.IsContained(false));
    EXPECT_FALSE(list.IsContained(true));

    ServerFileList noPackage;
    ASSERT_TRUE(noPackage.Parse(R"({"a.dll":{"size":1}})"));
    EXPECT_TRUE(noPackage.IsContained(false));
    EXPECT_FALSE(noPackage.IsContained(true));

    ServerFileList escaping;
    ASSERT_TRUE(escaping.Parse(R"({"ok.dll":{},"..\\evil.dll":{}})"));
    EXPECT_FALSE(escaping.IsContained(false));

    ServerFileList empty;
    ASSERT_TRUE(empty.Parse("{}"));
    EXPECT_TRUE(empty.IsContained(true));
}

// ---- Both manifests ----

// What the tests of both manifests need to know of each.
struct NoticeManifest {
    using Local = LocalFileDZ;
    using Server = ServerFileDZ;
    static constexpr const char* kLabel = "Notice";
    static constexpr const char* kName = "fldz.update";
    static constexpr std::size_t kLimit = 1 << 20;
    static std::string& SavedPath(PathStore& store) { return store.downloadNoticePath; }

    // A reply as the server sends it, and another one; what is read from each.
    static inline const std::string kReply =
        "{\"ID\":\"r7\",\"version\":\"6.1\",\"notice\":[\"\xD0\xC2\"]} \n";
    static inline const std::string kReplyRead = "ID r7, version 6.1, notes [\xD0\xC2]";
    static inline const std::string kOtherReply = R"({"version":"zx"})";
    static inline const std::string kOtherRead = "ID , version zx, notes";
    // A reply whose spacing and unknown members reading does not keep.
    static inline const std::string kLaidOutReply =
        "{ \"ID\" : \"r\",\n\t\"version\":\"5.0\", \"ignored\": [1, 2.50] }\r\n";
    static inline const std::string kRepeatedMember = R"({"ID":"1","ID":"1"})";

    // Everything that was read; "" when nothing was.
    static std::string Read(const FileDZ& dz) {
        if (dz.id.empty() && dz.version.empty() && dz.notices.empty()) {
            return "";
        }
        std::string text = "ID " + dz.id + ", version " + dz.version + ", notes";
        for (const std::string& note : dz.notices) {
            text += " [" + note + "]";
        }
        return text;
    }
};

struct FileListManifest {
    using Local = LocalFileList;
    using Server = ServerFileList;
    static constexpr const char* kLabel = "FileList";
    static constexpr const char* kName = "filelist.update";
    static constexpr std::size_t kLimit = 64 << 20;
    static std::string& SavedPath(PathStore& store) { return store.downloadFileListPath; }

    static inline const std::string kReply =
        R"({"a.dll":{"md5":"m","size":10,"zxpath":"a.dll.lzma","zxsize":4}})";
    static inline const std::string kReplyRead =
        "a.dll: md5 m, size 10, zxpath a.dll.lzma, zxsize 4";
    static inline const std::string kOtherReply = R"({"zx.dll":{"size":1}})";
    static inline const std::string kOtherRead = "zx.dll: md5 , size 1, zxpath , zxsize 0";
    static inline const std::string kLaidOutReply =
        "{\r\n  \"a.dll\" : { \"md5\":\"x\", \"size\" : 1.50, \"note\":\"\xB1\xB8\xD7\xA2\" },\n"
        "\t\"b\":{}\n}\n\n";
    static inline const std::string kRepeatedMember = R"({"a":{},"a":{}})";

    // Every entry in document order, each also found by its path; "" when there is none.
    static std::string Read(const FileInfoItemHash& list) {
        std::string text;
        for (const FileInfoItem& item : list.Entries()) {
            text += (text.empty() ? "" : "; ") + std::string(item.path) + ": md5 " +
                    std::string(item.md5) + ", size " + std::to_string(item.size) + ", zxpath " +
                    std::string(item.zxPath) + ", zxsize " + std::to_string(item.zxSize);
            if (list.Find(item.path) != &item) {
                text += " (not found by its path)";
            }
        }
        return text;
    }
};

template <class Kind>
class Manifest : public testing::Test {};

struct ManifestLabel {
    template <class Kind>
    static std::string GetName(int) {
        return Kind::kLabel;
    }
};

using ManifestKinds = testing::Types<NoticeManifest, FileListManifest>;
TYPED_TEST_SUITE(Manifest, ManifestKinds, ManifestLabel);

TYPED_TEST(Manifest, LocalLoad) {
    using Kind = TypeParam;
    Folders folders;
    const fs::path installed = folders.Install(Kind::kName);
    enum What { kNothing, kFolder, kFile };
    const struct {
        const char* name;
        What what;
        std::string bytes;
        bool ok;
        std::string read;
    } cases[] = {
        {"missing", kNothing, "", false, ""},
        {"a folder", kFolder, "", false, ""},
        {"empty", kFile, "", false, ""},
        {"not an object", kFile, "[" + Kind::kReply + "]", false, ""},
        {"zero byte ends the text", kFile, Kind::kReply + std::string(1, '\0') + Kind::kOtherReply,
         true, Kind::kReplyRead},
        {"installed", kFile, Kind::kReply, true, Kind::kReplyRead},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(installed);
        if (c.what == kFolder) {
            fs::create_directories(installed / "inner");
        } else if (c.what == kFile) {
            WriteFile(installed, c.bytes);
        }
        typename Kind::Local local;
        Wire(local, folders.store);
        EXPECT_EQ(local.Load(), c.ok);
        EXPECT_EQ(Kind::Read(local), c.read);
    }
}

TYPED_TEST(Manifest, LocalLoadOfAnUnreadableCopyThrows) {
    using Kind = TypeParam;
    Folders folders;
    if (!testsupport::MakeUnreadable(folders.Install(Kind::kName), Kind::kReply)) {
        GTEST_SKIP() << "every file is readable here";
    }
    typename Kind::Local local;
    Wire(local, folders.store);
    EXPECT_THROW(local.Load(), FileAccessError);
}

TYPED_TEST(Manifest, SaveWritesTheReplyByteForByte) {
    using Kind = TypeParam;
    Folders folders;
    const fs::path saved = folders.Download(Kind::kName);
    typename Kind::Server manifest;
    Wire(manifest, folders.store);
    manifest.replyText = Kind::kLaidOutReply;
    ASSERT_TRUE(manifest.Parse(manifest.replyText));

    // A folder with contents in the way is deleted first.
    WriteFile(saved / "sub" / "deep" / "file", "in the way");
    EXPECT_TRUE(manifest.Save());
    EXPECT_TRUE(fs::is_regular_file(saved));
    EXPECT_EQ(ReadFile(saved), Kind::kLaidOutReply);

    // An older, longer copy is replaced, not overwritten in part; a byte-order mark stays.
    manifest.replyText = "\xEF\xBB\xBF{}";
    EXPECT_TRUE(manifest.Save());
    EXPECT_EQ(ReadFile(saved), "\xEF\xBB\xBF{}");
}

TYPED_TEST(Manifest, SaveThatCannotWriteThrows) {
    using Kind = TypeParam;
    Folders folders;
    Kind::SavedPath(folders.store) = folders.install.Narrow() + "gone\\" + Kind::kName;
    typename Kind::Server manifest;
    Wire(manifest, folders.store);
    manifest.replyText = "{}";
    EXPECT_THROW(manifest.Save(), FileAccessError);
}

TYPED_TEST(Manifest, FetchFromTheDownloadBase) {
    using Kind = TypeParam;
    HttpTestServer server;
    ServerConfig config;
    config.downUrl = server.BaseUrl() + "plain/";
    config.downZxUrl = server.BaseUrl() + "zx/";
    PathStore store;
    server.Set(std::string("/plain/") + Kind::kName, Reply(200, Kind::kReply));
    server.Set(std::string("/zx/") + Kind::kName, Reply(200, Kind::kOtherReply));

    typename Kind::Server plain;
    Wire(plain, store, &config);
    ASSERT_TRUE(plain.Fetch());
    EXPECT_EQ(plain.replyText, Kind::kReply);
    EXPECT_EQ(Kind::Read(plain), Kind::kReplyRead);

    config.compressed = true;
    typename Kind::Server zx;
    Wire(zx, store, &config);
    ASSERT_TRUE(zx.Fetch());
    EXPECT_EQ(zx.replyText, Kind::kOtherReply);
    EXPECT_EQ(Kind::Read(zx), Kind::kOtherRead);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, std::string("/plain/") + Kind::kName);
    EXPECT_EQ(requests[1].target, std::string("/zx/") + Kind::kName);
}

TYPED_TEST(Manifest, FetchReadsUpToTheLimitAndNothingBroken) {
    using Kind = TypeParam;
    HttpTestServer server;
    ServerConfig config;
    config.downUrl = server.BaseUrl();
    PathStore store;
    const std::string path = std::string("/") + Kind::kName;

    // A reply is read up to its limit, not a byte more.
    const std::string padding(Kind::kLimit - Kind::kReply.size(), ' ');
    server.Set(path, Reply(200, Kind::kReply + padding));
    typename Kind::Server largest;
    Wire(largest, store, &config);
    EXPECT_TRUE(largest.Fetch());
    EXPECT_EQ(Kind::Read(largest), Kind::kReplyRead);

    const struct {
        const char* name;
        Reply reply;
    } cases[] = {
        {"not found", Reply(404, Kind::kReply)},
        {"not an object", Reply(200, "[" + Kind::kReply + "]")},
        {"trailing text", Reply(200, Kind::kReply + "x")},
        {"a second object", Reply(200, Kind::kReply + Kind::kReply)},
        {"repeated member", Reply(200, Kind::kRepeatedMember)},
        {"empty", Reply(200, "")},
        {"one byte over the limit", Reply(200, Kind::kReply + padding + " ")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.Set(path, c.reply);
        typename Kind::Server manifest;
        Wire(manifest, store, &config);
        EXPECT_FALSE(manifest.Fetch());
        EXPECT_EQ(Kind::Read(manifest), "");
    }
}

}  // namespace
