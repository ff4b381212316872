#pragma once

#include <chrono>

#include "link/LinkClock.h"

namespace loadstar {

// A point in time on the link's clock that work must not pass. Waiting loops ask it how much
// time is left instead of doing their own clock arithmetic.
class Deadline {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Deadline(Clock::duration within, LinkClock& clock = systemClock())
        : clock_(&clock), end_(clock.now() + within) {}
    explicit Deadline(Clock::time_point end, LinkClock& clock = systemClock())
        : clock_(&clock), end_(end) {}

    // Time left, rounded up to whole milliseconds so that a wait never ends early; zero once past.
    [[nodiscard]] std::chrono::milliseconds remaining() const;
    [[nodiscard]] bool expired() const { return clock_->now() >= end_; }
    // Sleeps until the deadline has passed; never returns early.
    void waitOut() const { clock_->sleepUntil(end_); }
    [[nodiscard]] Clock::time_point end() const { return end_; }

  private:
    LinkClock* clock_;
    Clock::time_point end_;
};

}  // namespace loadstar
