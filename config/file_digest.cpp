#include "config/file_digest.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "config/file_list.h"
#include "platform/files.h"

namespace {

constexpr std::size_t kDigestChunk = 64 * 1024;

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads the file's first `bytes` bytes (all of it without a count) into sink, with a fixed
// buffer; false when it cannot be read or is shorter.
template <typename Sink>
bool ReadFileInto(const std::string& path, std::optional<std::uint64_t> bytes, Sink&& sink) {
    platform::File file;
    if (!file.Open(path, platform::File::Mode::Read)) {
        return false;
    }
    std::vector<unsigned char> chunk(kDigestChunk);
    std::uint64_t left = bytes.value_or(UINT64_MAX);
    while (left > 0) {
        const long got = file.Read(chunk.data(), std::min<std::uint64_t>(left, chunk.size()));
        if (got < 0 || (got == 0 && bytes)) {
            return false;
        }
        if (got == 0) {
            break;
        }
        sink(chunk.data(), static_cast<std::size_t>(got));
        left -= static_cast<std::uint64_t>(got);
    }
    return true;
}

}  // namespace

bool IsCheckableDigest(std::string_view md5) {
    return md5.size() == 32 && std::all_of(md5.begin(), md5.end(), IsHexDigit);
}

bool IsSha256Text(std::string_view sha256) {
    return sha256.size() == 64 && std::all_of(sha256.begin(), sha256.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

std::optional<std::string> FileMd5(const std::string& path) {
    platform::Digest digest(platform::DigestKind::Md5);
    if (!ReadFileInto(path, std::nullopt,
                      [&](const void* data, std::size_t size) { digest.Update(data, size); })) {
        return std::nullopt;
    }
    std::string text = digest.HexDigest();
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

bool EntryCheck::Checks(const FileInfoItem1& entry, bool signedRelease) {
    return signedRelease || IsCheckableDigest(entry.md5);
}

EntryCheck::EntryCheck(const FileInfoItem1& entry, bool signedRelease) : entry_(entry) {
    if (IsCheckableDigest(entry.md5)) {
        md5_ = std::make_unique<platform::Digest>(platform::DigestKind::Md5);
    }
    if (signedRelease) {
        sha256_ = std::make_unique<platform::Digest>(platform::DigestKind::Sha256);
    }
}

void EntryCheck::Update(const void* data, std::size_t size) {
    if (md5_) {
        md5_->Update(data, size);
    }
    if (sha256_) {
        sha256_->Update(data, size);
    }
}

bool EntryCheck::UpdateFromFile(const std::string& path, std::optional<std::uint64_t> bytes) {
    return ReadFileInto(path, bytes,
                        [this](const void* data, std::size_t size) { Update(data, size); });
}

bool EntryCheck::Matches() {
    if (md5_) {
        const std::string actual = md5_->HexDigest();
        if (actual.size() != entry_.md5.size() ||
            !std::equal(actual.begin(), actual.end(), entry_.md5.begin(),
                        [](char a, char listed) { return a == LowerAscii(listed); })) {
            return false;
        }
    }
    if (sha256_) {
        return IsSha256Text(entry_.sha256) && sha256_->HexDigest() == entry_.sha256;
    }
    return true;
}

bool FileMatchesEntry(const std::string& path, const FileInfoItem1& entry, bool signedRelease) {
    if (!EntryCheck::Checks(entry, signedRelease)) {
        return true;
    }
    EntryCheck check(entry, signedRelease);
    return check.UpdateFromFile(path, std::nullopt) && check.Matches();
}
