// The C++ library of mingw makes no symbolic links; the system call does, where it may.

#include <windows.h>

#include "tests/support/links.h"

namespace testsupport {

bool MakeLink(const std::filesystem::path& target, const std::filesystem::path& link, bool folder) {
    const DWORD flags =
        (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    // A target with "/" would be kept as written, and not be found.
    const std::filesystem::path native = std::filesystem::path(target).make_preferred();
    if (!CreateSymbolicLinkW(link.c_str(), native.c_str(), flags)) {
        return false;
    }
    // Wine says yes and makes nothing.
    const DWORD attributes = GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace testsupport
