#include "tools/path_inside.h"

#include <algorithm>

namespace release {

bool IsInside(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    // A trailing separator is an empty last element, which inner need not have.
    const std::filesystem::path folder = outer.has_filename() ? outer : outer.parent_path();
    return std::mismatch(folder.begin(), folder.end(), inner.begin(), inner.end()).first ==
           folder.end();
}

}  // namespace release
