// The code-page conversions on any input: GBK text reads the same after one trip through GBK,
// UTF-16 survives UTF-8 except for unpaired surrogates (which become U+FFFD), and what the
// UTF-8 reader makes of any bytes is well-formed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/text_codepage.h"

namespace {

bool IsHigh(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The text with every unpaired surrogate replaced by U+FFFD.
std::u16string WellFormed(std::u16string_view text) {
    std::u16string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1])) {
            result += text.substr(i, 2);
            ++i;
        } else if (IsHigh(text[i]) || IsLow(text[i])) {
            result += char16_t{0xFFFD};
        } else {
            result += text[i];
        }
    }
    return result;
}

// Well-formed UTF-8: shortest forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // As GBK: one UTF-16 unit per character or bad byte, and stable after a round trip.
    const std::u16string fromGbk = platform::AnsiToUtf16(bytes);
    FUZZ_CHECK(fromGbk.size() <= bytes.size());
    FUZZ_CHECK(WellFormed(fromGbk) == fromGbk);
    const std::string backToGbk = platform::Utf16ToAnsi(fromGbk);
    FUZZ_CHECK(platform::AnsiToUtf16(backToGbk) == fromGbk);
    FUZZ_CHECK(platform::AnsiToUtf8(bytes) == platform::Utf16ToUtf8(fromGbk));

    // As UTF-8: well-formed UTF-16 that writes back as well-formed UTF-8.
    const std::u16string fromUtf8 = platform::Utf8ToUtf16(bytes);
    FUZZ_CHECK(WellFormed(fromUtf8) == fromUtf8);
    const std::string utf8 = platform::Utf16ToUtf8(fromUtf8);
    FUZZ_CHECK(IsUtf8(utf8));
    FUZZ_CHECK(platform::Utf8ToUtf16(utf8) == fromUtf8);
    if (IsUtf8(bytes)) {
        FUZZ_CHECK(utf8 == bytes);
    }
    FUZZ_CHECK(platform::Utf8ToAnsi(bytes) == platform::Utf16ToAnsi(fromUtf8));

    // As UTF-16 units: through UTF-8 and back, only the unpaired surrogates change.
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    const std::string unitsUtf8 = platform::Utf16ToUtf8(units);
    FUZZ_CHECK(IsUtf8(unitsUtf8));
    FUZZ_CHECK(platform::Utf8ToUtf16(unitsUtf8) == WellFormed(units));
    const std::string unitsGbk = platform::Utf16ToAnsi(units);
    FUZZ_CHECK(platform::Utf16ToAnsi(platform::AnsiToUtf16(unitsGbk)) == unitsGbk);
    return 0;
}
