// Message boxes of the text front end: the text on standard error, the answer from standard
// input.

#include <chrono>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"

namespace {

using namespace std::chrono_literals;

TEST(TextPresenter, Answers) {
    struct Case {
        std::optional<std::string> input;
        const char* answer;
    };
    const Case cases[] = {
        {"\n", "OK"},         {"ok\n", "OK"},         {"OK\n", "OK"},
        {"  Ok \r\n", "OK"},  {"cancel\n", "CANCEL"}, {"x\n", "CANCEL"},
        {"okay\n", "CANCEL"}, {"", "CANCEL"},         {std::nullopt, "CANCEL"},
        {"ok", "OK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.value_or("(no input)"));
        testsupport::ChildOptions options;
        options.program = TEXT_FRONT_END_HELPER;
        options.arguments = {"box", "okcancel"};
        options.standardInput = c.input;
        const testsupport::ChildResult result = testsupport::RunChild(options, 30s);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.standardError, "Orvel浏览器：更新失败\n是否重试？\n");
        EXPECT_EQ(result.standardOutput, std::string(c.answer) + "\n");
    }

    testsupport::ChildOptions options;
    options.program = TEXT_FRONT_END_HELPER;
    options.arguments = {"box", "ok"};
    options.standardInput = "cancel\n";
    const testsupport::ChildResult shown = testsupport::RunChild(options, 30s);
    EXPECT_EQ(shown.standardError, "Orvel浏览器：更新失败\n更新完成。\n");
    EXPECT_EQ(shown.standardOutput, "shown\n");
}

}  // namespace
