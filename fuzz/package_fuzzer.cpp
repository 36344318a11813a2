// The package decoder. Any file: decoding ends cleanly, writes no more than the ceiling and
// reports exactly what it wrote. The input as data: what the SDK's encoder makes of it decodes
// back to it, and one byte less of room is refused.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

#include "fuzz/fuzz_check.h"
#include "package/uncompress_task.h"
#include "tests/support/sample_data.h"

namespace {

namespace fs = std::filesystem;

// Keeps the fuzzer fast: a header may state up to 2 GiB.
constexpr std::uint32_t kCeiling = 64 * 1024;

// A folder of this process's own under $TMPDIR, removed when the process ends normally.
class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device random;
        do {
            path_ = fs::temp_directory_path() / ("orvfuzz-" + std::to_string(random()));
        } while (!fs::create_directory(path_));
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

const ScratchFolder& Scratch() {
    static const ScratchFolder folder;
    return folder;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good());
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint64_t StatedSize(const std::string& package) {
    std::uint64_t size = 0;
    for (int i = 0; i < 8; ++i) {
        size |= static_cast<std::uint64_t>(static_cast<unsigned char>(package[5 + i])) << (8 * i);
    }
    return size;
}

void DecodeAnyFile(const std::string& bytes) {
    const std::string package = Scratch().File("any.lzma");
    const std::string target = Scratch().File("any.out");
    Write(package, bytes);
    const std::int32_t result = DecompressFileUpTo(package, target, kCeiling);
    FUZZ_CHECK(result >= -1 && result <= static_cast<std::int32_t>(kCeiling));
    if (result < 0) {
        return;
    }
    FUZZ_CHECK(fs::file_size(target) == static_cast<std::uintmax_t>(result));
    const std::uint64_t stated = StatedSize(bytes);
    FUZZ_CHECK(stated == ~std::uint64_t{0} || stated == static_cast<std::uint64_t>(result));
}

void RoundTrip(const std::string& data) {
    // The settings vary with the input, within what the encoder accepts. A stream without a
    // stated size needs its end marker to be complete.
    testsupport::LzmaPackageOptions options;
    options.stateSize = data.size() % 3 != 0;
    options.endMark = !options.stateSize || data.size() % 2 == 0;
    options.lc = static_cast<int>(data.size() % 5);
    options.lp = static_cast<int>(data.size() / 5 % 3);
    options.pb = static_cast<int>(data.size() / 15 % 5);
    options.dictionary = 1u << 12;
    const std::string bytes = testsupport::MakeLzmaPackage(data, options);
    FUZZ_CHECK(!bytes.empty());

    const std::string package = Scratch().File("data.lzma");
    const std::string target = Scratch().File("data.out");
    Write(package, bytes);
    const auto size = static_cast<std::uint32_t>(data.size());
    FUZZ_CHECK(DecompressFileUpTo(package, target, size) == static_cast<std::int32_t>(size));
    FUZZ_CHECK(Read(target) == data);
    FUZZ_CHECK(DecompressFile(package, target) == static_cast<std::int32_t>(size));
    FUZZ_CHECK(Read(target) == data);
    if (size > 0) {
        FUZZ_CHECK(DecompressFileUpTo(package, target, size - 1) == -1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    DecodeAnyFile(bytes);
    RoundTrip(bytes);
    return 0;
}
