#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace loadstar::testing {

// Where a child's stdout or stderr goes: a file path (created or truncated) or an open descriptor
// of the test (the child gets a copy; the test still owns and closes its own).
using ChildOutput = std::variant<std::string, int>;
// "NAME=value" entries; the child inherits the test's environment when there is none.
using ChildEnvironment = std::optional<std::vector<std::string>>;

// A program started with `args` and no shell in between, stdin from /dev/null. Every other
// descriptor of the test stays out of it as long as the test opens them close-on-exec. A child
// still running when the object goes is killed and reaped, so no test leaves one behind.
class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const ChildOutput& output, const ChildOutput& errors,
                 const ChildEnvironment& environment = std::nullopt);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False when the program could not be started (a missing file, a bad output path).
    [[nodiscard]] bool started() const { return pid_ > 0; }
    [[nodiscard]] pid_t pid() const { return pid_; }
    [[nodiscard]] bool running() const { return started() && !reaped_; }

    // Sends `number` while the child runs; nothing once it has been reaped.
    void signal(int number) const;
    // Waits up to `timeout` for the end. Returns the exit code, 128 + the signal that ended it, or
    // -1 when it is still running (or never started, or had to be killed). Once it has ended,
    // every call returns the same status at once.
    int waitForExit(std::chrono::milliseconds timeout);
    // True once waitForExit saw the child ended by a signal rather than by exiting (130 may be
    // either an exit code or SIGINT).
    [[nodiscard]] bool endedBySignal() const { return endedBySignal_; }
    // Ends a running child with SIGKILL and reaps it; its status then stays -1.
    void kill();

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitStatus_ = -1;
    bool endedBySignal_ = false;
};

}  // namespace loadstar::testing
