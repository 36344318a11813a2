#pragma once
// The receiving end of posted messages (the dialog's window). Any thread posts without blocking;
// the owner thread takes the messages in the order in which they were posted.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace platform {

constexpr std::uint32_t kWmQuit = 18;
constexpr std::uint32_t kWmUser = 1024;

struct Message {
    std::uint32_t id = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    // A text that travels with the message (the current file's name), owned by the message.
    std::u16string text;
};

class MessageTarget {
public:
    // Queues a message and wakes the owner; returns at once.
    void Post(Message message);
    // Takes the next message when one arrives within the time limit.
    bool WaitFor(Message& message, std::chrono::milliseconds limit);
    // Takes the next message when one is queued.
    bool TryTake(Message& message);
    // A function called on the posting thread after each post with the message just queued, so
    // that a toolkit's event loop can be woken to drain the queue. Set by the owner before
    // anybody posts.
    void SetWakeUp(std::function<void(const Message&)> wakeUp);

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Message> queue_;
    std::function<void(const Message&)> wakeUp_;
};

// A window handle is the address of its message target; null stands for no window.
using WindowHandle = MessageTarget*;

// Posts to a window; false (and nothing queued) when there is no window.
bool PostMessageTo(WindowHandle window, std::uint32_t id, std::uintptr_t wParam,
                   std::intptr_t lParam, std::u16string text = {});

}  // namespace platform
