#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "emulator/BoardModel.h"
#include "emulator/LinePacer.h"
#include "link/LinkClock.h"

namespace loadstar::emulator {

// The serial line between the client and the board model, kept on a clock: what the client wrote
// reaches the board when its bytes have crossed the wire, the board's replies go back paced (held
// by the adapter's latency timer when one is set), and every time the host machine kept bytes from
// going on within `slipLimit` of their time is counted (its line had gaps then that no board
// gives). The emulator's loop waits and does the terminal's I/O; everything that depends on time
// is here, so that it runs the same on a virtual clock.
class PacedLine {
  public:
    using Clock = LinkClock::Clock;
    // Hands bytes to the client; returns how many it took, or nothing when its input queue is
    // full (it has to read first). Throws when the line is broken.
    using Writer = std::function<std::optional<std::size_t>(std::span<const std::uint8_t>)>;

    PacedLine(BoardModel& board, int baud, Clock::duration latency, LinkClock& clock)
        : board_(board), toBoard_(baud), toHost_(baud, latency), clock_(clock) {}

    // When something falls due next: a frame's byte reaches the board, a reply's byte is to go
    // out (unless the client is not reading), or a frame the line left half-sent is given up.
    // Nothing when nothing is on its way.
    [[nodiscard]] std::optional<Clock::time_point> nextDue() const;
    // The loop meant to wake at `due`: when it wakes later than `slipLimit` after it, the machine
    // held it up, whatever was on its way.
    void noteWake(Clock::time_point due);
    // The client wrote `bytes` just now: they enter the adapter at once and cross the wire at the
    // line's speed.
    void takeFrameBytes(std::span<const std::uint8_t> bytes);
    // Gives the board the bytes that have crossed the wire and gives up a frame the line left
    // half-sent; queues the replies.
    void serveBoard();
    // Hands the client the reply bytes that are due, judging each write's lateness just before
    // it, until none are due or the client's queue is full. `countLateness` is false when the
    // bytes were held back by the client not reading: late by its doing, not the machine's.
    void sendDueBytes(const Writer& write, bool countLateness = true);
    // The client reads again: its queue takes bytes.
    void clientCaughtUp() { repliesBlocked_ = false; }
    [[nodiscard]] bool repliesBlocked() const { return repliesBlocked_; }
    // The emulator stops: reply bytes that fell due while the machine held it up are late, also
    // when the request to stop came before they could go.
    void noteStop();
    // The line changed hands: what is on its way is dropped (no one is there to receive it).
    void clear();
    void setLatency(Clock::duration latency) { toHost_.setLatency(latency); }

    // How many times the line was found held up by more than `slipLimit`: on waking, before a
    // frame's bytes reach the board, before each write of a reply, at the stop. One hold-up that
    // made bytes of both kinds late is found more than once.
    [[nodiscard]] int timeSlips() const { return timeSlips_; }
    static constexpr std::chrono::milliseconds slipLimit{10};

  private:
    void noteLateness(const LinePacer& pacer, Clock::time_point now);
    void noteLateBy(Clock::time_point due, Clock::time_point now);
    void queueReplies(std::vector<BoardReply> replies, Clock::time_point now);

    BoardModel& board_;
    LinePacer toBoard_;
    LinePacer toHost_;
    LinkClock& clock_;
    Clock::time_point lastInput_{};
    bool repliesBlocked_ = false;
    int timeSlips_ = 0;
};

}  // namespace loadstar::emulator
