#pragma once
// Running another program and talking to it: the updater, the release tool, helpers and system
// tools that the tests run.

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ChildOptions {
    std::string program;                             // UTF-8 path; found on PATH when it has no
                                                     // separator ("/", on Windows also "\")
    std::vector<std::string> arguments;              // without the program itself
    std::map<std::string, std::string> environment;  // set on top of the current environment
    std::vector<std::string> unsetEnvironment;       // removed from it
    std::string workingFolder;                       // "" = the current one
    std::optional<std::string> standardInput;        // written, then closed; nothing = /dev/null
    bool errorIntoOutput = false;  // standard error joins standard output, in order (2>&1)
};

struct ChildResult {
    bool started = false;
    bool timedOut = false;  // killed after the time limit
    int exitStatus = -1;    // when it exited
    // When a signal ended it. Windows has no signals: there it is the number given to Signal (9
    // or 15), or 9 after the time limit, when that ended the child (TerminateProcess), else 0.
    int signal = 0;
    std::string standardOutput;
    std::string standardError;
};

// Runs a program to its end (or kills it after the limit) and collects its output.
ChildResult RunChild(const ChildOptions& options, std::chrono::milliseconds limit);

// The system's view of a running child (descriptors or handles) and the text still to write or
// read; each system's file defines it.
struct ChildState;

// A program that keeps running while the caller works; killed (SIGKILL) when destroyed.
class RunningChild {
public:
    explicit RunningChild(const ChildOptions& options);
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;
    ~RunningChild();

    bool started() const;
    int pid() const;
    // The next line of its standard output (without "\n", on Windows also without "\r\n"),
    // waiting up to the limit.
    std::optional<std::string> ReadLine(std::chrono::milliseconds limit);
    // Sends a signal (SIGTERM = 15, SIGKILL = 9, SIGINT = 2). Windows: 9 and 15 terminate the
    // child; 2 is a Ctrl+Break event for its process group, which reaches it only where the
    // system delivers console events (see child_process_win.cpp).
    void Signal(int signal);
    // Waits for its end; the result's output fields hold what was not read yet.
    ChildResult Wait(std::chrono::milliseconds limit);

private:
    std::unique_ptr<ChildState> state_;
};

}  // namespace testsupport
