#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "platform/thread.h"

namespace platform {
namespace {

std::atomic<std::uint32_t> lastId{0};

std::uint32_t NextId() {
    std::uint32_t id;
    do {
        id = ++lastId;
    } while (id == 0);
    return id;
}

}  // namespace

struct NativeThread::Impl {
    std::thread thread;
};

NativeThread::NativeThread() : impl_(new Impl) {}

NativeThread::~NativeThread() {
    Detach();
}

bool NativeThread::Start(Entry entry, void* argument, std::uint32_t& id) {
    if (entry == nullptr || impl_->thread.joinable()) {
        return false;
    }
    try {
        impl_->thread = std::thread([entry, argument] { entry(argument); });
    } catch (const std::system_error&) {
        return false;
    }
    id = NextId();
    return true;
}

bool NativeThread::HasThread() const {
    return impl_->thread.joinable();
}

void NativeThread::Join() {
    if (!impl_->thread.joinable()) {
        return;
    }
    // A thread cannot wait for itself; it lets go instead.
    if (impl_->thread.get_id() == std::this_thread::get_id()) {
        impl_->thread.detach();
    } else {
        impl_->thread.join();
    }
}

void NativeThread::Detach() {
    if (impl_->thread.joinable()) {
        impl_->thread.detach();
    }
}

void SleepMilliseconds(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace platform
