#pragma once

#include <string>

#include "link/UniqueDescriptor.h"

namespace loadstar::emulator {

// The emulator's end of the serial line: a pseudo-terminal whose slave stands for the board's
// port. The slave is opened once here, set raw (no echo, no line editing, 8 bits) and kept open
// for the emulator's whole life, so that a client closing its end never hangs the master up and
// nothing is echoed back. The slave is never locked here; clients lock it.
class PseudoTerminal {
  public:
    // Throws SetupError when the system has no pseudo-terminal to give.
    PseudoTerminal();

    // Non-blocking master: reads take what clients wrote, writes deliver replies.
    [[nodiscard]] int masterFd() const { return master_.get(); }
    // The path clients open, e.g. /dev/pts/3.
    [[nodiscard]] const std::string& slavePath() const { return slavePath_; }
    // Throws away what was sent to the client and not read yet.
    void discardUnreadInput();
    // Lets the next client in: a client that took the line for exclusive use and died without
    // giving it back would otherwise keep every later one out.
    void clearExclusiveMode();

  private:
    UniqueDescriptor master_;
    UniqueDescriptor slave_;
    std::string slavePath_;
};

}  // namespace loadstar::emulator
