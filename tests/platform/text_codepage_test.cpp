// GBK and UTF conversions with the system's real converter.

#include <string>

#include <gtest/gtest.h>

#include "platform/text_codepage.h"

namespace {

struct GbkCase {
    const char* name;
    std::string gbk;
    std::u16string wide;
};

// Both directions agree on each of these.
TEST(TextCodepage, GbkAndUtf16RoundTrip) {
    const GbkCase cases[] = {
        {"empty", "", u""},
        {"ascii", "orvupdate.exe", u"orvupdate.exe"},
        {"chinese", "\xB8\xFC\xD0\xC2", u"更新"},
        {"ideographic comma", "\xA1\xA2", u"、"},
        {"trail byte is a backslash", "\x95\x5C", u"昞"},
        {"euro sign", "\x80", u"€"},
        {"mixed", "bin\\\xD6\xD0\xCE\xC4.dll", u"bin\\中文.dll"},
    };
    for (const GbkCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::AnsiToUtf16(c.gbk), c.wide);
        EXPECT_EQ(platform::Utf16ToAnsi(c.wide), c.gbk);
    }
}

TEST(TextCodepage, CharactersGbkLacksBecomeQuestionMarks) {
    const GbkCase cases[] = {
        {"emoji (a surrogate pair is one character)", "a?b", u"a\U0001F600b"},
        {"hangul", "?\xB8\xFC", u"가更"},
        {"y with diaeresis", "?", u"ÿ"},
        {"lone high surrogate", "x?y", std::u16string(u"x") + char16_t(0xD800) + u"y"},
        {"lone low surrogate at the end", "x?", std::u16string(u"x") + char16_t(0xDC00)},
    };
    for (const GbkCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::Utf16ToAnsi(c.wide), c.gbk);
    }
}

TEST(TextCodepage, InvalidGbkBytesBecomeQuestionMarks) {
    const GbkCase cases[] = {
        {"0xFF alone",
         "a\xFF"
         "b",
         u"a?b"},
        {"lead byte cut off at the end", "\xB8\xFC\xD0", u"更?"},
        {"lead byte before a space", "\x81 A", u"? A"},
        {"lead byte before 0x7F", "\x81\x7F", u"?\x7F"},
        {"many bad bytes", "\xFF\xFF\xFF", u"???"},
    };
    for (const GbkCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::AnsiToUtf16(c.gbk), c.wide);
    }
}

TEST(TextCodepage, Utf8AndUtf16) {
    struct Case {
        const char* name;
        std::string utf8;
        std::u16string wide;
    };
    const Case roundTrips[] = {
        {"empty", "", u""},
        {"ascii", "abc", u"abc"},
        {"chinese", "浏览器", u"浏览器"},
        {"two bytes", "é", u"é"},
        {"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
    };
    for (const Case& c : roundTrips) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::Utf8ToUtf16(c.utf8), c.wide);
        EXPECT_EQ(platform::Utf16ToUtf8(c.wide), c.utf8);
    }

    const Case invalidUtf8[] = {
        {"stray continuation byte", "a\x80z", u"a\uFFFDz"},
        {"truncated sequence then ascii", "\xE6\xB5z", u"\uFFFDz"},
        {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
        {"cut at the end", "a\xF0\x9F", u"a\uFFFD"},
    };
    for (const Case& c : invalidUtf8) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::Utf8ToUtf16(c.utf8), c.wide);
    }

    EXPECT_EQ(platform::Utf16ToUtf8(std::u16string(u"a") + char16_t(0xDC01)), "a\xEF\xBF\xBD");
    EXPECT_EQ(platform::AnsiToUtf8("\xB8\xFC\xD0\xC2"), "更新");
    EXPECT_EQ(platform::Utf8ToAnsi("更新、"), "\xB8\xFC\xD0\xC2\xA1\xA2");
    // ASCII passes unchanged, also with a character beyond it at either end.
    const std::string ascii("bin\\core.dll \x01\x7F\0.", 17);
    EXPECT_EQ(platform::AnsiToUtf8(ascii), ascii);
    EXPECT_EQ(platform::Utf8ToAnsi(ascii), ascii);
    EXPECT_EQ(platform::AnsiToUtf8(ascii + "\xB8\xFC"), ascii + "更");
    EXPECT_EQ(platform::AnsiToUtf8("\xB8\xFC" + ascii), "更" + ascii);
    EXPECT_EQ(platform::Utf8ToAnsi("更" + ascii), "\xB8\xFC" + ascii);
}

}  // namespace
