#include "emulator/LinePacer.h"

#include <algorithm>

namespace loadstar::emulator {

namespace {

constexpr long long nanosecondsPerSecond = 1'000'000'000;
constexpr long long bitsPerByte = 10;

}  // namespace

LinePacer::Clock::duration LinePacer::timeOfBytes(std::size_t count) const {
    if (baud_ <= 0) {
        return Clock::duration::zero();
    }
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
        static_cast<long long>(count) * bitsPerByte * nanosecondsPerSecond / baud_));
}

void LinePacer::enqueue(std::vector<std::uint8_t> bytes, Clock::time_point earliestStart) {
    if (bytes.empty()) {
        return;
    }
    const auto start = std::max(earliestStart, lineFreeAt_);
    lineFreeAt_ = start + timeOfBytes(bytes.size());
    queue_.push_back({std::move(bytes), start, 0});
}

void LinePacer::clear() {
    queue_.clear();
    lineFreeAt_ = {};
}

// With a latency: the adapter passes the held bytes on at the latency after the first of them has
// fully arrived (start + (sent + 1) byte times), or when its buffer is full, if that is sooner.
LinePacer::Clock::time_point LinePacer::releaseTime(const Burst& burst) const {
    const auto timerRunsOut = burst.start + timeOfBytes(burst.sent + 1) + latency_;
    if (burst.bytes.size() - burst.sent < adapterBuffer) {
        return timerRunsOut;
    }
    // A microsecond more, so that the schedule's rounding counts the byte that filled it in.
    return std::min(timerRunsOut, burst.start + timeOfBytes(burst.sent + adapterBuffer) +
                                      std::chrono::microseconds(1));
}

// How many bytes of the burst are due by `now`: without latency byte i is due at start + i byte
// times; with one, every byte that has fully arrived by the release time.
std::size_t LinePacer::bytesDueBy(const Burst& burst, Clock::time_point now) const {
    Clock::time_point upTo = now;
    if (latency_ > Clock::duration::zero()) {
        upTo = releaseTime(burst);
        if (now < upTo) {
            return burst.sent;
        }
    }
    if (upTo < burst.start) {
        return 0;
    }
    const auto elapsed = upTo - burst.start;
    if (baud_ <= 0 || elapsed >= timeOfBytes(burst.bytes.size())) {
        return burst.bytes.size();
    }
    const long long elapsedNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    // The bytes whose time, timeOfBytes(k) rounded down as it is, has come: k * 10 s / baud <
    // elapsed + 1 ns. Counting the exact periods instead would leave a byte out at its own time,
    // and the loop that woke for it would find nothing to send.
    const auto fullPeriods = static_cast<std::size_t>(((elapsedNs + 1) * baud_ - 1) /
                                                      (bitsPerByte * nanosecondsPerSecond));
    // Without latency the byte on the line now counts; with one, those fully arrived, which at the
    // release time include the first one held whatever the rounding.
    const std::size_t due = latency_ > Clock::duration::zero()
                                ? std::max(fullPeriods, burst.sent + 1)
                                : fullPeriods + 1;
    return std::min(due, burst.bytes.size());
}

std::span<const std::uint8_t> LinePacer::dueBytes(Clock::time_point now) const {
    if (queue_.empty()) {
        return {};
    }
    const Burst& front = queue_.front();
    const std::size_t due = bytesDueBy(front, now);
    if (due <= front.sent) {
        return {};
    }
    return {front.bytes.data() + front.sent, due - front.sent};
}

void LinePacer::markSent(std::size_t count) {
    if (queue_.empty()) {
        return;
    }
    Burst& front = queue_.front();
    front.sent = std::min(front.sent + count, front.bytes.size());
    if (front.sent == front.bytes.size()) {
        queue_.pop_front();
    }
}

std::optional<LinePacer::Clock::time_point> LinePacer::nextDue() const {
    if (queue_.empty()) {
        return std::nullopt;
    }
    const Burst& front = queue_.front();
    if (latency_ > Clock::duration::zero()) {
        return releaseTime(front);
    }
    return front.start + timeOfBytes(front.sent);
}

}  // namespace loadstar::emulator
