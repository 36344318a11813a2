#pragma once
// Files for the harnesses that need them: in a folder of the process's own under $TMPDIR, which
// is removed when the process ends normally.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

#include "fuzz/fuzz_check.h"

namespace fuzzfiles {

class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device random;
        do {
            path_ =
                std::filesystem::temp_directory_path() / ("orvfuzz-" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A file of that name in the process's scratch folder.
inline std::string ScratchFile(const char* name) {
    static const ScratchFolder folder;
    return folder.File(name);
}

inline void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good());
}

inline std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace fuzzfiles
