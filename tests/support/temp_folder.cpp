#include "tests/support/temp_folder.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace {
std::atomic<unsigned> counter{0};
}

TempFolder::TempFolder() : TempFolder(std::string()) {}

TempFolder::TempFolder(const std::string& nameSuffix) {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / std::filesystem::u8path("case" + std::to_string(counter++) + nameSuffix);
        if (std::filesystem::create_directory(path_)) {
            break;
        }
    }
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Narrow() const {
    return path_.string() + "\\";
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.u8string());
    }
}

std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().u8string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteExecutable(const std::filesystem::path& path, const std::string& bytes) {
    WriteFile(path, bytes);
    std::filesystem::permissions(
        path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                  std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                  std::filesystem::perms::others_exec);
}

bool MakeUnreadable(const std::filesystem::path& path, const std::string& bytes) {
    WriteFile(path, bytes);
    std::filesystem::permissions(path, std::filesystem::perms::none);
    if (std::ifstream(path).is_open()) {
        // Windows reads the mode as "read-only", which also keeps the file from being removed.
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        std::filesystem::remove(path);
        std::error_code missing;
        const std::filesystem::path writeOnly = "/sys/bus/pci/rescan";
        if (!std::filesystem::exists(writeOnly, missing)) {
            return false;
        }
        std::error_code linkError;
        std::filesystem::create_symlink(writeOnly, path, linkError);
        if (linkError) {
            return false;
        }
    }
    return !std::ifstream(path).is_open();
}

std::filesystem::path BinaryDir() {
    return ORV_BINARY_DIR;
}
std::filesystem::path SourceDir() {
    return ORV_SOURCE_DIR;
}

}  // namespace testsupport
