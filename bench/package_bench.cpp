// Decompression throughput: DecompressFile on packages of a few MB, from file to file, and xz
// on the same packages.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "package/uncompress_task.h"
#include "tests/support/child_process.h"
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

// A package of the benchmark's arguments (share of random blocks in percent, dictionary size as
// a power of two) written to a folder of its own; removed at the end.
struct PackageFile {
    explicit PackageFile(const benchmark::State& state)
        : folder(fs::temp_directory_path() / "decompress"),
          source((folder / "package.lzma").string()),
          target((folder / "unpacked").string()) {
        fs::create_directories(folder);
        package =
            Package(kUnpackedSize, static_cast<unsigned>(state.range(0)), 1u << state.range(1));
        std::ofstream(source, std::ios::binary)
            .write(package.data(), static_cast<std::streamsize>(package.size()));
    }
    ~PackageFile() { fs::remove_all(folder); }

    void Count(benchmark::State& state) const {
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kUnpackedSize));
        state.counters["package_bytes"] = static_cast<double>(package.size());
    }

    fs::path folder;
    std::string source;
    std::string target;
    std::string package;
};

void BM_DecompressFile(benchmark::State& state) {
    const PackageFile file(state);
    for (auto _ : state) {
        if (DecompressFile(file.source, file.target) != static_cast<std::int32_t>(kUnpackedSize)) {
            state.SkipWithError("decompression failed");
            break;
        }
    }
    file.Count(state);
}

// The same packages unpacked by xz, one process per package as a script runs it: the
// reference for the decoder. xz writes "package" beside "package.lzma".
void BM_XzDecompress(benchmark::State& state) {
    const PackageFile file(state);
    testsupport::ChildOptions xz;
    xz.program = "xz";
    xz.arguments = {"-d", "--format=lzma", "-k", "-f", file.source};
    for (auto _ : state) {
        if (testsupport::RunChild(xz, std::chrono::minutes(1)).exitStatus != 0) {
            state.SkipWithError("xz failed (is xz-utils installed?)");
            break;
        }
    }
    file.Count(state);
}

// Wall time: xz's work is in another process, which this one's CPU time does not see.
void PackageArguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->UseRealTime()
        ->ArgNames({"noise%", "dict_log2"})
        ->Args({5, 22})
        ->Args({30, 22})
        ->Args({30, 16})
        ->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_DecompressFile)->Apply(PackageArguments);
BENCHMARK(BM_XzDecompress)->Apply(PackageArguments);

}  // namespace
