#pragma once
// Checking a file against the "md5" text of its file-list entry.

#include <optional>
#include <string>

// Whether an "md5" text can be checked: exactly 32 hexadecimal digits, either case.
bool IsCheckableDigest(const std::string& md5);

// The lower-case hexadecimal MD5 of the file at a narrow path, streamed with a fixed buffer;
// nothing when the file cannot be read.
std::optional<std::string> FileMd5(const std::string& path);

// True when the text cannot be checked, or the file's MD5 equals it (ignoring case).
bool FileMatchesDigest(const std::string& path, const std::string& md5);
