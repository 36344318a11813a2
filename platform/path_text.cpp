// Path texts, the same on every system.

#include <vector>

#include "platform/files.h"
#include "platform/paths.h"

namespace platform {
namespace {

constexpr std::size_t kMaxPath = 260;

}  // namespace

std::u16string CanonicalizePath(std::u16string_view path) {
    // The root (a drive prefix and the separators that follow it) is never removed.
    std::size_t rootLength = 0;
    if (path.size() >= 2 && path[1] == u':') {
        rootLength = 2;
    }
    while (rootLength < path.size() && IsPathSeparator(path[rootLength])) {
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
        while (end < path.size() && !IsPathSeparator(path[end])) {
            ++end;
        }
        std::size_t after = end;
        while (after < path.size() && IsPathSeparator(path[after])) {
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

std::string CopyTemporaryPath(std::string_view toAnsi) {
    std::string path(toAnsi);
    while (!path.empty() && IsPathSeparator(path.back())) {
        path.pop_back();
    }
    return path + ".orvupdate-new";
}

}  // namespace platform
