// Path arithmetic, text conversion and the folder and deletion functions on real folders.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "core/path_functions.h"
#include "platform/files.h"
#include "platform/text_codepage.h"
#include "tests/support/child_process.h"
#include "tests/support/process_settings.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

using testsupport::ScopedEnvironment;

std::u16string Wide(const fs::path& path) {
    return platform::Utf8ToUtf16(path.string());
}

std::string Utf8(const std::u16string& text) {
    return platform::Utf16ToUtf8(text);
}

TEST(PathFunctions, TrimSeparators) {
    const struct {
        std::u16string in;
        std::u16string out;
    } cases[] = {
        {u"D:\\", u"D:\\"},            // drive root keeps its separator
        {u"D:\\\\", u"D:\\\\"},        // prefix and exactly two separators stay
        {u"\\", u"\\"},                // lone separator
        {u"\\\\", u"\\\\"},            // leading double separator
        {u"D:\\dir\\\\", u"D:\\dir"},  // D:\dir followed by two separators
        {u"dir/", u"dir"},
        {u"dir\\/", u"dir"},
        {u"/tmp/x/", u"/tmp/x"},
        {u"/", u"/"},
        {u"///", u"/"},
        {u"D:", u"D:"},
        {u"", u""},
        {u"a", u"a"},
        {u"\\\\server\\", u"\\\\server"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8(TrimSeparators(c.in)), Utf8(c.out)) << Utf8(c.in);
    }
}

