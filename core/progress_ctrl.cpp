#include "core/progress_ctrl.h"

#include <chrono>
#include <thread>

#include "core/manager_context.h"
#include "core/messages.h"

void MessageSender::PostToWindow(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                                 std::u16string text) {
    if (window == nullptr) {
        window = UpdateManagerContext().window;
    }
    if (window == nullptr) {
        return;
    }
    platform::PostMessageTo(window, message, wParam, lParam, std::move(text));
}

void CProgress::StartCount(std::uint32_t totalBytes) {
    active = 1;
    current = 0;
    total = totalBytes;
}

void CProgress::AddCount(std::uint32_t bytes) {
    if (!active) {
        return;
    }
    // Added in 64 bits so that a count near the 32-bit end cannot wrap below the total.
    const std::uint64_t sum = std::uint64_t{current} + bytes;
    current = sum > total ? total : static_cast<std::uint32_t>(sum);
}

std::int32_t PermilleOf(std::uint32_t current, std::uint32_t total) {
    if (total == 0 || current == 0) {
        return 0;
    }
    // The ratio is rounded to single precision first: 50 of 10 000 gives 4, not 5.
    const float ratio = static_cast<float>(static_cast<double>(current) / total);
    return static_cast<std::int32_t>(ratio * 1000.0);
}

void ProgressCtrl::BeginDownloadProgress(std::uint32_t totalBytes) {
    counter.StartCount(totalBytes);
    PostToWindow(msg::kDownloadBegin, totalBytes, 0);
}

void ProgressCtrl::AdvanceProgress(std::uint32_t bytes) {
    counter.AddCount(bytes);
    PostToWindow(msg::kDownloadPosition, counter.current, 0);
    const std::int32_t permille = PermilleOf(counter.current, counter.total);
    if (permille == lastPermille.value) {
        return;
    }
    lastPermille.value = permille;
    PostToWindow(msg::kDownloadPermille, static_cast<std::uintptr_t>(permille), 0);
}

void ProgressCtrl::NotifyUncompressStage() {
    PostToWindow(msg::kUncompressStage, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

void ProgressCtrl::NotifyLocalsetStage() {
    PostToWindow(msg::kLocalsetStage, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
}

void ProgressCtrl::NotifyFinishStage() {
    PostToWindow(msg::kFinishStage, 0, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
}

void ProgressCtrl::NotifyDownloadComplete() {
    PostToWindow(msg::kDownloadComplete, counter.total, 0);
}
