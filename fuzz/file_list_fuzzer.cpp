// The server's file list on any text. Whatever it holds, an entry that the list calls contained
// can neither climb out of the installation folder on disk nor out of the download base in its
// request, and the index by path agrees with the entries.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "config/file_list.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/path_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ServerFileList list;
    list.Parse(text);

    std::set<std::string> paths;
    for (const auto& entry : list.Entries()) {
        FUZZ_CHECK(list.Find(entry.path) == &entry);
        FUZZ_CHECK(paths.insert(std::string(entry.path)).second);
    }
    FUZZ_CHECK(list.Count() == paths.size());

    const bool plain = list.IsContained(false);
    const bool packed = list.IsContained(true);
    FUZZ_CHECK(!packed || plain);
    for (const auto& entry : list.Entries()) {
        if (plain) {
            fuzzpath::CheckContainedPath(std::string(entry.path));
        }
        if (packed) {
            fuzzpath::CheckContainedPath(std::string(entry.zxPath));
        }
    }
    return 0;
}
