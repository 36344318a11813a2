#include "tests/support/sample_data.h"

#include <random>
#include <vector>

#include <LzmaEnc.h>

#include "package/lzma_allocator.h"

namespace testsupport {

std::string SampleBytes(std::size_t size, unsigned seed, unsigned noisePercent) {
    static const char* const words[] = {"orvel ", "update ", "package ", "\r\n", "0123 ", "\t"};
    std::mt19937 random(seed);
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

std::string LetterBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>('A' + (i * 7 + i / 251) % 26);
    }
    return bytes;
}

std::string MakeLzmaPackage(const std::string& data, const LzmaPackageOptions& options) {
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = 5;
    props.dictSize = options.dictionary;
    props.lc = options.lc;
    props.lp = options.lp;
    props.pb = options.pb;
    props.numThreads = 1;
    std::vector<unsigned char> packed(data.size() + data.size() / 2 + 4096);
    SizeT packedSize = packed.size();
    unsigned char header[13];
    SizeT propsSize = LZMA_PROPS_SIZE;
    if (LzmaEncode(packed.data(), &packedSize, reinterpret_cast<const unsigned char*>(data.data()),
                   data.size(), &props, header, &propsSize, options.endMark ? 1 : 0, nullptr,
                   LzmaHeapAllocator(), LzmaHeapAllocator()) != SZ_OK) {
        return {};
    }
    const std::uint64_t size = options.stateSize ? data.size() : ~std::uint64_t{0};
    for (int i = 0; i < 8; ++i) {
        header[5 + i] = static_cast<unsigned char>(size >> (8 * i));
    }
    return std::string(reinterpret_cast<const char*>(header), sizeof header) +
           std::string(reinterpret_cast<const char*>(packed.data()), packedSize);
}

}  // namespace testsupport
