#include <windows.h>

#include "tests/support/held_file.h"

namespace testsupport {

HeldFile::HeldFile(const std::filesystem::path& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        handle_ = reinterpret_cast<std::intptr_t>(file);
    }
}

HeldFile::~HeldFile() {
    if (handle_ != 0) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

}  // namespace testsupport
