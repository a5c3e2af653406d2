// A child process for multi-process tests: started with posix_spawn, its
// standard output read through a pipe, killed and reaped at scope end.
#pragma once

#include <sys/types.h>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeb::test {

class ChildProcess {
public:
    // Starts argv[0] (a path) with the given arguments and our environment.
    // Throws std::runtime_error when it cannot be started.
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Reads standard output until a line equal to `line` arrives; false when the
    // output ends or the time runs out first.
    bool waitForLine(std::string_view line,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool waitReady(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return waitForLine("ready", timeout);
    }

    // Everything the child writes on standard output until it closes it (or
    // the time runs out), after what waitForLine() has consumed.
    std::string readOutput(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    void signal(int sig);

    // Exit status (128 + signal number when killed by a signal), or nullopt
    // when the child is still running after `timeout`.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffered_;
    std::optional<int> status_;
};

// The bus peer test program (ZEB_TEST_BUS_PEER, else beside the test program).
std::string busPeerPath();

// A program of the staged suite (ZEB_TEST_SUITE_DIR, else the suite directory
// of the build that holds the test program).
std::filesystem::path suiteProgram(const std::string& name);

// Polls `condition` every 10 ms until it holds or `timeout` passes.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The lines of a text file (none when it is missing).
std::vector<std::string> readLines(const std::filesystem::path& path);

}  // namespace zeb::test
