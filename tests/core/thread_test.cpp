// The worker-thread wrapper: one start, joined or let go, and the thread ids.

#include <atomic>
#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "core/xsimplethread.h"
#include "tests/support/wait.h"

namespace {

// Counts its runs; each run waits until the test opens the gate.
class GatedThread : public xsimplethread {
public:
    GatedThread() : xsimplethread("gated") {}
    void ThreadMain() override {
        ++runs;
        gate.wait();
        finished.set_value();
    }

    std::atomic<int> runs{0};
    std::shared_future<void> gate;
    std::promise<void> finished;
};

TEST(SimpleThread, StartsOnceAndJoinsOrDetaches) {
    for (const bool detach : {false, true}) {
        SCOPED_TRACE(detach ? "detach" : "join");
        GatedThread thread;
        std::promise<void> open;
        thread.gate = open.get_future().share();
        std::future<void> finished = thread.finished.get_future();

        thread.Detach();  // nothing to release yet
        thread.Join();
        EXPECT_FALSE(thread.HasThread());

        thread.Start();
        EXPECT_TRUE(thread.HasThread());
        thread.Start();  // still running: no second thread
        open.set_value();
        if (detach) {
            thread.Detach();
            EXPECT_FALSE(thread.HasThread());
            finished.wait();  // a released thread still runs to its end
        } else {
            thread.Join();
            EXPECT_FALSE(thread.HasThread());
        }
        thread.Start();  // started once already: never again
        EXPECT_FALSE(thread.HasThread());
        EXPECT_EQ(thread.runs, 1);
    }
}

// Counts the runs of all its objects and shows the thread id.
class CountingThread : public xsimplethread {
public:
    CountingThread() : xsimplethread("counting") {}
    void ThreadMain() override { ++ran; }
    std::uint32_t Id() const { return threadId; }

    static inline std::atomic<int> ran{0};
};

TEST(SimpleThread, IdsDifferAndAThreadMayBeLetGo) {
    CountingThread first;
    CountingThread second;
    EXPECT_EQ(first.Id(), 0u);
    EXPECT_FALSE(first.HasThread());
    first.Start();
    second.Start();
    ASSERT_TRUE(first.HasThread());
    ASSERT_TRUE(second.HasThread());
    EXPECT_NE(first.Id(), 0u);
    EXPECT_NE(first.Id(), second.Id());
    first.Join();
    second.Detach();
    EXPECT_FALSE(second.HasThread());
    EXPECT_TRUE(testsupport::WaitUntil([] { return CountingThread::ran.load() == 2; },
                                       std::chrono::seconds(60)));
}

}  // namespace
