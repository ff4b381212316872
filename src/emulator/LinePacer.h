#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace loadstar::emulator {

// Paces bytes as a serial line carries them: at N baud one byte takes 10 / N seconds (start bit,
// 8 data bits, stop bit). Each byte's time is reckoned from the start of its burst on an absolute
// schedule, so handing bytes over in small chunks never lets the pace drift, and a caller that fell
// behind catches up. A burst starts when it is queued to, but not before the one ahead of it has
// left the line. Baud 0 hands every byte over at once.
//
// Without latency byte i of a burst is due when it starts on the line (start + i byte times). With
// a latency, bytes pass a USB adapter that holds what it received until its latency timer runs
// out: the first byte held is passed on the latency after it has fully arrived, together with every
// byte that has arrived by then; or as soon as the adapter's buffer holds 62 bytes (a full USB
// packet), whichever comes first.
class LinePacer {
  public:
    using Clock = std::chrono::steady_clock;

    explicit LinePacer(int baud, Clock::duration latency = Clock::duration::zero())
        : baud_(baud), latency_(latency) {}

    void enqueue(std::vector<std::uint8_t> bytes, Clock::time_point earliestStart);
    // Queues `bytes` to start `gap` after the bytes queued before them have left the line.
    void enqueueAfterPrevious(std::vector<std::uint8_t> bytes, Clock::duration gap) {
        enqueue(std::move(bytes), lineFreeAt_ + gap);
    }

    // The bytes of the front burst that are due by `now` and not handed over yet (possibly none).
    [[nodiscard]] std::span<const std::uint8_t> dueBytes(Clock::time_point now) const;
    // The first `count` of the bytes dueBytes gave have been handed over.
    void markSent(std::size_t count);

    // When the next bytes fall due; nothing when all are handed over.
    [[nodiscard]] std::optional<Clock::time_point> nextDue() const;
    [[nodiscard]] bool idle() const { return queue_.empty(); }
    // Drops every byte not handed over yet, and the line is free at once (no one is there to
    // receive them, and the next one to come must not wait for them).
    void clear();
    // The time one byte takes on the line (zero when unpaced).
    [[nodiscard]] Clock::duration bytePeriod() const { return timeOfBytes(1); }
    void setLatency(Clock::duration latency) { latency_ = latency; }
    // The bytes a USB adapter passes on at once when its buffer fills (a 64-byte packet less its
    // two status bytes).
    static constexpr std::size_t adapterBuffer = 62;

  private:
    struct Burst {
        std::vector<std::uint8_t> bytes;
        Clock::time_point start;
        std::size_t sent = 0;
    };
    [[nodiscard]] Clock::duration timeOfBytes(std::size_t count) const;
    [[nodiscard]] std::size_t bytesDueBy(const Burst& burst, Clock::time_point now) const;
    [[nodiscard]] Clock::time_point releaseTime(const Burst& burst) const;

    int baud_;
    Clock::duration latency_;
    std::deque<Burst> queue_;
    Clock::time_point lineFreeAt_{};
};

}  // namespace loadstar::emulator
