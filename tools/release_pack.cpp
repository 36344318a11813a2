#include "tools/release_pack.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "LzmaEnc.h"
#include "core/path_functions.h"
#include "package/lzma_allocator.h"
#include "platform/digest.h"
#include "tools/release_paths.h"

namespace release {
namespace {

constexpr std::size_t kCopyBuffer = 64 * 1024;
// A fixed level: the same input always gives the same packages.
constexpr int kLzmaLevel = 5;

// Reads one input file once: every chunk goes into the digest and the plain copy as it passes
// on to the encoder.
class FileReader {
public:
    FileReader(const ReleaseFile& file, const fs::path& copyPath, const std::atomic<bool>& abort,
               const std::function<bool()>& stopRequested)
        : file_(file),
          copyPath_(copyPath),
          remaining_(static_cast<std::uint64_t>(file.size)),
          abort_(abort),
          stopRequested_(stopRequested) {
        if (!md5_.ok() || !sha256_.ok()) {
            Fail("the system has no MD5 or SHA-256 digest");
        }
        in_.open(file.source, std::ios::binary);
        if (!in_) {
            Fail(Printable(file.relativeUtf8) + ": the file cannot be read");
        }
        copy_.open(copyPath, std::ios::binary | std::ios::trunc);
        if (!copy_) {
            Fail(Printable(ToUtf8(copyPath)) + ": cannot be created");
        }
    }

    // Up to size bytes into buffer; 0 at the stated end. False when reading must stop.
    bool Read(char* buffer, std::size_t& size) {
        if (abort_.load() || (stopRequested_ && stopRequested_())) {
            stopped_ = true;
            return false;
        }
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, remaining_));
        if (size == 0) {
            return true;
        }
        in_.read(buffer, static_cast<std::streamsize>(size));
        const auto got = static_cast<std::size_t>(in_.gcount());
        if (in_.bad()) {
            readFailed_ = true;
            return false;
        }
        if (got < size) {
            changed_ = true;  // shorter than when it was scanned
            return false;
        }
        md5_.Update(buffer, got);
        sha256_.Update(buffer, got);
        copy_.write(buffer, static_cast<std::streamsize>(got));
        if (!copy_) {
            copyFailed_ = true;
            return false;
        }
        remaining_ -= got;
        return true;
    }

    // The digest, after the whole stated size went through Read; throws on any failure.
    // Ends the reading and gives the file's digests.
    void Finish(PackedFile& packed) {
        if (stopped_) {
            throw BuildStopped("stopped");
        }
        if (readFailed_) {
            Fail(Printable(file_.relativeUtf8) + ": a read of the file failed");
        }
        copy_.close();
        if (copyFailed_ || !copy_) {
            Fail(Printable(ToUtf8(copyPath_)) + ": cannot be written");
        }
        if (changed_ || remaining_ != 0 || in_.peek() != std::char_traits<char>::eof()) {
            Fail(Printable(file_.relativeUtf8) + ": the file changed while it was being read");
        }
        packed.md5 = md5_.HexDigest();
        packed.sha256 = sha256_.HexDigest();
        if (packed.md5.empty() || packed.sha256.empty()) {
            Fail(Printable(file_.relativeUtf8) + ": its digest failed");
        }
    }

private:
    const ReleaseFile& file_;
    fs::path copyPath_;
    std::ifstream in_;
    std::ofstream copy_;
    platform::Digest md5_{platform::DigestKind::Md5};
    platform::Digest sha256_{platform::DigestKind::Sha256};
    std::uint64_t remaining_;
    const std::atomic<bool>& abort_;
    const std::function<bool()>& stopRequested_;
    bool stopped_ = false;
    bool readFailed_ = false;
    bool changed_ = false;
    bool copyFailed_ = false;
};

// The LZMA SDK's stream interfaces over a FileReader and an output file; the SDK hands back the
// address of the interface, which is the first member.
struct EncoderInput {
    ISeqInStream stream;
    FileReader* reader;

    static SRes Read(void* self, void* buffer, size_t* size) {
        auto* input = static_cast<EncoderInput*>(self);
        return input->reader->Read(static_cast<char*>(buffer), *size) ? SZ_OK : SZ_ERROR_READ;
    }
};

struct EncoderOutput {
    ISeqOutStream stream;
    std::ofstream* out;
    std::uint64_t written;

    static size_t Write(void* self, const void* data, size_t size) {
        auto* output = static_cast<EncoderOutput*>(self);
        output->out->write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!*output->out) {
            return 0;
        }
        output->written += size;
        return size;
    }
};

struct EncoderDeleter {
    void operator()(void* encoder) const {
        LzmaEnc_Destroy(encoder, LzmaHeapAllocator(), LzmaHeapAllocator());
    }
};

