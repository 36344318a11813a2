#include "config/file_digest.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/files.h"
#include "platform/md5.h"

namespace {

constexpr std::size_t kDigestChunk = 64 * 1024;

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool IsCheckableDigest(const std::string& md5) {
    if (md5.size() != 32) {
        return false;
    }
    for (char c : md5) {
        if (!IsHexDigit(c)) {
            return false;
        }
    }
    return true;
}

bool DigestFileStart(const std::string& path, std::uint64_t bytes, platform::Md5& digest) {
    platform::File file;
    if (!file.Open(path, platform::File::Mode::Read)) {
        return false;
    }
    std::vector<unsigned char> chunk(kDigestChunk);
    while (bytes > 0) {
        const long got = file.Read(chunk.data(), std::min<std::uint64_t>(bytes, chunk.size()));
        if (got <= 0) {
            return false;
        }
        digest.Update(chunk.data(), static_cast<std::size_t>(got));
        bytes -= static_cast<std::uint64_t>(got);
    }
    return true;
}

std::optional<std::string> FileMd5(const std::string& path) {
    platform::File file;
    if (!file.Open(path, platform::File::Mode::Read)) {
        return std::nullopt;
    }
    platform::Md5 digest;
    if (!digest.ok()) {
        return std::nullopt;
    }
    std::vector<unsigned char> chunk(kDigestChunk);
    for (;;) {
        const long got = file.Read(chunk.data(), chunk.size());
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        digest.Update(chunk.data(), static_cast<std::size_t>(got));
    }
    std::string text = digest.HexDigest();
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

bool DigestMatches(const std::string& actual, const std::string& md5) {
    if (!IsCheckableDigest(md5)) {
        return true;
    }
    if (actual.size() != md5.size()) {
        return false;
    }
    for (std::size_t i = 0; i < md5.size(); ++i) {
        if (actual[i] != LowerAscii(md5[i])) {
            return false;
        }
    }
    return true;
}

bool FileMatchesDigest(const std::string& path, const std::string& md5) {
    if (!IsCheckableDigest(md5)) {
        return true;
    }
    const std::optional<std::string> actual = FileMd5(path);
    return actual && DigestMatches(*actual, md5);
}
