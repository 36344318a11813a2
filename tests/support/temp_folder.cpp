#include "tests/support/temp_folder.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace {
std::atomic<unsigned> counter{0};
}

TempFolder::TempFolder() {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("case" + std::to_string(counter++));
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
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::filesystem::path BinaryDir() { return ORV_BINARY_DIR; }
std::filesystem::path SourceDir() { return ORV_SOURCE_DIR; }

}  // namespace testsupport
