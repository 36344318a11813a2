// The JSON loader on any text: reading never fails unsafely, a document is taken whole or with
// only white space after it, and the lenient key reads are stable once they have changed a
// member.

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/json_loader.h"
#include "fuzz/fuzz_check.h"
#include "tests/support/exposed_loader.h"

namespace {

// Keys of the server configuration and both manifests, and one that no document holds.
const char* const kKeys[] = {"downurl", "downzxurl", "downtime", "ID",     "version",
                             "notice",  "md5",       "size",     "zxpath", "not there"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    testsupport::ExposedLoader loader;
    const bool parsed = loader.Parse(text);
    FUZZ_CHECK(loader.root != nullptr && loader.root->IsObject());
    if (parsed) {
        // The loader holds what it read, so the same members again are refused.
        FUZZ_CHECK(loader.root->MemberCount() == 0 || !loader.Parse(text));

        JsonLoader trailingBlank;
        FUZZ_CHECK(trailingBlank.Parse(text + " \r\n\t"));
        // The text ends at its first zero byte, so only text without one is whole.
        JsonLoader trailingText;
        FUZZ_CHECK(text.find('\0') != std::string::npos || !trailingText.Parse(text + "x"));
    }

    for (const char* key : kKeys) {
        const std::string first = loader.GetString(key);
        FUZZ_CHECK(loader.GetString(key) == first);
        const std::int32_t number = loader.GetNumber(key);
        FUZZ_CHECK(loader.GetNumber(key) == number);
        FUZZ_CHECK(loader.GetArray(key).IsArray());
        FUZZ_CHECK(loader.GetObject(key).IsObject());
        FUZZ_CHECK(loader.root->HasMember(key));
    }
    return 0;
}
