#pragma once
// Conversion between the system's narrow code page (GBK, code page 936, on every platform)
// and UTF-16, and to the file system's own encoding.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The two halves of a UTF-16 surrogate pair.
constexpr bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
constexpr bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The character that starts at text[at] (at < size), and in `units` how many code units it
// takes: a surrogate pair is one character, an unpaired surrogate is U+FFFD.
constexpr char32_t CharacterAt(std::u16string_view text, std::size_t at, std::size_t& units) {
    const char16_t first = text[at];
    units = 1;
    if (IsHighSurrogate(first) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
        units = 2;
        return 0x10000 + ((char32_t{first} - 0xD800) << 10) + (char32_t{text[at + 1]} - 0xDC00);
    }
    return IsHighSurrogate(first) || IsLowSurrogate(first) ? char32_t{0xFFFD} : char32_t{first};
}

// Whether every byte is below 0x80: GBK and UTF-8 both keep such text as it is, and most paths
// are such text, so conversions skip it.
bool IsAscii(std::string_view text);

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
