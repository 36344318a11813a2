#pragma once
// The texts that the user sees in message boxes.

#include <string>

namespace texts {

// Captions.
extern const char16_t kCaptionUpdater[];        // another updater is running
extern const char16_t kCaptionStartupFailed[];  // the start-up could not reach the server
extern const char16_t kCaptionUpdateFailed[];   // every failure during the update

extern const char16_t kAlreadyRunning[];
extern const char16_t kCloseBrowserQuestion[];

// The failure messages that name the customer-service QQ number and the official web site.
std::u16string StartupFailed();     // 获取更新配置信息失败！…
std::u16string ServerListFailed();  // 无法从服务器获得更新配置！…
std::u16string DownloadFailed();    // 下载更新文件失败！…
std::u16string UncompressFailed();  // 解压更新文件失败！…
std::u16string LocalsetFailed();    // 更新本地文件失败！…

}  // namespace texts
