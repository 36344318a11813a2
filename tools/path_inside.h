#pragma once
// Whether one folder lies within another, for absolute, normalised paths.

#include <filesystem>

namespace release {

// True when inner is outer or lies below it, compared element by element (no file-system
// access). A trailing separator on outer ("/srv/tree/") names the same folder as without one; a
// prefix of a name is not inside ("/srv/tree2" is not inside "/srv/tree").
bool IsInside(const std::filesystem::path& inner, const std::filesystem::path& outer);

}  // namespace release
