#pragma once
// What reached a window: the next message, the messages queued so far, and the ids among them.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

#include "platform/message_target.h"

namespace testsupport {

// The next message queued at a window, waiting for it up to the limit; nothing when none came,
// so that a test fails instead of waiting for ever.
inline std::optional<platform::Message> NextMessage(platform::MessageTarget& window,
                                                    std::chrono::milliseconds limit) {
    platform::Message message;
    if (!window.WaitFor(message, limit)) {
        return std::nullopt;
    }
    return message;
}

// Everything queued at a window so far, in posting order.
inline std::vector<platform::Message> Drain(platform::MessageTarget& window) {
    std::vector<platform::Message> messages;
    platform::Message message;
    while (window.TryTake(message)) {
        messages.push_back(message);
    }
    return messages;
}

// The ids of the messages that are in the given set, in posting order.
inline std::vector<std::uint32_t> IdsAmong(const std::vector<platform::Message>& messages,
                                           std::initializer_list<std::uint32_t> wanted) {
    std::vector<std::uint32_t> ids;
    for (const platform::Message& message : messages) {
        if (std::find(wanted.begin(), wanted.end(), message.id) != wanted.end()) {
            ids.push_back(message.id);
        }
    }
    return ids;
}

}  // namespace testsupport