TEST(PathFunctions, ParentFolder) {
    const struct {
        std::u16string in;
        std::u16string out;
    } cases[] = {
        {u"D:\\Program Files\\Orvel\\orvupdate.exe", u"D:\\Program Files\\Orvel"},
        {u"D:\\a\\b.exe", u"D:\\a"},
        {u"D:\\b.exe", u"D:\\"},
        {u"D:b", u"D:"},
        {u"b.exe", u"."},
        {u"", u"."},
        {u"\\\\server", u"\\\\"},
        {u"D:\\a\\b\\", u"D:\\a"},  // trailing separators do not make a level
        {u"/x/inst/orvupdate.exe", u"/x/inst"},
        {u"/a.exe", u"/"},
        {u"a/b\\c", u"a/b"},
        {u"D:\\", u"D:\\"},
        {u"/", u"/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8(ParentFolder(c.in)), Utf8(c.out)) << Utf8(c.in);
    }
}

TEST(PathFunctions, JoinPath) {
    const struct {
        std::u16string folder;
        std::u16string name;
        std::u16string out;
    } cases[] = {
        {u".", u"x", u"x"},
        {u"D:", u"x", u"D:x"},
        {u"D:\\", u"x", u"D:\\x"},
        {u"D:\\t\\", u"x", u"D:\\t\\x"},
        {u"D:\\t", u"", u"D:\\t"},
        {u"D:\\t", u"x", u"D:\\t\\x"},
        {u"/tmp/", u"A092FC32oupd", u"/tmp\\A092FC32oupd"},
        {u"/", u"x", u"/x"},
        {u"", u"x", u"x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8(JoinPath(c.folder, c.name)), Utf8(c.out))
            << Utf8(c.folder) << " + " << Utf8(c.name);
    }
}

TEST(PathFunctions, TrailingBackslash) {
    const struct {
        std::string in;
        std::string with;
        std::string without;
    } cases[] = {
        {"", "", ""},
        {"C:\\a\\", "C:\\a\\", "C:\\a"},
        {"C:\\a", "C:\\a\\", "C:\\a"},
        {"\\", "\\", ""},
        {"/x/", "/x/\\", "/x/"},  // the narrow functions know only "\"
        {"a\\\\", "a\\\\", "a\\"},
        // "\x95\x5C" is one GBK letter whose second byte happens to be "\".
        {"C:\\\x95\x5C", "C:\\\x95\x5C\\", "C:\\\x95\x5C"},
        {"C:\\\x95\x5C\\", "C:\\\x95\x5C\\", "C:\\\x95\x5C"},
        {"C:\\\xD6\xD0\\", "C:\\\xD6\xD0\\", "C:\\\xD6\xD0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithTrailingBackslash(c.in), c.with) << c.in;
        EXPECT_EQ(WithoutTrailingBackslash(c.in), c.without) << c.in;
    }
}

TEST(PathFunctions, DecimalText) {
    const struct {
        std::int32_t value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {7, "7"},
        {49, "49"},
        {-5, "-5"},
        {INT32_MAX, "2147483647"},
        {INT32_MIN, "-2147483648"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecimalText(c.value), c.text);
        EXPECT_EQ(Utf8(DecimalTextW(c.value)), c.text);
    }
}

TEST(PathFunctions, TextConversion) {
    EXPECT_EQ(ToWide(""), u"");
    EXPECT_EQ(ToNarrow(u""), "");
    // "更新" in GBK and back.
    const std::string gbk = "\xB8\xFC\xD0\xC2";
    EXPECT_EQ(ToWide(gbk), u"\u66F4\u65B0");
    EXPECT_EQ(ToNarrow(u"\u66F4\u65B0"), gbk);
    // A character outside GBK becomes the default character.
    EXPECT_EQ(ToNarrow(u"a\U0001F600b"), "a?b");
}

// The file list's relative paths: the cases that would leave the folder, and those that Windows
// would read as another file, a device or a stream, or not at all. Refused on every system.
TEST(PathFunctions, RelativePathFaults) {
    using F = RelativePathFault;
    const struct {
        std::string path;  // GBK, as a file list holds it
        F fault;
    } cases[] = {
        {"orvel.exe", F::None},
        {"bin\\a.dll", F::None},
        {"bin/a.dll", F::None},
        {"a..b\\.hidden\\x", F::None},
        {"a b\\c d.txt", F::None},
        {" lead.txt", F::None},
        {"\xD6\xD0\xCE\xC4\\\xB8\xFC\xD0\xC2.txt", F::None},
        // Today's length rule: none here, the system calls refuse what is too long.
        {std::string(300, 'a'), F::None},
        // Near misses of device names.
        {"console.dll", F::None},
        {"com10", F::None},
        {"conx", F::None},
        {"lpt", F::None},
        {"xnul.txt", F::None},
        {"a.con", F::None},
        {"con_x\\aux-1.txt", F::None},
        // "亅": its trail byte is "|" to a byte-wise reader, but the system sees a letter.
        {"\x81\x7C.txt", F::None},
        // Chinese names meet every rule too, not only ASCII ones.
        {"\xD6\xD0\\con.txt", F::DeviceName},
        {"\xD6\xD0.\\x", F::TrailingDotOrBlank},
        {"\xD6\xD0\\a:b", F::Colon},
        {"\xD6\xD0\\a?b", F::ForbiddenCharacter},

        // Leaving the folder, as before.
        {"", F::NotRelative},
        {"C:\\Windows\\x.dll", F::NotRelative},
        {"c:x.dll", F::NotRelative},
        {"1:x", F::NotRelative},
        {"\xD6\xD0:x", F::NotRelative},
        {"\\x.dll", F::NotRelative},
        {"/etc/passwd", F::NotRelative},
        {"..\\x.dll", F::BadSegment},
        {"bin\\.\\x.dll", F::BadSegment},
        {"bin\\\\x.dll", F::BadSegment},
        {"...", F::BadSegment},
        {"bin\\. .", F::BadSegment},
        {std::string("a\0/..", 5), F::ForbiddenCharacter},

        // Alternate data streams.
        {"a.dll:x", F::Colon},
        {"a.dll::$DATA", F::Colon},
        {"bin\\a.dll:s:$DATA", F::Colon},
        {":x", F::Colon},
        {"ab:", F::Colon},

        // Devices, in any folder, with any extension, in any case.
        {"CON", F::DeviceName},
        {"con.txt", F::DeviceName},
        {"Nul", F::DeviceName},
        {"aux.h", F::DeviceName},
        {"bin\\PRN.log", F::DeviceName},
        {"com1.dll", F::DeviceName},
        {"Com9", F::DeviceName},
        {"lPt1", F::DeviceName},
        {"LPT9.x.y", F::DeviceName},
        {"CON .txt", F::DeviceName},
        {"nul  .a", F::DeviceName},
        {"con\\x.dll", F::DeviceName},

        // Names that Windows shortens to another name.
        {"dir.\\a", F::TrailingDotOrBlank},
        {"dir./a", F::TrailingDotOrBlank},
        {"a.dll ", F::TrailingDotOrBlank},
        {"a. ", F::TrailingDotOrBlank},
        {"a..b\\.hidden\\x.", F::TrailingDotOrBlank},
        {"bin \\x", F::TrailingDotOrBlank},
        {"   ", F::TrailingDotOrBlank},
        {"CON ", F::TrailingDotOrBlank},

        // Characters that Windows forbids in names.
        {"a<b", F::ForbiddenCharacter},
        {"a>b", F::ForbiddenCharacter},
        {"a\"b", F::ForbiddenCharacter},
        {"a|b", F::ForbiddenCharacter},
        {"a?b", F::ForbiddenCharacter},
        {"bin\\*.dll", F::ForbiddenCharacter},
        {"a\tb", F::ForbiddenCharacter},
        {"bin\\x\x1F", F::ForbiddenCharacter},
        // Bytes that are not GBK reach the system as "?", so two such names are one file.
        {"a\xFF"
         "b",
         F::ForbiddenCharacter},
        {"a\x81", F::ForbiddenCharacter},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindRelativePathFault(c.path), c.fault) << c.path;
        EXPECT_EQ(IsContainedRelativePath(c.path), c.fault == F::None) << c.path;
    }

    // Characters that no GBK text converts to, checked where the system meets them.
    const struct {
        std::u16string path;
        F fault;
    } wide[] = {
        {u"COM\u00B9", F::DeviceName},      {u"bin\\com\u00B2.dll", F::DeviceName},
        {u"lpt\u00B3 .txt", F::DeviceName}, {u"COM\u2074", F::None},
        {u"LPT\u00B9\u00B9", F::None},
    };
    for (const auto& c : wide) {
        EXPECT_EQ(FindRelativePathFault(c.path), c.fault) << Utf8(c.path);
    }
}

TEST(PathFunctions, CreateFoldersAndEnsureFolder) {
    TempFolder folder;
    WriteFile(folder / "file", "x");

    EXPECT_TRUE(CreateFolders(Wide(folder / "a/b/c")));
    EXPECT_TRUE(fs::is_directory(folder / "a/b/c"));
    EXPECT_TRUE(CreateFolders(Wide(folder / "a/b/c")));  // already there
    EXPECT_TRUE(CreateFolders(Wide(folder.path()) + u"\\d\\e\\"));
    EXPECT_TRUE(fs::is_directory(folder / "d/e"));
    EXPECT_FALSE(CreateFolders(Wide(folder / "file")));
    EXPECT_FALSE(CreateFolders(Wide(folder / "file/below")));

    EXPECT_TRUE(EnsureFolder(Wide(folder / "one")));
    EXPECT_TRUE(fs::is_directory(folder / "one"));
    EXPECT_TRUE(EnsureFolder(Wide(folder / "one")));
    EXPECT_FALSE(EnsureFolder(Wide(folder / "file")));
    EXPECT_FALSE(EnsureFolder(Wide(folder / "x/y")));  // one level only
    EXPECT_FALSE(fs::exists(folder / "x"));

    CreateParentFolders(folder.Narrow() + "p\\q\\file.dll");
    EXPECT_TRUE(fs::is_directory(folder / "p/q"));
    EXPECT_FALSE(fs::exists(folder / "p/q/file.dll"));

    EXPECT_TRUE(IsFolder(Wide(folder.path())));
    EXPECT_FALSE(IsFolder(Wide(folder / "file")));
    EXPECT_FALSE(IsFolder(Wide(folder / "missing")));
    EXPECT_TRUE(PathExistsA(folder.Narrow() + "file"));
    EXPECT_FALSE(IsFolderA(folder.Narrow() + "file"));
    EXPECT_TRUE(IsFolderA(folder.Narrow() + "p"));
    EXPECT_FALSE(PathExistsA(folder.Narrow() + "missing"));
}

TEST(PathFunctions, DeletePath) {
    TempFolder folder;
    WriteFile(folder / "tree/sub/f.txt", "x");
    WriteFile(folder / "full/f.txt", "x");
    WriteFile(folder / "single.dll", "x");
    fs::create_directory(folder / "empty");

    EXPECT_TRUE(DeletePath(Wide(folder / "missing"), true));
    EXPECT_TRUE(DeletePath(Wide(folder / "missing"), false));
    EXPECT_TRUE(DeleteFileAt(folder.Narrow() + "single.dll"));
    EXPECT_FALSE(fs::exists(folder / "single.dll"));

    // Not recursive: a folder with contents stays.
    EXPECT_FALSE(DeletePath(Wide(folder / "full"), false));
    EXPECT_TRUE(fs::exists(folder / "full/f.txt"));
    // Recursive, with a trailing separator as the work folders are written.
    EXPECT_TRUE(DeletePath(Wide(folder / "tree") + u"\\", true));
    EXPECT_FALSE(fs::exists(folder / "tree"));
    EXPECT_TRUE(DeletePath(Wide(folder / "empty"), false));
    EXPECT_FALSE(fs::exists(folder / "empty"));

    // 260 characters or more are refused and nothing is deleted.
    std::u16string longPath = Wide(folder / "full");
    while (longPath.size() < 259) {
        longPath += u"/";
    }
    EXPECT_FALSE(DeletePath(longPath + u"/", true));
    EXPECT_TRUE(fs::exists(folder / "full/f.txt"));
    EXPECT_TRUE(DeletePath(longPath, true));  // 259 trims to the folder itself
    EXPECT_FALSE(fs::exists(folder / "full"));
}

TEST(PathFunctions, DeletePathRefusesRoots) {
    for (const std::u16string root : {u"/", u"\\", u"//", u"D:", u"D:\\"}) {
        EXPECT_FALSE(DeletePath(root, true)) << Utf8(root);
    }
    EXPECT_TRUE(fs::exists("/"));
}

TEST(PathFunctions, TempFolderHasNoTrailingSeparator) {
    TempFolder folder;
    ScopedEnvironment tmp(testsupport::kTemporaryFolderVariable, folder.path().string() + "/");
    std::u16string temp = u"unchanged";
    ASSERT_TRUE(GetTempFolder(temp));
    EXPECT_EQ(Utf8(temp), folder.path().string());
}

TEST(PathFunctions, MakeWorkFolderUsesTheNameOrTheFirstFreeNumber) {
    TempFolder folder;
    ScopedEnvironment tmp(testsupport::kTemporaryFolderVariable, folder.path());

    std::u16string made;
    ASSERT_TRUE(MakeWorkFolder(u"orvupdatezx", made));
    EXPECT_EQ(Utf8(made), folder.path().string() + "\\orvupdatezx");
    EXPECT_TRUE(fs::is_directory(folder / "orvupdatezx"));
    // An existing folder of that name is used again, contents and all.
    WriteFile(folder / "orvupdatezx/kept.bin", "x");
    ASSERT_TRUE(MakeWorkFolder(u"orvupdatezx", made));
    EXPECT_EQ(Utf8(made), folder.path().string() + "\\orvupdatezx");
    EXPECT_TRUE(fs::exists(folder / "orvupdatezx/kept.bin"));

    // Files in the way move it on to the first free number.
    WriteFile(folder / "A092FC32oupd", "not a folder");
    WriteFile(folder / "A092FC32oupd0", "not a folder");
    ASSERT_TRUE(MakeWorkFolder(u"A092FC32oupd", made));
    EXPECT_EQ(Utf8(made), folder.path().string() + "\\A092FC32oupd1");
    EXPECT_TRUE(fs::is_directory(folder / "A092FC32oupd1"));
}

// A shared temporary folder may hold a link or another user's folder under the work folder's
// name, planted to catch the update's files: such a name is passed over like a file in the way.
TEST(PathFunctions, MakeWorkFolderPassesOverLinksAndForeignFolders) {
    if (!testsupport::kPosixSystem) {
        GTEST_SKIP() << "planted links and folders open to others are made with POSIX calls and "
                        "tools";
    }
    TempFolder folder;
    ScopedEnvironment tmp(testsupport::kTemporaryFolderVariable, folder.path());
    fs::create_directory(folder / "planted");
    fs::create_directory_symlink(folder / "planted", folder / "A092FC32oupd");
    fs::create_symlink(folder / "nowhere", folder / "A092FC32oupd0");

    // A folder of this user's that others may search or write into.
    fs::create_directory(folder / "A092FC32oupd1");
    fs::permissions(folder / "A092FC32oupd1", fs::perms::owner_all | fs::perms::others_all);

    std::u16string made;
    ASSERT_TRUE(MakeWorkFolder(u"A092FC32oupd", made));
    EXPECT_EQ(Utf8(made), folder.path().string() + "\\A092FC32oupd2");
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder / "A092FC32oupd2")));
    EXPECT_EQ(fs::status(folder / "A092FC32oupd2").permissions(), fs::perms::owner_all);
    EXPECT_TRUE(fs::is_symlink(folder / "A092FC32oupd"));
    EXPECT_TRUE(fs::is_empty(folder / "planted"));

    fs::create_directory(folder / "orvupdatezx");
    testsupport::ChildOptions chown;
    chown.program = "chown";
    chown.arguments = {"65534", (folder / "orvupdatezx").string()};
    if (testsupport::RunChild(chown, std::chrono::seconds(30)).exitStatus != 0) {
        GTEST_SKIP() << "needs a privileged run to make another user's folder";
    }
    ASSERT_TRUE(MakeWorkFolder(u"orvupdatezx", made));
    EXPECT_EQ(Utf8(made), folder.path().string() + "\\orvupdatezx0");
}

