#include "config/file_digest.h"

#include <cctype>
#include <memory>
#include <vector>

#include <openssl/evp.h>

#include "platform/files.h"

namespace {

constexpr std::size_t kDigestChunk = 64 * 1024;

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

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

std::optional<std::string> FileMd5(const std::string& path) {
    platform::File file;
    if (!file.Open(path, platform::File::Mode::Read)) {
        return std::nullopt;
    }
    std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) {
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
        if (EVP_DigestUpdate(context.get(), chunk.data(), static_cast<std::size_t>(got)) != 1) {
            return std::nullopt;
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return std::nullopt;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0F]);
    }
    return text;
}

bool FileMatchesDigest(const std::string& path, const std::string& md5) {
    if (!IsCheckableDigest(md5)) {
        return true;
    }
    const std::optional<std::string> actual = FileMd5(path);
    if (!actual || actual->size() != md5.size()) {
        return false;
    }
    for (std::size_t i = 0; i < md5.size(); ++i) {
        if ((*actual)[i] != LowerAscii(md5[i])) {
            return false;
        }
    }
    return true;
}
