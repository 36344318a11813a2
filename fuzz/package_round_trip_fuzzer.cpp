// Any data through the SDK's encoder and back through the package decoder: it comes back
// unchanged with exactly its size as the ceiling, and one byte less of room is refused. The
// encoder's settings vary with the data.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/scratch_files.h"
#include "package/uncompress_task.h"
#include "tests/support/sample_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string original(reinterpret_cast<const char*>(data), size);

    // Within what the encoder accepts. A stream without a stated size is complete only with its
    // end marker.
    testsupport::LzmaPackageOptions options;
    options.stateSize = size % 3 != 0;
    options.endMark = !options.stateSize || size % 2 == 0;
    options.lc = static_cast<int>(size % 5);
    options.lp = static_cast<int>(size / 5 % 3);
    options.pb = static_cast<int>(size / 15 % 5);
    options.dictionary = 1u << 12;
    const std::string bytes = testsupport::MakeLzmaPackage(original, options);
    FUZZ_CHECK(!bytes.empty());

    const std::string package = fuzzfiles::ScratchFile("data.lzma");
    const std::string target = fuzzfiles::ScratchFile("data.out");
    fuzzfiles::Write(package, bytes);
    const auto exact = static_cast<std::int32_t>(size);
    FUZZ_CHECK(DecompressFileUpTo(package, target, static_cast<std::uint32_t>(size)) == exact);
    FUZZ_CHECK(fuzzfiles::Read(target) == original);
    FUZZ_CHECK(DecompressFile(package, target) == exact);
    FUZZ_CHECK(fuzzfiles::Read(target) == original);
    if (size > 0) {
        FUZZ_CHECK(DecompressFileUpTo(package, target, static_cast<std::uint32_t>(size - 1)) == -1);
    }
    return 0;
}
