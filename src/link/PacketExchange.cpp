#include "PacketExchange.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "Deadline.h"

namespace loadstar {

namespace {

constexpr int frameBufferSize = 1000;
constexpr int receiveBufferSize = 1000;
constexpr char retryTimeoutText[] = "RETRY Timeout";

// Tested in this order; each is compared over its own length, the trailing blank included.
constexpr std::array<const char*, 14> replyTags = {"WFT ", "WFP ", "WRC ", "WRD ", "RRC ",
                                                   "RRD ", "RST ", "BRD ", "MIR ", "PG ",
                                                   "VM ",  "LCD ", "EM ",  "EB "};

// Takes the reply into `received`: waits up to 30 ms for its first byte, then keeps taking bytes
// until 30 ms pass without one or the buffer is full. Bytes beyond the buffer stay in the port.
int receiveReply(SerialPort* port, std::uint8_t* received) {
    int count = 0;
    Deadline silence(replySilence);
    while (count < receiveBufferSize) {
        const auto left = silence.remaining();
        if (left.count() == 0 || port->waitForInput(left) != InputWait::ready) {
            break;
        }
        const int got = serialRead(*port, received + count, receiveBufferSize - count);
        if (got < 0) {
            break;  // the device failed or vanished: this reply ends with what came
        }
        if (got > 0) {
            count += got;
            silence.restart(replySilence);
        }
    }
    return count;
}

}  // namespace

int buildPacket(std::uint8_t* frame, int payloadLength) {
    const int length = payloadLength + 6;
    frame[0] = 0x21;
    frame[1] = static_cast<std::uint8_t>(length / 256);
    frame[2] = static_cast<std::uint8_t>(length % 256);
    frame[3] = static_cast<std::uint8_t>(0 - frame[1] - frame[2]);
    std::uint8_t sum = 0;
    std::uint8_t exclusive = 0;
    for (int i = 0; i < payloadLength; ++i) {
        sum = static_cast<std::uint8_t>(sum + frame[4 + i]);
        exclusive = static_cast<std::uint8_t>(exclusive ^ frame[4 + i]);
    }
    frame[4 + payloadLength] = sum;
    frame[5 + payloadLength] = exclusive;
    return length;
}

bool startsWithReplyTag(const std::uint8_t* reply, int n) {
    return std::any_of(replyTags.begin(), replyTags.end(), [&](const char* tag) {
        const auto tagLength = static_cast<int>(std::strlen(tag));
        return n >= tagLength && std::memcmp(reply, tag, static_cast<std::size_t>(tagLength)) == 0;
    });
}

int exchangePacket(SerialPort* port, const std::uint8_t* payload, int payloadLength,
                   std::uint8_t* replyBuffer, int replyMax, int* replyLength, int maxRetries) {
    if (payloadLength == 0 && payload != nullptr) {
        payloadLength = static_cast<int>(std::strlen(reinterpret_cast<const char*>(payload)));
    }
    // A payload that does not fit the 1000-byte frame buffer cannot be framed; it fails like a
    // silent board rather than writing past the buffer.
    const bool fits = payloadLength >= 0 && payloadLength <= frameBufferSize - 6;
    std::array<std::uint8_t, frameBufferSize> frame{};
    int frameLength = 0;
    if (fits) {
        std::copy_n(payload, payloadLength, frame.begin() + 4);
        frameLength = buildPacket(frame.data(), payloadLength);
    }

    std::array<std::uint8_t, receiveBufferSize + 1> received{};
    bool accepted = false;
    int acceptedLength = 0;
    for (int failures = 0; fits && port != nullptr && !accepted && failures <= maxRetries;) {
        (void)serialWrite(*port, frame.data(), frameLength);
        int n = receiveReply(port, received.data());
        if (replyMax > 0 && n > replyMax) {
            n = replyMax;
        }
        received[static_cast<std::size_t>(n)] = 0;
        if (n >= 1 && startsWithReplyTag(received.data(), n)) {
            accepted = true;
            acceptedLength = n;
        } else {
            ++failures;
        }
    }

    // The caller's buffer holds replyMax bytes: exactly that many are copied, never more.
    const int copyLength = std::clamp(replyMax, 0, receiveBufferSize + 1);
    if (accepted) {
        if (replyBuffer != nullptr) {
            std::copy_n(received.begin(), copyLength, replyBuffer);
        }
        if (replyLength != nullptr) {
            *replyLength = acceptedLength;
        }
        return 1;
    }
    if (replyBuffer != nullptr) {
        // The time-out text is cut to fit a buffer smaller than itself.
        const int textLength = std::min<int>(sizeof retryTimeoutText, copyLength);
        std::copy_n(retryTimeoutText, textLength, replyBuffer);
        if (replyLength != nullptr) {
            *replyLength = 0;
        }
    }
    return 0;
}

}  // namespace loadstar
