// Posted messages between threads, and message boxes with and without a user interface.

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/message_box.h"
#include "platform/message_target.h"
#include "tests/support/child_process.h"
#include "tests/support/recording_presenter.h"
#include "tests/support/window_messages.h"

using namespace std::chrono_literals;

namespace {

constexpr std::uintptr_t kCount = 20000;

void PostMany(platform::MessageTarget* target) {
    for (std::uintptr_t i = 0; i < kCount; ++i) {
        platform::PostMessageTo(target, platform::kWmUser + 101, i, -static_cast<std::intptr_t>(i),
                                u"文件" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)));
    }
    platform::PostMessageTo(target, platform::kWmQuit, 0, 0);
}

TEST(MessageTarget, MessagesFromAWorkerArriveInOrder) {
    platform::MessageTarget target;
    // Each wake-up names the message just posted, in order (only the worker posts).
    std::atomic<std::uintptr_t> wakeUps{0};
    std::atomic<std::uintptr_t> wakeUpsInOrder{0};
    target.SetWakeUp([&](const platform::Message& posted) {
        const std::uintptr_t index = wakeUps++;
        const bool expected = index < kCount ? posted.id == platform::kWmUser + 101 &&
                                                   posted.wParam == index && posted.text.empty()
                                             : posted.id == platform::kWmQuit;
        wakeUpsInOrder += expected ? 1 : 0;
    });

    std::thread worker(PostMany, &target);

    std::uintptr_t expected = 0;
    for (;;) {
        const std::optional<platform::Message> message = testsupport::NextMessage(target, 30s);
        ASSERT_TRUE(message);
        if (message->id == platform::kWmQuit) {
            break;
        }
        ASSERT_EQ(message->id, platform::kWmUser + 101);
        ASSERT_EQ(message->wParam, expected);
        ASSERT_EQ(message->lParam, -static_cast<std::intptr_t>(expected));
        ASSERT_EQ(message->text,
                  u"文件" + std::u16string(1, static_cast<char16_t>(u'a' + expected % 26)));
        ++expected;
    }
    EXPECT_EQ(expected, kCount);
    worker.join();
    EXPECT_EQ(wakeUps.load(), kCount + 1);
    EXPECT_EQ(wakeUpsInOrder.load(), kCount + 1);

    platform::Message message;
    EXPECT_FALSE(target.TryTake(message));
    EXPECT_FALSE(target.WaitFor(message, 0ms));
    target.Post({7, 1, 2, u"x"});
    EXPECT_TRUE(target.WaitFor(message, 0ms));
    EXPECT_EQ(message.id, 7u);
}

TEST(MessageTarget, NoWindowDropsTheMessage) {
    EXPECT_FALSE(platform::PostMessageTo(nullptr, platform::kWmUser, 1, 2, u"lost"));
}

TEST(MessageBox, AnInstalledPresenterShowsEveryBox) {
    testsupport::RecordingPresenter presenter;
    presenter.answers = {false, true};
    platform::ShowMessageBox(u"标题", u"消息");
    EXPECT_FALSE(platform::AskOkCancel(u"标题", u"重试？"));
    EXPECT_TRUE(platform::AskOkCancel(u"t", u"q"));
    std::vector<std::u16string> calls;
    for (const testsupport::Box& box : presenter.boxes) {
        calls.push_back(box.caption + u"|" + box.text + (box.okCancel ? u"|?" : u"|!"));
    }
    EXPECT_EQ(calls, (std::vector<std::u16string>{u"标题|消息|!", u"标题|重试？|?", u"t|q|?"}));
}

// A presenter installed over another one (a front end over the terminal's) gives the boxes back
// to it when it goes.
TEST(MessageBox, APresenterPutsBackTheOneItReplaced) {
    testsupport::RecordingPresenter outer;
    {
        testsupport::RecordingPresenter inner;
        platform::ShowMessageBox(u"t", u"inner");
    }
    platform::ShowMessageBox(u"t", u"outer");
    ASSERT_EQ(outer.boxes.size(), 1u);
    EXPECT_EQ(outer.boxes[0].text, u"outer");
}

// A process without a user interface shows the text, but there is nobody to answer a question.
TEST(MessageBox, WithoutAPresenterTheTextGoesToStandardErrorAndQuestionsAreCancelled) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows shows the system's message box, which waits for somebody to answer";
#endif
    struct Case {
        const char* mode;
        const char* text;
        const char* output;
    };
    const Case cases[] = {
        {"okcancel", "是否重试？", "CANCEL\n"},
        {"ok", "更新完成。", "shown\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        testsupport::ChildOptions options;
        options.program = PLATFORM_HELPER;
        options.arguments = {"box", c.mode};
        options.standardInput = "ok\n";
        const testsupport::ChildResult result = testsupport::RunChild(options, 30s);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.standardError, std::string("Orvel浏览器：更新失败\n") + c.text + "\n");
        EXPECT_EQ(result.standardOutput, c.output);
    }
}

}  // namespace
