#pragma once
// One native thread, and sleeping.

#include <cstdint>
#include <memory>

namespace platform {

class NativeThread {
public:
    using Entry = unsigned (*)(void* argument);

    NativeThread();
    NativeThread(const NativeThread&) = delete;
    NativeThread& operator=(const NativeThread&) = delete;
    // A thread that was neither joined nor detached is detached.
    ~NativeThread();

    // Starts entry(argument) at once; false when no thread could be created. The id is nonzero.
    bool Start(Entry entry, void* argument, std::uint32_t& id);
    bool HasThread() const;
    // Waits for the thread to end, then releases it.
    void Join();
    // Releases the thread without waiting for it.
    void Detach();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

void SleepMilliseconds(unsigned milliseconds);

}  // namespace platform
