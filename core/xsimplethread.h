#pragma once
// A thread wrapper whose body is the object's ThreadMain.

#include <cstdint>
#include <string>
#include <thread>

class xsimplethread {
public:
    explicit xsimplethread(std::string threadName) : name(std::move(threadName)) {}
    xsimplethread(const xsimplethread&) = delete;
    xsimplethread& operator=(const xsimplethread&) = delete;
    // A thread that was neither joined nor detached is let go.
    virtual ~xsimplethread();

    // Starts the thread; does nothing when a thread was started before or none can be created.
    virtual void Start();
    // Waits for the thread and releases it; nothing without a thread. A thread cannot wait for
    // itself: called on its own thread, it lets go instead.
    virtual void Join();
    // Releases the thread without waiting; nothing without a thread.
    virtual void Detach();
    virtual void ThreadMain() = 0;

    bool HasThread() const { return thread.joinable(); }

protected:
    std::int32_t started = 0;
    // Nonzero once started, and different for every thread this process starts.
    std::uint32_t threadId = 0;
    std::thread thread;
    std::string name;
};
