#pragma once
// Running another program and talking to it: the updater, the release tool, helpers and system
// tools that the tests run.

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ChildOptions {
    std::string program;                             // UTF-8 path; found on PATH when it has no "/"
    std::vector<std::string> arguments;              // without the program itself
    std::map<std::string, std::string> environment;  // set on top of the current environment
    std::vector<std::string> unsetEnvironment;       // removed from it
    std::string workingFolder;                       // "" = the current one
    std::optional<std::string> standardInput;        // written, then closed; nothing = /dev/null
};

struct ChildResult {
    bool started = false;
    bool timedOut = false;  // killed after the time limit
    int exitStatus = -1;    // when it exited
    int signal = 0;         // when a signal ended it
    std::string standardOutput;
    std::string standardError;
};

// Runs a program to its end (or kills it after the limit) and collects its output.
ChildResult RunChild(const ChildOptions& options, std::chrono::milliseconds limit);

struct ChildStreams;

// A program that keeps running while the caller works; killed (SIGKILL) when destroyed.
class RunningChild {
public:
    explicit RunningChild(const ChildOptions& options);
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;
    ~RunningChild();

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }
    // The next line of its standard output, waiting up to the limit.
    std::optional<std::string> ReadLine(std::chrono::milliseconds limit);
    // Sends a signal (SIGTERM = 15, SIGKILL = 9, SIGINT = 2).
    void Signal(int signal);
    // Waits for its end; the result's output fields hold what was not read yet.
    ChildResult Wait(std::chrono::milliseconds limit);

private:
    // The pump's view of this child, and taking back what the pump changed.
    ChildStreams PumpState();
    void Keep(const ChildStreams& streams);

    int pid_ = -1;
    int pidFd_ = -1;
    bool reaped_ = false;
    int inFd_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string inPending_;
    std::string outPending_;
    std::string errCollected_;
};

}  // namespace testsupport
