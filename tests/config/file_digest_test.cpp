// File digests against known MD5 values of real files.

#include <string>

#include <gtest/gtest.h>

#include "config/file_digest.h"
#include "tests/support/temp_folder.h"

using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

TEST(FileDigest, CheckableDigests) {
    const struct {
        std::string md5;
        bool checkable;
    } cases[] = {
        {"d41d8cd98f00b204e9800998ecf8427e", true},
        {"D41D8CD98F00B204E9800998ECF8427E", true},
        {"", false},
        {"d41d8cd98f00b204e9800998ecf8427", false},    // 31
        {"d41d8cd98f00b204e9800998ecf8427e0", false},  // 33
        {"g41d8cd98f00b204e9800998ecf8427e", false},
        {"d41d8cd98f00b204 9800998ecf8427e", false},
        {"unknown", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsCheckableDigest(c.md5), c.checkable) << c.md5;
    }
}

TEST(FileDigest, Md5OfRealFiles) {
    TempFolder folder;
    WriteFile(folder / "empty", "");
    WriteFile(folder / "abc", "abc");
    // Larger than one read buffer, so the digest is streamed over several chunks.
    std::string large;
    for (int i = 0; i < 300000; ++i) {
        large += static_cast<char>(i * 7 % 251);
    }
    WriteFile(folder / "large", large);
    WriteFile(folder / "large copy", large);
    large[200000] ^= 1;
    WriteFile(folder / "large changed", large);

    EXPECT_EQ(FileMd5(folder.Narrow() + "empty"), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(FileMd5(folder.Narrow() + "abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(FileMd5(folder.Narrow() + "large"), FileMd5(folder.Narrow() + "large copy"));
    EXPECT_NE(FileMd5(folder.Narrow() + "large"), FileMd5(folder.Narrow() + "large changed"));
    EXPECT_EQ(FileMd5(folder.Narrow() + "missing"), std::nullopt);
    EXPECT_EQ(FileMd5(folder.Narrow()), std::nullopt);  // a folder
}

TEST(FileDigest, FileMatchesDigest) {
    TempFolder folder;
    WriteFile(folder / "abc", "abc");
    const std::string abc = folder.Narrow() + "abc";
    const struct {
        std::string path;
        std::string md5;
        bool matches;
    } cases[] = {
        {abc, "900150983cd24fb0d6963f7d28e17f72", true},
        {abc, "900150983CD24FB0D6963F7D28E17F72", true},
        {abc, "900150983cd24fb0d6963f7d28e17f73", false},
        {abc, "", true},  // nothing to check against
        {abc, "not-a-digest", true},
        {folder.Narrow() + "missing", "900150983cd24fb0d6963f7d28e17f72", false},
        {folder.Narrow() + "missing", "", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileMatchesDigest(c.path, c.md5), c.matches) << c.path << " " << c.md5;
    }
}

}  // namespace
