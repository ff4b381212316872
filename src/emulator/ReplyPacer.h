#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace loadstar::emulator {

// Sends replies at the pace of a serial line: at N baud one byte takes 10 / N seconds (start bit,
// 8 data bits, stop bit). Each byte's time is reckoned from the start of its reply on an absolute
// schedule, so writing in small chunks never lets the pace drift, and a writer that fell behind
// catches up. A reply starts when it is queued to (after any fault delay), but not before the one
// ahead of it has left the line. Baud 0 sends every byte at once.
class ReplyPacer {
  public:
    using Clock = std::chrono::steady_clock;

    explicit ReplyPacer(int baud) : baud_(baud) {}

    void enqueue(std::vector<std::uint8_t> bytes, Clock::time_point earliestStart);

    // The bytes of the front reply that are due by `now` and not sent yet (possibly none).
    [[nodiscard]] std::span<const std::uint8_t> dueBytes(Clock::time_point now) const;
    // The first `count` of the bytes dueBytes gave have been written.
    void markSent(std::size_t count);

    // When the next unsent byte falls due; nothing when all is sent.
    [[nodiscard]] std::optional<Clock::time_point> nextDue() const;
    [[nodiscard]] bool idle() const { return queue_.empty(); }
    // Drops every reply not yet sent in full (no one is there to receive it).
    void clear() { queue_.clear(); }
    // The time one byte takes on the line (zero when unpaced).
    [[nodiscard]] Clock::duration bytePeriod() const;

  private:
    struct Reply {
        std::vector<std::uint8_t> bytes;
        Clock::time_point start;
        std::size_t sent = 0;
    };
    [[nodiscard]] Clock::duration timeOfByte(std::size_t index) const;
    [[nodiscard]] std::size_t bytesDueBy(const Reply& reply, Clock::time_point now) const;

    int baud_;
    std::deque<Reply> queue_;
    Clock::time_point lineFreeAt_{};
};

}  // namespace loadstar::emulator
