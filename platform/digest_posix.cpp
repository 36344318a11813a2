#include <openssl/evp.h>

#include "platform/digest.h"

namespace platform {

struct Digest::State {
    ~State() { EVP_MD_CTX_free(context); }
    EVP_MD_CTX* context = EVP_MD_CTX_new();
};

Digest::Digest(DigestKind kind) : state_(std::make_unique<State>()) {
    const EVP_MD* type = kind == DigestKind::Md5 ? EVP_md5() : EVP_sha256();
    ok_ = state_->context != nullptr && EVP_DigestInit_ex(state_->context, type, nullptr) == 1;
}

Digest::~Digest() = default;

void Digest::Update(const void* data, std::size_t size) {
    if (ok_ && EVP_DigestUpdate(state_->context, data, size) != 1) {
        ok_ = false;
    }
}

Bytes Digest::Finish() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok_ || EVP_DigestFinal_ex(state_->context, digest, &length) != 1) {
        ok_ = false;
        return {};
    }
    ok_ = false;  // ended
    return Bytes(digest, digest + length);
}

}  // namespace platform
