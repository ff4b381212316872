#pragma once

#include <string>
#include <vector>

#include "UniqueFd.h"

namespace loadstar::emulator {

// A named pipe from which the running emulator takes control lines ("silent on", "drop 3", ...),
// so that a test can change the board's faults in the middle of a pass. The pipe is made with mode
// 0600 unless a pipe of that name exists already, and removed on destruction if it was made here.
// The emulator keeps a writing end open itself, so that a writer closing never wakes its poll
// loop with an endless end-of-file.
class ControlChannel {
  public:
    // Throws SetupError when the pipe cannot be made or opened.
    explicit ControlChannel(std::string path);
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Non-blocking read end, for poll().
    [[nodiscard]] int fd() const { return reader_.get(); }
    // The complete lines that have arrived, without their line ends; never waits.
    [[nodiscard]] std::vector<std::string> takeLines();

  private:
    std::string path_;
    bool created_ = false;
    UniqueFd reader_;
    UniqueFd keepOpenWriter_;
    std::string partialLine_;
};

}  // namespace loadstar::emulator
