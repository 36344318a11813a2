#include "package/uncompress_task.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>
#include <system_error>
#include <vector>

#include "config/file_digest.h"
#include "config/file_list.h"
#include "config/path_store.h"
#include "config/server_config.h"
#include "core/path_functions.h"
#include "package/lzma_allocator.h"
#include "platform/files.h"

#include "LzmaDec.h"

namespace {

constexpr std::size_t kHeaderSize = LZMA_PROPS_SIZE + 8;
constexpr std::size_t kBufferSize = 0x10000;
constexpr std::uint64_t kSizeNotStated = std::numeric_limits<std::uint64_t>::max();
// The result is a signed 32-bit size.
constexpr std::uint32_t kLargestUnpackedSize = 0x7FFFFFFF;
// The decoder's own smallest dictionary, and the largest that any encoder preset uses: a header
// may ask for 4 GiB, which would be allocated before a byte is decoded.
constexpr std::uint32_t kSmallestDictionary = 1u << 12;
constexpr std::uint32_t kLargestDictionary = 64u << 20;

// Reads until the buffer is full: a file may hand out fewer bytes than asked before its end.
SRes ReadExactly(platform::File& in, Byte* data, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const long n = in.Read(data + got, size - got);
        if (n < 0) {
            return SZ_ERROR_READ;
        }
        if (n == 0) {
            return SZ_ERROR_INPUT_EOF;
        }
        got += static_cast<std::size_t>(n);
    }
    return SZ_OK;
}

SRes DecodeLoop(CLzmaDec& state, platform::File& in, platform::File& out, std::uint64_t unpackSize,
                std::uint32_t maxSize, EntryCheck* check) {
    const bool sizeStated = unpackSize != kSizeNotStated;
    std::vector<Byte> inBuffer(kBufferSize);
    std::vector<Byte> outBuffer(kBufferSize);
    std::size_t inPos = 0;
    std::size_t inFill = 0;
    std::uint64_t remaining = unpackSize;
    std::uint64_t total = 0;

    LzmaDec_Init(&state);
    for (;;) {
        if (inPos == inFill) {
            const long n = in.Read(inBuffer.data(), kBufferSize);
            if (n < 0) {
                return SZ_ERROR_READ;
            }
            inFill = static_cast<std::size_t>(n);
            inPos = 0;
        }

        SizeT outSize = kBufferSize;
        ELzmaFinishMode finishMode = LZMA_FINISH_ANY;
        if (sizeStated && remaining < kBufferSize) {
            outSize = static_cast<SizeT>(remaining);
            finishMode = LZMA_FINISH_END;
        }
        SizeT inSize = inFill - inPos;
        ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
        const SRes result =
            LzmaDec_DecodeToBuf(&state, outBuffer.data(), &outSize, inBuffer.data() + inPos,
                                &inSize, finishMode, &status);
        inPos += inSize;
        remaining -= outSize;
        total += outSize;

        // Without a stated size only the running total can keep the result in range; nothing
        // past the ceiling reaches the disk.
        if (total > maxSize) {
            return SZ_ERROR_DATA;
        }
        if (outSize > 0 && out.Write(outBuffer.data(), outSize) != static_cast<long>(outSize)) {
            return SZ_ERROR_WRITE;
        }
        if (check != nullptr && outSize > 0) {
            check->Update(outBuffer.data(), outSize);
        }
        if (result != SZ_OK || (sizeStated && remaining == 0)) {
            return result;
        }
        if (inSize == 0 && outSize == 0) {
            // Input exhausted: only a stream closed by its end marker is complete.
            return !sizeStated && status == LZMA_STATUS_FINISHED_WITH_MARK ? SZ_OK : SZ_ERROR_DATA;
        }
    }
}

