#pragma once

#include <chrono>

#include "BoardModel.h"
#include "ClientWatch.h"
#include "ControlChannel.h"
#include "PseudoTerminal.h"
#include "ReplyPacer.h"
#include "SignalWatch.h"

namespace loadstar::emulator {

// The emulator's one thread: a poll() loop over the stop signals, the clients' opens and closes,
// the control pipe and the pseudo-terminal. Frames from the client go to the board; its replies
// go out paced, and are dropped when the line changes hands (see ClientWatch). The loop
// sleeps in poll() with a time-out only while a reply is being sent or a frame is half in, so an
// idle emulator uses no CPU.
class EmulatorLoop {
  public:
    // `control` may be null (no control pipe).
    EmulatorLoop(PseudoTerminal& terminal, BoardModel& board, ReplyPacer& pacer,
                 SignalWatch& signals, ClientWatch& clients, ControlChannel* control)
        : terminal_(terminal),
          board_(board),
          pacer_(pacer),
          signals_(signals),
          clients_(clients),
          control_(control) {}

    // Runs until a stop signal arrives and returns its number. Throws SetupError when the
    // pseudo-terminal fails.
    int run();

  private:
    using Clock = std::chrono::steady_clock;

    [[nodiscard]] int pollTimeout(Clock::time_point now) const;
    void dropRepliesOnNewLine();
    void applyControlLines();
    void takeFrames(Clock::time_point now);
    void expireStaleFrame(Clock::time_point now);
    void queueReplies(std::vector<BoardReply> replies, Clock::time_point now);
    void sendDueBytes();

    PseudoTerminal& terminal_;
    BoardModel& board_;
    ReplyPacer& pacer_;
    SignalWatch& signals_;
    ClientWatch& clients_;
    ControlChannel* control_;
    Clock::time_point lastInput_{};
    bool outputBlocked_ = false;  // the client's input queue is full: wait until it reads
};

}  // namespace loadstar::emulator
