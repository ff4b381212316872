#include "emulator/EmulatorLoop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "emulator/SetupError.h"

namespace loadstar::emulator {

int EmulatorLoop::run() {
    for (;;) {
        pollfd fds[4] = {{signals_.fd(), POLLIN, 0},
                         {terminal_.masterFd(), POLLIN, 0},
                         {control_ != nullptr ? control_->fd() : -1, POLLIN, 0},
                         {clients_.fd(), POLLIN, 0}};
        if (line_.repliesBlocked()) {
            fds[1].events |= POLLOUT;
        }
        const auto pollStart = clock_.now();
        const int timeout = pollTimeout();
        const int ready = ::poll(fds, 4, timeout);
        // Awake later than the time-out asked: the machine held the loop up, whatever was due.
        if (timeout >= 0) {
            line_.noteWake(pollStart + std::chrono::milliseconds(timeout));
        }
        if (ready < 0 && errno != EINTR) {
            throw SetupError(std::string("poll failed: ") + std::strerror(errno));
        }
        if (const int signal = signals_.takeSignal(); signal != 0) {
            line_.noteStop();
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
            line_.clientCaughtUp();
        }
        takeFrameBytes();
        line_.serveBoard();
        line_.sendDueBytes([this](auto bytes) { return writeToClient(bytes); }, !clientWasBehind);
    }
}

// Rounded up, so that the loop never wakes a little early and goes round again for nothing. While
// a client holds the line the loop wakes now and then even with nothing on its way, so that a
// hold-up while a frame was coming in is noticed too (it makes the reply late).
int EmulatorLoop::pollTimeout() const {
    std::optional<int> timeout;
    if (const auto due = line_.nextDue()) {
        const auto left = *due - clock_.now();
        timeout =
            left <= LinkClock::Clock::duration::zero()
                ? 0
                : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    }
    if (clients_.clients() > 0) {
        timeout = std::min(timeout.value_or(stallWatchMs), stallWatchMs);
    }
    return timeout.value_or(-1);
}

void EmulatorLoop::resetLineOnChangeOfHands() {
    if (!clients_.takeLineChange()) {
        return;
    }
    line_.clear();
    terminal_.discardUnreadInput();
    if (clients_.clients() == 0) {
        terminal_.clearExclusiveMode();  // a client killed without closing left it set
    }
}

void EmulatorLoop::applyControlLines() {
    if (control_ == nullptr) {
        return;
    }
    for (const auto& text : control_->takeLines()) {
        FaultSettings settings = board_.faults();
        const std::string problem = applyControlCommand(settings, text);
        if (!problem.empty()) {
            std::cerr << "kel-emulator: " << problem << std::endl;
            continue;
        }
        board_.setFaults(settings);
        line_.setLatency(settings.latency);
    }
}

void EmulatorLoop::takeFrameBytes() {
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t got = ::read(terminal_.masterFd(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;  // nothing more now (EAGAIN); the slave held open here means no hang-up
        }
        line_.takeFrameBytes({buffer, static_cast<std::size_t>(got)});
    }
}

std::optional<std::size_t> EmulatorLoop::writeToClient(std::span<const std::uint8_t> bytes) {
    for (;;) {
        const ssize_t put = ::write(terminal_.masterFd(), bytes.data(), bytes.size());
        if (put >= 0) {
            return static_cast<std::size_t>(put);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return std::nullopt;
        }
        if (errno != EINTR) {
            throw SetupError(std::string("cannot write to the pseudo-terminal: ") +
                             std::strerror(errno));
        }
    }
}

}  // namespace loadstar::emulator
