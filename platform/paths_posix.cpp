// The program's own path and the temporary folder.

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/text_codepage.h"

namespace platform {
bool GetExecutablePath(std::u16string& path) {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length <= 0) {
            return false;
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            path = Utf8ToUtf16(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool GetTemporaryFolder(std::u16string& path) {
    const char* value = std::getenv("TMPDIR");
    std::u16string folder = Utf8ToUtf16(value != nullptr && *value != '\0' ? value : "/tmp");
    if (!IsPathSeparator(folder.back())) {
        folder.push_back(u'/');
    }
    path = folder;
    return true;
}

}  // namespace platform
