#pragma once
// The sending side of the engine's messages: senders that know the dialog's window, and the
// download progress reporter.

#include <cstdint>
#include <string>

#include "platform/message_target.h"

class MessageSender {
public:
    virtual ~MessageSender() = default;

    // Posts to this sender's window. A sender without a window first adopts the update manager's;
    // without any window the message is dropped. Never blocks.
    void PostToWindow(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                      std::u16string text = {});

    platform::WindowHandle window = nullptr;
};

// Counts bytes toward a total, never past it.
class CProgress {
public:
    virtual ~CProgress() = default;
    virtual void StartCount(std::uint32_t totalBytes);
    virtual void AddCount(std::uint32_t bytes);

    std::uint8_t active = 0;
    std::uint32_t current = 0;
    std::uint32_t total = 0;
};

// The per-mille value posted last.
class temp_value {
public:
    virtual ~temp_value() = default;
    std::int32_t value = 0;
};

class ProgressCtrl : public MessageSender {
public:
    // Starts counting toward the download total and announces it.
    void BeginDownloadProgress(std::uint32_t totalBytes);
    // Counts bytes, posts the position, and the per-mille when it changed.
    void AdvanceProgress(std::uint32_t bytes);
    // Stage announcements, each followed by a pause on the calling thread that gives the dialog
    // time to show the text (100 ms, 1000 ms, 1000 ms).
    void NotifyUncompressStage();
    void NotifyLocalsetStage();
    void NotifyFinishStage();
    // The download stage's completion: the bar goes to its end.
    void NotifyDownloadComplete();

    CProgress counter;
    temp_value lastPermille;
};

// The per-mille of current in total: the ratio in single precision, times 1000, truncated.
std::int32_t PermilleOf(std::uint32_t current, std::uint32_t total);
