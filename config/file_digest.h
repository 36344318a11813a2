#pragma once
// Checking a file against its file-list entry: its "md5" text and, in a signed release, its
// "sha256" text.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/digest.h"

class FileInfoItem1;

// Whether an "md5" text can be checked: exactly 32 hexadecimal digits, either case.
bool IsCheckableDigest(std::string_view md5);
// Whether a "sha256" text is well formed: exactly 64 lower-case hexadecimal digits.
bool IsSha256Text(std::string_view sha256);

// The lower-case hexadecimal MD5 of the file at a narrow path, streamed with a fixed buffer;
// nothing when the file cannot be read.
std::optional<std::string> FileMd5(const std::string& path);

// The digests that an entry's file is checked by, fed as the file is written or read: MD5 when
// the entry's "md5" can be checked, SHA-256 when the release is signed.
class EntryCheck {
public:
    EntryCheck(const FileInfoItem1& entry, bool signedRelease);

    // Whether anything is checked; a file passes an entry that checks nothing.
    static bool Checks(const FileInfoItem1& entry, bool signedRelease);
    void Update(const void* data, std::size_t size);
    // Feeds the file's first `bytes` bytes, or the whole file; false when it cannot be read or
    // is shorter.
    bool UpdateFromFile(const std::string& path, std::optional<std::uint64_t> bytes);
    // Whether everything fed is the entry's file. In a signed release an entry without a
    // well-formed "sha256" never matches. Ends the check: call it once.
    bool Matches();

private:
    const FileInfoItem1& entry_;
    std::unique_ptr<platform::Digest> md5_;
    std::unique_ptr<platform::Digest> sha256_;
};

// True when the file at a narrow path passes its entry's check (see EntryCheck).
bool FileMatchesEntry(const std::string& path, const FileInfoItem1& entry, bool signedRelease);
