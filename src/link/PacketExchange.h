#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "SerialPort.h"

namespace loadstar {

// Command frame: '!', length high, length low, header check, payload, sum, xor. The length counts
// the whole frame (payload + 6); sum and xor cover the payload only.
// The payload stands in `frame` from offset 4; fills the rest and returns payloadLength + 6.
int buildPacket(std::uint8_t* frame, int payloadLength);

// True when `reply` (n bytes) begins with one of the fourteen reply tags ("WFT ", "WFP ", "WRC ",
// "WRD ", "RRC ", "RRD ", "RST ", "BRD ", "MIR ", "PG ", "VM ", "LCD ", "EM ", "EB ").
bool startsWithReplyTag(const std::uint8_t* reply, int n);

// A reply must begin within this time after its frame has left the wire, and ends at the first
// silence this long.
inline constexpr std::chrono::milliseconds replySilence{30};

// How late an answer may still come after its frame has left the wire. Chosen for a board up to
// 100 ms late behind a USB adapter that holds received bytes back for its 16 ms latency timer:
// the answer's first byte reaches the host within about 120 ms; 150 ms leaves room for that.
inline constexpr std::chrono::milliseconds lateAnswerLimit{150};

// The time `bytes` take on the wire at `baud` (start bit, 8 data bits, stop bit); zero when the
// port has no wire (baud 0).
std::chrono::microseconds lineTime(int bytes, int baud);

// What one exchange leaves for the next on the same line: until when answers to frames it had to
// send more than once may still arrive. Owned by whoever owns the port; starts clear.
struct LineState {
    std::chrono::steady_clock::time_point lateAnswersUntil{};
};

// Sends `payload` framed, at most maxRetries + 1 times, and takes the raw reply. A reply is
// accepted when it begins with a reply tag, whatever command was sent. Blocks the caller; lets no
// event run.
//
// Timing, per attempt: the 30 ms window for the reply's first byte opens when the frame has left
// the wire, that is when the port has drained it and not before the frame's own line time since
// the write began (a USB adapter reports a write done while the frame still waits in its FIFO).
// The reply ends at 30 ms of silence, at most 1000 bytes (the rest is discarded before the next
// frame). An attempt on a failed, closed or missing port still lasts its 30 ms.
//
// Stale bytes: whatever waits in the port before the first frame can only answer an earlier
// frame and is discarded. When `line` is given and an earlier exchange had to resend its frame,
// the line is first left quiet until that exchange's late answers can no longer come, and what
// came is discarded; this exchange records in `line` the same for the next one.
//
// - payloadLength 0: the payload is a zero-terminated text.
// - replyBuffer (may be null) receives replyMax bytes: the reply cut to replyMax (0: no cut) and
//   its terminating zero when shorter; "RETRY Timeout" after a failure.
// - replyLength (may be null) receives the accepted reply's length, 0 after a failure.
// Returns 1 when a reply was accepted, 0 when the retries ran out.
int exchangePacket(SerialPort* port, const std::uint8_t* payload, int payloadLength,
                   std::uint8_t* replyBuffer, int replyMax, int* replyLength, int maxRetries,
                   LineState* line = nullptr);

}  // namespace loadstar
