// The path helpers on any path: what the file list accepts as contained, the request path that
// escaping makes of it, textual canonicalisation, and the folder and separator helpers.

#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "config/file_list.h"
#include "core/path_functions.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/path_properties.h"
#include "platform/paths.h"
#include "transfer/download_task.h"

namespace {

using fuzzpath::HasDrive;
using fuzzpath::HasSegment;
using fuzzpath::IsAsciiLetter;
using fuzzpath::WidePath;

bool HasPrefix(const std::u16string& text, const std::u16string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void CheckEscaping(const std::string& path) {
    const std::string escaped = EscapeRelativePath(path);
    // Only unreserved characters and well-formed escapes; decoding gives the path back with "/"
    // for "\" and a blank for every kind of white space.
    std::string decoded;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '%') {
            FUZZ_CHECK(i + 2 < escaped.size());
            const int high = HexValue(escaped[i + 1]);
            const int low = HexValue(escaped[i + 2]);
            FUZZ_CHECK(high >= 0 && low >= 0);
            decoded.push_back(static_cast<char>(high * 16 + low));
            i += 2;
            continue;
        }
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '/' || c == '_' || c == '.';
        FUZZ_CHECK(safe);
        decoded.push_back(c);
    }
    std::string expected = path;
    for (char& c : expected) {
        if (c == '\\') {
            c = '/';
        } else if (c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
            c = ' ';
        }
    }
    FUZZ_CHECK(decoded == expected);
}

void CheckContainment(const std::string& path) {
    if (IsContainedRelativePath(path)) {
        fuzzpath::CheckContainedPath(path);
    }
}

void CheckCanonical(const std::u16string& path) {
    const std::u16string canonical = platform::CanonicalizePath(path);
    FUZZ_CHECK(canonical.size() <= kMaxPathLength);
    FUZZ_CHECK(canonical.size() <= path.size());
    if (canonical.size() == kMaxPathLength) {
        return;  // cut at the limit, possibly in the middle of a segment
    }
    // A ":" anywhere but after a leading drive letter: canonicalisation takes any character
    // before ":" for a drive, also in a segment that the removed dots used to precede.
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == u':' && !(i == 1 && IsAsciiLetter(path[0]))) {
            return;
        }
    }
    FUZZ_CHECK(!HasSegment(canonical, u"."));
    if ((!path.empty() && platform::IsPathSeparator(path[0])) || HasDrive(path)) {
        FUZZ_CHECK(!HasSegment(canonical, u".."));
    }
    FUZZ_CHECK(platform::CanonicalizePath(canonical) == canonical);
}

void CheckFolders(const std::u16string& folder, const std::u16string& name) {
    const std::u16string trimmed = TrimSeparators(folder);
    FUZZ_CHECK(HasPrefix(folder, trimmed));
    FUZZ_CHECK(trimmed.empty() == folder.empty());
    FUZZ_CHECK(TrimSeparators(trimmed) == trimmed);

    const std::u16string parent = ParentFolder(folder);
    FUZZ_CHECK(parent == u"." || HasPrefix(folder, parent));

    // A plain file name joined to a folder has that folder as its parent.
    bool plainName = !name.empty();
    for (const char16_t c : name) {
        plainName = plainName && !platform::IsPathSeparator(c) && c != u':';
    }
    if (plainName && !folder.empty()) {
        const std::u16string joined = JoinPath(folder, name);
        FUZZ_CHECK(joined.size() >= name.size() &&
                   joined.compare(joined.size() - name.size(), name.size(), name) == 0);
        FUZZ_CHECK(ParentFolder(joined) == trimmed);
    }
}

void CheckTrailingBackslash(const std::u16string& folder) {
    // Narrow paths come from the wide ones, so they are whole GBK characters.
    const std::string narrow = ToNarrow(folder);
    const std::string with = WithTrailingBackslash(narrow);
    FUZZ_CHECK(WithTrailingBackslash(with) == with);
    if (narrow.empty()) {
        FUZZ_CHECK(with.empty());
        return;
    }
    const std::u16string wide = ToWide(with);
    FUZZ_CHECK(!wide.empty() && wide.back() == u'\\');
    const bool had = ToWide(narrow).back() == u'\\';
    FUZZ_CHECK(with == (had ? narrow : narrow + "\\"));
    FUZZ_CHECK(WithoutTrailingBackslash(with) ==
               (had ? narrow.substr(0, narrow.size() - 1) : narrow));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string first = input.ConsumeRandomLengthString(600);
    const std::string second = input.ConsumeRemainingBytesAsString();

    CheckEscaping(first);
    CheckContainment(first);
    CheckContainment(second);

    const std::u16string folder = WidePath(first);
    CheckCanonical(folder);
    CheckCanonical(ToWide(second));
    CheckFolders(folder, WidePath(second));
    CheckTrailingBackslash(folder);
    return 0;
}
