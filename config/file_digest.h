#pragma once
// Checking a file against the "md5" text of its file-list entry.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {
class Md5;
}

// Whether an "md5" text can be checked: exactly 32 hexadecimal digits, either case.
bool IsCheckableDigest(const std::string& md5);

// The lower-case hexadecimal MD5 of the file at a narrow path, streamed with a fixed buffer;
// nothing when the file cannot be read.
std::optional<std::string> FileMd5(const std::string& path);

// True when the text cannot be checked, or the file's MD5 equals it (ignoring case).
bool FileMatchesDigest(const std::string& path, const std::string& md5);

// Feeds the first `bytes` bytes of the file into the digest; false when the file cannot be
// read or is shorter.
bool DigestFileStart(const std::string& path, std::uint64_t bytes, platform::Md5& digest);

// True when the text cannot be checked, or the lower-case hexadecimal digest equals it
// (ignoring case).
bool DigestMatches(const std::string& actual, const std::string& md5);
