#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "iap/BoardProtocol.h"
#include "iap/Outcome.h"
#include "link/SerialLink.h"

namespace loadstar {

// The board's memory commands as the memory panel, the command-line tool and the random read test
// use them. Each returns what it did or where it failed (Outcome.h); none shows anything.
// Called only while the port is open.
class BoardCommands {
  public:
    explicit BoardCommands(SerialLink& link) : link_(link), protocol_(link) {}

    Outcome resetBoard();
    // Main flash: SET VM 92, SET PAGE sector. Boot flash: SET VM 8C, SET PAGE 00; a boot sector
    // above 3 is refused (Fault::bootSectorRange) and nothing is sent.
    Outcome selectFlash(int kind, std::uint8_t sector);
    // `count` bytes at `address` into `bytes`; a reply too short to hold them fails the read.
    Outcome readFlash(int address, int count, std::vector<std::uint8_t>& bytes);
    // Up to 255 bytes. A reply that does not confirm the count is checked by reading the bytes
    // back: the write fails only when the flash does not hold them.
    Outcome writeFlash(int address, std::span<const std::uint8_t> data);
    // Selects the flash, then erases with "EM" (main) or "EB" (boot) at `address`.
    Outcome eraseSector(int kind, std::uint8_t sector, int address);
    // "BRD" answered by exactly "BRD KEL520" or "BRD KEL620"; see BoardProtocol::identify.
    // `reply` (may be null) receives the reply as text, "RETRY Timeout" when none came.
    Outcome identifyBoard(std::string* reply = nullptr);
    // The board's display text (at most 96 characters), empty when the exchange failed.
    std::string fetchDisplayText() { return protocol_.fetchDisplayText(); }

    [[nodiscard]] SerialLink& link() { return link_; }
    [[nodiscard]] BoardProtocol& protocol() { return protocol_; }

  private:
    SerialLink& link_;
    BoardProtocol protocol_;
};

// The outcome of a step that failed at `failure`, for the board address `address` if any.
Outcome failedAt(Step step, const CommandFault& failure, std::optional<int> address = {});

}  // namespace loadstar
