#pragma once
// The tree builder's files: each input file copied into files/ and, with packages, encoded into
// zx/, in one read.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/release_tree.h"

namespace release {

struct PackedFile {
    std::string md5;
    std::string sha256;
    std::int32_t zxSize = 0;
};

// Packs every file below tree on options.threads threads, in the order of files; stops at the
// first failure and throws it (BuildStopped when options.stopRequested said so).
std::vector<PackedFile> PackAll(const std::vector<ReleaseFile>& files, const fs::path& tree,
                                const TreeOptions& options);

}  // namespace release
