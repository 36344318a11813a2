// The progress reporter's messages, its per-mille rule and the senders' window adoption.

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/manager_context.h"
#include "core/messages.h"
#include "core/progress_ctrl.h"
#include "tests/support/window_messages.h"

namespace {

using Posted = std::vector<std::pair<std::uint32_t, std::uintptr_t>>;

Posted Take(platform::MessageTarget& window) {
    Posted posted;
    for (const platform::Message& message : testsupport::Drain(window)) {
        EXPECT_EQ(message.lParam, 0);
        posted.emplace_back(message.id, message.wParam);
    }
    return posted;
}

platform::WindowHandle& ManagerWindow() {
    return UpdateManagerContext().window;
}

class ProgressTest : public testing::Test {
protected:
    void SetUp() override { ManagerWindow() = nullptr; }
    void TearDown() override { ManagerWindow() = nullptr; }

    platform::MessageTarget window;
};

TEST_F(ProgressTest, MessageTable) {
    ProgressCtrl progress;
    progress.window = &window;
    progress.BeginDownloadProgress(1000);
    for (int i = 0; i < 5; ++i) {
        progress.AdvanceProgress(100);
    }
    progress.NotifyDownloadComplete();
    progress.NotifyUncompressStage();
    progress.NotifyLocalsetStage();
    progress.NotifyFinishStage();

    const Posted expected = {{1125, 1000}, {1126, 100},  {1127, 100}, {1126, 200}, {1127, 200},
                             {1126, 300},  {1127, 300},  {1126, 400}, {1127, 400}, {1126, 500},
                             {1127, 500},  {1128, 1000}, {1129, 0},   {1131, 0},   {1133, 0}};
    EXPECT_EQ(Take(window), expected);
}

TEST_F(ProgressTest, PermilleInSinglePrecision) {
    struct Case {
        std::uint32_t current, total;
        std::int32_t permille;
    };
    const Case cases[] = {
        {50, 10000, 4},
        {51, 10000, 5},
        {9999, 10000, 999},
        {10000, 10000, 1000},
        {1, 3, 333},
        {2, 3, 666},
        {3, 3, 1000},
        {0, 10, 0},
        {10, 0, 0},
        {1, 4294967295u, 0},
        {4294967295u, 4294967295u, 1000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PermilleOf(c.current, c.total), c.permille) << c.current << " of " << c.total;
    }
}

TEST_F(ProgressTest, ByteByByteEveryPositionButPermilleOnlyWhenItChanges) {
    ProgressCtrl progress;
    progress.window = &window;
    progress.BeginDownloadProgress(10000);
    Take(window);

    std::vector<std::int32_t> shownAfter(10001, -1);  // per-mille on screen after n bytes
    std::int32_t shown = 0;
    std::int32_t lastPosted = 0;
    for (std::uint32_t n = 1; n <= 10000; ++n) {
        progress.AdvanceProgress(1);
        const Posted posted = Take(window);
        ASSERT_FALSE(posted.empty());
        EXPECT_EQ(posted[0], std::make_pair(std::uint32_t{1126}, std::uintptr_t{n}));
        ASSERT_LE(posted.size(), 2u);
        if (posted.size() == 2) {
            ASSERT_EQ(posted[1].first, 1127u);
            const auto permille = static_cast<std::int32_t>(posted[1].second);
            EXPECT_GT(permille, lastPosted) << "no repeat, never backwards, at " << n;
            lastPosted = shown = permille;
        }
        shownAfter[n] = shown;
    }
    EXPECT_EQ(shownAfter[49], 4);
    EXPECT_EQ(shownAfter[50], 4);
    EXPECT_EQ(shownAfter[51], 5);
    EXPECT_EQ(shownAfter[9999], 999);
    EXPECT_EQ(shownAfter[10000], 1000);
}

TEST_F(ProgressTest, CountingEdges) {
    struct Step {
        char op;  // 'B' begin with a total, 'A' advance by bytes
        std::uint32_t value;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        Posted posted;
    };
    const std::uint32_t max = 4294967295u;
    const Case cases[] = {
        {"a total of 0 never shows a per-mille", {{'B', 0}, {'A', 10}}, {{1125, 0}, {1126, 0}}},
        {"bytes before the start are not counted but the position is posted",
         {{'A', 10}, {'B', 100}, {'A', 10}},
         {{1126, 0}, {1125, 100}, {1126, 10}, {1127, 100}}},
        {"counting stops at the total and 1000 is posted once",
         {{'B', 100}, {'A', 60}, {'A', 60}, {'A', 5}},
         {{1125, 100}, {1126, 60}, {1127, 600}, {1126, 100}, {1127, 1000}, {1126, 100}}},
        {"the last per-mille survives a new start",
         {{'B', 100}, {'A', 100}, {'B', 100}, {'A', 100}},
         {{1125, 100}, {1126, 100}, {1127, 1000}, {1125, 100}, {1126, 100}}},
        {"no wrap at the 32-bit end",
         {{'B', max}, {'A', max}, {'A', 1}},
         {{1125, max}, {1126, max}, {1127, 1000}, {1126, max}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgressCtrl progress;
        progress.window = &window;
        for (const Step& step : c.steps) {
            if (step.op == 'B') {
                progress.BeginDownloadProgress(step.value);
            } else {
                progress.AdvanceProgress(step.value);
            }
        }
        EXPECT_EQ(Take(window), c.posted);
        EXPECT_LE(progress.counter.current, progress.counter.total);
    }
}

TEST_F(ProgressTest, WithoutAWindowMessagesAreDroppedAndThePauseIsTaken) {
    ProgressCtrl progress;
    const auto start = std::chrono::steady_clock::now();
    progress.BeginDownloadProgress(100);
    progress.AdvanceProgress(50);
    progress.NotifyUncompressStage();
    // A lower bound only: the pause gives the dialog time to show the stage text.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_EQ(progress.window, nullptr);
    EXPECT_EQ(progress.counter.current, 50u) << "counting goes on without a window";

    // Nothing was kept for later: once a window is known only new messages arrive.
    ManagerWindow() = &window;
    progress.AdvanceProgress(50);
    EXPECT_EQ(Take(window), (Posted{{1126, 100}, {1127, 1000}}));
}

TEST_F(ProgressTest, SenderAdoptsTheManagersWindowAtItsFirstPostAndKeepsIt) {
    ProgressCtrl early;  // created before the dialog stored its window
    MessageSender own;
    platform::MessageTarget ownWindow;
    own.window = &ownWindow;

    early.PostToWindow(msg::kLocalsetStage, 0, 0);
    EXPECT_EQ(early.window, nullptr);

    ManagerWindow() = &window;
    early.PostToWindow(msg::kFinishStage, 0, 0);
    own.PostToWindow(msg::kQuit, 0, 0);
    EXPECT_EQ(early.window, &window);

    platform::MessageTarget later;
    ManagerWindow() = &later;
    early.PostToWindow(msg::kQuit, 0, 0);

    EXPECT_EQ(Take(window), (Posted{{1133, 0}, {18, 0}}));
    EXPECT_EQ(Take(ownWindow), (Posted{{18, 0}}));
    EXPECT_TRUE(Take(later).empty());
}

}  // namespace
