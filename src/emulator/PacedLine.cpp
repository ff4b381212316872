#include "emulator/PacedLine.h"

#include <algorithm>

#include "emulator/FrameDecoder.h"

namespace loadstar::emulator {

std::optional<PacedLine::Clock::time_point> PacedLine::nextDue() const {
    std::optional<Clock::time_point> next;
    const auto consider = [&next](Clock::time_point when) {
        next = next ? std::min(*next, when) : when;
    };
    if (const auto due = toHost_.nextDue(); due && !repliesBlocked_) {
        consider(*due);
    }
    if (const auto due = toBoard_.nextDue()) {
        consider(*due);
    }
    if (board_.hasIncompleteFrame()) {
        consider(lastInput_ + incompleteFrameTimeout);
    }
    return next;
}

void PacedLine::noteWake(Clock::time_point due) {
    noteLateBy(due, clock_.now());
}

void PacedLine::noteLateBy(Clock::time_point due, Clock::time_point now) {
    if (now - due > slipLimit) {
        ++timeSlips_;
    }
}

void PacedLine::takeFrameBytes(std::span<const std::uint8_t> bytes) {
    // Each byte reaches the board when its stop bit is through.
    toBoard_.enqueue({bytes.begin(), bytes.end()}, clock_.now() + toBoard_.bytePeriod());
}

void PacedLine::noteLateness(const LinePacer& pacer, Clock::time_point now) {
    if (const auto due = pacer.nextDue()) {
        noteLateBy(*due, now);
    }
}

void PacedLine::serveBoard() {
    auto now = clock_.now();
    noteLateness(toBoard_, now);
    for (auto due = toBoard_.dueBytes(now); !due.empty(); due = toBoard_.dueBytes(now)) {
        lastInput_ = now;
        const std::size_t count = due.size();
        queueReplies(board_.receive(due, now), now);
        toBoard_.markSent(count);
    }
    now = clock_.now();
    if (board_.hasIncompleteFrame() && now - lastInput_ >= incompleteFrameTimeout) {
        queueReplies(board_.expireIncompleteFrame(now), now);
    }
}

void PacedLine::queueReplies(std::vector<BoardReply> replies, Clock::time_point now) {
    for (auto& reply : replies) {
        if (reply.afterPrevious) {
            toHost_.enqueueAfterPrevious(std::move(reply.bytes), *reply.afterPrevious);
        } else {
            toHost_.enqueue(std::move(reply.bytes), now + reply.delay);
        }
    }
}

// A hold-up anywhere, even between the check and the write, leaves the byte after the ones written
// overdue for the next check.
void PacedLine::sendDueBytes(const Writer& write, bool countLateness) {
    while (!repliesBlocked_) {
        const auto now = clock_.now();
        if (countLateness) {
            noteLateness(toHost_, now);
        }
        const auto due = toHost_.dueBytes(now);
        if (due.empty()) {
            return;
        }
        const auto taken = write(due);
        if (!taken) {
            repliesBlocked_ = true;
            return;
        }
        toHost_.markSent(*taken);
    }
}

void PacedLine::noteStop() {
    if (!repliesBlocked_) {
        noteLateness(toHost_, clock_.now());
    }
}

void PacedLine::clear() {
    toBoard_.clear();
    toHost_.clear();
}

}  // namespace loadstar::emulator
