#pragma once

#include <string>

#include "link/UniqueDescriptor.h"

namespace loadstar::emulator {

// Watches clients open and close the board's device (inotify on the pseudo-terminal's slave).
//
// The emulator keeps the slave open itself, so the terminal's input queue outlives every client;
// a real serial port starts empty when it is opened, and what the board sends while no program
// holds the port is lost. The emulator uses this watch to do the same: when the line changes
// hands, replies still queued or unread are thrown away, so a client never reads the end of an
// earlier client's reply as the start of its own.
class ClientWatch {
  public:
    // Throws SetupError when the device cannot be watched.
    explicit ClientWatch(const std::string& devicePath);

    [[nodiscard]] int fd() const { return fd_.get(); }
    // Takes the waiting events; true when since the last call the last client closed the device
    // or a first one opened it. Never waits.
    [[nodiscard]] bool takeLineChange();
    // Clients that have the device open now, as far as the events tell.
    [[nodiscard]] int clients() const { return clients_; }

  private:
    UniqueDescriptor fd_;
    int clients_ = 0;
};

}  // namespace loadstar::emulator
