// The path set of a run, filled from the real executable and a temporary folder of the test's own.

#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "config/path_store.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text_codepage.h"
#include "tests/support/process_settings.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

using testsupport::ScopedEnvironment;

TEST(PathStore, FoldersAndManifestPaths) {
    TempFolder temp;
    ScopedEnvironment tmp(testsupport::kTemporaryFolderVariable, temp.path());

    PathStore store;
    InitPathStore(store);

    std::u16string executable;
    ASSERT_TRUE(platform::GetExecutablePath(executable));
    const fs::path exe = platform::Utf16ToUtf8(executable);
    EXPECT_EQ(store.installFolder, exe.parent_path().string() + "\\");

    const std::string tempText = temp.path().string();
    EXPECT_EQ(store.downloadFolder, tempText + "\\A092FC32oupd\\");
    EXPECT_EQ(store.compressedFolder, tempText + "\\orvupdatezx\\");
    EXPECT_TRUE(fs::is_directory(temp / "A092FC32oupd"));
    EXPECT_TRUE(fs::is_directory(temp / "orvupdatezx"));
    // The trailing "\" reaches the disk as a separator.
    EXPECT_EQ(platform::KindOf(store.downloadFolder), platform::PathKind::Folder);

    EXPECT_EQ(store.downloadFileListPath, store.downloadFolder + "filelist.update");
    EXPECT_EQ(store.installFileListPath, store.installFolder + "filelist.update");
    EXPECT_EQ(store.downloadNoticePath, store.downloadFolder + "fldz.update");
    EXPECT_EQ(store.installNoticePath, store.installFolder + "fldz.update");
}

TEST(PathStore, AFileInTheWayGivesTheNumberedFolder) {
    TempFolder temp;
    ScopedEnvironment tmp(testsupport::kTemporaryFolderVariable, temp.path());
    WriteFile(temp / "A092FC32oupd", "a file");

    PathStore store;
    InitPathStore(store);
    EXPECT_EQ(store.downloadFolder, temp.path().string() + "\\A092FC32oupd0\\");
    EXPECT_TRUE(fs::is_directory(temp / "A092FC32oupd0"));
    EXPECT_EQ(store.compressedFolder, temp.path().string() + "\\orvupdatezx\\");
    EXPECT_EQ(testsupport::ReadFile(temp / "A092FC32oupd"), "a file");
}

TEST(PathStore, WithoutTemporaryFolderTheWorkFoldersStayEmpty) {
    // A temporary folder of 260 characters or more cannot be used.
    TempFolder temp;
    ScopedEnvironment tmp(testsupport::kTemporaryFolderVariable,
                          temp.path() / std::string(260, 'x'));

    PathStore store;
    InitPathStore(store);
    EXPECT_EQ(store.downloadFolder, "");
    EXPECT_EQ(store.compressedFolder, "");
    EXPECT_EQ(store.downloadNoticePath, "fldz.update");
    EXPECT_EQ(store.downloadFileListPath, "filelist.update");
    EXPECT_FALSE(store.installFolder.empty());
}

TEST(PathStore, WorkFoldersThatGbkCannotNameStayEmpty) {
    // Written in GBK the Hangul name would become "?", a different folder on this system.
    TempFolder temp;
    fs::create_directory(temp / "임시");
    ScopedEnvironment tmp(testsupport::kTemporaryFolderVariable, temp / "임시");

    PathStore store;
    InitPathStore(store);
    EXPECT_EQ(store.downloadFolder, "");
    EXPECT_EQ(store.compressedFolder, "");
    EXPECT_EQ(store.downloadNoticePath, "fldz.update");
    EXPECT_FALSE(store.installFolder.empty());
}

}  // namespace
