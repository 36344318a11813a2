#include "ui/terminal_text.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <utility>
#include <vector>

#include "platform/text_codepage.h"

namespace {

using Range = std::pair<char32_t, char32_t>;

// East Asian Width "W" and "F" of Unicode 14, merged over unassigned code points; the ideograph
// blocks and planes 2 and 3 reach as far as Unicode keeps them for wide characters.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x3247},   {0x3250, 0x4DBF},   {0x4E00, 0xA4C6},   {0xA960, 0xA97C},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6B},
    {0xFF01, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x1B2FB}, {0x1F004, 0x1F004},
    {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F320},
    {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA},
    {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E},
    {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E},
    {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4},
    {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
    {0x1F6D5, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7F0},
    {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAF6},
    {0x20000, 0x3FFFD}};

// Combining marks that names are likely to hold (accents of Latin, Greek and Cyrillic letters),
// conjoining Hangul vowels and finals, zero-width spaces and joiners, and variation selectors.
// Any other mark counts as one column: the line comes out shorter, never too wide.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x1160, 0x11FF},   {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x2060, 0x2064}, {0x20D0, 0x20FF},   {0x3099, 0x309A}, {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0100, 0xE01EF},
};

template <std::size_t N>
bool IsIn(const Range (&ranges)[N], char32_t c) {
    const Range* after =
        std::upper_bound(std::begin(ranges), std::end(ranges), c,
                         [](char32_t value, const Range& r) { return value < r.first; });
    return after != std::begin(ranges) && c <= std::prev(after)->second;
}

struct Character {
    std::size_t at;  // its first code unit
    std::size_t columns;
};

// The characters of the text with their columns; a surrogate pair is one character, an unpaired
// surrogate one column (it is written as U+FFFD).
std::vector<Character> Characters(std::u16string_view text) {
    std::vector<Character> characters;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t units = 1;
        const char32_t c = platform::CharacterAt(text, at, units);
        const std::size_t columns = IsIn(kZeroWidth, c) ? 0 : IsIn(kWide, c) ? 2 : 1;
        characters.push_back({at, columns});
        at += units;
    }
    return characters;
}

std::size_t ColumnsOf(const std::vector<Character>& characters) {
    return std::accumulate(characters.begin(), characters.end(), std::size_t{0},
                           [](std::size_t sum, const Character& c) { return sum + c.columns; });
}

constexpr std::u16string_view kCutMarker = u"...";

}  // namespace

std::u16string WithoutControls(std::u16string_view text) {
    // "?" rather than U+FFFD: it takes one column on every terminal (U+FFFD takes two where East
    // Asian ambiguous characters are wide), GBK consoles can show it, and no Windows file name
    // holds one, so in a name it can only stand for a replaced character.
    std::u16string shown(text);
    std::replace_if(
        shown.begin(), shown.end(), [](char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); },
        u'?');
    return shown;
}

std::size_t TerminalColumns(std::u16string_view text) {
    return ColumnsOf(Characters(text));
}

std::u16string FirstColumns(std::u16string_view text, std::size_t columns) {
    std::size_t used = 0;
    for (const Character& c : Characters(text)) {
        if (used + c.columns > columns) {
            return std::u16string(text.substr(0, c.at));
        }
        used += c.columns;
    }
    return std::u16string(text);
}

std::u16string LastColumns(std::u16string_view text, std::size_t columns) {
    const std::vector<Character> characters = Characters(text);
    if (ColumnsOf(characters) <= columns) {
        return std::u16string(text);
    }
    if (columns < kCutMarker.size()) {
        return {};
    }
    auto start = characters.end();
    std::size_t used = kCutMarker.size();
    while (start != characters.begin() && used + std::prev(start)->columns <= columns) {
        --start;
        used += start->columns;
    }
    // A mark without the character it belongs to would sit on the marker's last dot.
    while (start != characters.end() && start->columns == 0) {
        ++start;
    }
    const std::size_t from = start == characters.end() ? text.size() : start->at;
    return std::u16string(kCutMarker) + std::u16string(text.substr(from));
}
