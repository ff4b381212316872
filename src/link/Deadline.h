#pragma once

#include <chrono>

namespace loadstar {

// A point in time on the monotonic clock that work must not pass. Waiting loops ask it how much
// time is left instead of doing their own clock arithmetic.
class Deadline {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Deadline(Clock::duration within) : end_(Clock::now() + within) {}
    explicit Deadline(Clock::time_point end) : end_(end) {}

    // Time left, rounded up to whole milliseconds so that a wait never ends early; zero once past.
    [[nodiscard]] std::chrono::milliseconds remaining() const;
    [[nodiscard]] bool expired() const { return Clock::now() >= end_; }
    // Sleeps until the deadline has passed. Never returns early, also where the system's sleep
    // rounds down to the millisecond (Windows).
    void waitOut() const;
    [[nodiscard]] Clock::time_point end() const { return end_; }

  private:
    Clock::time_point end_;
};

}  // namespace loadstar
