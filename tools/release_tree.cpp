#include "tools/release_tree.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "LzmaEnc.h"
#include "core/path_functions.h"
#include "package/lzma_allocator.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "platform/text_codepage.h"
#include "tools/path_inside.h"

namespace release {
namespace {

constexpr std::size_t kCopyBuffer = 64 * 1024;
// A fixed level: the same input always gives the same packages.
constexpr int kLzmaLevel = 5;

fs::path FromUtf8(const std::string& utf8) {
    return fs::u8path(utf8);
}

std::string ToUtf8(const fs::path& path) {
    return path.u8string();
}

// A path for messages: control bytes and bytes of invalid UTF-8 shown as \xNN.
std::string Printable(const std::string& text) {
    const bool validUtf8 = platform::Utf16ToUtf8(platform::Utf8ToUtf16(text)) == text;
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && !validUtf8)) {
            char hex[5];
            std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
            shown += hex;
        } else {
            shown += c;
        }
    }
    return "\"" + shown + "\"";
}

[[noreturn]] void Fail(const std::string& message) {
    throw ReleaseError(message);
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

// A command-line text in GBK, or an error naming the option.
std::string OptionInGbk(const char* option, const std::string& utf8) {
    GbkText converted = ToGbkExactly(utf8);
    if (!converted.ok) {
        Fail(std::string(option) + " " + Printable(utf8) + " " + converted.problem);
    }
    return converted.gbk;
}

void CheckRelativePath(const std::string& relative, const std::string& gbk) {
    const std::string shown = Printable(relative);
    if (HasControlCharacter(relative)) {
        Fail(shown + ": the path contains a control character");
    }
    if (relative.find('\\') != std::string::npos) {
        Fail(shown + ": the path contains \"\\\", which the updater reads as a folder separator");
    }
    // A GBK trail byte 0x5C would be turned into "/" by the updater's escaping of the path,
    // so it would ask for a file that does not exist.
    if (gbk.find('\\') != std::string::npos) {
        Fail(shown +
             ": a character of the path is written in GBK with the byte 0x5C (\"\\\"), which "
             "the updater reads as a folder separator; rename it");
    }
    // One such entry makes the updater refuse the whole file list, so no installation could
    // update: a name of dots and blanks only, or a start that reads as a drive ("c:").
    if (!IsContainedRelativePath(gbk)) {
        Fail(shown +
             ": the updater would refuse the file list for this path (a name of dots and blanks "
             "only, or a drive prefix); rename it");
    }
}

fs::path Resolved(const fs::path& path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    if (error) {
        Fail(Printable(ToUtf8(path)) + ": " + error.message());
    }
    fs::path resolved = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : resolved;
}

bool IsEarlierTree(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name != "serviceAddress" && name != kFilesFolder && name != kPackagesFolder) {
            return false;
        }
    }
    return !error && fs::is_regular_file(folder / kServiceReplyPath, error) &&
           fs::is_regular_file(folder / kFilesFolder / kFileListName, error) &&
           fs::is_regular_file(folder / kFilesFolder / kNoticeName, error);
}

// ---- the parts of one file ------------------------------------------------------------------

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
        if (!digest_.ok()) {
            Fail("the system has no MD5 digest");
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
        digest_.Update(buffer, got);
        copy_.write(buffer, static_cast<std::streamsize>(got));
        if (!copy_) {
            copyFailed_ = true;
            return false;
        }
        remaining_ -= got;
        return true;
    }

    // The digest, after the whole stated size went through Read; throws on any failure.
    std::string Finish() {
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
        std::string md5 = digest_.HexDigest();
        if (md5.empty()) {
            Fail(Printable(file_.relativeUtf8) + ": its MD5 digest failed");
        }
        return md5;
    }

private:
    const ReleaseFile& file_;
    fs::path copyPath_;
    std::ifstream in_;
    std::ofstream copy_;
    platform::Md5 digest_;
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

void CreateParentFolders(const fs::path& path) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error) {
        Fail(Printable(ToUtf8(path.parent_path())) + ": cannot be created: " + error.message());
    }
}

struct PackedFile {
    std::string md5;
    std::int32_t zxSize = 0;
};

// Copies one file into files/ and, with packages, encodes it into zx/; one pass over the input.
PackedFile PackFile(const ReleaseFile& file, const fs::path& tree, bool packages,
                    const std::atomic<bool>& abort, const std::function<bool()>& stopRequested) {
    const fs::path copyPath = tree / kFilesFolder / fs::path(file.gbkPath);
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
        packed.md5 = reader.Finish();
        return packed;
    }

    const fs::path packagePath = tree / kPackagesFolder / fs::path(file.zxPath);
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
    packed.md5 = reader.Finish();
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

