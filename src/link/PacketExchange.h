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

// A reply must begin within this time after its frame was written, and ends at the first
// silence this long.
inline constexpr std::chrono::milliseconds replySilence{30};

// Sends `payload` framed, at most maxRetries + 1 times, and takes the raw reply: the bytes that
// come until the line is silent for 30 ms, at most 1000 (the rest stays for the next exchange).
// A reply is accepted when it begins with a reply tag, whatever command was sent. Nothing is
// purged before a write. Blocks the caller; lets no event run.
// - payloadLength 0: the payload is a zero-terminated text.
// - replyBuffer (may be null) receives replyMax bytes: the reply cut to replyMax (0: no cut) and
//   its terminating zero when shorter; "RETRY Timeout" after a failure.
// - replyLength (may be null) receives the accepted reply's length, 0 after a failure.
// Returns 1 when a reply was accepted, 0 when the retries ran out.
int exchangePacket(SerialPort* port, const std::uint8_t* payload, int payloadLength,
                   std::uint8_t* replyBuffer, int replyMax, int* replyLength, int maxRetries);

}  // namespace loadstar
