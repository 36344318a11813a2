// Decompression throughput: DecompressFile on packages of a few MB, from file to file.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "package/uncompress_task.h"
#include "tests/support/sample_data.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kUnpackedSize = 8 << 20;

// Executable-like content: 64-byte blocks of text or of random bytes, noisePercent of them
// random; packed with the SDK's encoder.
std::string Package(std::size_t size, unsigned noisePercent, std::uint32_t dictionary) {
    testsupport::LzmaPackageOptions options;
    options.dictionary = dictionary;
    return testsupport::MakeLzmaPackage(testsupport::SampleBytes(size, 11, noisePercent), options);
}

// Arguments: share of random blocks in percent, dictionary size as a power of two.
void BM_DecompressFile(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "decompress";
    fs::create_directories(folder);
    const std::string source = (folder / "package.lzma").string();
    const std::string target = (folder / "unpacked").string();
    const std::string package =
        Package(kUnpackedSize, static_cast<unsigned>(state.range(0)), 1u << state.range(1));
    std::ofstream(source, std::ios::binary)
        .write(package.data(), static_cast<std::streamsize>(package.size()));

    for (auto _ : state) {
        if (DecompressFile(source, target) != static_cast<std::int32_t>(kUnpackedSize)) {
            state.SkipWithError("decompression failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kUnpackedSize));
    state.counters["package_bytes"] = static_cast<double>(package.size());
    fs::remove_all(folder);
}
BENCHMARK(BM_DecompressFile)
    ->ArgNames({"noise%", "dict_log2"})
    ->Args({5, 22})
    ->Args({30, 22})
    ->Args({30, 16})
    ->Unit(benchmark::kMillisecond);

}  // namespace
