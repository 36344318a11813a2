// The program's own path and the user's temporary folder.

#include <windows.h>

#include <string>
#include <vector>

#include "platform/paths.h"

namespace platform {

bool GetExecutablePath(std::u16string& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return false;
        }
        // A path that filled the buffer may have been cut short.
        if (length < buffer.size()) {
            path.assign(buffer.begin(), buffer.begin() + length);
            return true;
        }
        if (buffer.size() >= 32768) {
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool GetTemporaryFolder(std::u16string& path) {
    // %TMP%, else %TEMP%, else %USERPROFILE%, else the Windows folder: the user's own folder in
    // the usual setup. The system ends it with "\".
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) {
            return false;
        }
        if (length < buffer.size()) {
            std::u16string folder(buffer.begin(), buffer.begin() + length);
            if (!IsPathSeparator(folder.back())) {
                folder.push_back(u'\\');
            }
            path = folder;
            return true;
        }
        // Too small: the length asked for counts the terminating zero.
        buffer.resize(length + 1);
    }
}

}  // namespace platform