// Copies one file into files/ and, with packages, encodes it into zx/; one pass over the input.
PackedFile PackFile(const ReleaseFile& file, const fs::path& tree, bool packages,
                    const std::atomic<bool>& abort, const std::function<bool()>& stopRequested) {
    const fs::path copyPath = ServedFilePath(tree / kFilesFolder, file.gbkPath);
    CreateParentFolders(copyPath);
    FileReader reader(file, copyPath, abort, stopRequested);
    PackedFile packed;
    if (!packages) {
        std::array<char, kCopyBuffer> buffer;
        for (;;) {
            std::size_t size = buffer.size();
            if (!reader.Read(buffer.data(), size) || size == 0) {
                break;
            }
        }
        reader.Finish(packed);
        return packed;
    }

    const fs::path packagePath = ServedFilePath(tree / kPackagesFolder, file.zxPath);
    CreateParentFolders(packagePath);
    std::ofstream out(packagePath, std::ios::binary | std::ios::trunc);
    if (!out) {
        Fail(Printable(ToUtf8(packagePath)) + ": cannot be created");
    }
    std::unique_ptr<void, EncoderDeleter> encoder(LzmaEnc_Create(LzmaHeapAllocator()));
    if (!encoder) {
        Fail("out of memory for the LZMA encoder");
    }
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = kLzmaLevel;
    props.dictSize = PackageDictionarySize(static_cast<std::uint64_t>(file.size));
    props.writeEndMark = 0;  // the header states the size
    props.numThreads = 1;
    if (LzmaEnc_SetProps(encoder.get(), &props) != SZ_OK) {
        Fail("the LZMA encoder refused its settings");
    }
    // Header: the 5 property bytes, then the unpacked size as 8 little-endian bytes.
    unsigned char header[LZMA_PROPS_SIZE + 8];
    SizeT propsSize = LZMA_PROPS_SIZE;
    LzmaEnc_WriteProperties(encoder.get(), header, &propsSize);
    const auto size = static_cast<std::uint64_t>(file.size);
    for (int i = 0; i < 8; ++i) {
        header[LZMA_PROPS_SIZE + i] = static_cast<unsigned char>(size >> (8 * i));
    }
    EncoderOutput output{{EncoderOutput::Write}, &out, 0};
    output.stream.Write(&output, header, sizeof(header));

    EncoderInput input{{EncoderInput::Read}, &reader};
    const SRes result = LzmaEnc_Encode(encoder.get(), &output.stream, &input.stream, nullptr,
                                       LzmaHeapAllocator(), LzmaHeapAllocator());
    encoder.reset();
    out.close();
    if (result == SZ_ERROR_MEM) {
        Fail(Printable(file.relativeUtf8) + ": out of memory while compressing");
    }
    if (result == SZ_ERROR_WRITE || !out) {
        Fail(Printable(ToUtf8(packagePath)) + ": cannot be written");
    }
    // A read that stopped the encoder is explained here.
    reader.Finish(packed);
    if (result != SZ_OK) {
        Fail(Printable(file.relativeUtf8) + ": the LZMA encoder failed (" + std::to_string(result) +
             ")");
    }
    if (output.written > kMaxFileSize) {
        Fail(Printable(file.relativeUtf8) + ": its package would be " +
             std::to_string(output.written) + " bytes; packages must stay below 2 GiB");
    }
    packed.zxSize = static_cast<std::int32_t>(output.written);
    return packed;
}

}  // namespace

std::uint32_t PackageDictionarySize(std::uint64_t fileSize) {
    std::uint32_t size = kMinDictionarySize;
    while (size < kMaxDictionarySize && size < fileSize) {
        size <<= 1;
    }
    return size;
}

// Packs every file, largest first so that the threads finish together; stops at the first
// failure and rethrows it.
std::vector<PackedFile> PackAll(const std::vector<ReleaseFile>& files, const fs::path& tree,
                                const TreeOptions& options) {
    std::vector<PackedFile> packed(files.size());
    std::vector<std::size_t> order(files.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return files[a].size > files[b].size; });

    std::atomic<std::size_t> next{0};
    std::atomic<bool> abort{false};
    std::mutex mutex;
    std::string firstError;
    bool stopped = false;
    auto work = [&] {
        for (;;) {
            const std::size_t slot = next.fetch_add(1);
            if (slot >= order.size() || abort.load()) {
                return;
            }
            const std::size_t index = order[slot];
            try {
                packed[index] =
                    PackFile(files[index], tree, options.packages, abort, options.stopRequested);
            } catch (const std::exception& error) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!abort.exchange(true)) {
                    firstError = error.what();
                    stopped = dynamic_cast<const BuildStopped*>(&error) != nullptr;
                }
                return;
            }
        }
    };
    const std::size_t count =
        std::max<std::size_t>(1, std::min<std::size_t>(options.threads, files.size()));
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < count; ++i) {
        threads.emplace_back(work);
    }
    work();
    for (std::thread& thread : threads) {
        thread.join();
    }
    if (stopped) {
        throw BuildStopped(firstError);
    }
    if (abort.load()) {
        Fail(firstError);
    }
    return packed;
}

}  // namespace release
