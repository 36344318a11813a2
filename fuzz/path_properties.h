#pragma once
// What a relative path that the file list accepts must never do, shared by the harnesses that
// meet such paths: climb out of its folder on disk, or out of the download base in a request.

#include <cstddef>
#include <string>

#include "core/path_functions.h"
#include "fuzz/fuzz_check.h"
#include "platform/paths.h"
#include "transfer/download_task.h"

namespace fuzzpath {

// A drive letter: the only thing before ":" that makes a path absolute.
inline bool IsAsciiLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

inline bool HasDrive(const std::u16string& path) {
    return path.size() >= 2 && path[1] == u':' && IsAsciiLetter(path[0]);
}

// Bytes as path text: ASCII as it is (so that the fuzzer finds ".", "\" and ":"), the others as
// CJK ideographs.
inline std::u16string WidePath(const std::string& bytes) {
    std::u16string path;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        path.push_back(byte < 0x80 ? char16_t{byte} : static_cast<char16_t>(0x4E00 + byte));
    }
    return path;
}

// Whether a segment after the root (a drive and the separators that follow it) is name.
inline bool HasSegment(const std::u16string& path, const std::u16string& name) {
    std::size_t begin = HasDrive(path) ? 2 : 0;
    while (begin < path.size() && platform::IsPathSeparator(path[begin])) {
        ++begin;
    }
    while (begin < path.size()) {
        std::size_t end = begin;
        while (end < path.size() && !platform::IsPathSeparator(path[end])) {
            ++end;
        }
        if (path.compare(begin, end - begin, name) == 0) {
            return true;
        }
        begin = end + 1;
    }
    return false;
}

// A path that IsContainedRelativePath accepted (GBK bytes, as the manifest holds it).
inline void CheckContainedPath(const std::string& path) {
    FUZZ_CHECK(path.find('\0') == std::string::npos);
    // As the system sees it, after the GBK conversion (where a trail byte may look like "\" or
    // hide the ":" after a lead byte to a byte-wise reader): relative and without dot segments.
    const std::u16string wide = ToWide(path);
    FUZZ_CHECK(!wide.empty() && !platform::IsPathSeparator(wide[0]));
    FUZZ_CHECK(!HasDrive(wide));
    FUZZ_CHECK(!HasSegment(wide, u".") && !HasSegment(wide, u".."));
    // Nothing for canonicalisation to remove. It reads any character before ":" as a drive,
    // which a GBK character can be.
    if (wide.size() < kMaxPathLength && (wide.size() < 2 || wide[1] != u':')) {
        FUZZ_CHECK(platform::CanonicalizePath(wide) == wide);
    }
    // As the server sees it: below the download base.
    const std::u16string request = WidePath(EscapeRelativePath(path));
    FUZZ_CHECK(!request.empty() && request[0] != u'/');
    FUZZ_CHECK(!HasSegment(request, u".") && !HasSegment(request, u".."));
}

}  // namespace fuzzpath
