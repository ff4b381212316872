#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "SerialPort.h"

namespace loadstar::testing {

// An in-process peer that answers each written frame from a script. A reply is a list of chunks,
// each delivered a given time after the frame was written, so a test can make a reply span several
// waits or pause inside it. Waiting sleeps for real, so the exchange's timing is exercised.
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

    bool open(const std::string& deviceName, int, int, int) override;
    bool close() override;
    [[nodiscard]] bool isOpen() const override { return open_; }
    int read(std::uint8_t* buffer, int maxBytes) override;
    int write(const std::uint8_t* buffer, int count) override;
    InputWait waitForInput(std::chrono::milliseconds timeout) override;
    [[nodiscard]] std::string lastError() const override { return lastError_; }
    [[nodiscard]] bool lastErrorWasPermission() const override { return false; }

    // Bytes delivered but not read yet.
    [[nodiscard]] std::size_t pendingBytes() const;
    // Queue bytes now, as if they had arrived unasked.
    void deliverNow(const std::vector<std::uint8_t>& bytes);

    bool refuseOpen = false;
    std::string openedDevice;

  private:
    using Clock = std::chrono::steady_clock;
    struct Scheduled {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };
    void moveDueChunks();

    bool open_ = false;
    std::string lastError_;
    std::deque<Scheduled> scheduled_;
    std::deque<std::uint8_t> input_;
};

// Helpers to build replies.
ScriptedPort::Reply replyNow(const std::string& text);
std::vector<std::uint8_t> bytesOf(const std::string& text);

}  // namespace loadstar::testing
