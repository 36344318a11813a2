#pragma once
// Scoped temporary folders and small file helpers for tests. Paths here are UTF-8 with "/" (made
// with u8path and read with u8string, which are UTF-8 on Windows too).

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the test process's temporary folder, deleted with its contents at the
// end of the scope.
class TempFolder {
public:
    TempFolder();
    // A folder whose name ends with the given text (blanks, Chinese letters in UTF-8, ...).
    explicit TempFolder(const std::string& nameSuffix);
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    const std::filesystem::path& path() const { return path_; }
    // The folder as the engine writes folders: GBK (here ASCII) with a trailing "\".
    std::string Narrow() const;
    // A path inside the folder.
    std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }

private:
    std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// The names in a folder, sorted.
std::vector<std::string> Names(const std::filesystem::path& folder);
std::string ReadFile(const std::filesystem::path& path);
// Writes a file and makes it executable (a script with its "#!" line).
void WriteExecutable(const std::filesystem::path& path, const std::string& bytes);

// Puts at a path a file that exists but cannot be opened for reading: mode 000, or, for a user
// who may read any file (root), a link to a system file that nobody can read. False when
// neither can be made here (always on Windows, where the mode only makes a file read-only).
bool MakeUnreadable(const std::filesystem::path& path, const std::string& bytes);

// Where the build put its programs (orvupdate.exe, orvrelease, test helpers).
std::filesystem::path BinaryDir();
std::filesystem::path SourceDir();

}  // namespace testsupport