// ---- the JSON documents ---------------------------------------------------------------------

// The writer passes string bytes through unchanged, so GBK texts stay GBK.
using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

void Key(JsonWriter& writer, const std::string& key) {
    writer.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()), true);
}
void Text(JsonWriter& writer, const std::string& text) {
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()), true);
}

std::string FileListJson(const std::vector<ReleaseFile>& files,
                         const std::vector<PackedFile>& packed) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    writer.StartObject();
    for (std::size_t i = 0; i < files.size(); ++i) {
        Key(writer, files[i].memberName);
        writer.StartObject();
        Key(writer, "md5");
        Text(writer, packed[i].md5);
        Key(writer, "size");
        writer.Int(files[i].size);
        Key(writer, "zxpath");
        Text(writer, files[i].zxPath);
        Key(writer, "zxsize");
        writer.Int(packed[i].zxSize);
        writer.EndObject();
    }
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string NoticeJson(const std::string& id, const std::string& version,
                       const std::vector<std::string>& notices) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    writer.StartObject();
    Key(writer, "ID");
    Text(writer, id);
    Key(writer, "version");
    Text(writer, version);
    Key(writer, "notice");
    writer.StartArray();
    for (const std::string& notice : notices) {
        Text(writer, notice);
    }
    writer.EndArray();
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string ServiceReplyJson(const std::string& baseUrl, const std::string& homepage, bool packages,
                             std::int32_t downTime, std::int32_t downRetry) {
    rapidjson::StringBuffer buffer;
    JsonWriter writer(buffer);
    writer.StartObject();
    // The updater only stores "docurl"; the home page is the one document the tree names.
    Key(writer, "docurl");
    Text(writer, homepage);
    Key(writer, "downurl");
    Text(writer, baseUrl + kFilesFolder + "/");
    Key(writer, "downzxurl");
    Text(writer, packages ? baseUrl + kPackagesFolder + "/" : std::string());
    Key(writer, "homepage");
    Text(writer, homepage);
    Key(writer, "downtime");
    writer.Int(downTime);
    Key(writer, "downretry");
    writer.Int(downRetry);
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

void WriteWholeFile(const fs::path& path, const std::string& bytes) {
    CreateParentFolders(path);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        Fail(Printable(ToUtf8(path)) + ": cannot be written");
    }
}

// ---- the folders ----------------------------------------------------------------------------

struct CheckedTexts {
    std::string version, id, baseUrl, homepage;
    std::vector<std::string> notices;
};

CheckedTexts CheckOptions(const TreeOptions& options) {
    CheckedTexts texts;
    if (options.version.empty()) {
        Fail("--version is empty");
    }
    if (options.id.empty()) {
        Fail("--id is empty");
    }
    texts.version = OptionInGbk("--version", options.version);
    texts.id = OptionInGbk("--id", options.id);
    const std::string& base = options.baseUrl;
    const bool web = base.rfind("http://", 0) == 0 || base.rfind("https://", 0) == 0;
    if (!web || base.back() != '/' || HasControlCharacter(base) ||
        base.find(' ') != std::string::npos) {
        Fail("--base-url " + Printable(base) +
             " must be an http:// or https:// address without blanks that ends with \"/\"");
    }
    texts.baseUrl = OptionInGbk("--base-url", base);
    if (HasControlCharacter(options.homepage)) {
        Fail("--homepage " + Printable(options.homepage) + " contains a control character");
    }
    texts.homepage = OptionInGbk("--homepage", options.homepage);
    for (const std::string& notice : options.notices) {
        texts.notices.push_back(OptionInGbk("--notice", notice));
    }
    if (options.downTime < 0) {
        Fail("--downtime must be 0 (no limit) or a number of seconds");
    }
    if (options.downRetry < 1) {
        Fail("--downretry must be at least 1");
    }
    return texts;
}

