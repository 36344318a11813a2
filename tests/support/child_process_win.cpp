// Child programs with pipes on all three standard streams. Our ends are overlapped named pipes,
// so one thread waits on the reads, the write and the child's end together with a deadline: a
// child that fills one pipe while we wait on another cannot block either side.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "platform/text_codepage.h"
#include "tests/support/child_process.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kChunk = 64 * 1024;

// TerminateProcess's exit status for a child we end with a "signal": the shells' convention,
// and how FillStatus tells our own kill from a status the child chose.
DWORD KillStatus(int signal) {
    return static_cast<DWORD>(128 + signal);
}

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = platform::Utf8ToUtf16(utf8);
    return std::wstring(text.begin(), text.end());
}

// One standard stream: our end of its pipe and the one read or write that may be in flight.
struct Stream {
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped = {};
    bool pending = false;
    bool reads = true;
    std::vector<char> buffer;
    std::string* text = nullptr;  // appended to (reads) or taken from (the write)
};

}  // namespace

// A child's process, its streams and the text still to write or read.
struct ChildState {
    HANDLE process = nullptr;
    DWORD pid = 0;
    bool ended = false;
    DWORD exitCode = 0;
    int killedWith = 0;  // the signal whose TerminateProcess ended it
    Stream in;
    Stream out;
    Stream err;
    std::string inPending;
    std::string outPending;
    std::string errCollected;

    ChildState() {
        in.reads = false;
        in.text = &inPending;
        out.text = &outPending;
        err.text = &errCollected;
    }
};

namespace {

bool Open(const Stream& stream) {
    return stream.handle != INVALID_HANDLE_VALUE;
}

// Takes the result of the operation in flight; false while it is still running.
bool Finish(Stream& stream, bool wait) {
    DWORD done = 0;
    if (!GetOverlappedResult(stream.handle, &stream.overlapped, &done, wait ? TRUE : FALSE)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE) {
            return false;
        }
        // The other end is closed (the end of the stream), or the operation was cancelled.
        stream.pending = false;
        if (!stream.reads) {
            stream.text->clear();
        }
        CloseHandle(stream.handle);
        stream.handle = INVALID_HANDLE_VALUE;
        return true;
    }
    stream.pending = false;
    if (stream.reads) {
        stream.text->append(stream.buffer.data(), done);
    } else {
        stream.text->erase(0, done);
    }
    return true;
}

void Close(Stream& stream) {
    if (!Open(stream)) {
        return;
    }
    if (stream.pending) {
        // The system writes into the buffer until the cancellation is through; a read that
        // finished first keeps its bytes.
        CancelIoEx(stream.handle, &stream.overlapped);
        Finish(stream, true);
    }
    if (Open(stream)) {
        CloseHandle(stream.handle);
        stream.handle = INVALID_HANDLE_VALUE;
    }
}

// Starts the next read or write unless one is in flight; the input's pipe is closed once all of
// it is written.
void Start(Stream& stream) {
    if (!Open(stream) || stream.pending) {
        return;
    }
    ResetEvent(stream.overlapped.hEvent);
    BOOL ok;
    if (stream.reads) {
        ok = ReadFile(stream.handle, stream.buffer.data(), kChunk, nullptr, &stream.overlapped);
    } else {
        if (stream.text->empty()) {
            Close(stream);
            return;
        }
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(stream.text->size(), kChunk));
        std::copy_n(stream.text->data(), size, stream.buffer.data());
        ok = WriteFile(stream.handle, stream.buffer.data(), size, nullptr, &stream.overlapped);
    }
    if (ok || GetLastError() == ERROR_IO_PENDING) {
        stream.pending = true;  // a finished operation has set the event as well
    } else {
        if (!stream.reads) {
            stream.text->clear();
        }
        Close(stream);
    }
}

// After the child's end: what it wrote is in the pipe now; a program it left running with the
// pipe must not keep us waiting for its end.
void DrainAndClose(Stream& stream) {
    if (stream.reads && Open(stream)) {
        if (stream.pending) {
            CancelIoEx(stream.handle, &stream.overlapped);
            Finish(stream, true);
        }
        DWORD available = 0;
        while (Open(stream) &&
               PeekNamedPipe(stream.handle, nullptr, 0, nullptr, &available, nullptr) &&
               available > 0) {
            Start(stream);
            if (stream.pending) {
                Finish(stream, true);
            }
        }
    }
    Close(stream);
}

