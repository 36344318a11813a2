#pragma once
// The tree builder's JSON documents, byte for byte as the updater reads them; texts are GBK.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/release_pack.h"
#include "tools/release_tree.h"

namespace release {

// "filelist.update": one entry per file, in the order of files; a signed release's entries also
// carry "sha256".
std::string FileListJson(const std::vector<ReleaseFile>& files,
                         const std::vector<PackedFile>& packed, bool withSha256 = false);
// "fldz.update".
std::string NoticeJson(const std::string& id, const std::string& version,
                       const std::vector<std::string>& notices);
// The service-address reply.
std::string ServiceReplyJson(const std::string& baseUrl, const std::string& homepage, bool packages,
                             std::int32_t downTime, std::int32_t downRetry);

}  // namespace release
