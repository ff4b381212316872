#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "emulator/BoardModel.h"
#include "emulator/ClientWatch.h"
#include "emulator/ControlChannel.h"
#include "emulator/PacedLine.h"
#include "emulator/PseudoTerminal.h"
#include "emulator/SignalWatch.h"
#include "link/LinkClock.h"

namespace loadstar::emulator {

// The emulator's one thread: a poll() loop over the stop signals, the clients' opens and closes,
// the control pipe and the pseudo-terminal. It passes what the client writes to the line (see
// PacedLine, which keeps the line's time as a USB adapter drives it) and writes what falls due
// there to the client. What is on its way is dropped when the line changes hands (see
// ClientWatch), and the exclusive mode a client set is cleared when the last one goes, also when
// it died without closing. The loop sleeps in poll() with a time-out only while bytes
// are on their way or a frame is half in, or every 5 ms while a client holds the line (to notice
// the machine holding it up), so an emulator nobody uses takes no CPU.
class EmulatorLoop {
  public:
    // `control` may be null (no control pipe). The loop waits on `clock`, the one `line` keeps.
    EmulatorLoop(PseudoTerminal& terminal, BoardModel& board, PacedLine& line, SignalWatch& signals,
                 ClientWatch& clients, ControlChannel* control, LinkClock& clock)
        : terminal_(terminal),
          board_(board),
          line_(line),
          signals_(signals),
          clients_(clients),
          control_(control),
          clock_(clock) {}

    // Runs until a stop signal arrives and returns its number. Throws SetupError when the
    // pseudo-terminal fails.
    int run();
    static constexpr int stallWatchMs = 5;

  private:
    [[nodiscard]] int pollTimeout() const;
    void resetLineOnChangeOfHands();
    void applyControlLines();
    void takeFrameBytes();
    [[nodiscard]] std::optional<std::size_t> writeToClient(std::span<const std::uint8_t> bytes);

    PseudoTerminal& terminal_;
    BoardModel& board_;
    PacedLine& line_;
    SignalWatch& signals_;
    ClientWatch& clients_;
    ControlChannel* control_;
    LinkClock& clock_;
};

}  // namespace loadstar::emulator
