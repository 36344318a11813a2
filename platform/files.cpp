// What a File does the same way on every system: its handle changes hands and closes with it.

#include <utility>

#include "platform/files.h"

namespace platform {

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

File::~File() {
    Close();
}

}  // namespace platform
