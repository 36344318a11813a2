// Decompression throughput: DecompressFile on packages of a few MB, from file to file.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "LzmaEnc.h"
#include "package/uncompress_task.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kUnpackedSize = 8 << 20;

// Executable-like content: 64-byte blocks of text or of random bytes, noisePercent of them
// random.
std::string Sample(std::size_t size, unsigned noisePercent) {
    static const char* const words[] = {"orvel", "update", "package", "\r\n", "0123", "\t"};
    std::mt19937 random(11);
    std::string data;
    data.reserve(size + 64);
    while (data.size() < size) {
        const bool noise = random() % 100 < noisePercent;
        const std::size_t blockEnd = data.size() + 64;
        while (data.size() < blockEnd) {
            if (noise) {
                data.push_back(static_cast<char>(random()));
            } else {
                data += words[random() % 6];
            }
        }
    }
    data.resize(size);
    return data;
}

void* Alloc(void*, size_t size) {
    return std::malloc(size);
}
void Free(void*, void* address) {
    std::free(address);
}
ISzAlloc allocator = {Alloc, Free};

std::string Package(const std::string& data, std::uint32_t dictionary) {
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.dictSize = dictionary;
    props.numThreads = 1;
    std::vector<unsigned char> packed(data.size() + data.size() / 2 + 4096);
    SizeT packedSize = packed.size();
    unsigned char header[13];
    SizeT propsSize = 5;
    if (LzmaEncode(packed.data(), &packedSize, reinterpret_cast<const unsigned char*>(data.data()),
                   data.size(), &props, header, &propsSize, 0, nullptr, &allocator,
                   &allocator) != SZ_OK) {
        return {};
    }
    for (int i = 0; i < 8; ++i) {
        header[5 + i] =
            static_cast<unsigned char>(static_cast<std::uint64_t>(data.size()) >> (8 * i));
    }
    return std::string(reinterpret_cast<const char*>(header), sizeof header) +
           std::string(reinterpret_cast<const char*>(packed.data()), packedSize);
}

// Arguments: share of random blocks in percent, dictionary size as a power of two.
void BM_DecompressFile(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "decompress";
    fs::create_directories(folder);
    const std::string source = (folder / "package.lzma").string();
    const std::string target = (folder / "unpacked").string();
    const std::string package =
        Package(Sample(kUnpackedSize, static_cast<unsigned>(state.range(0))), 1u << state.range(1));
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
