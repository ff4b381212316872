#pragma once

namespace loadstar::cli {

// Ctrl-C while a command runs: the handler only notes it; the command looks at it between blocks
// (through the user interface's "let pending events run") and stops cleanly.
class InterruptGuard {
  public:
    // Installs the handler: SIGINT and SIGTERM on Linux, the console's Ctrl-C and Ctrl-Break
    // on Windows. The destructor restores what was there before.
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    [[nodiscard]] static bool interrupted();
    static void clear();
};

}  // namespace loadstar::cli
