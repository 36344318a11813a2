// Starting a program detached from this one, ending the process at once, and its one heap.

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/process.h"
#include "platform/text_codepage.h"

namespace platform {

bool StartProgram(std::string_view ansiPath) {
    std::u16string path = AnsiToUtf16(ansiPath);
    if (path.empty()) {
        return false;
    }
    for (char16_t& unit : path) {
        if (unit == u'/') {
            unit = u'\\';
        }
    }
    // The program is named twice: as the program to run, so that nothing is searched for and a
    // name with blanks cannot be read as a shorter program with arguments, and as the command
    // line, quoted, which becomes its only argument (its own name).
    std::u16string commandLine = u"\"" + path + u"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    // No handle of ours is inherited (the single-instance mutex, our pipes). The program gets no
    // console of ours and a process group of its own: closing our console or pressing Ctrl+C in
    // it does not end the browser.
    if (!CreateProcessW(reinterpret_cast<const wchar_t*>(path.c_str()),
                        reinterpret_cast<wchar_t*>(commandLine.data()), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                        &process)) {
        return false;
    }
    // Not waited for.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

void ExitProcessNow(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    // Ends every thread at once without static destructors (no exit()); the status is the
    // process's exit code.
    ExitProcess(static_cast<UINT>(status));
}

void ShareOneHeap() {
    // The process heap is already one for all threads.
}

}  // namespace platform
