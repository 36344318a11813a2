// The run protocol of one task and the attempt loop of a composite.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/task.h"

namespace {

// The hooks that were called, as "name.hook" words in call order.
class Log {
public:
    void Add(const std::string& event) { events_.push_back(event); }
    // All events, or those without the before/after hooks.
    std::string Text(bool withBeforeAfter = true) const {
        std::string text;
        for (const std::string& event : events_) {
            const bool frame = event.find(".before") != std::string::npos ||
                               event.find(".after") != std::string::npos;
            if (frame && !withBeforeAfter) {
                continue;
            }
            text += (text.empty() ? "" : " ") + event;
        }
        return text;
    }
    void Clear() { events_.clear(); }

private:
    std::vector<std::string> events_;
};

// A leaf that follows a script: the results of its attempts and the answers of OnFailed. Past
// the end of its script an attempt fails and OnFailed allows a retry.
class ScriptedTask : public XTask {
public:
    ScriptedTask(std::string name, Log& log, std::deque<bool> results,
                 std::deque<bool> retryAnswers = {})
        : name_(std::move(name)),
          log_(log),
          results_(std::move(results)),
          retryAnswers_(std::move(retryAnswers)) {}

    bool Execute() override {
        log_.Add(name_ + ".run");
        return Next(results_, false);
    }
    void OnBefore() override { log_.Add(name_ + ".before"); }
    void OnAfter() override { log_.Add(name_ + ".after"); }
    void OnSucceeded() override { log_.Add(name_ + ".ok"); }
    bool OnFailed() override {
        log_.Add(name_ + ".fail");
        return Next(retryAnswers_, true);
    }
    void Prepare() override { log_.Add(name_ + ".prep"); }
    void MarkLastAttempt() override {
        log_.Add(name_ + ".last");
        XTask::MarkLastAttempt();
    }

private:
    static bool Next(std::deque<bool>& script, bool whenEmpty) {
        if (script.empty()) {
            return whenEmpty;
        }
        const bool value = script.front();
        script.pop_front();
        return value;
    }