// A pipe whose end for us is overlapped and private, and whose end for the child is inherited.
bool MakePipe(Stream& stream, HANDLE& childEnd) {
    // Process ids come round again, and a child of an earlier test program may still hold a
    // pipe of the name that program gave it: a name also carries this process's own start time,
    // and a name that is taken is passed over.
    static std::atomic<unsigned> counter{0};
    static const std::wstring prefix = [] {
        FILETIME created, exited, kernel, user;
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        return L"\\\\.\\pipe\\orvtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring((std::uint64_t{created.dwHighDateTime} << 32) |
                               created.dwLowDateTime) +
               L"-";
    }();
    const DWORD direction = stream.reads ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_OUTBOUND;
    std::wstring name;
    for (int attempt = 0; attempt < 8 && !Open(stream); ++attempt) {
        name = prefix + std::to_wstring(counter++);
        stream.handle = CreateNamedPipeW(
            name.c_str(), direction | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, kChunk, kChunk, 0, nullptr);
    }
    if (!Open(stream)) {
        return false;
    }
    SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
    const DWORD access = (stream.reads ? GENERIC_WRITE : GENERIC_READ) | FILE_READ_ATTRIBUTES;
    childEnd = CreateFileW(name.c_str(), access, 0, &inherited, OPEN_EXISTING, 0, nullptr);
    stream.overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    stream.buffer.resize(kChunk);
    return childEnd != INVALID_HANDLE_VALUE && stream.overlapped.hEvent != nullptr;
}

void Release(Stream& stream) {
    Close(stream);
    if (stream.overlapped.hEvent != nullptr) {
        CloseHandle(stream.overlapped.hEvent);
        stream.overlapped.hEvent = nullptr;
    }
}

// One argument as CommandLineToArgvW and the C runtime split it again: quoted when it holds
// blanks or quotes (or is empty); backslashes count only before a quote, where they are doubled.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

std::wstring CommandLine(const std::wstring& program, const ChildOptions& options) {
    // The program's own name is split without escapes: up to the closing quote.
    std::wstring line = L"\"" + program + L"\"";
    for (const std::string& argument : options.arguments) {
        line += L' ';
        AppendQuoted(line, Wide(argument));
    }
    return line;
}

// A name without a separator is looked for on PATH, as it is, and with ".exe".
std::wstring FindProgram(const std::string& program) {
    const std::wstring name = Wide(program);
    if (program.find_first_of("/\\") != std::string::npos) {
        return name;
    }
    const DWORD pathSize = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring path(pathSize, L'\0');
    path.resize(GetEnvironmentVariableW(L"PATH", path.data(), pathSize));
    std::wstring found(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = SearchPathW(path.c_str(), name.c_str(), L".exe",
                                       static_cast<DWORD>(found.size()), found.data(), nullptr);
        if (size == 0) {
            return std::wstring();
        }
        if (size < found.size()) {
            found.resize(size);
            return found;
        }
        found.resize(size);
    }
}

// Windows compares environment names without case and keeps the block sorted that way.
struct NameOrder {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                    static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
    }
};

std::wstring EnvironmentBlock(const ChildOptions& options) {
    std::map<std::wstring, std::wstring, NameOrder> entries;
    if (wchar_t* current = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = current; *entry != L'\0'; entry += wcslen(entry) + 1) {
            // "=C:=C:\folder" entries (the current folder of each drive) have "=" first.
            const std::wstring text(entry);
            const std::size_t equals = text.find(L'=', 1);
            entries.emplace(text.substr(0, equals), text);
        }
        FreeEnvironmentStringsW(current);
    }
    for (const std::string& name : options.unsetEnvironment) {
        entries.erase(Wide(name));
    }
    for (const auto& [name, value] : options.environment) {
        entries.erase(Wide(name));
        entries.emplace(Wide(name), Wide(name + "=" + value));
    }
    std::wstring block;
    for (const auto& entry : entries) {
        block += entry.second;
        block += L'\0';
    }
    block += L'\0';
    if (entries.empty()) {
        block += L'\0';
    }
    return block;
}

