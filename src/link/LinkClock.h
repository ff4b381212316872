#pragma once

#include <chrono>

namespace loadstar {

// The clock that every wait on the serial link reads and sleeps on. The program uses the system's
// monotonic clock; tests give a virtual one, on which the exchange's timing runs deterministically
// and without waiting for real.
class LinkClock {
  public:
    using Clock = std::chrono::steady_clock;

    virtual ~LinkClock() = default;
    [[nodiscard]] virtual Clock::time_point now() const = 0;
    // Returns once `when` has passed (at once when it has).
    virtual void sleepUntil(Clock::time_point when) = 0;
};

// The monotonic system clock; sleeping sleeps for real and never returns early.
LinkClock& systemClock();

}  // namespace loadstar
