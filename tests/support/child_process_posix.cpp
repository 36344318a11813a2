// Child programs with pipes on all three standard streams; every wait is a poll with a deadline,
// so a child that fills one pipe while we wait on another cannot block either side.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <vector>

#include "platform/spawn_posix.h"
#include "tests/support/child_process.h"

extern char** environ;

namespace testsupport {

// What the pump works on: a child's descriptors, its state and the text still to write or read.
struct ChildStreams {
    int pid = -1;
    int pidFd = -1;
    bool reaped = false;
    int inFd = -1;
    int outFd = -1;
    int errFd = -1;
    std::string* input = nullptr;  // what is still to be written
    std::string* output = nullptr;
    std::string* error = nullptr;
    int status = 0;
};

namespace {

using Clock = std::chrono::steady_clock;

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// glibc's own wrapper lacks C linkage in this version's header, so the call goes direct; -1
// (an old kernel) makes the waits fall back to asking for the child's end.
int OpenProcessFd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

std::vector<std::string> ChildEnvironment(const ChildOptions& options) {
    std::set<std::string> replaced(options.unsetEnvironment.begin(),
                                   options.unsetEnvironment.end());
    for (const auto& [name, value] : options.environment) {
        replaced.insert(name);
    }
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        if (replaced.count(text.substr(0, text.find('='))) == 0) {
            result.push_back(text);
        }
    }
    for (const auto& [name, value] : options.environment) {
        result.push_back(name + "=" + value);
    }
    return result;
}

bool Spawn(const ChildOptions& options, ChildStreams& streams) {
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    auto closeAll = [&] {
        for (int* fd : {&in[0], &in[1], &out[0], &out[1], &err[0], &err[1]}) {
            CloseFd(*fd);
        }
    };
    if ((options.standardInput && ::pipe2(in, O_CLOEXEC) != 0) || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
        closeAll();
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    if (options.standardInput) {
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, options.errorIntoOutput ? out[1] : err[1], 2);
    if (!options.workingFolder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    platform::DefaultSignalsOnSpawn(attributes);

    std::vector<std::string> arguments;
    arguments.push_back(options.program);
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment = ChildEnvironment(options);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    pid_t pid = -1;
    const bool search = options.program.find('/') == std::string::npos;
    const int error = search ? posix_spawnp(&pid, options.program.c_str(), &actions, &attributes,
                                            argv.data(), envp.data())
                             : posix_spawn(&pid, options.program.c_str(), &actions, &attributes,
                                           argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    CloseFd(in[0]);
    CloseFd(out[1]);
    CloseFd(err[1]);
    if (error != 0) {
        closeAll();
        return false;
    }
    streams.pid = pid;
    streams.pidFd = OpenProcessFd(pid);
    streams.inFd = in[1];
    streams.outFd = out[0];
    streams.errFd = err[0];
    for (int fd : {streams.inFd, streams.outFd, streams.errFd}) {
        if (fd >= 0) {
            SetNonBlocking(fd);
        }
    }
    return true;
}

// Writes without the SIGPIPE that a child which closed its input would raise.
ssize_t WriteWithoutSigpipe(int fd, const std::string& data) {
    sigset_t pipeOnly;
    sigset_t pending;
    sigset_t previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    const ssize_t written = ::write(fd, data.data(), data.size());
    const int error = errno;
    if (written < 0 && error == EPIPE && !wasPending) {
        const timespec zero = {0, 0};
        sigtimedwait(&pipeOnly, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
}

// Reads what is there now; false at the end of the stream or on an error.
bool ReadAvailable(int fd, std::string& into) {
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got > 0) {
            into.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

bool TryReap(ChildStreams& streams, bool block) {
    if (streams.reaped) {
        return true;
    }
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(streams.pid, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == streams.pid || (result < 0 && errno == ECHILD)) {
        streams.reaped = true;
        streams.status = status;
        CloseFd(streams.pidFd);
    }
    return streams.reaped;
}

void DrainAndClose(ChildStreams& streams) {
    CloseFd(streams.inFd);
    if (streams.outFd >= 0) {
        ReadAvailable(streams.outFd, *streams.output);
        CloseFd(streams.outFd);
    }
    if (streams.errFd >= 0) {
        ReadAvailable(streams.errFd, *streams.error);
        CloseFd(streams.errFd);
    }
}

enum class PumpUntil { Exit, Line };

// Moves data between the pipes until the child has ended (its output read to the end), or a
// whole line waits in the output (PumpUntil::Line), or the deadline passes (false).
bool Pump(ChildStreams& streams, PumpUntil until, Clock::time_point deadline) {
    for (;;) {
        if (until == PumpUntil::Line &&
            (streams.output->find('\n') != std::string::npos || streams.outFd < 0)) {
            return true;
        }
        if (until == PumpUntil::Exit && streams.reaped && streams.outFd < 0 && streams.errFd < 0) {
            return true;
        }
        if (until == PumpUntil::Exit && streams.outFd < 0 && streams.errFd < 0 &&
            streams.pidFd < 0 && TryReap(streams, false)) {
            return true;
        }
        if (streams.inFd >= 0 && streams.input->empty()) {
            CloseFd(streams.inFd);
        }

        std::vector<pollfd> polled;
        auto add = [&](int fd, short events) {
            if (fd >= 0) {
                polled.push_back({fd, events, 0});
            }
        };
        add(streams.inFd, POLLOUT);
        add(streams.outFd, POLLIN);
        add(streams.errFd, POLLIN);
        add(until == PumpUntil::Exit ? streams.pidFd : -1, POLLIN);

        const auto now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
        if (streams.pidFd < 0 && !streams.reaped) {
            // Without a process descriptor the end of the child is only seen by asking.
            wait = std::min<long long>(wait, 10);
        }
        const int ready = ::poll(polled.data(), polled.size(), static_cast<int>(wait));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        for (const pollfd& entry : polled) {
            if (entry.revents == 0) {
                continue;
            }
            if (entry.fd == streams.inFd) {
                const ssize_t written = WriteWithoutSigpipe(streams.inFd, *streams.input);
                if (written > 0) {
                    streams.input->erase(0, static_cast<std::size_t>(written));
                } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
                    streams.input->clear();
                    CloseFd(streams.inFd);
                }
            } else if (entry.fd == streams.outFd) {
                if (!ReadAvailable(streams.outFd, *streams.output)) {
                    CloseFd(streams.outFd);
                }
            } else if (entry.fd == streams.errFd) {
                if (!ReadAvailable(streams.errFd, *streams.error)) {
                    CloseFd(streams.errFd);
                }
            } else if (entry.fd == streams.pidFd) {
                // The child has ended: what it wrote is in the pipes now, and a program it left
                // running must not keep us waiting for their end.
                TryReap(streams, true);
                DrainAndClose(streams);
            }
        }
        if (streams.pidFd < 0 && !streams.reaped && until == PumpUntil::Exit &&
            TryReap(streams, false)) {
            DrainAndClose(streams);
        }
    }
}

void KillAndReap(ChildStreams& streams) {
    if (!streams.reaped) {
        ::kill(streams.pid, SIGKILL);
        TryReap(streams, true);
    }
}

void FillStatus(const ChildStreams& streams, ChildResult& result) {
    if (!streams.reaped) {
        return;
    }
    if (WIFEXITED(streams.status)) {
        result.exitStatus = WEXITSTATUS(streams.status);
    } else if (WIFSIGNALED(streams.status)) {
        result.signal = WTERMSIG(streams.status);
    }
}

}  // namespace

ChildResult RunChild(const ChildOptions& options, std::chrono::milliseconds limit) {
    ChildResult result;
    std::string input = options.standardInput.value_or(std::string());
    ChildStreams streams;
    streams.input = &input;
    streams.output = &result.standardOutput;
    streams.error = &result.standardError;
    if (!Spawn(options, streams)) {
        return result;
    }
    result.started = true;
    if (!Pump(streams, PumpUntil::Exit, Clock::now() + limit)) {
        result.timedOut = true;
        KillAndReap(streams);
        DrainAndClose(streams);
    }
    CloseFd(streams.pidFd);
    FillStatus(streams, result);
    return result;
}

// A running child's streams, with the text they point at.
struct ChildState {
    ChildStreams streams;
    std::string inPending;
    std::string outPending;
    std::string errCollected;
};

RunningChild::RunningChild(const ChildOptions& options) : state_(std::make_unique<ChildState>()) {
    ChildStreams& streams = state_->streams;
    state_->inPending = options.standardInput.value_or(std::string());
    streams.input = &state_->inPending;
    streams.output = &state_->outPending;
    streams.error = &state_->errCollected;
    Spawn(options, streams);  // leaves pid at -1 when the program could not start
}

RunningChild::~RunningChild() {
    ChildStreams& streams = state_->streams;
    if (streams.pid > 0 && !streams.reaped) {
        ::kill(streams.pid, SIGKILL);
        int status;
        while (::waitpid(streams.pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    for (int* fd : {&streams.pidFd, &streams.inFd, &streams.outFd, &streams.errFd}) {
        CloseFd(*fd);
    }
}

bool RunningChild::started() const {
    return state_->streams.pid > 0;
}

int RunningChild::pid() const {
    return state_->streams.pid;
}

std::optional<std::string> RunningChild::ReadLine(std::chrono::milliseconds limit) {
    ChildStreams& streams = state_->streams;
    if (streams.pid <= 0) {
        return std::nullopt;
    }
    Pump(streams, PumpUntil::Line, Clock::now() + limit);

    std::string& pending = state_->outPending;
    const std::size_t end = pending.find('\n');
    if (end != std::string::npos) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        return line;
    }
    if (streams.outFd < 0 && !pending.empty()) {
        std::string line;
        line.swap(pending);
        return line;
    }
    return std::nullopt;
}

void RunningChild::Signal(int signal) {
    const ChildStreams& streams = state_->streams;
    if (streams.pid > 0 && !streams.reaped) {
        ::kill(streams.pid, signal);
    }
}

ChildResult RunningChild::Wait(std::chrono::milliseconds limit) {
    ChildResult result;
    ChildStreams& streams = state_->streams;
    if (streams.pid <= 0) {
        return result;
    }
    result.started = true;
    if (!Pump(streams, PumpUntil::Exit, Clock::now() + limit)) {
        result.timedOut = true;
        KillAndReap(streams);
        DrainAndClose(streams);
    }
    CloseFd(streams.pidFd);
    FillStatus(streams, result);
    result.standardOutput.swap(state_->outPending);
    result.standardError.swap(state_->errCollected);
    return result;
}

}  // namespace testsupport
