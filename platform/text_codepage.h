#pragma once
// Conversion between the system's narrow code page (GBK, code page 936, on every platform)
// and UTF-16, and to the file system's own encoding.

#include <string>
#include <string_view>

namespace platform {

// GBK bytes to UTF-16. Bytes that are not valid GBK become U+003F ("?").
std::u16string AnsiToUtf16(std::string_view gbk);

// UTF-16 to GBK. A character that GBK cannot represent becomes the default character "?".
std::string Utf16ToAnsi(std::u16string_view text);

// UTF-16 to UTF-8 and back; unpaired surrogates and invalid bytes become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view utf8);

// GBK to UTF-8 (through UTF-16) and back.
std::string AnsiToUtf8(std::string_view gbk);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace platform
