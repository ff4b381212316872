#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace loadstar::emulator {

// Frames as the host sends them: '!', length high, length low, header check byte, payload, sum,
// xor. The length counts the whole frame (payload + 6) and is at most 1000.
inline constexpr std::uint8_t frameStartMark = 0x21;
inline constexpr int minimumFrameLength = 6;
inline constexpr int maximumFrameLength = 1000;

// A frame whose bytes stop coming for this long is given up: a host writes a frame in one go and
// waits at least 30 ms for the reply before it sends the frame again.
inline constexpr std::chrono::milliseconds incompleteFrameTimeout{20};

// Takes the bytes from the line as they come and yields the payloads of the valid frames.
//
// Every frame is checked (start mark, length 6..1000, header check byte, sum and xor). A bad frame
// is dropped silently, as the board does not answer it: the decoder skips to the next start mark
// after the one it tried and looks again, so garbage before a frame, or a broken frame followed by
// a good one, costs only the bad bytes. Never holds more than one frame's worth of bytes between
// calls, so no input can make it grow without bound or loop.
class FrameDecoder {
  public:
    using Payload = std::vector<std::uint8_t>;

    // Adds `bytes` and returns the payloads of the frames they complete, in order.
    std::vector<Payload> feed(std::span<const std::uint8_t> bytes);

    // Gives up a frame that has begun but not ended (the line went quiet): its start mark is
    // skipped and the bytes behind it are searched again. Returns the payloads of any complete
    // frames found among them; afterwards nothing is pending.
    std::vector<Payload> expireIncompleteFrame();

    // Bytes held while a frame is incomplete.
    [[nodiscard]] std::size_t pendingBytes() const { return buffer_.size(); }
    // Frames dropped for a failed check since construction.
    [[nodiscard]] int rejectedFrames() const { return rejectedFrames_; }

  private:
    enum class Scan { complete, needMoreBytes };
    Scan scan(std::vector<Payload>& payloads);
    void skipToNextStartMark(std::size_t from);

    std::vector<std::uint8_t> buffer_;
    int rejectedFrames_ = 0;
};

}  // namespace loadstar::emulator
