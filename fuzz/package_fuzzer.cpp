// The package decoder on any file: decoding ends cleanly, writes no more than the ceiling, and
// reports exactly what it wrote, which is the size that the header states when it states one.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_check.h"
#include "fuzz/scratch_files.h"
#include "package/uncompress_task.h"

namespace {

// Keeps the fuzzer fast: a header may state up to 2 GiB.
constexpr std::uint32_t kCeiling = 64 * 1024;

std::uint64_t StatedSize(const std::string& package) {
    std::uint64_t size = 0;
    for (int i = 0; i < 8; ++i) {
        size |= static_cast<std::uint64_t>(static_cast<unsigned char>(package[5 + i])) << (8 * i);
    }
    return size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string package = fuzzfiles::ScratchFile("any.lzma");
    const std::string target = fuzzfiles::ScratchFile("any.out");
    fuzzfiles::Write(package, bytes);

    const std::int32_t result = DecompressFileUpTo(package, target, kCeiling);
    FUZZ_CHECK(result >= -1 && result <= static_cast<std::int32_t>(kCeiling));
    if (result < 0) {
        return 0;
    }
    // Only a whole header gets this far.
    FUZZ_CHECK(std::filesystem::file_size(target) == static_cast<std::uintmax_t>(result));
    const std::uint64_t stated = StatedSize(bytes);
    FUZZ_CHECK(stated == ~std::uint64_t{0} || stated == static_cast<std::uint64_t>(result));
    return 0;
}
