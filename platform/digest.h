#pragma once
// Streaming digests from the system's cryptography: MD5, the checksum of the file lists, and
// SHA-256, which signed releases list for every file and sign.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using Bytes = std::vector<unsigned char>;

enum class DigestKind { Md5, Sha256 };

class Digest {
public:
    explicit Digest(DigestKind kind);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    // False when the system lacks the digest or one of its steps failed.
    bool ok() const { return ok_; }
    void Update(const void* data, std::size_t size);
    // The digest of everything passed to Update: 16 bytes for MD5, 32 for SHA-256; empty when
    // not ok(). Ends the digest: call it, or HexDigest, once.
    Bytes Finish();
    // Finish() as lower-case hexadecimal digits; empty when not ok().
    std::string HexDigest();

private:
    struct State;
    std::unique_ptr<State> state_;
    bool ok_ = false;
};

// The digest of one block of bytes; empty when the system cannot make it.
Bytes DigestOf(DigestKind kind, std::string_view bytes);

// Lower-case hexadecimal digits of the bytes.
std::string HexText(const Bytes& bytes);
// The bytes of a text of hexadecimal digits (either case); nothing for an odd length or any
// other character.
std::optional<Bytes> BytesFromHex(std::string_view text);

}  // namespace platform
