#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <thread>
#include <vector>

#include "tests/support/window_probe.h"

namespace testsupport {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(50);

HWND Handle(WindowId window) {
    return reinterpret_cast<HWND>(window);
}

std::u16string TextOf(HWND window) {
    // WM_GETTEXT reads another process's window text (GetWindowText would not for controls).
    const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::vector<wchar_t> text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    return std::u16string(reinterpret_cast<const char16_t*>(text.data()));
}

struct Search {
    std::u16string caption;
    HWND owner = nullptr;
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (IsWindowVisible(window) && lstrcmpW(className, L"#32770") == 0 &&
        (search->owner == nullptr || GetWindow(window, GW_OWNER) == search->owner) &&
        TextOf(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

WindowId FindDialog(const std::u16string& caption, std::chrono::milliseconds limit,
                    WindowId owner) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        Search search{caption, Handle(owner), nullptr};
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            return reinterpret_cast<WindowId>(search.found);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return 0;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool IsWindowOpen(WindowId window) {
    return window != 0 && IsWindow(Handle(window));
}

bool WaitForClose(WindowId window, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (IsWindowOpen(window)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

std::u16string Caption(WindowId window) {
    return TextOf(Handle(window));
}

std::u16string ControlText(WindowId window, int controlId) {
    const HWND control = GetDlgItem(Handle(window), controlId);
    return control != nullptr ? TextOf(control) : std::u16string();
}

bool IsControlVisible(WindowId window, int controlId) {
    const HWND control = GetDlgItem(Handle(window), controlId);
    return control != nullptr && IsWindowVisible(control);
}

Progress ProgressOf(WindowId window, int controlId) {
    const HWND bar = GetDlgItem(Handle(window), controlId);
    Progress progress;
    if (bar != nullptr) {
        progress.position = SendMessageW(bar, PBM_GETPOS, 0, 0);
        progress.top = SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
    }
    return progress;
}

bool IsTopmost(WindowId window) {
    return (GetWindowLongPtrW(Handle(window), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

int IconCount(const std::u16string& program) {
    return static_cast<int>(
        ExtractIconExW(reinterpret_cast<const wchar_t*>(program.c_str()), -1, nullptr, nullptr, 0));
}

std::u16string VersionValue(const std::u16string& program, const std::u16string& name) {
    const auto* path = reinterpret_cast<const wchar_t*>(program.c_str());
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, info.data())) {
        return {};
    }
    // The program's one translation: Chinese (PRC) in Unicode.
    const std::u16string key = u"\\StringFileInfo\\080404b0\\" + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), reinterpret_cast<const wchar_t*>(key.c_str()), &value,
                        &length) ||
        length == 0) {
        return {};
    }
    return std::u16string(static_cast<const char16_t*>(value));
}

void PressEscape(WindowId window) {
    PostMessageW(Handle(window), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(Handle(window), WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void PostCommand(WindowId window, int command) {
    PostMessageW(Handle(window), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
}

void PostSystemCommand(WindowId window, unsigned command) {
    PostMessageW(Handle(window), WM_SYSCOMMAND, command, 0);
}

}  // namespace testsupport
