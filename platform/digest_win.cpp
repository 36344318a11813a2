// Digests from Windows CNG (bcrypt).

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>

#include "platform/digest.h"

namespace platform {
namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

BCRYPT_ALG_HANDLE OpenProvider(const wchar_t* algorithm) {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&opened, algorithm, nullptr, 0))) {
        return nullptr;
    }
    return opened;
}

// One provider per digest for the process: opening one is slow, and its hashes may be made from
// any thread.
BCRYPT_ALG_HANDLE Provider(DigestKind kind) {
    static const BCRYPT_ALG_HANDLE md5 = OpenProvider(BCRYPT_MD5_ALGORITHM);
    static const BCRYPT_ALG_HANDLE sha256 = OpenProvider(BCRYPT_SHA256_ALGORITHM);
    return kind == DigestKind::Md5 ? md5 : sha256;
}

}  // namespace

struct Digest::State {
    ~State() {
        if (hash != nullptr) {
            BCryptDestroyHash(hash);
        }
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    ULONG length = 0;
};

Digest::Digest(DigestKind kind) : state_(std::make_unique<State>()) {
    const BCRYPT_ALG_HANDLE provider = Provider(kind);
    state_->length = kind == DigestKind::Md5 ? 16 : 32;
    // The system keeps the hash object's memory itself (no buffer given).
    ok_ = provider != nullptr &&
          Succeeded(BCryptCreateHash(provider, &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Digest::~Digest() = default;

void Digest::Update(const void* data, std::size_t size) {
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

Bytes Digest::Finish() {
    Bytes digest(state_->length);
    if (!ok_ || !Succeeded(BCryptFinishHash(state_->hash, digest.data(), state_->length, 0))) {
        ok_ = false;
        return {};
    }
    ok_ = false;  // ended
    return digest;
}

}  // namespace platform
