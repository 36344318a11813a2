#pragma once
// Where the program and the user's temporary folder are, and textual path canonicalisation.

#include <string>
#include <string_view>

namespace platform {

// "\" and "/": both separate the segments of every path the system reads.
constexpr bool IsPathSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// Full path of the running executable; false when the system cannot tell.
bool GetExecutablePath(std::u16string& path);

// The user's temporary folder ($TMPDIR, else /tmp) with a trailing separator.
bool GetTemporaryFolder(std::u16string& path);

// Removes "." and ".." segments textually (no file-system access); "\" and "/" are both
// separators and are kept as written. The result is cut to 260 UTF-16 units.
std::u16string CanonicalizePath(std::u16string_view path);

}  // namespace platform
