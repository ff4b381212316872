#include "link/LinkClock.h"

#include <thread>

namespace loadstar {

namespace {

class SystemClock final : public LinkClock {
  public:
    [[nodiscard]] Clock::time_point now() const override { return Clock::now(); }
    // Also where the system's sleep rounds down to the millisecond (Windows), the loop sleeps
    // again until the time has really passed.
    void sleepUntil(Clock::time_point when) override {
        while (Clock::now() < when) {
            std::this_thread::sleep_until(when);
        }
    }
};

}  // namespace

LinkClock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace loadstar