// Refuses an output that would overwrite something that is not an earlier tree, or that lies
// inside the input (or the input inside it).
void CheckFolders(const TreeOptions& options) {
    std::error_code error;
    if (!fs::is_directory(options.from, error)) {
        Fail("--from " + Printable(ToUtf8(options.from)) + " is not a folder");
    }
    if (options.out.empty() || options.out.filename().empty() || options.out.filename() == "." ||
        options.out.filename() == "..") {
        Fail("--out " + Printable(ToUtf8(options.out)) + " must name a folder");
    }
    const fs::path from = Resolved(options.from);
    const fs::path out = Resolved(options.out);
    if (IsInside(out, from)) {
        Fail("--out " + Printable(ToUtf8(options.out)) + " lies inside --from " +
             Printable(ToUtf8(options.from)));
    }
    if (IsInside(from, out)) {
        Fail("--from " + Printable(ToUtf8(options.from)) + " lies inside --out " +
             Printable(ToUtf8(options.out)));
    }
    const fs::file_status status = fs::symlink_status(options.out, error);
    if (!fs::exists(status)) {
        return;
    }
    if (!fs::is_directory(status)) {
        Fail("--out " + Printable(ToUtf8(options.out)) + " exists and is not a folder");
    }
    if (!fs::is_empty(options.out, error) && !IsEarlierTree(options.out)) {
        Fail("--out " + Printable(ToUtf8(options.out)) +
             " is neither empty nor an earlier update tree; choose another folder");
    }
}

fs::path CreateSibling(const fs::path& out, const std::string& suffix) {
    const fs::path parent = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    std::error_code error;
    fs::create_directories(parent, error);
    std::u16string created;
    if (error || !platform::CreateUniqueFolder(
                     platform::Utf8ToUtf16(ToUtf8(parent)),
                     platform::Utf8ToUtf16(ToUtf8(out.filename()) + suffix), created)) {
        Fail(Printable(ToUtf8(parent)) + ": cannot create a folder there");
    }
    return FromUtf8(platform::Utf16ToUtf8(created));
}

// Moves the finished tree into place; an earlier tree is moved aside first and removed last.
void MoveIntoPlace(const fs::path& partial, const fs::path& out) {
    std::error_code error;
    fs::path aside;
    if (fs::exists(fs::symlink_status(out, error))) {
        aside = CreateSibling(out, ".old-");
        fs::rename(out, aside, error);  // replaces the empty placeholder
        if (error) {
            fs::remove(aside, error);
            Fail(Printable(ToUtf8(out)) + ": cannot be replaced: " + error.message());
        }
    }
    fs::rename(partial, out, error);
    if (error) {
        const std::string reason = error.message();
        if (!aside.empty()) {
            fs::rename(aside, out, error);
        }
        Fail(Printable(ToUtf8(out)) + ": cannot be created: " + reason);
    }
    if (!aside.empty()) {
        fs::remove_all(aside, error);
    }
}

}  // namespace

GbkText ToGbkExactly(const std::string& utf8) {
    GbkText result;
    if (platform::Utf16ToUtf8(platform::Utf8ToUtf16(utf8)) != utf8) {
        result.problem = "is not valid UTF-8";
        return result;
    }
    // The converter puts "?" for what GBK lacks; only an exact way back proves the text whole.
    std::string gbk = platform::Utf8ToAnsi(utf8);
    if (platform::AnsiToUtf8(gbk) != utf8) {
        result.problem = "cannot be written in GBK";
        return result;
    }
    result.ok = true;
    result.gbk = std::move(gbk);
    return result;
}

std::string PackagePath(const std::string& gbkPath) {
    return gbkPath + ".lzma";
}

std::uint32_t PackageDictionarySize(std::uint64_t fileSize) {
    std::uint32_t size = kMinDictionarySize;
    while (size < kMaxDictionarySize && size < fileSize) {
        size <<= 1;
    }
    return size;
}

