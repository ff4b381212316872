#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "iap/AgreedRead.h"
#include "iap/Outcome.h"
#include "link/SerialLink.h"

namespace loadstar {

enum FlashKind : std::uint8_t { mainFlash = 0, bootFlash = 1 };

// The board's command language: every payload is built here and every reply decoded here.
//
//   SET VM      "VM " + two upper-case hex digits      ("VM 92" main flash, "VM 8C" boot flash)
//   SET PAGE    "PG " + two upper-case hex digits
//   READ FLASH  "RRD", address high, address low, count; reply "RRD " + 11 characters, then data
//   WRITE FLASH "WFP", address high, address low, count, the bytes; reply "... nn B WRITTEN"
//   ERASE       "EM" (main) or "EB" (boot), address high, address low
//   RESET       "RST" (no reply expected)
//   BRD         reply "BRD KEL520" or "BRD KEL620"
//   MIR         reply "MIR " + the display's text

// Offsets within board replies.
inline constexpr int replyHeaderLength = readReplyHeaderLength;  // before the bytes read
inline constexpr int writtenCountOffset = 15;                    // two hex digits: bytes written
inline constexpr int writtenTextOffset = 18;                     // "B WRITTEN"
// The count of a WRITE FLASH travels in one byte.
inline constexpr int largestWriteCount = 255;

using Payload = std::vector<std::uint8_t>;

Payload setVmPayload(std::uint8_t value);
Payload setPagePayload(std::uint8_t page);
Payload readFlashPayload(int address, int count);
// The count byte is the data's length modulo 256, and only that many bytes are sent.
Payload writeFlashPayload(int address, std::span<const std::uint8_t> data);
Payload erasePayload(int kind, int address);
Payload textPayload(const char* text);

// The value of up to two hex digits at `text` in the manner of "%02x" (leading white space
// skipped), 0 when no digit is there. Reads at most `available` characters.
int scanWrittenCount(const std::uint8_t* text, int available);
// True when a WRITE FLASH reply of `replyLength` bytes reports `count` bytes "B WRITTEN".
bool writeReplyConfirms(const std::uint8_t* reply, int replyLength, int count);
// True when a BRD reply names a KEL520 or KEL620 (any character at offset 7).
bool replyIdentifiesBoard(std::span<const std::uint8_t> reply);
// The display's text in a MIR reply: after "MIR ", up to its terminating zero.
std::string displayTextOf(std::span<const std::uint8_t> reply);

// The exchanges of the board commands over a link, each with its typed result. Reads and writes
// go through one path each, for the memory panel, the sector passes and the random read test
// alike: a READ FLASH reply too short for its count is a failed read (the exchange has asked again
// for a reply cut short already), and a WRITE FLASH reply that does not confirm the write is
// checked by reading the bytes back until the reads agree (AgreedRead.h).
class BoardProtocol {
  public:
    explicit BoardProtocol(SerialLink& link) : link_(link) {}

    // Main flash: SET VM 92, SET PAGE sector. Boot flash: SET VM 8C, SET PAGE 00; a boot sector
    // above 3 is refused and nothing is sent.
    CommandFault selectFlash(int kind, std::uint8_t sector);
    // Erases with "EM" (main) or "EB" (boot) at `address`; selects nothing.
    CommandFault erase(int kind, int address);
    CommandFault reset();
    // `count` bytes at `address` into `bytes` (resized to `count`).
    CommandFault readFlash(int address, int count, std::vector<std::uint8_t>& bytes);
    // Reads again until every byte's value leads by what `pass` needs; `firstRead`, when not
    // empty, counts as the first read.
    CommandFault readAgreed(int address, int count, std::span<const std::uint8_t> firstRead,
                            NoiseTally& pass, std::vector<std::uint8_t>& agreed);
    // Writes `data` (at most 255 bytes are sent, see writeFlashPayload); a reply that does not
    // confirm it is checked by reading back, the reads counted into `pass`. notWritten when the
    // flash does not hold the bytes, or when more bytes were asked for than a command carries.
    // A failed read-back is reported as the READ FLASH command's fault.
    CommandFault writeFlash(int address, std::span<const std::uint8_t> data, NoiseTally& pass);
    // "BRD" up to three times while a "BRD " reply names another board (noise may have hit it);
    // `replyText` (may be null) receives the last reply as text, "RETRY Timeout" when none came.
    CommandFault identify(std::string* replyText = nullptr);
    // "MIR" with 3 retries: the display's text (at most 96 characters), empty when the exchange
    // failed.
    std::string fetchDisplayText();

    [[nodiscard]] SerialLink& link() { return link_; }

  private:
    // Sends `payload` and takes its reply into reply_; replyLength_ says how long it is.
    bool exchange(const Payload& payload, int retries = SerialLink::defaultRetries);

    SerialLink& link_;
    // One byte more than the exchange fills, so a reply is always a terminated text.
    std::array<std::uint8_t, replyCapacity + 1> reply_{};
    int replyLength_ = 0;
};

}  // namespace loadstar
