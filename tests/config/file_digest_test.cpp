// File digests against known MD5 and SHA-256 values of real files.

#include <cctype>
#include <string>

#include <gtest/gtest.h>

#include "config/file_digest.h"
#include "config/file_list.h"
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

TEST(FileDigest, FileMatchesEntry) {
    TempFolder folder;
    WriteFile(folder / "abc", "abc");
    const std::string abc = folder.Narrow() + "abc";
    const std::string missing = folder.Narrow() + "missing";
    const std::string md5 = "900150983cd24fb0d6963f7d28e17f72";
    const std::string sha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const std::string otherSha256 =
        "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ae";
    std::string upperSha256 = sha256;
    for (char& c : upperSha256) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const struct {
        std::string path;
        std::string md5;
        std::string sha256;
        bool signedRelease;
        bool matches;
    } cases[] = {
        {abc, md5, "", false, true},
        {abc, "900150983CD24FB0D6963F7D28E17F72", "", false, true},
        {abc, "900150983cd24fb0d6963f7d28e17f73", "", false, false},
        {abc, "", "", false, true},  // nothing to check against
        {abc, "not-a-digest", "", false, true},
        {missing, md5, "", false, false},
        {missing, "", "", false, true},
        // Unsigned, "sha256" is not read; signed, it must be there and match, beside "md5".
        {abc, md5, otherSha256, false, true},
        {abc, md5, sha256, true, true},
        {abc, "", sha256, true, true},
        {abc, md5, otherSha256, true, false},
        {abc, "900150983cd24fb0d6963f7d28e17f73", sha256, true, false},
        {abc, md5, "", true, false},
        {abc, md5, upperSha256, true, false},  // the release tool writes lower case only
        {abc, md5, sha256 + "0", true, false},
        {missing, "", sha256, true, false},
    };
    for (const auto& c : cases) {
        FileInfoItem1 entry;
        entry.md5 = c.md5;
        entry.sha256 = c.sha256;
        EXPECT_EQ(FileMatchesEntry(c.path, entry, c.signedRelease), c.matches)
            << c.path << " " << c.md5 << " " << c.sha256 << " " << c.signedRelease;
    }
}

}  // namespace