TEST(PathFunctions, MakeWorkFolderWithEveryNameTakenMakesAFreshFolder) {
    TempFolder folder;
    ScopedEnvironment tmp(testsupport::kTemporaryFolderVariable, folder.path());
    WriteFile(folder / "A092FC32oupd", "x");
    for (int i = 0; i < 50; ++i) {
        WriteFile(folder / ("A092FC32oupd" + std::to_string(i)), "x");
    }

    std::u16string made;
    ASSERT_TRUE(MakeWorkFolder(u"A092FC32oupd", made));
    const fs::path madePath = platform::SystemPath(made);
    EXPECT_EQ(madePath.parent_path(), folder.path());
    EXPECT_EQ(madePath.filename().string().rfind("A092FC32oupd.", 0), 0u) << madePath;
    EXPECT_TRUE(fs::is_directory(madePath));
    EXPECT_TRUE(fs::is_empty(madePath));
    // The blocking files are untouched.
    EXPECT_TRUE(fs::is_regular_file(folder / "A092FC32oupd49"));
}

TEST(PathFunctions, MakeWorkFolderWithoutUsableTempFolder) {
    TempFolder folder;
    // A temporary folder in which nothing can be made: every name and the fresh folder fail.
    WriteFile(folder / "blocked", "a file, not a folder");
    ScopedEnvironment tmp(testsupport::kTemporaryFolderVariable, folder / "blocked");
    std::u16string made = u"old";
    EXPECT_TRUE(MakeWorkFolder(u"A092FC32oupd", made));
    EXPECT_EQ(made, u"");
}

