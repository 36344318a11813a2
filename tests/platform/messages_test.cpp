// Posted messages between threads, and message boxes through the text presenter.

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/child_process.h"
#include "platform/message_box.h"
#include "platform/message_target.h"
#include "platform/thread.h"

using namespace std::chrono_literals;

namespace {

constexpr std::uintptr_t kCount = 20000;

unsigned PostMany(void* argument) {
    auto* target = static_cast<platform::MessageTarget*>(argument);
    for (std::uintptr_t i = 0; i < kCount; ++i) {
        platform::PostMessageTo(target, platform::kWmUser + 101, i, -static_cast<std::intptr_t>(i),
                                u"文件" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)));
    }
    platform::PostMessageTo(target, platform::kWmQuit, 0, 0);
    return 0;
}

TEST(MessageTarget, MessagesFromAWorkerArriveInOrder) {
    platform::MessageTarget target;
    std::atomic<std::uintptr_t> wakeUps{0};
    target.SetWakeUp([&] { ++wakeUps; });

    platform::NativeThread worker;
    std::uint32_t id = 0;
    ASSERT_TRUE(worker.Start(PostMany, &target, id));
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(worker.HasThread());

    std::uintptr_t expected = 0;
    for (;;) {
        const platform::Message message = target.Wait();
        if (message.id == platform::kWmQuit) {
            break;
        }
        ASSERT_EQ(message.id, platform::kWmUser + 101);
        ASSERT_EQ(message.wParam, expected);
        ASSERT_EQ(message.lParam, -static_cast<std::intptr_t>(expected));
        ASSERT_EQ(message.text,
                  u"文件" + std::u16string(1, static_cast<char16_t>(u'a' + expected % 26)));
        ++expected;
    }
    EXPECT_EQ(expected, kCount);
    worker.Join();
    EXPECT_FALSE(worker.HasThread());
    EXPECT_EQ(wakeUps.load(), kCount + 1);

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

TEST(NativeThread, IdsDifferAndAThreadMayBeLetGo) {
    static std::atomic<int> ran{0};
    auto entry = [](void*) -> unsigned {
        ++ran;
        return 0;
    };
    platform::NativeThread first;
    platform::NativeThread second;
    std::uint32_t firstId = 0;
    std::uint32_t secondId = 0;
    EXPECT_FALSE(first.HasThread());
    ASSERT_TRUE(first.Start(entry, nullptr, firstId));
    ASSERT_TRUE(second.Start(entry, nullptr, secondId));
    EXPECT_NE(firstId, secondId);
    first.Join();
    second.Detach();
    EXPECT_FALSE(second.HasThread());
    while (ran.load() < 2) {
        platform::SleepMilliseconds(1);
    }
}

class RecordingPresenter : public platform::MessageBoxPresenter {
public:
    bool Present(const std::u16string& caption, const std::u16string& text,
                 bool okCancel) override {
        calls.push_back(caption + u"|" + text + (okCancel ? u"|?" : u"|!"));
        return answer;
    }
    std::vector<std::u16string> calls;
    bool answer = false;
};

TEST(MessageBox, AnInstalledPresenterShowsEveryBox) {
    RecordingPresenter presenter;
    platform::SetMessageBoxPresenter(&presenter);
    platform::ShowMessageBox(u"标题", u"消息");
    EXPECT_FALSE(platform::AskOkCancel(u"标题", u"重试？"));
    presenter.answer = true;
    EXPECT_TRUE(platform::AskOkCancel(u"t", u"q"));
    platform::SetMessageBoxPresenter(nullptr);
    EXPECT_EQ(presenter.calls,
              (std::vector<std::u16string>{u"标题|消息|!", u"标题|重试？|?", u"t|q|?"}));
}

TEST(MessageBox, TextPresenterAnswers) {
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
        platform::ChildOptions options;
        options.program = PLATFORM_HELPER;
        options.arguments = {"box", "okcancel"};
        options.standardInput = c.input;
        const platform::ChildResult result = platform::RunChild(options, 30s);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.standardError, "Orvel浏览器：更新失败\n是否重试？\n");
        EXPECT_EQ(result.standardOutput, std::string(c.answer) + "\n");
    }

    platform::ChildOptions options;
    options.program = PLATFORM_HELPER;
    options.arguments = {"box", "ok"};
    options.standardInput = "cancel\n";
    const platform::ChildResult shown = platform::RunChild(options, 30s);
    EXPECT_EQ(shown.standardError, "Orvel浏览器：更新失败\n更新完成。\n");
    EXPECT_EQ(shown.standardOutput, "shown\n");
}

}  // namespace
