// Posted messages: a queue under a mutex, so posting never waits for the owner.

#include <utility>

#include "platform/message_target.h"

namespace platform {

void MessageTarget::Post(Message message) {
    std::function<void(const Message&)> wakeUp;
    Message posted;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wakeUp = wakeUp_;
        if (wakeUp) {
            // Without the text: the text travels in the queue.
            posted.id = message.id;
            posted.wParam = message.wParam;
            posted.lParam = message.lParam;
        }
        queue_.push_back(std::move(message));
    }
    arrived_.notify_one();
    if (wakeUp) {
        wakeUp(posted);
    }
}

bool MessageTarget::WaitFor(Message& message, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!arrived_.wait_for(lock, limit, [this] { return !queue_.empty(); })) {
        return false;
    }
    message = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

bool MessageTarget::TryTake(Message& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) {
        return false;
    }
    message = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void MessageTarget::SetWakeUp(std::function<void(const Message&)> wakeUp) {
    std::lock_guard<std::mutex> lock(mutex_);
    wakeUp_ = std::move(wakeUp);
}

bool PostMessageTo(WindowHandle window, std::uint32_t id, std::uintptr_t wParam,
                   std::intptr_t lParam, std::u16string text) {
    if (window == nullptr) {
        return false;
    }
    Message message;
    message.id = id;
    message.wParam = wParam;
    message.lParam = lParam;
    message.text = std::move(text);
    window->Post(std::move(message));
    return true;
}

}  // namespace platform
