#pragma once
// The task interface with its run protocol, the task base of the product, and the composite
// that runs its children with a number of attempts each. Tasks run on the worker thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/orv_object.h"

class FileInfoItem;

class XTask {
public:
    virtual ~XTask() = default;

    virtual bool IsDone() { return done != 0; }
    virtual void ResetDone() { done = 0; }
    virtual void SetDone() { done = 1; }
    // Called after a successful Execute.
    virtual void OnSucceeded() {}
    // Called by a composite before it runs anything.
    virtual void Prepare() {}
    // Set by the owner before the final attempt; from then on OnFailed is not consulted.
    virtual void MarkLastAttempt() { lastAttempt = 1; }
    virtual bool CanRetry() { return canRetry != 0; }
    // One attempt: returns at once when done, else OnBefore, Execute, then OnSucceeded or
    // OnFailed (unless on the last attempt), then OnAfter.
    virtual bool Run();
    virtual bool Execute() = 0;
    virtual void OnBefore() {}
    virtual void OnAfter() {}
    // After a failed attempt that was not the last: whether the owner may try again.
    virtual bool OnFailed() { return true; }

protected:
    std::uint8_t done = 0;
    std::uint8_t canRetry = 1;
    std::uint8_t lastAttempt = 0;
};

// The two names of a task: what it reads or fetches, and what it writes.
class OrvTaskData {
public:
    virtual ~OrvTaskData() = default;

    std::string source;
    std::string target;
};

class OrvTask : public XTask, public OrvObject, public OrvTaskData {
public:
    // The file-list entry the task works on (owned by the server list); null when none.
    FileInfoItem* entry = nullptr;
};

// The child list of a composite. Add keeps plain pointers; Adopt also keeps the child alive as
// long as the list.
class OrvTaskSet {
public:
    virtual ~OrvTaskSet() = default;

    void Add(XTask* child) { children.push_back(child); }
    template <class T>
    T* Adopt(std::unique_ptr<T> child) {
        T* raw = child.get();
        owned_.push_back(std::move(child));
        Add(raw);
        return raw;
    }

    std::vector<XTask*> children;

private:
    std::vector<std::unique_ptr<XTask>> owned_;
};

class OrvTaskSetTask : public OrvTask, public OrvTaskSet {
public:
    // Prepares each child in order.
    void Prepare() override;
    // Prepares itself (also when already done), then follows the run protocol.
    bool Run() override;
    // Runs the children in order, each with up to `attempts` attempts; fails at the first child
    // that is not done afterwards or that may not be retried.
    bool Execute() override;
    // Called before the first attempt of each child.
    virtual void BeforeChild(std::size_t index) { (void)index; }

    std::int32_t attempts = 1;
};