bool Spawn(const ChildOptions& options, ChildState& state) {
    const std::wstring program = FindProgram(options.program);
    if (program.empty()) {
        return false;
    }
    HANDLE input = INVALID_HANDLE_VALUE;
    HANDLE output = INVALID_HANDLE_VALUE;
    HANDLE error = INVALID_HANDLE_VALUE;
    bool ready = MakePipe(state.out, output) && MakePipe(state.err, error);
    if (ready && options.standardInput) {
        ready = MakePipe(state.in, input);
    } else if (ready) {
        SECURITY_ATTRIBUTES inherited = {sizeof(inherited), nullptr, TRUE};
        input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                            OPEN_EXISTING, 0, nullptr);
        ready = input != INVALID_HANDLE_VALUE;
    }

    // Only these three handles go to the child, not those of a child that another thread
    // starts at the same moment.
    HANDLE inheritedHandles[] = {input, output, error};
    SIZE_T attributesSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributesSize);
    std::vector<char> attributes(attributesSize);
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input;
    startup.StartupInfo.hStdOutput = output;
    startup.StartupInfo.hStdError = options.errorIntoOutput ? output : error;
    startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    ready = ready &&
            InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &attributesSize) &&
            UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                      inheritedHandles, sizeof(inheritedHandles), nullptr, nullptr);

    PROCESS_INFORMATION process = {};
    if (ready) {
        std::wstring commandLine = CommandLine(program, options);
        std::wstring environment = EnvironmentBlock(options);
        const std::wstring folder = Wide(options.workingFolder);
        // CREATE_NO_WINDOW: a console of its own without a window, which Signal(2) can attach
        // to; its standard streams are still our pipes.
        ready = CreateProcessW(
            program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
            CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
            environment.data(), folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo,
            &process);
        DeleteProcThreadAttributeList(startup.lpAttributeList);
    }
    for (HANDLE handle : {input, output, error}) {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    if (!ready) {
        for (Stream* stream : {&state.in, &state.out, &state.err}) {
            Release(*stream);
        }
        return false;
    }
    CloseHandle(process.hThread);
    state.process = process.hProcess;
    state.pid = process.dwProcessId;
    return true;
}

void Ended(ChildState& state) {
    state.ended = true;
    GetExitCodeProcess(state.process, &state.exitCode);
    for (Stream* stream : {&state.in, &state.out, &state.err}) {
        DrainAndClose(*stream);
    }
}

enum class PumpUntil { Exit, Line };

// Moves data between the pipes until the child has ended (its output read to the end), or a
// whole line waits in the output (PumpUntil::Line), or the deadline passes (false).
bool Pump(ChildState& state, PumpUntil until, Clock::time_point deadline) {
    for (;;) {
        if (until == PumpUntil::Line &&
            (state.outPending.find('\n') != std::string::npos || !Open(state.out))) {
            return true;
        }
        if (until == PumpUntil::Exit && state.ended && !Open(state.out) && !Open(state.err)) {
            return true;
        }
        std::vector<HANDLE> events;
        for (Stream* stream : {&state.in, &state.out, &state.err}) {
            Start(*stream);
            if (stream->pending) {
                events.push_back(stream->overlapped.hEvent);
            }
        }
        const bool watchEnd = until == PumpUntil::Exit && !state.ended;
        if (watchEnd) {
            events.push_back(state.process);
        }

        const auto now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        if (events.empty()) {
            continue;
        }
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
        const DWORD ready = WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(),
                                                   FALSE, static_cast<DWORD>(wait));
        if (ready == WAIT_FAILED) {
            return false;
        }
        for (Stream* stream : {&state.in, &state.out, &state.err}) {
            if (stream->pending) {
                Finish(*stream, false);
            }
        }
        if (watchEnd && WaitForSingleObject(state.process, 0) == WAIT_OBJECT_0) {
            Ended(state);
        }
    }
}

void Kill(ChildState& state, int signal) {
    if (state.process != nullptr && !state.ended &&
        TerminateProcess(state.process, KillStatus(signal))) {
        state.killedWith = signal;
    }
}

void KillAndWait(ChildState& state) {
    if (!state.ended) {
        Kill(state, 9);
        WaitForSingleObject(state.process, INFINITE);
        Ended(state);
    }
}

