// GBK through the system's code page 936 tables, named explicitly: the system's ANSI code page
// may be any other.

#include <windows.h>

#include <algorithm>
#include <climits>

#include "platform/text_codepage.h"

namespace platform {
namespace {

constexpr UINT kGbk = 936;

// How many bytes the GBK character at text[at] takes by its form alone, 0 when no character
// starts there. Code page 936 also maps 0xFF (to a private-use character); GBK has no such byte.
std::size_t GbkCharacterLength(std::string_view text, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead <= 0x80) {
        return 1;  // ASCII, and 0x80 the euro sign
    }
    if (lead == 0xFF || at + 1 >= text.size()) {
        return 0;
    }
    const unsigned char trail = static_cast<unsigned char>(text[at + 1]);
    const bool validTrail = (trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFE);
    return validTrail ? 2 : 0;
}

// Appends the UTF-16 text of well-formed GBK characters; false, with nothing appended, when the
// system's table lacks one of them.
bool AppendFromGbk(std::string_view gbk, std::u16string& out) {
    if (gbk.empty()) {
        return true;
    }
    if (gbk.size() > INT_MAX) {
        return false;
    }
    const int length = static_cast<int>(gbk.size());
    const int units =
        MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data(), length, nullptr, 0);
    if (units <= 0) {
        return false;
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(units));
    if (MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, gbk.data(), length,
                            reinterpret_cast<wchar_t*>(&out[start]), units) != units) {
        out.resize(start);
        return false;
    }
    return true;
}

// Appends the GBK text of characters outside the surrogate range; what GBK lacks becomes "?",
// never a look-alike ("best fit") character.
void AppendToGbk(std::u16string_view text, std::string& out) {
    // A generous bound for any one call: GBK takes at most two bytes per UTF-16 unit.
    constexpr std::size_t kChunk = 1 << 20;
    while (!text.empty()) {
        const std::u16string_view part = text.substr(0, kChunk);
        text.remove_prefix(part.size());
        const int length = static_cast<int>(part.size());
        const wchar_t* wide = reinterpret_cast<const wchar_t*>(part.data());
        const int bytes =
            WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, "?", nullptr);
        if (bytes <= 0) {
            out.append(part.size(), '?');
            continue;
        }
        const std::size_t start = out.size();
        out.resize(start + static_cast<std::size_t>(bytes));
        if (WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, length, &out[start], bytes, "?",
                                nullptr) != bytes) {
            out.resize(start);
            out.append(part.size(), '?');
            continue;
        }
        // 0xFF can only be a byte of its own here (no trail byte is 0xFF): not GBK.
        std::replace(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), '\xFF', '?');
    }
}

}  // namespace

std::u16string AnsiToUtf16(std::string_view gbk) {
    std::u16string result;
    result.reserve(gbk.size());
    std::size_t at = 0;
    while (at < gbk.size()) {
        // The longest run of well-formed characters goes to the system at once.
        std::size_t end = at;
        for (std::size_t length; end < gbk.size() && (length = GbkCharacterLength(gbk, end)) > 0;
             end += length) {
        }
        if (end == at) {
            // An invalid byte, or a lead byte cut off at the end: one "?" for that byte, then go
            // on with the next one (it may start a valid character of its own).
            result.push_back(u'?');
            ++at;
            continue;
        }
        if (AppendFromGbk(gbk.substr(at, end - at), result)) {
            at = end;
            continue;
        }
        // A well-formed pair that the table lacks: the rest of the run character by character,
        // and such a pair counts as one bad byte followed by whatever its second byte starts.
        while (at < end) {
            const std::size_t length = GbkCharacterLength(gbk, at);
            if (length > 0 && AppendFromGbk(gbk.substr(at, length), result)) {
                at += length;
            } else {
                result.push_back(u'?');
                ++at;
            }
        }
    }
    return result;
}

std::string Utf16ToAnsi(std::u16string_view text) {
    std::string result;
    result.reserve(text.size() * 2);
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (!IsHighSurrogate(text[i]) && !IsLowSurrogate(text[i])) {
            ++i;
            continue;
        }
        // A surrogate pair (no GBK character lies outside the basic plane) or a lone surrogate
        // is one character that GBK lacks: one "?".
        AppendToGbk(text.substr(start, i - start), result);
        result.push_back('?');
        std::size_t units = 1;
        CharacterAt(text, i, units);
        i += units;
        start = i;
    }
    AppendToGbk(text.substr(start), result);
    return result;
}

}  // namespace platform
