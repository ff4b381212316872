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

// Seconds one reply of `replyBytes` takes on the wire at 19200 baud (10 bits a byte), plus the
// 30 ms of silence that ends it: the least an exchange can take.
double wireLimitSeconds(long replyBytes);

}  // namespace loadstar::bench