std::vector<ReleaseFile> ScanReleaseFolder(const fs::path& from, bool packages,
                                           std::vector<std::string>* skipped) {
    std::vector<ReleaseFile> files;
    std::vector<std::pair<fs::path, std::string>> pending = {{from, ""}};
    while (!pending.empty()) {
        const auto [folder, prefix] = pending.back();
        pending.pop_back();
        const std::string shownFolder = Printable(prefix.empty() ? ToUtf8(from) : prefix);
        std::error_code error;
        fs::directory_iterator it(folder, error);
        for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
            const std::string name = ToUtf8(it->path().filename());
            const std::string relative = prefix.empty() ? name : prefix + "/" + name;
            const bool manifestName =
                prefix.empty() && (name == kFileListName || name == kNoticeName);
            const fs::file_status status = it->symlink_status(error);
            if (error) {
                break;
            }
            if (fs::is_symlink(status)) {
                Fail(Printable(relative) +
                     ": symbolic links are refused, not followed; put the file itself there");
            }
            if (fs::is_directory(status)) {
                if (manifestName) {
                    Fail(Printable(relative) + ": this name is reserved for a manifest");
                }
                pending.emplace_back(it->path(), relative);
                continue;
            }
            if (!fs::is_regular_file(status)) {
                Fail(Printable(relative) + ": not a regular file");
            }
            if (manifestName) {
                if (skipped) {
                    skipped->push_back(relative);
                }
                continue;
            }
            const GbkText gbk = ToGbkExactly(relative);
            if (!gbk.ok) {
                Fail(Printable(relative) + ": the path " + gbk.problem);
            }
            CheckRelativePath(relative, gbk.gbk);
            const std::uintmax_t size = it->file_size(error);
            if (error) {
                Fail(Printable(relative) + ": the size cannot be read: " + error.message());
            }
            if (size > kMaxFileSize) {
                Fail(Printable(relative) + ": " + std::to_string(size) +
                     " bytes; files must stay below 2 GiB (2147483648 bytes)");
            }
            if (!std::ifstream(it->path(), std::ios::binary)) {
                Fail(Printable(relative) + ": the file cannot be read");
            }
            ReleaseFile file;
            file.source = it->path();
            file.relativeUtf8 = relative;
            file.gbkPath = gbk.gbk;
            file.memberName = gbk.gbk;
            std::replace(file.memberName.begin(), file.memberName.end(), '/', '\\');
            file.zxPath = packages ? PackagePath(gbk.gbk) : std::string();
            file.size = static_cast<std::int32_t>(size);
            files.push_back(std::move(file));
        }
        if (error) {
            Fail(shownFolder + ": the folder cannot be read: " + error.message());
        }
    }
    std::sort(files.begin(), files.end(), [](const ReleaseFile& a, const ReleaseFile& b) {
        return a.memberName < b.memberName;
    });

    // "a" packs to "a.lzma", which must not also be a folder of another package ("a.lzma/b").
    if (packages) {
        std::set<std::string> folders;
        for (const ReleaseFile& file : files) {
            for (std::size_t slash = file.zxPath.find('/'); slash != std::string::npos;
                 slash = file.zxPath.find('/', slash + 1)) {
                folders.insert(file.zxPath.substr(0, slash));
            }
        }
        for (const ReleaseFile& file : files) {
            if (folders.count(file.zxPath) != 0) {
                Fail(Printable(file.relativeUtf8) + ": its package " +
                     Printable(file.relativeUtf8 + ".lzma") +
                     " would have the name of a folder of the input; rename one of them");
            }
        }
    }
    return files;
}

TreeSummary BuildReleaseTree(const TreeOptions& given) {
    TreeOptions options = given;
    // "tree/" names the folder "tree".
    if (!options.out.has_filename()) {
        options.out = options.out.parent_path();
    }
    const CheckedTexts texts = CheckOptions(options);
    CheckFolders(options);
    TreeSummary summary;
    summary.files = ScanReleaseFolder(options.from, options.packages, &summary.skipped);

    const fs::path partial = CreateSibling(options.out, ".partial-");
    try {
        // Readable by a web server running as another user.
        std::error_code ignored;
        fs::permissions(partial,
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec,
                        ignored);
        const std::vector<PackedFile> packed = PackAll(summary.files, partial, options);
        const std::string fileList = FileListJson(summary.files, packed);
        const std::string notice = NoticeJson(texts.id, texts.version, texts.notices);
        std::vector<std::string> folders = {kFilesFolder};
        if (options.packages) {
            folders.push_back(kPackagesFolder);
        }
        for (const std::string& folder : folders) {
            WriteWholeFile(partial / folder / kFileListName, fileList);
            WriteWholeFile(partial / folder / kNoticeName, notice);
        }
        WriteWholeFile(partial / kServiceReplyPath,
                       ServiceReplyJson(texts.baseUrl, texts.homepage, options.packages,
                                        options.downTime, options.downRetry));
        if (options.stopRequested && options.stopRequested()) {
            throw BuildStopped("stopped");
        }
        MoveIntoPlace(partial, options.out);
        for (std::size_t i = 0; i < summary.files.size(); ++i) {
            summary.totalSize += static_cast<std::uint64_t>(summary.files[i].size);
            summary.totalPackageSize += static_cast<std::uint64_t>(packed[i].zxSize);
        }
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(partial, ignored);
        throw;
    }
    return summary;
}

}  // namespace release
