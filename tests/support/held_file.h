#pragma once
// A file held open the way a running browser holds its own files on Windows.

#include <cstdint>
#include <filesystem>

namespace testsupport {

// Opens the file for reading and shares neither writing nor deleting, so that while it is held
// the file can be neither replaced, moved nor deleted (Windows answers with a sharing violation).
// A POSIX system lets such files be replaced; there nothing is held and held() is false.
class HeldFile {
public:
    explicit HeldFile(const std::filesystem::path& path);
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    ~HeldFile();

    bool held() const { return handle_ != 0; }

private:
    std::intptr_t handle_ = 0;
};

}  // namespace testsupport
