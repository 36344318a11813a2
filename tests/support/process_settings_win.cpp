#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/text_codepage.h"
#include "tests/support/process_settings.h"

namespace testsupport {

namespace {

std::wstring Wide(const char* utf8) {
    const std::u16string text = platform::Utf8ToUtf16(utf8);
    return std::wstring(text.begin(), text.end());
}

}  // namespace

// The process's block (GetEnvironmentVariableW, the children's environment) and the C
// runtime's copy (getenv) are separate: both change.
void SetEnvironment(const char* name, const char* value) {
    const std::wstring wideName = Wide(name);
    if (value == nullptr) {
        SetEnvironmentVariableW(wideName.c_str(), nullptr);
        _wputenv_s(wideName.c_str(), L"");  // an empty value removes it from the C runtime
    } else {
        // The C runtime first: it cannot hold an empty value, and passes the removal on to the
        // process's block, which can and is set after it.
        const std::wstring wideValue = Wide(value);
        _wputenv_s(wideName.c_str(), wideValue.c_str());
        SetEnvironmentVariableW(wideName.c_str(), wideValue.c_str());
    }
}

const char* const kTemporaryFolderVariable = "TMP";
const bool kPosixSystem = false;

// GetTempPathW reads %TMP% first, then %TEMP%.
void SetTemporaryFolder(const std::filesystem::path& folder) {
    SetEnvironment("TMP", folder.u8string().c_str());
    SetEnvironment("TEMP", folder.u8string().c_str());
}

// Windows has no per-process limit on the size of files (no RLIMIT_FSIZE).
bool FileSizeLimitSupported() {
    return false;
}

void LimitFileSize(unsigned long long) {}

}  // namespace testsupport
