// The text front end: a worker that keeps posting after the dialog has ended, as the engine does
// when the user closes the dialog during a download; hostile server texts on a pipe and on a real
// terminal (a pseudo-terminal of a set width, made by `script`); the redrawn line's width.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/messages.h"
#include "engine/update_manager.h"
#include "platform/message_target.h"
#include "platform/text_codepage.h"
#include "tests/support/child_process.h"
#include "tests/support/process_settings.h"
#include "ui/front_end.h"
#include "ui/terminal_text.h"

namespace {

using namespace std::chrono_literals;

class ScriptedManager : public CUpdateManager {
public:
    ~ScriptedManager() override { Join(); }
    void ThreadMain() override { script(*this); }
    void Post(std::uint32_t id, std::uintptr_t wParam = 0) { PostToWindow(id, wParam, 0); }
    std::function<void(ScriptedManager&)> script;
};

// Overwrites the stack below the caller, where a dialog's locals lived. The scratch is volatile
// and read after the deeper call, so every level is written and keeps a frame of its own.
void UseStack(int depth) {
    volatile char scratch[4096];
    for (std::size_t i = 0; i < sizeof(scratch); ++i) {
        scratch[i] = static_cast<char>(0xA5 ^ i ^ depth);
    }
    if (depth > 0) {
        UseStack(depth - 1);
        scratch[0] = scratch[depth];
    }
}

TEST(TextFrontEnd, WindowOutlivesTheDialogForAWorkerThatGoesOn) {
    constexpr std::uint32_t kPositions = 100000;
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        ScriptedManager manager;
        manager.script = [](ScriptedManager& worker) {
            worker.Post(msg::kDownloadBegin, kPositions);
            worker.Post(msg::kQuit);
            for (std::uint32_t done = 1; done <= kPositions; ++done) {
                worker.Post(msg::kDownloadPosition, done);
            }
        };
        const std::unique_ptr<FrontEnd> frontEnd = MakeTextFrontEnd();
        EXPECT_EQ(frontEnd->RunUpdateDialog(manager), FrontEnd::DialogEnd::WorkerQuit);
        UseStack(64);
        manager.Join();

        // Everything posted after the dialog ended is still there, whole and in order.
        ASSERT_NE(manager.window, nullptr);
        std::uint32_t taken = 0;
        platform::Message message;
        while (manager.window->TryTake(message)) {
            ++taken;
            ASSERT_EQ(message.id, msg::kDownloadPosition);
            ASSERT_EQ(message.wParam, taken);
        }
        EXPECT_EQ(taken, kPositions);
    }
}

// What a hostile server sends: terminal commands in its version, home page and file names.
const std::string kVersion = "2.0\x1b[2J\x1b[31m\r\a";
const std::string kHomepage = "http://www.orvel.example/\x1b]8;;http://evil.example/\x1b\\\n";
const std::string kFile =
    "bin\\plugins\\\x1b[1A\r\xc2\x9b"  // ESC, CR and the C1 CSI
    "中文插件\\很长的文件名称-0123456789abcdef.dll";
// The same as the terminal must show them.
const std::string kShownFile = "bin\\plugins\\?[1A??中文插件\\很长的文件名称-0123456789abcdef.dll";
const std::string kHeader =
    "Orvel浏览器更新程序\n"
    "Orvel浏览器2.0?[2J?[31m??更新已发布！\n"
    "如果更新过慢，您也可访问官网下载最新版：http://www.orvel.example/?]8;;http://evil.example/"
    "?\\?\n";
const std::string kRedraw = "\r\x1b[2K";

testsupport::ChildOptions Helper(const std::string& file) {
    testsupport::ChildOptions options;
    options.program = TEXT_FRONT_END_HELPER;
    options.environment = {
        {"ORV_TEST_VERSION", kVersion}, {"ORV_TEST_HOMEPAGE", kHomepage}, {"ORV_TEST_FILE", file}};
    return options;
}

