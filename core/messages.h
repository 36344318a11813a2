#pragma once
// The messages that the engine posts to the dialog.

#include <cstdint>

#include "platform/message_target.h"

namespace msg {

constexpr std::uint32_t kQuit = platform::kWmQuit;                    // the update is over
constexpr std::uint32_t kDownloadBegin = platform::kWmUser + 101;     // wParam: total bytes
constexpr std::uint32_t kDownloadPosition = platform::kWmUser + 102;  // wParam: bytes counted
constexpr std::uint32_t kDownloadPermille = platform::kWmUser + 103;  // wParam: 0 ... 1000
constexpr std::uint32_t kDownloadComplete = platform::kWmUser + 104;  // wParam: total bytes
constexpr std::uint32_t kUncompressStage = platform::kWmUser + 105;
constexpr std::uint32_t kUncompressDone = platform::kWmUser + 106;  // never posted
constexpr std::uint32_t kLocalsetStage = platform::kWmUser + 107;
constexpr std::uint32_t kLocalsetDone = platform::kWmUser + 108;  // never posted
constexpr std::uint32_t kFinishStage = platform::kWmUser + 109;
constexpr std::uint32_t kCurrentFile = platform::kWmUser + 200;  // text: the file's name

}  // namespace msg
