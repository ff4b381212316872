#pragma once

namespace loadstar::cli {

// Ctrl-C or SIGTERM while a command runs: the handler only notes the first; the command looks at it
// between blocks (through the user interface's "let pending events run") and stops cleanly. A
// second one ends the process at once with 128 + the signal's number (130 for Ctrl-C), whatever it
// is doing.
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
