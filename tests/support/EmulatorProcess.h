#pragma once

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Descriptor.h"
#include "ProgramRunner.h"
#include "TempDir.h"

namespace loadstar::testing {

// kel-emulator as a child process, started without a shell. The constructor starts it with
// `extraArgs` plus "--control <pipe>" (a named pipe in a temporary folder of its own) and reads
// the device path it prints first. The destructor stops it with SIGTERM and waits for it.
class EmulatorProcess {
  public:
    static std::vector<std::string> defaultArgs() { return {"--no-link", "--baud", "0"}; }

    explicit EmulatorProcess(std::vector<std::string> extraArgs = defaultArgs());
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    // False when the program did not start or printed no device path in time; startupError()
    // then says why (including what the program wrote on stderr).
    [[nodiscard]] bool started() const { return !devicePath_.empty(); }
    [[nodiscard]] const std::string& startupError() const { return startupError_; }
    // The pseudo-terminal's slave, as printed on the first line.
    [[nodiscard]] const std::string& devicePath() const { return devicePath_; }
    [[nodiscard]] pid_t pid() const { return child_ ? child_->pid() : -1; }
    // A temporary folder of this run (removed by the destructor), for links and flash files.
    [[nodiscard]] std::string workFolder() const { return folder_.path().string(); }

    // Writes one line to the control pipe ("silent on", "drop 3", "clear"). The emulator reads
    // the pipe before the line from the port, so a frame sent after this call meets the change.
    void control(const std::string& line);

    // Sends `signal` and waits up to `timeout` for the end (killing it after that). Returns the
    // exit status as ProgramResult::exitStatus counts it. Later calls return the same status.
    int stop(int signal = SIGTERM, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // What the program wrote on stderr so far.
    [[nodiscard]] std::string errorText() const;

    // The built kel-emulator program.
    static std::string programPath();

  private:
    void start(const std::vector<std::string>& args);
    void readDevicePath(std::chrono::milliseconds timeout);

    TempDir folder_;
    std::string controlPath_;
    std::string errorPath_;
    Descriptor output_;  // the read end of the child's stdout
    std::optional<ChildProcess> child_;
    std::string devicePath_;
    std::string startupError_;
};

// Runs kel-emulator with `args` until it ends by itself (for --help, bad options and refusals),
// killing it after `timeout`.
ProgramResult runEmulatorToEnd(const std::vector<std::string>& args,
                               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace loadstar::testing
