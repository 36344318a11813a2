#pragma once
// Sample content for tests and benchmarks: text-like runs mixed with blocks of noise, so that
// packages of large samples stay large, and LZMA packages of it from the SDK's encoder.

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

// Deterministic for a seed; noisePercent of the 64-byte blocks are random bytes.
std::string SampleBytes(std::size_t size, unsigned seed, unsigned noisePercent = 33);

// Capital letters only (no zero byte, so a reply read as text is whole), in a pattern that
// shifts every 251 bytes, so that a misplaced range shows.
std::string LetterBytes(std::size_t size);

struct LzmaPackageOptions {
    bool stateSize = true;  // the header states the unpacked size; else all 64 bits set
    bool endMark = false;   // the data end with the end marker
    int lc = 3;
    int lp = 0;
    int pb = 2;
    std::uint32_t dictionary = 1u << 16;
};

// A classic .lzma package of the data: the 13-byte header, then the SDK encoder's output.
// Empty when the encoder fails.
std::string MakeLzmaPackage(const std::string& data, const LzmaPackageOptions& options = {});

}  // namespace testsupport
