#include "ReplyPacer.h"

#include <algorithm>

namespace loadstar::emulator {

namespace {

constexpr long long nanosecondsPerSecond = 1'000'000'000;
constexpr long long bitsPerByte = 10;

}  // namespace

ReplyPacer::Clock::duration ReplyPacer::timeOfByte(std::size_t index) const {
    if (baud_ <= 0) {
        return Clock::duration::zero();
    }
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
        static_cast<long long>(index) * bitsPerByte * nanosecondsPerSecond / baud_));
}

ReplyPacer::Clock::duration ReplyPacer::bytePeriod() const {
    return timeOfByte(1);
}

void ReplyPacer::enqueue(std::vector<std::uint8_t> bytes, Clock::time_point earliestStart) {
    if (bytes.empty()) {
        return;
    }
    const auto start = std::max(earliestStart, lineFreeAt_);
    lineFreeAt_ = start + timeOfByte(bytes.size());
    queue_.push_back({std::move(bytes), start, 0});
}

// Byte i is due at start + i byte periods.
std::size_t ReplyPacer::bytesDueBy(const Reply& reply, Clock::time_point now) const {
    if (now < reply.start) {
        return 0;
    }
    const auto elapsed = now - reply.start;
    if (baud_ <= 0 || elapsed >= timeOfByte(reply.bytes.size())) {
        return reply.bytes.size();
    }
    const long long elapsedNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    const auto fullPeriods =
        static_cast<std::size_t>(elapsedNs * baud_ / (bitsPerByte * nanosecondsPerSecond));
    return std::min(fullPeriods + 1, reply.bytes.size());
}

std::span<const std::uint8_t> ReplyPacer::dueBytes(Clock::time_point now) const {
    if (queue_.empty()) {
        return {};
    }
    const Reply& front = queue_.front();
    const std::size_t due = bytesDueBy(front, now);
    if (due <= front.sent) {
        return {};
    }
    return {front.bytes.data() + front.sent, due - front.sent};
}

void ReplyPacer::markSent(std::size_t count) {
    if (queue_.empty()) {
        return;
    }
    Reply& front = queue_.front();
    front.sent = std::min(front.sent + count, front.bytes.size());
    if (front.sent == front.bytes.size()) {
        queue_.pop_front();
    }
}

std::optional<ReplyPacer::Clock::time_point> ReplyPacer::nextDue() const {
    if (queue_.empty()) {
        return std::nullopt;
    }
    const Reply& front = queue_.front();
    return front.start + timeOfByte(front.sent);
}

}  // namespace loadstar::emulator