// The helper with its standard error on a terminal of the given width; what it wrote there,
// unchanged (no "\r" added to line ends).
std::string OnTerminal(std::size_t columns, const std::string& file) {
    testsupport::ChildOptions options = Helper(file);
    options.environment["ORV_TEST_HELPER"] = options.program;
    options.program = SCRIPT_PROGRAM;
    options.arguments = {
        "-qec",
        "stty cols " + std::to_string(columns) + " rows 24 -onlcr && exec \"$ORV_TEST_HELPER\"",
        "/dev/null"};
    const testsupport::ChildResult result = testsupport::RunChild(options, 60s);
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    return result.standardOutput;
}

// Control characters in UTF-8 text: C0, DEL and C1 (U+0080 to U+009F are "\xc2\x80" to
// "\xc2\x9f").
bool HasControls(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F ||
            (byte == 0xC2 && i + 1 < text.size() &&
             static_cast<unsigned char>(text[i + 1]) <= 0x9F)) {
            return true;
        }
    }
    return false;
}

TEST(TextFrontEnd, ServerTextsReachAPipeWithoutControlCharacters) {
    const testsupport::ChildResult result = testsupport::RunChild(Helper(kFile), 60s);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(result.exitStatus, 0);
    // One line per event, and nothing cut: the reader of a log wants the whole name.
    EXPECT_EQ(result.standardError, kHeader + "正在下载更新文件，进度：0%\n  " + kShownFile + "\n");
}

TEST(TextFrontEnd, RedrawnLineFitsTheTerminal) {
    if (!testsupport::kPosixSystem) {
        GTEST_SKIP() << "the terminal of a set width is made by script, a POSIX program";
    }
    const std::string stage = "正在下载更新文件，进度：12.3%";  // 29 columns
    const std::string bar = "[###" + std::string(27, '.') + "]";
    const std::string chinese = "更新文件\\插件\\中文插件名称很长很长.dll";
    struct Case {
        std::size_t columns;
        std::string file;
        std::string line;  // the last one drawn
    };
    const Case cases[] = {
        {200, kFile, stage + " " + bar + " " + kShownFile},
        // 62 columns of stage and bar leave 36 (of 99) for the name.
        {100, kFile, stage + " " + bar + " ...长的文件名称-0123456789abcdef.dll"},
        {80, kFile, stage + " " + bar + " ...789abcdef.dll"},
        // 16 columns for the name: a wide character that would only half fit is left out.
        {80, chinese, stage + " " + bar + " ...很长很长.dll"},
        // A terminal that does not say its width is taken as 80 columns wide.
        {0, kFile, stage + " " + bar + " ...789abcdef.dll"},
        // No room for the name; the bar is cut.
        {40, kFile, stage + " [###....."},
        // Not even the stage fits: 18 of 19 columns, as "进" would take the 20th.
        {20, kFile, "正在下载更新文件，"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.columns) + " columns, " + ::testing::PrintToString(c.file));
        const std::string output = OnTerminal(c.columns, c.file);
        const std::size_t width = c.columns == 0 ? 80 : c.columns;
        ASSERT_EQ(output.substr(0, kHeader.size()), kHeader);
        ASSERT_EQ(output.back(), '\n');

        // Every redraw starts with the front end's own "\r" and erase; nothing else controls the
        // terminal, and no line reaches the last column.
        const std::string redraws =
            output.substr(kHeader.size(), output.size() - kHeader.size() - 1);
        ASSERT_EQ(redraws.rfind(kRedraw, 0), 0u);
        std::vector<std::string> lines;
        for (std::size_t at = 0; at != std::string::npos;) {
            const std::size_t next = redraws.find(kRedraw, at + kRedraw.size());
            lines.push_back(redraws.substr(at + kRedraw.size(), next - at - kRedraw.size()));
            at = next;
        }
        for (const std::string& line : lines) {
            EXPECT_FALSE(HasControls(line)) << line;
            EXPECT_LT(TerminalColumns(platform::Utf8ToUtf16(line)), width) << line;
        }
        EXPECT_EQ(lines.back(), c.line);
    }
}

}  // namespace
