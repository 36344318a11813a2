// The servers' Range parser on any header and file size: a part always lies inside the
// file, and the header that states that part exactly gives the same part.

#include <cstddef>
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/fuzz_check.h"
#include "tools/byte_range.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    // Small sizes most of the time, so that the ends of the file are often in reach.
    const unsigned long long total = input.ConsumeBool()
                                         ? input.ConsumeIntegralInRange<unsigned long long>(0, 64)
                                         : input.ConsumeIntegral<unsigned long long>();
    const std::string header = input.ConsumeRemainingBytesAsString();

    const release::ByteRange range = release::ParseByteRange(header, total);
    if (range.kind != release::ByteRange::Kind::Part) {
        return 0;
    }
    FUZZ_CHECK(range.first <= range.last && range.last < total);
    const std::string exact =
        "bytes=" + std::to_string(range.first) + "-" + std::to_string(range.last);
    const release::ByteRange again = release::ParseByteRange(exact, total);
    FUZZ_CHECK(again.kind == release::ByteRange::Kind::Part);
    FUZZ_CHECK(again.first == range.first && again.last == range.last);
    return 0;
}
