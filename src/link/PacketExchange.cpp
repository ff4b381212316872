#include "PacketExchange.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <thread>

#include "Deadline.h"

namespace loadstar {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int frameBufferSize = 1000;
constexpr int receiveBufferSize = 1000;
constexpr char retryTimeoutText[] = "RETRY Timeout";

// Tested in this order; each is compared over its own length, the trailing blank included.
constexpr std::array<const char*, 14> replyTags = {"WFT ", "WFP ", "WRC ", "WRD ", "RRC ",
                                                   "RRD ", "RST ", "BRD ", "MIR ", "PG ",
                                                   "VM ",  "LCD ", "EM ",  "EB "};

struct Reception {
    int count = 0;
    bool portFailed = false;
};

// Reads and drops what the port holds now. Bounded, so a device that never stops talking cannot
// hold the caller here.
void discardWaitingInput(SerialPort& port) {
    std::array<std::uint8_t, 256> scratch{};
    for (int round = 0; round < 64; ++round) {
        if (serialRead(port, scratch.data(), static_cast<int>(scratch.size())) <= 0) {
            return;
        }
    }
}

// Leaves the line quiet until the late answers an earlier exchange may still get can no longer
// come, dropping whatever comes meanwhile; an answer still arriving is waited out to its end.
void waitOutLateAnswers(SerialPort& port, LineState* line) {
    if (line == nullptr) {
        return;
    }
    Deadline quiet(line->lateAnswersUntil);
    line->lateAnswersUntil = {};
    while (!quiet.expired()) {
        const InputWait wait = port.waitForInput(quiet.remaining());
        if (wait == InputWait::failed) {
            return;
        }
        if (wait == InputWait::ready) {
            discardWaitingInput(port);
            quiet = Deadline(std::max(quiet.end(), Clock::now() + replySilence));
        }
    }
}

// Takes one reply into `received`: its first byte must come within 30 ms after the window opens,
// and it ends at 30 ms of silence or when the buffer is full. Bytes beyond the buffer stay in the
// port. Bytes that come before the window opens (a late answer to an earlier attempt of the same
// command) are taken as the start of the reply.
Reception receiveReply(SerialPort& port, std::uint8_t* received, Clock::time_point windowOpens) {
    Reception reception;
    Deadline silence(windowOpens + replySilence);
    while (reception.count < receiveBufferSize) {
        const auto left = silence.remaining();
        if (left.count() == 0) {
            break;
        }
        const InputWait wait = port.waitForInput(left);
        if (wait == InputWait::timeout) {
            break;
        }
        const int got = wait == InputWait::ready ? serialRead(port, received + reception.count,
                                                              receiveBufferSize - reception.count)
                                                 : -1;
        if (got < 0) {
            reception.portFailed = true;  // the reply ends with what came
            break;
        }
        if (got > 0) {
            reception.count += got;
            silence = Deadline(std::max(silence.end(), Clock::now() + replySilence));
        }
    }
    return reception;
}

// Writes the frame and returns when its reply window opens: once the port has drained it, and
// not before the frame's own line time since the write began. A frame that could not be written
// has no line time: its window opens at once.
Clock::time_point sendFrame(SerialPort* port, const std::uint8_t* frame, int frameLength) {
    const auto writeBegan = Clock::now();
    const int written = port != nullptr ? serialWrite(*port, frame, frameLength) : -1;
    const auto onWire = written > 0 ? lineTime(written, port->lineSpeed()) : Clock::duration{};
    return std::max(Clock::now(), writeBegan + onWire);
}

struct Outcome {
    bool accepted = false;
    int length = 0;
};

// Sends the frame until a reply beginning with a reply tag comes in, at most maxRetries + 1 times.
// The reply, cut to replyMax (0: no cut) and zero-terminated, stands in `received`.
Outcome attemptUntilAccepted(SerialPort* port, std::span<const std::uint8_t> frame, int replyMax,
                             int maxRetries, std::uint8_t* received, LineState* line) {
    Outcome outcome;
    int attempts = 0;
    bool anyAnswer = false;
    bool portFailed = false;
    Clock::time_point firstWindow{};
    Clock::time_point lastWindow{};
    for (int failures = 0; !outcome.accepted && failures <= maxRetries; ++attempts) {
        lastWindow = sendFrame(port, frame.data(), static_cast<int>(frame.size()));
        firstWindow = attempts == 0 ? lastWindow : firstWindow;
        const Reception reception =
            port != nullptr ? receiveReply(*port, received, lastWindow) : Reception{0, true};
        if (reception.portFailed) {
            portFailed = true;
            Deadline(lastWindow + replySilence).waitOut();  // it takes its time
        }
        anyAnswer = anyAnswer || reception.count > 0;
        const int n = replyMax > 0 ? std::min(reception.count, replyMax) : reception.count;
        received[n] = 0;
        if (n >= 1 && startsWithReplyTag(received, n)) {
            outcome = {true, n};
        } else {
            ++failures;
        }
    }
    // Answers to the earlier attempts may still be on their way. A board that has answered nothing
    // within the limit after the first frame is silent, not late, and a failed port brings nothing.
    if (line != nullptr && attempts > 1 && !portFailed &&
        (anyAnswer || Clock::now() < firstWindow + lateAnswerLimit)) {
        line->lateAnswersUntil = lastWindow + lateAnswerLimit;
    }
    return outcome;
}

}  // namespace

std::chrono::microseconds lineTime(int bytes, int baud) {
    if (baud <= 0 || bytes <= 0) {
        return std::chrono::microseconds::zero();
    }
    constexpr long long bitsPerByte = 10;
    constexpr long long microsecondsPerSecond = 1'000'000;
    const long long bits = static_cast<long long>(bytes) * bitsPerByte * microsecondsPerSecond;
    return std::chrono::microseconds((bits + baud - 1) / baud);
}

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
                   std::uint8_t* replyBuffer, int replyMax, int* replyLength, int maxRetries,
                   LineState* line) {
    if (payloadLength == 0 && payload != nullptr) {
        payloadLength = static_cast<int>(std::strlen(reinterpret_cast<const char*>(payload)));
    }
    // A payload that does not fit the 1000-byte frame buffer cannot be framed; it fails like a
    // silent board rather than writing past the buffer.
    const bool fits = payloadLength >= 0 && payloadLength <= frameBufferSize - 6;
    std::array<std::uint8_t, receiveBufferSize + 1> received{};
    Outcome outcome;
    if (fits) {
        std::array<std::uint8_t, frameBufferSize> frame{};
        std::copy_n(payload, payloadLength, frame.begin() + 4);
        const int frameLength = buildPacket(frame.data(), payloadLength);
        if (port != nullptr) {
            waitOutLateAnswers(*port, line);
            discardWaitingInput(*port);  // it can only answer an earlier frame
        }
        outcome = attemptUntilAccepted(port, {frame.data(), static_cast<std::size_t>(frameLength)},
                                       replyMax, maxRetries, received.data(), line);
    }

    // The caller's buffer holds replyMax bytes: exactly that many are copied, never more.
    const int copyLength = std::clamp(replyMax, 0, receiveBufferSize + 1);
    if (outcome.accepted) {
        if (replyBuffer != nullptr) {
            std::copy_n(received.begin(), copyLength, replyBuffer);
        }
        if (replyLength != nullptr) {
            *replyLength = outcome.length;
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
