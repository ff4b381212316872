#pragma once

#include <signal.h>

#include "link/UniqueDescriptor.h"

namespace loadstar::emulator {

// Turns SIGTERM, SIGINT and SIGHUP into input on a descriptor (signalfd), so the one poll loop
// sees them and the emulator ends cleanly: link removed, flash saved. The signals are blocked for
// the rest of the process's life.
class SignalWatch {
  public:
    // Throws SetupError when the signals cannot be watched.
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    [[nodiscard]] int fd() const { return fd_.get(); }
    // The signal that arrived, 0 when none is waiting; never waits.
    [[nodiscard]] int takeSignal();

  private:
    sigset_t watched_{};
    sigset_t previous_{};
    UniqueDescriptor fd_;
};

}  // namespace loadstar::emulator
