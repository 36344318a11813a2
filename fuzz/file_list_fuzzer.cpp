// The server's file list on any text. Whatever it holds, an entry that the list calls contained
// can neither climb out of the installation folder on disk nor out of the download base in its
// request, and the index by path agrees with the entries.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "config/file_list.h"
#include "config/path_functions.h"
#include "fuzz/fuzz_check.h"
#include "platform/paths.h"
#include "transfer/download_task.h"

namespace {

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

// No empty, "." or ".." segment and no root, as the system will see the path (after the GBK
// conversion, where a trail byte may look like "\" to a byte-wise reader).
bool StaysInside(const std::u16string& path) {
    if (path.empty() || IsSeparator(path[0]) || (path.size() >= 2 && path[1] == u':')) {
        return false;
    }
    // Canonicalising has nothing to remove (it cuts at the length limit, so only below it).
    if (path.size() < kMaxPathLength && platform::CanonicalizePath(path) != path) {
        return false;
    }
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = begin;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        const std::u16string segment = path.substr(begin, end - begin);
        if (segment.empty() || segment == u"." || segment == u"..") {
            return false;
        }
        begin = end + 1;
    }
    return true;
}

// The request path below the download base: no "." or ".." segment, no leading "/".
bool StaysBelowBase(const std::string& escaped) {
    if (escaped.empty() || escaped[0] == '/') {
        return false;
    }
    std::size_t begin = 0;
    while (begin <= escaped.size()) {
        std::size_t end = escaped.find('/', begin);
        if (end == std::string::npos) {
            end = escaped.size();
        }
        const std::string segment = escaped.substr(begin, end - begin);
        if (segment == "." || segment == "..") {
            return false;
        }
        begin = end + 1;
    }
    return true;
}

void CheckContained(const std::string& path) {
    FUZZ_CHECK(StaysInside(ToWide(path)));
    FUZZ_CHECK(StaysBelowBase(EscapeRelativePath(path)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ServerFileList list;
    list.Parse(text);

    std::set<std::string> paths;
    for (const auto& entry : list.Entries()) {
        FUZZ_CHECK(list.Find(entry->path) == entry.get());
        FUZZ_CHECK(paths.insert(entry->path).second);
    }
    FUZZ_CHECK(list.Count() == paths.size());

    const bool plain = list.IsContained(false);
    const bool packed = list.IsContained(true);
    FUZZ_CHECK(!packed || plain);
    for (const auto& entry : list.Entries()) {
        if (plain) {
            CheckContained(entry->path);
        }
        if (packed) {
            CheckContained(entry->zxPath);
        }
    }
    return 0;
}
