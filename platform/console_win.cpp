// The console of Windows: text to a console goes as UTF-16 through the console calls; to a file
// or a pipe the UTF-8 bytes go unchanged.

#include <windows.h>

#include <algorithm>
#include <mutex>

#include "platform/console.h"
#include "platform/text_codepage.h"

namespace platform {
namespace {

std::mutex& ErrorMutex() {
    static std::mutex mutex;
    return mutex;
}

std::mutex& InputMutex() {
    static std::mutex mutex;
    return mutex;
}

bool IsConsole(HANDLE handle) {
    DWORD mode;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// The next UTF-16 unit typed at the console; false at the end of input. Ctrl+Z ends the input
// as it does for the C runtime.
bool ReadConsoleUnit(HANDLE input, wchar_t& unit) {
    DWORD got = 0;
    return ReadConsoleW(input, &unit, 1, &got, nullptr) && got == 1 && unit != L'\x1A';
}

// The next byte of a file or pipe; false at its end (a pipe whose writer closed it) or on an
// error.
bool ReadByte(HANDLE input, char& byte) {
    DWORD got = 0;
    return ReadFile(input, &byte, 1, &got, nullptr) && got == 1;
}

}  // namespace

bool StandardErrorIsTerminal() {
    return IsConsole(GetStdHandle(STD_ERROR_HANDLE));
}

std::size_t StandardErrorColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) {
            return static_cast<std::size_t>(columns);
        }
    }
    return 80;
}

void WriteStandardError(std::string_view utf8) {
    std::lock_guard<std::mutex> lock(ErrorMutex());
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return;
    }
    if (IsConsole(error)) {
        // The console shows UTF-16 whatever its code page.
        const std::u16string text = Utf8ToUtf16(utf8);
        const wchar_t* units = reinterpret_cast<const wchar_t*>(text.data());
        std::size_t left = text.size();
        while (left > 0) {
            DWORD written = 0;
            const DWORD part = static_cast<DWORD>(std::min<std::size_t>(left, 16384));
            if (!WriteConsoleW(error, units, part, &written, nullptr) || written == 0) {
                return;
            }
            units += written;
            left -= written;
        }
        return;
    }
    while (!utf8.empty()) {
        DWORD written = 0;
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(utf8.size(), 1u << 30));
        if (!WriteFile(error, utf8.data(), part, &written, nullptr) || written == 0) {
            return;
        }
        utf8.remove_prefix(written);
    }
}

std::optional<std::string> ReadStandardInputLine() {
    std::lock_guard<std::mutex> lock(InputMutex());
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    // One unit or byte at a time: nothing beyond the line is taken from the stream, so a program
    // started later (or the next question) still finds the rest.
    std::string line;
    bool gotAny = false;
    if (IsConsole(input)) {
        std::u16string typed;
        wchar_t unit;
        while (ReadConsoleUnit(input, unit)) {
            gotAny = true;
            if (unit == L'\n') {
                break;
            }
            typed.push_back(static_cast<char16_t>(unit));
        }
        line = Utf16ToUtf8(typed);
    } else {
        char byte;
        while (ReadByte(input, byte)) {
            gotAny = true;
            if (byte == '\n') {
                break;
            }
            line.push_back(byte);
        }
    }
    if (!gotAny) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

}  // namespace platform
