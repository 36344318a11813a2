// The program's own path, the temporary folder, and textual canonicalisation.

#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/paths.h"
#include "platform/text_codepage.h"

namespace platform {
namespace {

constexpr std::size_t kMaxPath = 260;

bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

}  // namespace

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
    if (!IsSeparator(folder.back())) {
        folder.push_back(u'/');
    }
    path = folder;
    return true;
}

std::u16string CanonicalizePath(std::u16string_view path) {
    // The root (a drive prefix and the separators that follow it) is never removed.
    std::size_t rootLength = 0;
    if (path.size() >= 2 && path[1] == u':') {
        rootLength = 2;
    }
    while (rootLength < path.size() && IsSeparator(path[rootLength])) {
        ++rootLength;
    }
    const bool absolute = rootLength > 0;

    // Segments keep the separators written after them.
    struct Segment {
        std::u16string_view name;
        std::u16string_view separators;
    };
    std::vector<Segment> kept;
    bool endsWithDotSegment = false;
    std::size_t position = rootLength;
    while (position < path.size()) {
        std::size_t end = position;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        std::size_t after = end;
        while (after < path.size() && IsSeparator(path[after])) {
            ++after;
        }
        const Segment segment{path.substr(position, end - position), path.substr(end, after - end)};
        position = after;
        endsWithDotSegment = false;
        if (segment.name == u".") {
            endsWithDotSegment = true;
        } else if (segment.name == u"..") {
            if (!kept.empty() && kept.back().name != u"..") {
                kept.pop_back();
                endsWithDotSegment = true;
            } else if (absolute) {
                // Nothing above the root.
                endsWithDotSegment = true;
            } else {
                // A relative path that climbs above its start keeps saying so.
                kept.push_back(segment);
            }
        } else {
            kept.push_back(segment);
        }
    }

    std::u16string result(path.substr(0, rootLength));
    for (std::size_t i = 0; i < kept.size(); ++i) {
        result.append(kept[i].name);
        // "a\b\.." is "a", not "a\".
        if (i + 1 < kept.size() || !endsWithDotSegment) {
            result.append(kept[i].separators);
        }
    }
    if (result.size() > kMaxPath) {
        result.resize(kMaxPath);
    }
    return result;
}

}  // namespace platform
