#pragma once

#include <chrono>

#include "link/LinkClock.h"

namespace loadstar::testing {

// A clock that stands still until someone sleeps on it: sleeping moves it on at once. The
// exchange's timing runs on it deterministically, in no real time.
class VirtualClock final : public LinkClock {
  public:
    [[nodiscard]] Clock::time_point now() const override { return now_; }
    void sleepUntil(Clock::time_point when) override { now_ = std::max(now_, when); }
    void advance(Clock::duration by) { now_ += by; }

  private:
    Clock::time_point now_ = Clock::time_point{} + std::chrono::hours(1);
};

}  // namespace loadstar::testing
