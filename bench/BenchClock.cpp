#include "BenchClock.h"

#include <sys/resource.h>

namespace loadstar::bench {

namespace {

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

BenchClock::BenchClock()
    : wallStart_(std::chrono::steady_clock::now()), cpuStart_(processCpuSeconds()) {}

double BenchClock::wallSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart_).count();
}

double BenchClock::cpuSeconds() const {
    return processCpuSeconds() - cpuStart_;
}

}  // namespace loadstar::bench
