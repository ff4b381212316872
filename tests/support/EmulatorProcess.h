#pragma once

#include <csignal>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace loadstar::testing {

// kel-emulator as a child process, started without a shell with `args` plus "--control <pipe>" in
// a temporary folder of its own. The constructor waits for the device path it prints first; the
// destructor stops it with SIGTERM.
class EmulatorProcess {
  public:
    explicit EmulatorProcess(std::vector<std::string> args = {"--no-link", "--baud", "0"});
    ~EmulatorProcess() { (void)stop(); }
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    // False when it did not start or printed no device path in time; startupError() says why.
    [[nodiscard]] bool started() const { return !devicePath_.empty(); }
    [[nodiscard]] const std::string& startupError() const { return startupError_; }
    // The pseudo-terminal's slave, as printed on the first line.
    [[nodiscard]] const std::string& devicePath() const { return devicePath_; }
    // Writes one line to the control pipe ("silent on", "clear"). The emulator reads the pipe
    // before the next frame from the port, so a frame sent after this call meets the change.
    // False when the line could not be written.
    bool control(const std::string& line) const;
    // Sends `signal` and waits for the end (killing it after 10 s); the status as ChildProcess
    // counts it. Later calls return the same status.
    int stop(int signal = SIGTERM);
    // Sends `signal` and returns at once.
    void signal(int number) const { child_.signal(number); }
    // Stops it for at least `pause`, as a machine too busy to run it would.
    void holdFor(std::chrono::milliseconds pause) const { child_.holdFor(pause); }
    // What it wrote on stderr so far.
    [[nodiscard]] std::string errorText() const { return folder_.read("err"); }
    // The built kel-emulator program.
    static std::string programPath();

  private:
    TempDir folder_;
    ChildProcess child_;
    std::string devicePath_;
    std::string startupError_;
};

}  // namespace loadstar::testing
