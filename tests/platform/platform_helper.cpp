// A small program that the platform tests run as a separate process.
//   lock NAME                 prints "locked", "exists" or "failed" and ends
//   hold NAME FILE [PROGRAM]  the same, then (started PROGRAM first) keeps the lock until FILE
//                             exists
//   box ok|okcancel           shows a message box without a user interface, prints the answer
//   interrupt                 prints "ready", waits for Ctrl+C or SIGTERM, prints "interrupted"
//   lines                     echoes each line of standard input in brackets
//   exit STATUS               leaves unflushed output behind and ends with ExitProcessNow
//   self                      prints its own path
//   console                   prints whether standard error is a terminal, and writes to it
//   (no arguments)            a program started as the browser is: with ORV_HELPER_MARKER set,
//                             writes "running" and its argument count to that file, waits until
//                             MARKER.finish exists (or the file's folder is gone), writes "ended"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "platform/console.h"
#include "platform/environment.h"
#include "platform/instance_lock.h"
#include "platform/interrupt.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text_codepage.h"

namespace {

const char* StateText(platform::NamedLock::State state) {
    switch (state) {
        case platform::NamedLock::State::Acquired:
            return "locked";
        case platform::NamedLock::State::AlreadyExists:
            return "exists";
        default:
            return "failed";
    }
}

int Lock(int argc, char** argv, bool hold) {
    if (argc < 3 || (hold && argc < 4)) {
        return 2;
    }
    platform::NamedLock lock(platform::Utf8ToUtf16(argv[2]));
    std::cout << StateText(lock.state()) << std::endl;
    if (!hold) {
        return 0;
    }
    if (argc > 4) {
        std::cout << (platform::StartProgram(argv[4]) ? "started" : "not started") << std::endl;
    }
    while (!std::filesystem::exists(argv[3])) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

int Box(const std::string& mode) {
    const std::u16string caption = u"Orvel浏览器：更新失败";
    if (mode == "ok") {
        platform::ShowMessageBox(caption, u"更新完成。");
        std::cout << "shown" << std::endl;
    } else {
        const bool ok = platform::AskOkCancel(caption, u"是否重试？");
        std::cout << (ok ? "OK" : "CANCEL") << std::endl;
    }
    return 0;
}

int Interrupt() {
    platform::CatchInterrupts();
    std::cout << "ready" << std::endl;
    while (!platform::InterruptRequested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::cout << "interrupted" << std::endl;
    return 0;
}

int Lines() {
    while (const auto line = platform::ReadStandardInputLine()) {
        std::cout << "[" << *line << "]";
    }
    std::cout << std::endl;
    return 0;
}

int Exit(int status) {
    std::cout << "from cout ";
    std::printf("from printf");
    platform::ExitProcessNow(status);
}

int Self() {
    std::u16string path;
    if (!platform::GetExecutablePath(path)) {
        return 1;
    }
    std::cout << platform::Utf16ToUtf8(path) << std::endl;
    return 0;
}

int Console() {
    std::cout << (platform::StandardErrorIsTerminal() ? "terminal" : "not a terminal") << std::endl;
    platform::WriteStandardError("to standard error\n");
    return 0;
}

void WriteMarker(const std::filesystem::path& marker, const std::string& text) {
    std::ofstream(marker, std::ios::binary | std::ios::trunc) << text << "\n";
}

int Browser(int argc) {
    const std::optional<std::string> marker = platform::GetEnvironment("ORV_HELPER_MARKER");
    if (!marker) {
        return 2;
    }
    const std::filesystem::path path = std::filesystem::u8path(*marker);
    WriteMarker(path, "running " + std::to_string(argc - 1));
    std::filesystem::path finish = path;
    finish += ".finish";
    while (std::filesystem::exists(path.parent_path()) && !std::filesystem::exists(finish)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    WriteMarker(path, "ended");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 1) {
        return Browser(argc);
    }
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "lock" || command == "hold") {
        return Lock(argc, argv, command == "hold");
    }
    if (command == "box" && argc > 2) {
        return Box(argv[2]);
    }
    if (command == "interrupt") {
        return Interrupt();
    }
    if (command == "lines") {
        return Lines();
    }
    if (command == "exit" && argc > 2) {
        return Exit(std::stoi(argv[2]));
    }
    if (command == "self") {
        return Self();
    }
    if (command == "console") {
        return Console();
    }
    return 2;
}
