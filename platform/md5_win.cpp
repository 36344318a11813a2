// MD5 from Windows CNG (bcrypt).

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>

#include "platform/md5.h"

namespace platform {
namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

// One provider for the process: opening it is slow, and its hashes may be made from any thread.
BCRYPT_ALG_HANDLE Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        if (!Succeeded(BCryptOpenAlgorithmProvider(&opened, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
            return BCRYPT_ALG_HANDLE{nullptr};
        }
        return opened;
    }();
    return provider;
}

}  // namespace

struct Md5::State {
    ~State() {
        if (hash != nullptr) {
            BCryptDestroyHash(hash);
        }
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
};

Md5::Md5() : state_(std::make_unique<State>()) {
    const BCRYPT_ALG_HANDLE provider = Provider();
    // The system keeps the hash object's memory itself (no buffer given).
    ok_ = provider != nullptr &&
          Succeeded(BCryptCreateHash(provider, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Md5::~Md5() = default;

void Md5::Update(const void* data, std::size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    while (ok_ && size > 0) {
        const ULONG part = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        if (!Succeeded(BCryptHashData(state_->hash, const_cast<unsigned char*>(bytes), part, 0))) {
            ok_ = false;
        }
        bytes += part;
        size -= part;
    }
}

std::string Md5::HexDigest() {
    unsigned char digest[16];
    if (!ok_ || !Succeeded(BCryptFinishHash(state_->hash, digest, sizeof(digest), 0))) {
        ok_ = false;
        return {};
    }
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(sizeof(digest) * 2);
    for (const unsigned char byte : digest) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0x0F]);
    }
    return text;
}

}  // namespace platform
