#pragma once

#include <chrono>

#include "BoardModel.h"
#include "ClientWatch.h"
#include "ControlChannel.h"
#include "LinePacer.h"
#include "PseudoTerminal.h"
#include "SignalWatch.h"

namespace loadstar::emulator {

// The emulator's one thread: a poll() loop over the stop signals, the clients' opens and closes,
// the control pipe and the pseudo-terminal. It models the line as a USB adapter drives it: a frame
// the client writes reaches the board only when its bytes have crossed the wire (the adapter took
// them at once and feeds them out at the line speed), and the replies go back paced, held by the
// adapter's latency timer when one is set. What is on its way is dropped when the line changes
// hands (see ClientWatch), and the exclusive mode a client set is cleared when the last one goes,
// also when it died without closing. The loop sleeps in poll() with a time-out only while bytes
// are on their way or a frame is half in, or every 5 ms while a client holds the line (to notice
// the machine holding it up), so an emulator nobody uses takes no CPU.
class EmulatorLoop {
  public:
    // `control` may be null (no control pipe).
    // `toBoard` paces the frames, `toHost` the replies; both at the line's speed.
    EmulatorLoop(PseudoTerminal& terminal, BoardModel& board, LinePacer& toBoard, LinePacer& toHost,
                 SignalWatch& signals, ClientWatch& clients, ControlChannel* control)
        : terminal_(terminal),
          board_(board),
          toBoard_(toBoard),
          toHost_(toHost),
          signals_(signals),
          clients_(clients),
          control_(control) {}

    // Runs until a stop signal arrives and returns its number. Throws SetupError when the
    // pseudo-terminal fails.
    int run();
    // How many times the host machine kept the loop from passing bytes on within `slipLimit` of
    // their time (a loaded machine): the line's timing was not the model's then.
    [[nodiscard]] int timeSlips() const { return timeSlips_; }
    static constexpr std::chrono::milliseconds slipLimit{10};
    static constexpr int stallWatchMs = 5;

  private:
    using Clock = std::chrono::steady_clock;

    [[nodiscard]] int pollTimeout(Clock::time_point now) const;
    void resetLineOnChangeOfHands();
    void applyControlLines();
    void takeFrameBytes(Clock::time_point now);
    void deliverFrameBytes(Clock::time_point now);
    void expireStaleFrame(Clock::time_point now);
    void queueReplies(std::vector<BoardReply> replies, Clock::time_point now);
    void sendDueBytes(bool countLateness);
    void noteLateness(const LinePacer& pacer, Clock::time_point now);

    PseudoTerminal& terminal_;
    BoardModel& board_;
    LinePacer& toBoard_;
    LinePacer& toHost_;
    SignalWatch& signals_;
    ClientWatch& clients_;
    ControlChannel* control_;
    Clock::time_point lastInput_{};
    bool outputBlocked_ = false;  // the client's input queue is full: wait until it reads
    int timeSlips_ = 0;
};

}  // namespace loadstar::emulator
