#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/console.h"

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

}  // namespace

bool StandardErrorIsTerminal() {
    return ::isatty(2) == 1;
}

std::size_t StandardErrorColumns() {
    winsize size{};
    if (::ioctl(2, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

void WriteStandardError(std::string_view utf8) {
    std::lock_guard<std::mutex> lock(ErrorMutex());
    while (!utf8.empty()) {
        const ssize_t written = ::write(2, utf8.data(), utf8.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        utf8.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::optional<std::string> ReadStandardInputLine() {
    std::lock_guard<std::mutex> lock(InputMutex());
    // One byte at a time: nothing beyond the line is taken from the stream, so a program started
    // later (or the next question) still finds the rest.
    std::string line;
    bool gotAny = false;
    for (;;) {
        char c;
        const ssize_t got = ::read(0, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        gotAny = true;
        if (c == '\n') {
            break;
        }
        line.push_back(c);
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
