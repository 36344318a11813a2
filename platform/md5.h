#pragma once
// A streaming MD5 digest, the checksum of the updater's file lists, from the system's
// cryptography library.

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;

    // False when the system has no MD5 digest or one of its steps failed.
    bool ok() const { return ok_; }
    void Update(const void* data, std::size_t size);
    // The digest of everything passed to Update as 32 lower-case hexadecimal digits; empty when
    // not ok(). Ends the digest: call it once.
    std::string HexDigest();

private:
    struct State;
    std::unique_ptr<State> state_;
    bool ok_ = false;
};

}  // namespace platform
