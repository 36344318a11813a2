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

TEST(FileDZ, LocalLoad) {
    Folders folders;
    const struct {
        const char* name;
        bool asFolder;
        std::string bytes;
        bool ok;
        std::string version;
    } cases[] = {
        {"missing", false, "", false, ""},
        {"a folder", true, "", false, ""},
        {"empty", false, "", false, ""},
        {"not an object", false, "[\"5.0\"]", false, ""},
        {"installed", false, "{\"version\":\"5.0\",\"ID\":\"r1\"}\r\n", true, "5.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folders.Install("fldz.update"));
        if (c.asFolder) {
            fs::create_directories(folders.Install("fldz.update/inner"));
        } else if (std::string(c.name) != "missing") {
            WriteFile(folders.Install("fldz.update"), c.bytes);
        }
        LocalFileDZ local;
        Wire(local, folders.store);
        EXPECT_EQ(local.Load(), c.ok);
        EXPECT_EQ(local.version, c.version);
    }
}

TEST(FileDZ, SaveWritesTheReplyByteForByte) {
    Folders folders;
    ServerFileDZ dz;
    Wire(dz, folders.store);
    dz.replyText =
        "\xEF\xBB\xBF{ \"ID\" : \"r\",\n\t\"version\":\"5.0\", \"ignored\": [1, 2.50] }\r\n";

    // A folder with contents in the way is deleted first.
    WriteFile(folders.Download("fldz.update/inner/x.bin"), "x");
    EXPECT_TRUE(dz.Save());
    EXPECT_EQ(ReadFile(folders.Download("fldz.update")), dz.replyText);

    // An older, longer copy is replaced, not overwritten in part.
    dz.replyText = "{}";
    EXPECT_TRUE(dz.Save());
    EXPECT_EQ(ReadFile(folders.Download("fldz.update")), "{}");
}

TEST(FileDZ, SaveThatCannotWriteThrows) {
    Folders folders;
    folders.store.downloadNoticePath = folders.install.Narrow() + "gone\\fldz.update";
    ServerFileDZ dz;
    Wire(dz, folders.store);
    dz.replyText = "{}";
    EXPECT_THROW(dz.Save(), FileAccessError);
}

TEST(FileDZ, FetchFromTheDownloadBase) {
    HttpTestServer server;
    ServerConfig config;
    config.downUrl = server.BaseUrl() + "plain/";
    config.downZxUrl = server.BaseUrl() + "zx/";
    PathStore store;
    const std::string reply = "{\"ID\":\"r7\",\"version\":\"6.1\",\"notice\":[\"\xD0\xC2\"]} \n";
    server.Set("/plain/fldz.update", Reply(200, reply));
    server.Set("/zx/fldz.update", Reply(200, R"({"version":"zx"})"));

    ServerFileDZ plain;
    Wire(plain, store, &config);
    ASSERT_TRUE(plain.Fetch());
    EXPECT_EQ(plain.replyText, reply);
    EXPECT_EQ(plain.id, "r7");
    EXPECT_EQ(plain.version, "6.1");
    EXPECT_EQ(plain.notices, std::vector<std::string>{"\xD0\xC2"});

    config.compressed = true;
    ServerFileDZ zx;
    Wire(zx, store, &config);
    ASSERT_TRUE(zx.Fetch());
    EXPECT_EQ(zx.version, "zx");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/plain/fldz.update");
    EXPECT_EQ(requests[1].target, "/zx/fldz.update");
}

TEST(FileDZ, FetchFailures) {
    const struct {
        const char* name;
        Reply reply;
    } cases[] = {
        {"not found", Reply(404, R"({"version":"1"})")},
        {"not an object", Reply(200, R"(["1"])")},
        {"trailing text", Reply(200, R"({"version":"1"} {"version":"2"})")},
        {"repeated member", Reply(200, R"({"ID":"1","ID":"1"})")},
        {"empty", Reply(200, "")},
        {"over 1 MiB", Reply(200, R"({"version":"1"})" + std::string(1 << 20, ' '))},
    };
    HttpTestServer server;
    ServerConfig config;
    config.downUrl = server.BaseUrl();
    PathStore store;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.Set("/fldz.update", c.reply);
        ServerFileDZ dz;
        Wire(dz, store, &config);
        EXPECT_FALSE(dz.Fetch());
        EXPECT_EQ(dz.version, "");
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
        const FileInfoItem& item = *list.Entries()[i];
        SCOPED_TRACE(expected[i].path);
        EXPECT_EQ(item.path, expected[i].path);
        EXPECT_EQ(item.md5, expected[i].md5);
        EXPECT_EQ(item.size, expected[i].size);
        EXPECT_EQ(item.zxPath, expected[i].zxPath);
        EXPECT_EQ(item.zxSize, expected[i].zxSize);
        EXPECT_EQ(list.Find(expected[i].path), &item);
    }
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

TEST(FileList, InsertReplacesInPlace) {
    FileInfoItemHash hash;
    for (const char* path : {"a", "b", "c"}) {
        auto item = std::make_unique<FileInfoItem>();
        item->path = path;
        hash.Insert(std::move(item));
    }
    auto replacement = std::make_unique<FileInfoItem>();
    replacement->path = "b";
    replacement->size = 9;
    hash.Insert(std::move(replacement));
    ExpectEntries(hash, {{"a", "", 0, "", 0}, {"b", "", 9, "", 0}, {"c", "", 0, "", 0}});
    hash.Clear();
    EXPECT_EQ(hash.Count(), 0u);
    EXPECT_EQ(hash.Find("a"), nullptr);
}

TEST(FileList, LocalLoad) {
    Folders folders;
    const struct {
        const char* name;
        int kind;  // 0 missing, 1 folder, 2 file
        std::string bytes;
        bool ok;
        std::size_t count;
    } cases[] = {
        {"missing", 0, "", false, 0},
        {"a folder", 1, "", false, 0},
        {"empty", 2, "", false, 0},
        {"not an object", 2, "[]", false, 0},
        {"zero byte ends the text", 2, std::string("{\"a\":{}}\0{\"b\":{}}", 17), true, 1},
        {"installed", 2, "{\"a\":{\"size\":1},\"b\":{\"size\":2}}", true, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folders.Install("filelist.update"));
        if (c.kind == 1) {
            fs::create_directories(folders.Install("filelist.update/x"));
        } else if (c.kind == 2) {
            WriteFile(folders.Install("filelist.update"), c.bytes);
        }
        LocalFileList local;
        Wire(local, folders.store);
        EXPECT_EQ(local.Load(), c.ok);
        EXPECT_EQ(local.Count(), c.count);
    }
}

TEST(FileList, LocalLoadOfAnUnreadableListThrows) {
    Folders folders;
    if (!testsupport::MakeUnreadable(folders.Install("filelist.update"), "{}")) {
        GTEST_SKIP() << "every file is readable here";
    }
    LocalFileList local;
    Wire(local, folders.store);
    EXPECT_THROW(local.Load(), FileAccessError);
}

TEST(FileList, SaveWritesTheReplyByteForByte) {
    Folders folders;
    ServerFileList list;
    Wire(list, folders.store);
    list.replyText =
        "{\r\n  \"a.dll\" : { \"md5\":\"x\", \"size\" : 1.50, \"note\":\"\xB1\xB8\xD7\xA2\" },\n"
        "\t\"b\":{}\n}\n\n";
    ASSERT_TRUE(list.Parse(list.replyText));

    WriteFile(folders.Download("filelist.update/sub/deep/file"), "in the way");
    EXPECT_TRUE(list.Save());
    EXPECT_TRUE(fs::is_regular_file(folders.Download("filelist.update")));
    EXPECT_EQ(ReadFile(folders.Download("filelist.update")), list.replyText);
}

TEST(FileList, SaveThatCannotWriteThrows) {
    Folders folders;
    folders.store.downloadFileListPath = folders.install.Narrow() + "gone\\filelist.update";
    ServerFileList list;
    Wire(list, folders.store);
    list.replyText = "{}";
    EXPECT_THROW(list.Save(), FileAccessError);
}

TEST(FileList, Fetch) {
    HttpTestServer server;
    ServerConfig config;
    config.downUrl = server.BaseUrl() + "p/";
    config.downZxUrl = server.BaseUrl() + "z/";
    PathStore store;
    const std::string reply = R"({"a.dll":{"md5":"m","size":10,"zxpath":"a.dll.lzma","zxsize":4}})";
    server.Set("/p/filelist.update", Reply(200, reply));
    server.Set("/z/filelist.update", Reply(200, reply));

    ServerFileList plain;
    Wire(plain, store, &config);
    ASSERT_TRUE(plain.Fetch());
    EXPECT_EQ(plain.replyText, reply);
    ExpectEntries(plain, {{"a.dll", "m", 10, "a.dll.lzma", 4}});

    config.compressed = true;
    ServerFileList zx;
    Wire(zx, store, &config);
    ASSERT_TRUE(zx.Fetch());

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/p/filelist.update");
    EXPECT_EQ(requests[1].target, "/z/filelist.update");

    // A list is read up to 64 MiB, not a byte more.
    const std::string padding((64 << 20) - reply.size(), ' ');
    server.Set("/z/filelist.update", Reply(200, reply + padding));
    ServerFileList largest;
    Wire(largest, store, &config);
    EXPECT_TRUE(largest.Fetch());

    const Reply failures[] = {Reply(404, reply), Reply(200, "[]"), Reply(200, reply + "x"),
                              Reply(200, R"({"a":{},"a":{}})"), Reply(200, reply + padding + " ")};
    for (const Reply& failure : failures) {
        server.Set("/z/filelist.update", failure);
        ServerFileList list;
        Wire(list, store, &config);
        EXPECT_FALSE(list.Fetch()) << failure.status << " " << failure.body;
        EXPECT_EQ(list.Count(), 0u);
    }
}

TEST(FileList, ContainedRelativePaths) {
    const struct {
        std::string path;
        bool contained;
    } cases[] = {
        {"orvel.exe", true},
        {"bin\\a.dll", true},
        {"bin/a.dll", true},
        {"a..b\\.hidden\\x.", true},
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

}  // namespace
