#pragma once

#include <chrono>

namespace loadstar::bench {

// Wall time and this process's CPU time (user + system) over a stretch of work.
class BenchClock {
  public:
    BenchClock();
    [[nodiscard]] double wallSeconds() const;
    [[nodiscard]] double cpuSeconds() const;

  private:
    std::chrono::steady_clock::time_point wallStart_;
    double cpuStart_;
};

}  // namespace loadstar::bench
