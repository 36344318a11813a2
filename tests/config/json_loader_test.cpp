// The JSON-backed loader: what it accepts, what it refuses, lenient key reads and file loading.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/json_loader.h"
#include "tests/support/exposed_loader.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;
using testsupport::ExposedLoader;
using testsupport::TempFolder;
using testsupport::WriteFile;

namespace {

TEST(JsonLoader, AcceptsOneObjectAndNothingElse) {
    const struct {
        const char* name;
        std::string text;
        bool ok;
    } cases[] = {
        {"empty object", "{}", true},
        {"white space around", " \r\n\t{ \"a\" : 1 }\n\t ", true},
        {"nested values", R"({"a":{"b":[1,2,{"c":null}]},"d":true,"e":"x"})", true},
        {"same name in sibling objects", R"({"a":{"x":1},"b":{"x":2}})", true},
        {"same name at two depths", R"({"x":{"x":{"x":1}}})", true},
        {"empty text", "", false},
        {"only white space", "  \n", false},
        {"array", "[1,2]", false},
        {"string", "\"text\"", false},
        {"number", "42", false},
        {"null", "null", false},
        {"trailing text", "{}x", false},
        {"second object", "{} {}", false},
        {"trailing comma", R"({"a":1,})", false},
        {"comment", "{} // note", false},
        {"unclosed", R"({"a":1)", false},
        {"single quotes", "{'a':1}", false},
        {"repeated member", R"({"a":1,"a":2})", false},
        {"repeated member of other type", R"({"a":1,"a":"x"})", false},
        {"repeated member in nested object", R"({"a":{"b":1,"b":1}})", false},
        {"repeated member deep in an array", R"({"a":[{"k":[{"z":1,"z":2}]}]})", false},
        {"bare NaN", R"({"a":NaN})", false},
        {"bare Infinity", R"({"a":Infinity})", false},
    };
    for (const auto& c : cases) {
        JsonLoader loader;
        EXPECT_EQ(loader.Parse(c.text), c.ok) << c.name;
    }
}

TEST(JsonLoader, NestingDeeperThan32LevelsIsRefused) {
    // The document's own object is the first level.
    const auto nested = [](std::size_t levels, char open, char close) {
        return "{\"a\":" + std::string(levels - 1, open) + std::string(levels - 1, close) + "}";
    };
    for (const auto& [open, close] : {std::pair{'[', ']'}, std::pair{'{', '}'}}) {
        SCOPED_TRACE(open);
        // Objects nest through a member: {"a":{"a":{}}}.
        const auto document = [&](std::size_t levels) {
            if (open == '[') {
                return nested(levels, open, close);
            }
            std::string text = "{}";
            for (std::size_t i = 1; i < levels; ++i) {
                text = "{\"a\":" + text + "}";
            }
            return text;
        };
        JsonLoader accepted;
        EXPECT_TRUE(accepted.Parse(document(32)));
        JsonLoader refused;
        EXPECT_FALSE(refused.Parse(document(33)));
    }
    // Far deeper, closed or not: refused at once, whatever the document's length.
    const std::string opening(200000, '[');
    JsonLoader loader;
    EXPECT_FALSE(loader.Parse("{\"a\":" + opening));
    EXPECT_FALSE(loader.Parse(opening + std::string(200000, ']')));
    EXPECT_FALSE(loader.Parse("{\"a\":" + opening + std::string(200000, ']') + "}"));
}

TEST(JsonLoader, MembersAreAddedToThoseHeld) {
    JsonLoader loader;
    ASSERT_TRUE(loader.Parse(R"({"a":"1"})"));
    ASSERT_TRUE(loader.Parse(R"({"b":"2"})"));
    EXPECT_EQ(loader.GetString("a"), "1");
    EXPECT_EQ(loader.GetString("b"), "2");
    // A name already held counts as repeated.
    EXPECT_FALSE(loader.Parse(R"({"c":"3","a":"9"})"));
    EXPECT_EQ(loader.GetString("a"), "1");
    // Members read before the error stay.
    EXPECT_EQ(loader.GetString("c"), "3");

    JsonLoader partial;
    EXPECT_FALSE(partial.Parse(R"({"first":"x","second":{"y":1,"y":2},"third":"z"})"));
    EXPECT_EQ(partial.GetString("first"), "x");
    EXPECT_EQ(partial.GetString("third"), "");
}

TEST(JsonLoader, StringBytesPassUnchanged) {
    JsonLoader loader;
    // GBK text ("更新说明"), a byte that is not UTF-8 at all, and escapes.
    ASSERT_TRUE(
        loader.Parse("{\"gbk\":\"\xB8\xFC\xD0\xC2\xCB\xB5\xC3\xF7\",\"raw\":\"\xFF\xFE\","
                     "\"esc\":\"a\\\\b\\\"c\\/d\\u0041\",\"\xD6\xD0\":\"key\"}"));
    EXPECT_EQ(loader.GetString("gbk"), "\xB8\xFC\xD0\xC2\xCB\xB5\xC3\xF7");
    EXPECT_EQ(loader.GetString("raw"), "\xFF\xFE");
    EXPECT_EQ(loader.GetString("esc"), "a\\b\"c/dA");
    EXPECT_EQ(loader.GetString("\xD6\xD0"), "key");
}

TEST(JsonLoader, TextEndsAtTheFirstZeroByte) {
    JsonLoader loader;
    EXPECT_TRUE(loader.Parse(std::string("{\"a\":\"x\"}\0garbage", 17)));
    EXPECT_EQ(loader.GetString("a"), "x");
    JsonLoader cut;
    EXPECT_FALSE(cut.Parse(std::string("{\"a\":\"x\0\"}", 10)));
}

TEST(JsonLoader, NumbersTruncateAndSaturate) {
    const struct {
        const char* json;
        std::int32_t value;
    } cases[] = {
        {"0", 0},
        {"30", 30},
        {"30.9", 30},
        {"3.7", 3},
        {"-3.7", -3},
        {"-0.5", 0},
        {"1024.9", 1024},
        {"1e3", 1000},
        {"2147483647", INT32_MAX},
        {"2147483647.9", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"4294967295", INT32_MAX},
        {"4294967296", INT32_MAX},
        {"18446744073709551615", INT32_MAX},
        {"1e300", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483648.9", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"-9223372036854775808", INT32_MIN},
        {"-1e300", INT32_MIN},
    };
    for (const auto& c : cases) {
        JsonLoader loader;
        ASSERT_TRUE(loader.Parse(std::string("{\"n\":") + c.json + "}")) << c.json;
        EXPECT_EQ(loader.GetNumber("n"), c.value) << c.json;
    }
    rapidjson::Value nan(std::numeric_limits<double>::quiet_NaN());
    rapidjson::Value inf(std::numeric_limits<double>::infinity());
    rapidjson::Value minusInf(-std::numeric_limits<double>::infinity());
    EXPECT_EQ(JsonInt32(nan), 0);
    EXPECT_EQ(JsonInt32(inf), INT32_MAX);
    EXPECT_EQ(JsonInt32(minusInf), INT32_MIN);
}

TEST(JsonLoader, LenientAccessAddsAndReplacesMembers) {
    ExposedLoader loader;
    ASSERT_TRUE(loader.Parse(R"({"s":"text","n":12,"a":[1],"o":{"k":"v"},"z":null,"b":true})"));

    // Wrong types read as empty values and are replaced in place.
    EXPECT_EQ(loader.GetString("n"), "");
    EXPECT_TRUE((*loader.root)["n"].IsString());
    EXPECT_EQ(loader.GetNumber("s"), 0);
    EXPECT_TRUE((*loader.root)["s"].IsNumber());
    EXPECT_EQ(loader.GetNumber("z"), 0);
    EXPECT_EQ(loader.GetString("b"), "");
    EXPECT_EQ(loader.GetArray("o").Size(), 0u);
    EXPECT_TRUE(loader.GetObject("a").ObjectEmpty());

    // Missing members are added.
    EXPECT_EQ(loader.GetString("missing"), "");
    EXPECT_TRUE(loader.root->HasMember("missing"));
    EXPECT_EQ(loader.GetNumber("missing number"), 0);
    EXPECT_TRUE(loader.GetArray("missing array").IsArray());

    // Keys are exact: case matters.
    JsonLoader exact;
    ASSERT_TRUE(exact.Parse(R"({"id":"lower"})"));
    EXPECT_EQ(exact.GetString("ID"), "");
    EXPECT_EQ(exact.GetString("id"), "lower");
}

TEST(JsonLoader, NestedLoaderReadsAnotherLoadersObject) {
    ExposedLoader outer;
    ASSERT_TRUE(outer.Parse(R"({"entry":{"md5":"abc","size":5.5}})"));
    JsonLoader inner(outer.GetObject("entry"), outer.allocator());
    EXPECT_EQ(inner.GetString("md5"), "abc");
    EXPECT_EQ(inner.GetNumber("size"), 5);
    EXPECT_EQ(inner.GetString("zxpath"), "");
    EXPECT_TRUE(outer.GetObject("entry").HasMember("zxpath"));
    EXPECT_FALSE(outer.root->HasMember("zxpath"));
}

// Counts the texts handed to the virtual Parse.
class RecordingLoader : public JsonLoader {
public:
    bool Parse(const std::string& text) override {
        texts.push_back(text);
        return JsonLoader::Parse(text);
    }
    std::vector<std::string> texts;
};

TEST(JsonLoader, LoadFile) {
    TempFolder folder;
    WriteFile(folder / "good.update", "{\"v\":\"1.0\"}\n");
    WriteFile(folder / "empty.update", "");
    WriteFile(folder / "zero.update", std::string("{\"v\":\"2\"}\0{\"w\":1}", 17));
    WriteFile(folder / "bad.update", "[]");

    RecordingLoader good;
    EXPECT_TRUE(good.LoadFile(folder.Narrow() + "good.update"));
    ASSERT_EQ(good.texts.size(), 1u);
    EXPECT_EQ(good.texts[0], "{\"v\":\"1.0\"}\n");
    EXPECT_EQ(good.GetString("v"), "1.0");

    RecordingLoader missing;
    EXPECT_FALSE(missing.LoadFile(folder.Narrow() + "missing.update"));
    RecordingLoader empty;
    EXPECT_FALSE(empty.LoadFile(folder.Narrow() + "empty.update"));
    EXPECT_TRUE(missing.texts.empty());
    EXPECT_TRUE(empty.texts.empty());

    RecordingLoader zero;
    EXPECT_TRUE(zero.LoadFile(folder.Narrow() + "zero.update"));
    ASSERT_EQ(zero.texts.size(), 1u);
    EXPECT_EQ(zero.texts[0], "{\"v\":\"2\"}");

    RecordingLoader bad;
    EXPECT_FALSE(bad.LoadFile(folder.Narrow() + "bad.update"));
}

TEST(JsonLoader, LoadFileOfALargeFileReadsItWhole) {
    TempFolder folder;
    std::string text = "{";
    for (int i = 0; i < 20000; ++i) {
        text += "\"file" + std::to_string(i) + "\":\"" + std::string(20, 'x') + "\",";
    }
    text += "\"last\":\"end\"}";
    WriteFile(folder / "large.update", text);
    JsonLoader loader;
    ASSERT_TRUE(loader.LoadFile(folder.Narrow() + "large.update"));
    EXPECT_EQ(loader.GetString("last"), "end");
    EXPECT_EQ(loader.root->MemberCount(), 20001u);
}

TEST(JsonLoader, LoadFileOfAFolderThrows) {
    // Something exists at the path but cannot be opened as a file; callers that expect a folder
    // there check for it first.
    TempFolder folder;
    fs::create_directory(folder / "fldz.update");
    JsonLoader loader;
    EXPECT_THROW(loader.LoadFile(folder.Narrow() + "fldz.update"), FileAccessError);
}

TEST(JsonLoader, LoadFileOfAnUnreadableFileThrows) {
    TempFolder folder;
    if (!testsupport::MakeUnreadable(folder / "locked.update", "{}")) {
        GTEST_SKIP() << "every file is readable here";
    }
    JsonLoader loader;
    EXPECT_THROW(loader.LoadFile(folder.Narrow() + "locked.update"), FileAccessError);
}

}  // namespace
