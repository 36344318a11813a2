#pragma once
// A thread wrapper whose body is the object's ThreadMain.

#include <cstdint>
#include <string>

#include "platform/thread.h"

class xsimplethread {
public:
    explicit xsimplethread(std::string threadName) : name(std::move(threadName)) {}
    virtual ~xsimplethread() = default;

    // Starts the thread; does nothing when a thread was started before.
    virtual void Start();
    // Waits for the thread and releases it; nothing without a thread.
    virtual void Join();
    // Releases the thread without waiting; nothing without a thread.
    virtual void Detach();
    virtual void ThreadMain() = 0;

    bool HasThread() const { return thread.HasThread(); }

protected:
    std::int32_t started = 0;
    std::uint32_t threadId = 0;
    platform::NativeThread thread;
    std::string name;
};
