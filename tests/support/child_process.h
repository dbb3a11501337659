#pragma once

#include <functional>
#include <string>
#include <vector>

namespace klar::test {

/// What a finished child process left: its exit status and everything it wrote.
struct ChildResult {
    int status = -1; ///< the exit status; 128 + the signal number when a signal ended it
    std::string out;
    std::string err;
};

/// Runs program with args, its output captured, and waits for it to end.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args);

#ifndef _WIN32
/// Runs work in a forked child (for limits, signals and hangs that must not hit the test
/// itself) and returns what it returned; "|signal N" is added when a signal ended it, and
/// "|hung" when it was still running after `bound` seconds (it is then killed).
std::string InChild(const std::function<std::string()>& work, int bound = 300);

/// A child process started and not yet waited for, so that a test can signal it mid-run.
class RunningChild {
public:
    RunningChild(const std::string& program, const std::vector<std::string>& args);
    ~RunningChild();
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;

    [[nodiscard]] int pid() const { return pid_; }
    /// Waits for the end (once) and collects the output.
    ChildResult Wait();

private:
    int pid_ = -1;
    std::string outPath_;
    std::string errPath_;
};
#endif

} // namespace klar::test
