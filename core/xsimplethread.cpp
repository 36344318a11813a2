#include "core/xsimplethread.h"

#include <atomic>
#include <system_error>

namespace {

std::uint32_t NextThreadId() {
    static std::atomic<std::uint32_t> lastId{0};
    std::uint32_t id;
    do {
        id = ++lastId;
    } while (id == 0);
    return id;
}

}  // namespace

xsimplethread::~xsimplethread() {
    Detach();
}

void xsimplethread::Start() {
    if (threadId != 0 || thread.joinable()) {
        return;
    }
    try {
        thread = std::thread([this] { ThreadMain(); });
    } catch (const std::system_error&) {
        return;
    }
    threadId = NextThreadId();
    started = 1;
}

void xsimplethread::Join() {
    if (!thread.joinable()) {
        return;
    }
    if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
    } else {
        thread.join();
    }
}

void xsimplethread::Detach() {
    if (thread.joinable()) {
        thread.detach();
    }
}
