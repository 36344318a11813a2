#include "tests/support/links.h"

namespace testsupport {

bool MakeLink(const std::filesystem::path& target, const std::filesystem::path& link, bool folder) {
    if (folder) {
        std::filesystem::create_directory_symlink(target, link);
    } else {
        std::filesystem::create_symlink(target, link);
    }
    return true;
}

}  // namespace testsupport
