#include "EmulatorLoop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>

#include "SetupError.h"

namespace loadstar::emulator {

namespace {

std::optional<int> millisecondsUntil(std::chrono::steady_clock::time_point when,
                                     std::chrono::steady_clock::time_point now) {
    if (when <= now) {
        return 0;
    }
    // Rounded up, so that the loop never wakes a little early and goes round again for nothing.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(when - now).count());
}

}  // namespace

int EmulatorLoop::run() {
    for (;;) {
        pollfd fds[4] = {{signals_.fd(), POLLIN, 0},
                         {terminal_.masterFd(), POLLIN, 0},
                         {control_ != nullptr ? control_->fd() : -1, POLLIN, 0},
                         {clients_.fd(), POLLIN, 0}};
        if (outputBlocked_) {
            fds[1].events |= POLLOUT;
        }
        const auto pollStart = Clock::now();
        const int timeout = pollTimeout(pollStart);
        const int ready = ::poll(fds, 4, timeout);
        // Awake later than the time-out asked: the machine held the loop up, whatever was due.
        if (timeout >= 0 &&
            Clock::now() - (pollStart + std::chrono::milliseconds(timeout)) > slipLimit) {
            ++timeSlips_;
        }
        if (ready < 0 && errno != EINTR) {
            throw SetupError(std::string("poll failed: ") + std::strerror(errno));
        }
        if (const int signal = signals_.takeSignal(); signal != 0) {
            // Bytes that fell due while the machine held the loop up are late, also when the
            // request to stop comes before the loop could send them.
            if (!outputBlocked_) {
                noteLateness(toHost_, Clock::now());
            }
            return signal;
        }
        // Opens, closes and control lines first, always: they happened before the frames that are
        // waiting now (a test that changes a fault and then sends a frame expects the frame to
        // meet the new setting; a client that has just opened must not get an old reply).
        resetLineOnChangeOfHands();
        applyControlLines();
        if ((fds[1].revents & (POLLERR | POLLNVAL)) != 0) {
            throw SetupError("the pseudo-terminal failed");
        }
        // Bytes held back while the client did not read are late by its doing, not the host's.
        const bool clientWasBehind = (fds[1].revents & POLLOUT) != 0;
        if (clientWasBehind) {
            outputBlocked_ = false;
        }
        const auto now = Clock::now();
        takeFrameBytes(now);
        deliverFrameBytes(Clock::now());
        expireStaleFrame(Clock::now());
        sendDueBytes(!clientWasBehind);
    }
}

int EmulatorLoop::pollTimeout(Clock::time_point now) const {
    std::optional<int> timeout;
    if (const auto due = toHost_.nextDue(); due && !outputBlocked_) {
        timeout = millisecondsUntil(*due, now);
    }
    if (const auto due = toBoard_.nextDue()) {
        const int arrival = *millisecondsUntil(*due, now);
        timeout = timeout ? std::min(*timeout, arrival) : arrival;
    }
    if (board_.hasIncompleteFrame()) {
        const int expiry = *millisecondsUntil(lastInput_ + incompleteFrameTimeout, now);
        timeout = timeout ? std::min(*timeout, expiry) : expiry;
    }
    // While a client holds the line the loop wakes now and then even with nothing on its way, so
    // that a hold-up while a frame was coming in is noticed too (it makes the reply late).
    if (clients_.clients() > 0) {
        timeout = std::min(timeout.value_or(stallWatchMs), stallWatchMs);
    }
    return timeout.value_or(-1);
}

void EmulatorLoop::resetLineOnChangeOfHands() {
    if (!clients_.takeLineChange()) {
        return;
    }
    toBoard_.clear();
    toHost_.clear();
    terminal_.discardUnreadInput();
    if (clients_.clients() == 0) {
        terminal_.clearExclusiveMode();  // a client killed without closing left it set
    }
}

void EmulatorLoop::applyControlLines() {
    if (control_ == nullptr) {
        return;
    }
    for (const auto& line : control_->takeLines()) {
        FaultSettings settings = board_.faults();
        const std::string problem = applyControlCommand(settings, line);
        if (!problem.empty()) {
            std::cerr << "kel-emulator: " << problem << std::endl;
            continue;
        }
        board_.setFaults(settings);
        toHost_.setLatency(settings.latency);
    }
}

// What the client wrote enters the adapter at once and crosses the wire at the line speed: each
// byte reaches the board when its stop bit is through.
void EmulatorLoop::takeFrameBytes(Clock::time_point now) {
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t got = ::read(terminal_.masterFd(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;  // nothing more now (EAGAIN); the slave held open here means no hang-up
        }
        toBoard_.enqueue({buffer, buffer + got}, now + toBoard_.bytePeriod());
    }
}

void EmulatorLoop::noteLateness(const LinePacer& pacer, Clock::time_point now) {
    if (const auto due = pacer.nextDue(); due && now - *due > slipLimit) {
        ++timeSlips_;
    }
}

void EmulatorLoop::deliverFrameBytes(Clock::time_point now) {
    noteLateness(toBoard_, now);
    for (auto due = toBoard_.dueBytes(now); !due.empty(); due = toBoard_.dueBytes(now)) {
        lastInput_ = now;
        const std::size_t count = due.size();
        queueReplies(board_.receive(due, now), now);
        toBoard_.markSent(count);
    }
}

void EmulatorLoop::expireStaleFrame(Clock::time_point now) {
    if (board_.hasIncompleteFrame() && now - lastInput_ >= incompleteFrameTimeout) {
        queueReplies(board_.expireIncompleteFrame(now), now);
    }
}

void EmulatorLoop::queueReplies(std::vector<BoardReply> replies, Clock::time_point now) {
    for (auto& reply : replies) {
        if (reply.afterPrevious) {
            toHost_.enqueueAfterPrevious(std::move(reply.bytes), *reply.afterPrevious);
        } else {
            toHost_.enqueue(std::move(reply.bytes), now + reply.delay);
        }
    }
}

// Lateness is judged just before each write: a hold-up anywhere in the loop, even between this
// check and the write, leaves the byte after the ones written overdue for the next round.
void EmulatorLoop::sendDueBytes(bool countLateness) {
    while (!outputBlocked_) {
        const auto now = Clock::now();
        if (countLateness) {
            noteLateness(toHost_, now);
        }
        const auto due = toHost_.dueBytes(now);
        if (due.empty()) {
            return;
        }
        const ssize_t put = ::write(terminal_.masterFd(), due.data(), due.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            outputBlocked_ = true;
            return;
        }
        if (put < 0) {
            throw SetupError(std::string("cannot write to the pseudo-terminal: ") +
                             std::strerror(errno));
        }
        toHost_.markSent(static_cast<std::size_t>(put));
    }
}

}  // namespace loadstar::emulator