void FillStatus(const ChildState& state, ChildResult& result) {
    if (!state.ended) {
        return;
    }
    if (state.killedWith != 0 && state.exitCode == KillStatus(state.killedWith)) {
        result.signal = state.killedWith;
    } else {
        result.exitStatus = static_cast<int>(state.exitCode);
    }
}

// A Windows program's text streams end each line with "\r\n"; the tests compare lines.
std::string WithPlainLineEnds(std::string text) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            text[kept++] = text[i];
        }
    }
    text.resize(kept);
    return text;
}

ChildResult Conclude(ChildState& state, std::chrono::milliseconds limit) {
    ChildResult result;
    result.started = true;
    if (!Pump(state, PumpUntil::Exit, Clock::now() + limit)) {
        result.timedOut = true;
        KillAndWait(state);
    }
    FillStatus(state, result);
    result.standardOutput = WithPlainLineEnds(std::move(state.outPending));
    result.standardError = WithPlainLineEnds(std::move(state.errCollected));
    state.outPending.clear();
    state.errCollected.clear();
    return result;
}

void Destroy(ChildState& state) {
    if (state.process != nullptr) {
        KillAndWait(state);
        CloseHandle(state.process);
        state.process = nullptr;
    }
    for (Stream* stream : {&state.in, &state.out, &state.err}) {
        Release(*stream);
    }
}

// Sends Ctrl+C to the child's own console. Wine 8 refuses CTRL_BREAK_EVENT for a process group
// (ERROR_INVALID_HANDLE) and delivers no event at all to a process without a console (as under
// CTest), but delivers CTRL_C_EVENT to the processes of a console we attach to, which works on
// Windows too. The event also reaches us, asynchronously: from then on a handler swallows
// Ctrl+C here (Ctrl+Break still ends this process). Not the ignore flag, which the children
// started later would inherit.
BOOL WINAPI SwallowCtrlC(DWORD event) {
    return event == CTRL_C_EVENT ? TRUE : FALSE;
}

void Interrupt(DWORD pid) {
    static std::mutex console;
    const std::lock_guard<std::mutex> lock(console);
    const bool hadConsole = GetConsoleCP() != 0;
    static const bool swallowing = SetConsoleCtrlHandler(SwallowCtrlC, TRUE);
    (void)swallowing;
    FreeConsole();
    if (AttachConsole(pid)) {
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        FreeConsole();
    }
    if (hadConsole) {
        AttachConsole(ATTACH_PARENT_PROCESS);
    }
}

}  // namespace

ChildResult RunChild(const ChildOptions& options, std::chrono::milliseconds limit) {
    ChildState state;
    state.inPending = options.standardInput.value_or(std::string());
    ChildResult result;
    if (Spawn(options, state)) {
        result = Conclude(state, limit);
    }
    Destroy(state);
    return result;
}

RunningChild::RunningChild(const ChildOptions& options) : state_(std::make_unique<ChildState>()) {
    state_->inPending = options.standardInput.value_or(std::string());
    Spawn(options, *state_);
}

RunningChild::~RunningChild() {
    Destroy(*state_);
}

bool RunningChild::started() const {
    return state_->process != nullptr;
}

int RunningChild::pid() const {
    return state_->process != nullptr ? static_cast<int>(state_->pid) : -1;
}

std::optional<std::string> RunningChild::ReadLine(std::chrono::milliseconds limit) {
    if (!started()) {
        return std::nullopt;
    }
    Pump(*state_, PumpUntil::Line, Clock::now() + limit);

    std::string& pending = state_->outPending;
    const std::size_t end = pending.find('\n');
    if (end != std::string::npos) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }
    if (!Open(state_->out) && !pending.empty()) {
        std::string line;
        line.swap(pending);
        return line;
    }
    return std::nullopt;
}

void RunningChild::Signal(int signal) {
    if (!started() || state_->ended) {
        return;
    }
    if (signal == 9 || signal == 15) {
        Kill(*state_, signal);
    } else if (signal == 2) {
        Interrupt(state_->pid);
    }
}

ChildResult RunningChild::Wait(std::chrono::milliseconds limit) {
    if (!started()) {
        return ChildResult();
    }
    return Conclude(*state_, limit);
}

}  // namespace testsupport
