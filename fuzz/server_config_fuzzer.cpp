// The service-address reply on any text: read without harm, and the request for any update file
// is the chosen base followed by the file's path.

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/server_config.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ServerConfig config;
    if (!config.Parse(text)) {
        return 0;
    }
    for (const bool compressed : {false, true}) {
        config.compressed = compressed;
        const std::string base = config.GetDownloadBase();
        FUZZ_CHECK(MakeServerUrl(config, "filelist.update") == base + "filelist.update");
    }
    return 0;
}
