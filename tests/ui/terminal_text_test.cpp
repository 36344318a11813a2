// How the text front end makes server texts harmless and measures them in terminal columns.

#include <string>

#include <gtest/gtest.h>

#include "platform/text_codepage.h"
#include "ui/terminal_text.h"

namespace {

std::string Shown(const std::u16string& text) {
    return ::testing::PrintToString(platform::Utf16ToUtf8(text));
}

TEST(TerminalText, ControlCharactersBecomeQuestionMarks) {
    struct Case {
        std::u16string text;
        std::u16string shown;
    };
    const Case cases[] = {
        {u"\x1b[31mred\x1b[0m", u"?[31mred?[0m"},
        {u"\x1b]0;title\x07", u"?]0;title?"},
        {u"a\rb\nc\td", u"a?b?c?d"},
        {std::u16string(u"nul\0byte", 8), u"nul?byte"},
        {u"\x01\x08\x0b\x0c\x1f", u"?????"},
        {u"del\x7f", u"del?"},
        // C1: the one-character CSI and NEL, and both ends of the block.
        {u"\x9b"
         u"2J\x85\x80\x9f",
         u"?2J???"},
        // The printable neighbours of the control blocks stay.
        {u" ~\xa0\xff", u" ~\xa0\xff"},
        {u"bin\\中文 & more.dll", u"bin\\中文 & more.dll"},
        {u"\U0001F600\U00020000", u"\U0001F600\U00020000"},
        {u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Shown(c.text));
        EXPECT_EQ(WithoutControls(c.text), c.shown);
    }
}

TEST(TerminalText, ColumnsCountWideCharactersTwice) {
    struct Case {
        std::u16string text;
        std::size_t columns;
    };
    const Case cases[] = {
        {u"", 0},
        {u"orvel_core.dll", 14},
        {u"中文", 4},
        {u"bin\\中文.dll", 12},
        {u"正在下载更新文件，进度：12.3%", 29},  // fullwidth comma and colon
        {u"한국어", 6},
        {u"かなカナ", 8},
        {u"ｶﾅ", 2},    // halfwidth katakana
        {u"ＡＢ", 4},  // fullwidth Latin
        {u"\U0001F600", 2},
        {u"\U00020000", 2},  // an ideograph beyond the first plane
        {u"e\u0301", 1},     // a combining accent
        {u"a\u200Bb", 2},    // a zero-width space
        {u"\xD800x", 2},     // an unpaired surrogate is written as U+FFFD
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Shown(c.text));
        EXPECT_EQ(TerminalColumns(c.text), c.columns);
    }
}

TEST(TerminalText, FirstColumnsCutsTheEnd) {
    struct Case {
        std::u16string text;
        std::size_t columns;
        std::u16string first;
    };
    const Case cases[] = {
        {u"abc", 3, u"abc"},
        {u"abc", 2, u"ab"},
        {u"abc", 0, u""},
        {u"中文", 3, u"中"},  // half a wide character is no character
        {u"a\U0001F600b", 2, u"a"},
        {u"a\U0001F600b", 3, u"a\U0001F600"},
        {u"e\u0301x", 1, u"e\u0301"},  // the accent stays with its letter
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Shown(c.text) + " in " + std::to_string(c.columns));
        EXPECT_EQ(FirstColumns(c.text, c.columns), c.first);
    }
}

TEST(TerminalText, LastColumnsKeepsTheEndAfterAMarker) {
    struct Case {
        std::u16string text;
        std::size_t columns;
        std::u16string last;
    };
    const Case cases[] = {
        {u"abcdef", 6, u"abcdef"},
        {u"abcdef", 5, u"...ef"},
        {u"abcdef", 3, u"..."},
        {u"abcdef", 2, u""},
        {u"ab", 2, u"ab"},
        // 14 columns into 10: a wide character that does not fit whole is left out.
        {u"中文文件名.dll", 10, u"...名.dll"},
        {u"中文文件名.dll", 11, u"...件名.dll"},
        {u"abcd\U0001F600e", 6, u"...\U0001F600e"},
        {u"abcd\U0001F600e", 5, u"...e"},
        {u"abcde\u0301f", 5, u"...e\u0301f"},
        // The accent alone would fit, but not without its letter.
        {u"abcde\u0301f", 4, u"...f"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Shown(c.text) + " in " + std::to_string(c.columns));
        const std::u16string last = LastColumns(c.text, c.columns);
        EXPECT_EQ(last, c.last);
        EXPECT_LE(TerminalColumns(last), c.columns);
    }
}

}  // namespace
