#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/LinkClock.h"
#include "link/SerialPort.h"

namespace loadstar::testing {

// An in-process peer that answers each written frame from a script. A reply is a list of chunks,
// each delivered a given time after the frame was written, so a test can make a reply span several
// waits or pause inside it. It waits on `clock`: the system's (for real), or a virtual one on which
// the exchange's timing runs deterministically.
class ScriptedPort : public SerialPort {
  public:
    struct Chunk {
        std::chrono::milliseconds after{0};  // since the frame was written
        std::vector<std::uint8_t> bytes;
    };
    using Reply = std::vector<Chunk>;

    // Every written frame is recorded; `answer` (may be empty) gives the reply to each.
    std::function<Reply(const std::vector<std::uint8_t>& frame)> answer;
    std::vector<std::vector<std::uint8_t>> frames;
    int speed = 0;         // the line speed it reports; 0: no wire
    bool instant = false;  // a wait for input that is not there ends at once (for fuzzing)
    std::string openedDevice;
    LinkClock* clock = &systemClock();
    // When each frame was written, on `clock`.
    std::vector<std::chrono::steady_clock::time_point> frameTimes;

    bool open(const std::string& deviceName, int, int, int) override {
        openedDevice = deviceName;
        return open_ = true;
    }
    bool close() override {
        open_ = false;
        return true;
    }
    [[nodiscard]] bool isOpen() const override { return open_; }
    int read(std::uint8_t* buffer, int maxBytes) override {
        if (!open_) {
            return -1;
        }
        int n = 0;
        for (const auto now = clock->now(); n < maxBytes && due(now); input_.pop_front()) {
            buffer[n++] = input_.front().second;
        }
        return n;
    }
    int write(const std::uint8_t* buffer, int count) override {
        if (!open_) {
            return -1;
        }
        frames.emplace_back(buffer, buffer + count);
        const auto now = clock->now();
        frameTimes.push_back(now);
        for (const auto& chunk : answer ? answer(frames.back()) : Reply{}) {
            for (const auto byte : chunk.bytes) {
                input_.emplace_back(now + chunk.after, byte);
            }
        }
        std::stable_sort(input_.begin(), input_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        return count;
    }
    InputWait waitForInput(std::chrono::milliseconds timeout) override {
        const auto deadline = clock->now() + timeout;
        if (!open_) {
            return InputWait::failed;
        }
        if (!due(deadline)) {
            clock->sleepUntil(instant ? clock->now() : deadline);
            return InputWait::timeout;
        }
        clock->sleepUntil(input_.front().first);
        return InputWait::ready;
    }
    [[nodiscard]] int lineSpeed() const override { return open_ ? speed : 0; }
    [[nodiscard]] PortFault lastFault() const override { return {}; }
    // Bytes delivered or scheduled and not read yet.
    [[nodiscard]] std::size_t pendingBytes() const { return input_.size(); }

  private:
    using Clock = std::chrono::steady_clock;
    // Whether a byte has arrived by `time`.
    [[nodiscard]] bool due(Clock::time_point time) const {
        return !input_.empty() && input_.front().first <= time;
    }

    bool open_ = false;
    std::deque<std::pair<Clock::time_point, std::uint8_t>> input_;  // each byte with its arrival
};

inline std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}
// A reply that comes whole at once.
inline ScriptedPort::Reply replyNow(const std::string& text) {
    return {{{}, bytesOf(text)}};
}

}  // namespace loadstar::testing