SRes Decode(platform::File& in, platform::File& out, std::uint32_t maxSize,
            std::uint32_t maxDictionary, EntryCheck* check) {
    Byte header[kHeaderSize];
    SRes result = ReadExactly(in, header, kHeaderSize);
    if (result != SZ_OK) {
        return result;
    }
    std::uint64_t unpackSize = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        unpackSize |= static_cast<std::uint64_t>(header[LZMA_PROPS_SIZE + i]) << (8 * i);
    }
    // Refused before the dictionary is allocated or a byte is written.
    if (unpackSize != kSizeNotStated && unpackSize > maxSize) {
        return SZ_ERROR_UNSUPPORTED;
    }

    // A stream never refers further back than the dictionary it was made with, nor further than
    // its own length. A smaller dictionary than the header states therefore decodes every
    // honest stream, and a stream that reaches beyond it fails as damaged.
    std::uint32_t dictionary = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        dictionary |= static_cast<std::uint32_t>(header[1 + i]) << (8 * i);
    }
    if (dictionary > maxDictionary) {
        for (std::size_t i = 0; i < 4; ++i) {
            header[1 + i] = static_cast<Byte>(maxDictionary >> (8 * i));
        }
    }

    CLzmaDec state;
    LzmaDec_Construct(&state);
    result = LzmaDec_Allocate(&state, header, LZMA_PROPS_SIZE, LzmaHeapAllocator());
    if (result != SZ_OK) {
        return result;
    }
    result = DecodeLoop(state, in, out, unpackSize, maxSize, check);
    LzmaDec_Free(&state, LzmaHeapAllocator());
    return result;
}

std::int32_t DecompressWithin(const std::string& source, const std::string& target,
                              std::uint32_t maxSize, std::uint32_t maxDictionary,
                              EntryCheck* check) {
    // Both files close when they go out of scope, on every path.
    platform::File in;
    if (!in.Open(source, platform::File::Mode::Read)) {
        return -1;
    }
    platform::File out;
    if (!out.Open(target, platform::File::Mode::CreateTruncate)) {
        return -1;
    }
    if (Decode(in, out, maxSize, maxDictionary, check) != SZ_OK) {
        return -1;
    }
    const std::optional<std::uint64_t> size = out.Size();
    if (!size || *size > maxSize) {
        return -1;
    }
    return static_cast<std::int32_t>(*size);
}

}  // namespace

std::int32_t DecompressFileUpTo(const std::string& source, const std::string& target,
                                std::uint32_t maxSize, EntryCheck* check) {
    maxSize = std::min(maxSize, kLargestUnpackedSize);
    return DecompressWithin(source, target, maxSize, std::max(kSmallestDictionary, maxSize), check);
}

std::int32_t DecompressFile(const std::string& source, const std::string& target,
                            EntryCheck* check) {
    return DecompressWithin(source, target, kLargestUnpackedSize, kLargestDictionary, check);
}

UncompressTask::~UncompressTask() {
    WaitAhead();
}

void UncompressTask::StartAhead() {
    WaitAhead();
    try {
        ahead_ = std::async(std::launch::async, [this] { return Unpack(); });
    } catch (const std::system_error&) {
        // No thread: Execute unpacks the package itself.
    }
}

void UncompressTask::WaitAhead() {
    if (ahead_.valid()) {
        try {
            ahead_.get();
        } catch (...) {
            // The result is forgotten, and with it what went wrong: the next Execute finds out
            // again.
        }
    }
}

bool UncompressTask::Execute() {
    if (ahead_.valid()) {
        return ahead_.get();
    }
    return Unpack();
}

bool UncompressTask::Unpack() {
    const std::string sourcePath = paths->compressedFolder + source;
    const std::string targetPath = paths->downloadFolder + target;
    CreateParentFolders(targetPath);
    // With a size in the entry, the file is exactly that long: decoding stops as soon as it
    // would pass it, and a shorter result is no more the listed file than a longer one.
    const std::int32_t listedSize = entry != nullptr ? entry->size : 0;
    // The package format has no check of its own: a stale or damaged package can unpack
    // cleanly into the wrong file, which the entry's digest exposes. It digests the bytes as
    // they are written.
    const bool signedRelease = config != nullptr && config->signedRelease;
    std::optional<EntryCheck> check;
    if (entry != nullptr && EntryCheck::Checks(*entry, signedRelease)) {
        check.emplace(*entry, signedRelease);
    }
    EntryCheck* const checkOrNull = check ? &*check : nullptr;
    const std::int32_t unpacked =
        listedSize > 0 ? DecompressFileUpTo(sourcePath, targetPath,
                                            static_cast<std::uint32_t>(listedSize), checkOrNull)
                       : DecompressFile(sourcePath, targetPath, checkOrNull);
    if (unpacked < 0 || (listedSize > 0 && unpacked != listedSize)) {
        // A later run then fetches the package again from the start.
        DiscardFile(sourcePath);
        return false;
    }
    if (check && !check->Matches()) {
        DeleteFileAt(targetPath);
        DiscardFile(sourcePath);
        return false;
    }
    return true;
}
