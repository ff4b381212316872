#pragma once

#include <string>
#include <vector>

#include "link/UniqueDescriptor.h"

namespace loadstar::emulator {

// A named pipe from which the running emulator takes control lines ("silent on", "drop 3", ...),
// so that a test can change the board's faults in the middle of a pass. Whoever may write to it
// steers the board, so the pipe is made here with mode 0600, in a folder that no other user could
// swap it in (see AtomicFileTrust.h); a pipe of that name that exists already is taken only when
// it belongs to this user and no one else may write to it, and never through a link. A pipe made
// here is removed on destruction.
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
    // The pipe opened for `direction` (O_RDONLY, O_WRONLY); throws SetupError.
    [[nodiscard]] UniqueDescriptor openPipeEnd(int direction) const;

    std::string path_;
    UniqueDescriptor folder_;
    std::string name_;
    bool created_ = false;
    UniqueDescriptor reader_;
    UniqueDescriptor keepOpenWriter_;
    std::string partialLine_;
};

}  // namespace loadstar::emulator
