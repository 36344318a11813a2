#pragma once
// Symbolic links that the tests put in the way of the updater.

#include <filesystem>

namespace testsupport {

// Makes a symbolic link at `link` that names `target` (a folder link when `folder`). True when
// the link is there; on Windows false when the system makes none (Wine creates no reparse
// points, and Windows without developer mode or the privilege refuses). A POSIX system always
// makes it, or throws.
bool MakeLink(const std::filesystem::path& target, const std::filesystem::path& link, bool folder);

}  // namespace testsupport
