#include "platform/md5.h"

#include <openssl/evp.h>

namespace platform {

struct Md5::State {
    ~State() { EVP_MD_CTX_free(context); }
    EVP_MD_CTX* context = EVP_MD_CTX_new();
};

Md5::Md5() : state_(std::make_unique<State>()) {
    ok_ = state_->context != nullptr && EVP_DigestInit_ex(state_->context, EVP_md5(), nullptr) == 1;
}

Md5::~Md5() = default;

void Md5::Update(const void* data, std::size_t size) {
    if (ok_ && EVP_DigestUpdate(state_->context, data, size) != 1) {
        ok_ = false;
    }
}

std::string Md5::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok_ || EVP_DigestFinal_ex(state_->context, digest, &length) != 1) {
        ok_ = false;
        return {};
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

}  // namespace platform
