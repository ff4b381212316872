#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/LinkClock.h"
#include "link/ReplyKnowledge.h"
#include "link/SerialPort.h"

namespace loadstar {

// The most bytes of a reply the exchange takes: every reply buffer of the program is this long
// (plus one for a terminating zero where a reply is read as text).
inline constexpr int replyCapacity = 1000;

// Command frame: '!', length high, length low, header check, payload, sum, xor. The length counts
// the whole frame (payload + 6); sum and xor cover the payload only.
// The payload stands in `frame` from offset 4; fills the rest and returns payloadLength + 6.
int buildPacket(std::uint8_t* frame, int payloadLength);

// True when `reply` (n bytes) begins with one of the fourteen reply tags ("WFT ", "WFP ", "WRC ",
// "WRD ", "RRC ", "RRD ", "RST ", "BRD ", "MIR ", "PG ", "VM ", "LCD ", "EM ", "EB ").
bool startsWithReplyTag(const std::uint8_t* reply, int n);

// The rule for a board we know nothing about: a reply must begin within this time
// after its frame has left the wire, and ends at the first silence this long.
inline constexpr std::chrono::milliseconds replySilence{30};

// The time `bytes` take on the wire at `baud` (start bit, 8 data bits, stop bit); zero when the
// port has no wire (baud 0).
std::chrono::microseconds lineTime(int bytes, int baud);

// What one connection knows and leaves for the next exchange on the same line. Owned by whoever
// owns the port; starts clear on every open.
struct LineState {
    using Clock = std::chrono::steady_clock;

    // The clock every wait reads and sleeps on.
    LinkClock* clock = &systemClock();
    // Asked before and during every wait; true ends the exchange at once as failed (the user
    // interrupted the program). May be empty.
    std::function<bool()> stopRequested;
    // Hears every change of what is known of the board, for a trace of the line. May be empty.
    ReplyKnowledge::Note note;
    // What this board's replies look like and how late they come.
    ReplyKnowledge knowledge;
    // Until when answers to frames that an exchange had to send more than once may still come.
    Clock::time_point lateAnswersUntil{};
    // The answer delay of the last exchange when it had to send its frame again: which copy was
    // answered is known once the line has been let settle (an answer to a later copy came, or
    // not).
    struct PendingSample {
        bool pending = false;
        CommandForm form;
        Clock::duration sinceFirstCopy{};
        Clock::duration sinceLastCopy{};
    } pendingSample;
    // The last reply that was not taken: how it began and when it came. An exchange that sends
    // the selection again before a resend learns from it whether its own late answer came
    // meanwhile, and so how late the board was.
    struct StrayReply {
        bool seen = false;
        std::string start;
        Clock::time_point at{};
    } strayReply;
    // The last exchange's reply ended at its learned length: bytes waiting after it count
    // against that length.
    std::optional<CommandKind> endedAtLength;
    // The flash selection the board last acknowledged (the SET VM and SET PAGE payloads); sent
    // again before a read, write or erase is sent again, for a board that may have reset.
    std::vector<std::uint8_t> vmPayload;
    std::vector<std::uint8_t> pagePayload;
};

// Sends `payload` framed, at most maxRetries + 1 times, and takes the raw reply. Blocks the
// caller; lets no event run.
//
// A reply is taken when it begins with a reply tag and fits what `line` knows of the command's
// replies (see ReplyKnowledge): its own tag, its length, the address it repeats. Without `line`
// (or before anything is learned) any tag is good, whatever command was sent.
//
// Timing, per attempt: the window for the reply's first byte opens when the frame has left the
// wire, that is when the port has drained it and not before the frame's own line time since the
// write began (a USB adapter reports a write done while the frame still waits in its FIFO). It
// lasts 30 ms, or longer for a board that has shown it answers later. A reply of a learned length
// ends a few character times after its last byte; any other at the first silence of 30 ms (longer
// once a pause inside a reply has been proven), at most 1000 bytes (the rest is discarded before
// the next frame).
//
// Trouble: a reply that is cut, of the wrong length or for another frame is not taken; the line
// is let settle until its rest and any answer to an earlier copy have come, and the frame is sent
// again. Before a READ FLASH, WRITE FLASH or erase frame is sent again, the last flash selection
// is sent again (a board that reset meanwhile must act on the sector the caller works on).
// A READ FLASH reply too short for its count is asked for again; when the last attempt is still
// answered short, that reply is returned (1) and its caller, which never takes the missing bytes,
// decides. After an exchange that sent its frame more than once, the next one first leaves the line
// quiet until the answers to the earlier copies can no longer come.
//
// A failed, closed or missing port ends at once every wait of the exchange; each attempt still
// lasts its 30 ms. A stop request (see LineState) ends the exchange at once, as failed.
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
