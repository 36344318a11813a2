// The program's own path, the temporary folder and textual canonicalisation.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/environment.h"
#include "platform/paths.h"
#include "platform/text_codepage.h"
#include "tests/support/child_process.h"
#include "tests/support/process_settings.h"

namespace {

TEST(Paths, ExecutablePathIsTheRunningProgramsOwn) {
    testsupport::ChildOptions self;
    self.program = PLATFORM_HELPER;
    self.arguments = {"self"};
    const testsupport::ChildResult result = testsupport::RunChild(self, std::chrono::seconds(30));
    EXPECT_EQ(result.standardOutput, std::filesystem::canonical(PLATFORM_HELPER).string() + "\n");
}

#ifdef _WIN32
// The system's folder: %TMP%, else %TEMP%, ended with "\\".
TEST(Paths, TemporaryFolder) {
    const std::optional<std::string> previous = platform::GetEnvironment("TMP");
    struct Case {
        const char* tmp;
        const char* temp;
        std::u16string folder;
    };
    const Case cases[] = {
        {"C:\\Temp\\中文", "D:\\other", u"C:\\Temp\\中文\\"},
        {"C:\\Temp\\", nullptr, u"C:\\Temp\\"},
        {nullptr, "D:\\Users\\u\\Temp", u"D:\\Users\\u\\Temp\\"},
    };
    for (const Case& c : cases) {
        const testsupport::ScopedEnvironment tmp("TMP", c.tmp);
        const testsupport::ScopedEnvironment temp("TEMP", c.temp);
        std::u16string folder;
        EXPECT_TRUE(platform::GetTemporaryFolder(folder));
        EXPECT_EQ(folder, c.folder);
    }
    // Each case puts the folder of the test back.
    EXPECT_EQ(platform::GetEnvironment("TMP"), previous);
}
#else
TEST(Paths, TemporaryFolder) {
    const std::optional<std::string> previous = platform::GetEnvironment("TMPDIR");
    struct Case {
        const char* value;
        std::u16string folder;
    };
    const Case cases[] = {
        {"/var/tmp/中文", u"/var/tmp/中文/"},
        {"/var/tmp/", u"/var/tmp/"},
        {"", u"/tmp/"},
        {nullptr, u"/tmp/"},
    };
    for (const Case& c : cases) {
        const testsupport::ScopedEnvironment tmp("TMPDIR", c.value);
        std::u16string folder;
        EXPECT_TRUE(platform::GetTemporaryFolder(folder));
        EXPECT_EQ(folder, c.folder);
    }
    // Each case puts the folder of the test back.
    EXPECT_EQ(platform::GetEnvironment("TMPDIR"), previous);
}
#endif

TEST(Paths, CanonicalizeIsTextual) {
    struct Case {
        std::u16string in;
        std::u16string out;
    };
    const Case cases[] = {
        {u"", u""},
        {u"/home/u/Orvel", u"/home/u/Orvel"},
        {u"/home/u/./Orvel", u"/home/u/Orvel"},
        {u"/home/u/bin/../Orvel", u"/home/u/Orvel"},
        {u"/home/u/Orvel/..", u"/home/u"},
        {u"/home/u/Orvel/.", u"/home/u/Orvel"},
        {u"/..", u"/"},
        {u"/../a", u"/a"},
        {u"D:\\Apps\\.\\Orvel\\..\\Orvel", u"D:\\Apps\\Orvel"},
        {u"D:\\..\\x", u"D:\\x"},
        {u"D:\\Apps/x\\..\\y/", u"D:\\Apps/y/"},
        {u"a//b/./c", u"a//b/c"},
        {u"../a/b/..", u"../a"},
        {u"a/../..", u".."},
        {u"./a", u"a"},
        {u"\\\\server\\share\\..\\x", u"\\\\server\\x"},
        {u"/a/.hidden/..b", u"/a/.hidden/..b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::CanonicalizePath(c.in), c.out) << platform::Utf16ToUtf8(c.in);
    }
    const std::u16string longPath = u"/" + std::u16string(400, u'a');
    EXPECT_EQ(platform::CanonicalizePath(longPath), longPath.substr(0, 260));
    EXPECT_EQ(platform::CanonicalizePath(u"/x/../" + std::u16string(258, u'b')),
              u"/" + std::u16string(258, u'b'));
}

}  // namespace