// The work folders are emptied in place: their names are never free for another user to take.
TEST(PathFunctions, RecreateWorkFoldersEmptiesBothInPlace) {
    if (!testsupport::kPosixSystem) {
        GTEST_SKIP() << "planted links and folders open to others are made with POSIX calls and "
                        "tools";
    }
    TempFolder folder;
    WriteFile(folder / "down/a/b.dll", "x");
    WriteFile(folder / "zx/c.lzma", "x");
    WriteFile(folder / "beside.txt", "x");
    WriteFile(folder / "outside/keep.txt", "x");
    fs::create_directory_symlink(folder / "outside", folder / "down/link");
    for (const char* name : {"down", "zx"}) {
        fs::permissions(folder / name, fs::perms::owner_all);
    }
    const auto inode = [&](const char* name) {
        testsupport::ChildOptions stat;
        stat.program = "stat";
        stat.arguments = {"-c", "%i", (folder / name).string()};
        return testsupport::RunChild(stat, std::chrono::seconds(10)).standardOutput;
    };
    const std::string before = inode("down");

    EXPECT_TRUE(RecreateWorkFolders(folder.Narrow() + "down\\", folder.Narrow() + "zx\\"));
    EXPECT_TRUE(fs::is_empty(folder / "down"));
    EXPECT_TRUE(fs::is_empty(folder / "zx"));
    EXPECT_EQ(inode("down"), before) << "the same folder, not a new one of that name";
    EXPECT_EQ(fs::status(folder / "down").permissions(), fs::perms::owner_all);
    EXPECT_TRUE(fs::exists(folder / "beside.txt"));
    EXPECT_TRUE(fs::exists(folder / "outside/keep.txt")) << "a link is not followed";

    // A missing folder is made again, private; an empty path is left alone.
    fs::remove_all(folder / "zx");
    EXPECT_TRUE(RecreateWorkFolders("", folder.Narrow() + "zx\\"));
    EXPECT_EQ(fs::status(folder / "zx").permissions(), fs::perms::owner_all);

    // A folder that others may use, a link or a file under the name is neither emptied nor
    // usable.
    fs::permissions(folder / "zx", fs::perms::group_read | fs::perms::group_exec,
                    fs::perm_options::add);
    WriteFile(folder / "zx/theirs.dll", "x");
    fs::create_directory_symlink(folder / "outside", folder / "link");
    for (const char* name : {"zx", "link", "beside.txt"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(RecreateWorkFolders("", folder.Narrow() + name + "\\"));
    }
    EXPECT_TRUE(fs::exists(folder / "zx/theirs.dll"));
    EXPECT_TRUE(fs::exists(folder / "outside/keep.txt"));
}

}  // namespace
