#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "link/SerialLink.h"

namespace loadstar::cli {

// What crosses the serial line, for a user whose board misbehaves: one line per frame sent and
// one per reply received, each with the local time to the millisecond and the bytes in hex:
//   14:03:27.512 > 21 03 E3 42 52 44 D8 0B
//   14:03:27.545 < 42 52 44 20 4B 45 4C 35 32 30
// The bytes of a reply that arrive in several reads make one line, stamped with the time of
// their first byte; it is written when the next frame goes out or the trace ends.
class LineTrace {
  public:
    explicit LineTrace(std::FILE* out) : out_(out) {}
    ~LineTrace() { flush(); }
    LineTrace(const LineTrace&) = delete;
    LineTrace& operator=(const LineTrace&) = delete;

    void sent(std::span<const std::uint8_t> bytes);
    void received(std::span<const std::uint8_t> bytes);
    // A line about what the link has learned of the board ("... # READ FLASH replies vary ...").
    void note(const std::string& text);
    // Writes the reply gathered so far, if any.
    void flush();

    // Makes the ports of `makePort` report their bytes to this trace (ObservedSerialPort). The
    // trace must outlive every port made.
    SerialLink::PortFactory observing(SerialLink::PortFactory makePort);

  private:
    using Clock = std::chrono::system_clock;

    void writeLine(Clock::time_point time, char direction, std::span<const std::uint8_t> bytes,
                   bool asHex = true);

    std::FILE* out_;
    std::vector<std::uint8_t> reply_;
    Clock::time_point replyTime_{};
};

}  // namespace loadstar::cli