    std::string name_;
    Log& log_;
    std::deque<bool> results_;
    std::deque<bool> retryAnswers_;
};

TEST(RunProtocol, HooksAndRetryFlagPerOutcome) {
    struct Case {
        const char* what;
        bool result;
        bool retryAnswer;
        bool lastAttempt;
        bool alreadyDone;
        const char* hooks;
        bool returned;
        bool canRetry;
    };
    const Case cases[] = {
        {"success", true, true, false, false, "t.before t.run t.ok t.after", true, true},
        {"failure, retry allowed", false, true, false, false, "t.before t.run t.fail t.after",
         false, true},
        {"failure, retry refused", false, false, false, false, "t.before t.run t.fail t.after",
         false, false},
        {"failure on the last attempt", false, false, true, false, "t.before t.run t.after", false,
         true},
        {"success on the last attempt", true, false, true, false, "t.before t.run t.ok t.after",
         true, true},
        {"already done", false, false, false, true, "", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Log log;
        ScriptedTask task("t", log, {c.result}, {c.retryAnswer});
        if (c.lastAttempt) {
            task.XTask::MarkLastAttempt();
        }
        if (c.alreadyDone) {
            task.SetDone();
        }
        EXPECT_EQ(task.Run(), c.returned);
        EXPECT_EQ(log.Text(), c.hooks);
        EXPECT_EQ(task.IsDone(), c.returned);
        EXPECT_EQ(task.CanRetry(), c.canRetry);
    }
}

TEST(RunProtocol, SucceedsOnceAndFollowsEachAnswer) {
    Log log;
    ScriptedTask task("t", log, {false, false, true, true}, {false, true});
    EXPECT_FALSE(task.Run());
    EXPECT_FALSE(task.CanRetry());
    EXPECT_FALSE(task.Run());
    EXPECT_TRUE(task.CanRetry()) << "the flag follows the latest answer";
    EXPECT_TRUE(task.Run());
    log.Clear();
    EXPECT_TRUE(task.Run());
    EXPECT_EQ(log.Text(), "") << "a task that succeeded is not executed again";

    task.ResetDone();
    EXPECT_TRUE(task.Run());
    EXPECT_EQ(log.Text(false), "t.run t.ok");
}

TEST(AttemptLoop, ChildrenAttemptsAndOutcome) {
    struct Child {
        std::deque<bool> results;
        std::deque<bool> retryAnswers;
        bool done;
    };
    struct Case {
        const char* what;
        std::int32_t attempts;
        std::vector<Child> children;  // named a, b, ...
        const char* hooks;
        bool returned;
    };
    const Case cases[] = {
        {"fails twice, then succeeds; the next child runs",
         3,
         {{{false, false, true}, {}, false}, {{true}, {}, false}},
         "a.prep b.prep a.run a.fail a.run a.fail a.last a.run a.ok b.run b.ok",
         true},
        {"fails every attempt: no OnFailed on the last, later children not run",
         3,
         {{{false, false, false}, {}, false}, {{true}, {}, false}},
         "a.prep b.prep a.run a.fail a.run a.fail a.last a.run",
         false},
        {"a refused retry ends the composite at once",
         3,
         {{{false, true}, {false}, false}, {{true}, {}, false}},
         "a.prep b.prep a.run a.fail",
         false},
        {"one attempt is the last one", 1, {{{false}, {}, false}}, "a.prep a.last a.run", false},
        {"a child that is done succeeds without running",
         2,
         {{{false}, {}, true}, {{true}, {}, false}},
         "a.prep b.prep b.run b.ok",
         true},
        {"attempts 0: a child that is not done fails the composite",
         0,
         {{{true}, {}, true}, {{true}, {}, false}},
         "a.prep b.prep",
         false},
        {"attempts 0: every child done",
         0,
         {{{true}, {}, true}, {{true}, {}, true}},
         "a.prep b.prep",
         true},
        {"negative attempts behave as 0", -4, {{{true}, {}, false}}, "a.prep", false},
        {"no children", 1, {}, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Log log;
        std::vector<std::unique_ptr<ScriptedTask>> children;
        OrvTaskSetTask composite;
        composite.attempts = c.attempts;
        char name = 'a';
        for (const Child& child : c.children) {
            children.push_back(std::make_unique<ScriptedTask>(std::string(1, name++), log,
                                                              child.results, child.retryAnswers));
            if (child.done) {
                children.back()->SetDone();
            }
            composite.Add(children.back().get());
        }
        EXPECT_EQ(composite.Run(), c.returned);
        EXPECT_EQ(log.Text(false), c.hooks);
        EXPECT_EQ(composite.IsDone(), c.returned);
    }
}

TEST(AttemptLoop, CompositeRunAgainAfterSuccessOnlyPrepares) {
    Log log;
    ScriptedTask a("a", log, {true});
    OrvTaskSetTask composite;
    composite.Add(&a);
    ASSERT_TRUE(composite.Run());
    log.Clear();
    EXPECT_TRUE(composite.Run());
    EXPECT_EQ(log.Text(), "a.prep");
}

// A composite whose own failure hook is recorded, with the last-attempt mark kept or ignored.
class RecordingComposite : public OrvTaskSetTask {
public:
    RecordingComposite(Log& log, bool ignoresLastAttempt)
        : log_(log), ignoresLastAttempt_(ignoresLastAttempt) {}
    void MarkLastAttempt() override {
        if (!ignoresLastAttempt_) {
            OrvTaskSetTask::MarkLastAttempt();
        }
    }
    bool OnFailed() override {
        log_.Add("stage.fail");
        return false;
    }

private:
    Log& log_;
    bool ignoresLastAttempt_;
};

TEST(AttemptLoop, NestedCompositeIsAskedOnlyWhenItIgnoresTheLastAttemptMark) {
    for (const bool ignores : {false, true}) {
        SCOPED_TRACE(ignores ? "mark ignored" : "mark kept");
        Log log;
        ScriptedTask leaf("leaf", log, {false});
        RecordingComposite stage(log, ignores);
        stage.Add(&leaf);
        ScriptedTask after("later", log, {true});
        OrvTaskSetTask root;
        root.Add(&stage);
        root.Add(&after);

        EXPECT_FALSE(root.Run());
        // A plain composite root prepares its children, and the stage prepares itself again.
        EXPECT_EQ(log.Text(false),
                  std::string("leaf.prep later.prep leaf.prep leaf.last leaf.run") +
                      (ignores ? " stage.fail" : ""));
    }
}

}  // namespace
