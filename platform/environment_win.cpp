// The process's own environment block (not the C runtime's copy), read as UTF-16.

#include <windows.h>

#include <vector>

#include "platform/environment.h"
#include "platform/text_codepage.h"

namespace platform {

// The name is ASCII or UTF-8; the value comes back as UTF-8.
std::optional<std::string> GetEnvironment(const char* name) {
    const std::u16string wideName = Utf8ToUtf16(name);
    const wchar_t* key = reinterpret_cast<const wchar_t*>(wideName.c_str());
    std::vector<wchar_t> buffer(256);
    for (;;) {
        // An empty value and a missing variable both give 0; only the error tells them apart.
        SetLastError(ERROR_SUCCESS);
        const DWORD length =
            GetEnvironmentVariableW(key, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return std::string();
        }
        if (length < buffer.size()) {
            return Utf16ToUtf8(std::u16string(buffer.begin(), buffer.begin() + length));
        }
        // Too small: the length asked for counts the terminating zero.
        buffer.resize(length);
    }
}

}  // namespace platform
