#pragma once

#include <cstdint>
#include <string>

#include "SerialLink.h"
#include "UserInterface.h"

namespace loadstar {

enum FlashKind : std::uint8_t { mainFlash = 0, bootFlash = 1 };

// Offsets within board replies.
inline constexpr int replyHeaderLength = 15;   // "RRD " and 11 more characters before read data
inline constexpr int writtenCountOffset = 15;  // two hex digits: bytes written
inline constexpr int writtenTextOffset = 18;   // "B WRITTEN"

// The board's command language. Each operation sends its payload through the link's exchange,
// checks what it needs of the reply, shows its own message through showError on failure and
// returns 1 for success, 0 for failure; callers only set their status text.
// Called only while the port is open.
class BoardCommands {
  public:
    BoardCommands(SerialLink& link, UserInterface& ui) : link_(link), ui_(ui) {}

    int resetBoard();
    int setPage(std::uint8_t page);
    int setVm(std::uint8_t value);
    // Main flash: SET VM 92, SET PAGE sector. Boot flash: SET VM 8C, SET PAGE 00; a boot sector
    // above 3 is refused with a message and nothing is sent.
    int selectFlash(int kind, std::uint8_t sector);
    // On success `destination` holds the whole reply (header included, at most 1000 bytes); the
    // data stand from offset 15 on. `replyLength` (may be null) receives the reply's length.
    int readFlash(int address, std::uint8_t* destination, int count, int* replyLength = nullptr);
    // `count` 1..255 bytes of `data`. A reply that does not confirm the count is checked by
    // reading the bytes back: the write fails only when the flash does not hold them.
    int writeFlash(int address, const std::uint8_t* data, int count);
    // Selects the flash, then erases with "EM" (main) or "EB" (boot) at `address`.
    int eraseSector(int kind, std::uint8_t sector, int address);

    // Board identification: "BRD" answered by exactly "BRD KEL520" or "BRD KEL620" (any
    // character at offset 7). A "BRD " reply with another name is asked for again, up to three
    // times in all, as noise on the line can hit it. Shows nothing; the caller decides what a
    // refusal means.
    // `reply` (may be null) receives the reply as text, "RETRY Timeout" when none came.
    bool identifyBoard(std::string* reply = nullptr);
    // Display mirror: "MIR" with 3 retries; the board's display text (at most 96 characters),
    // empty when the exchange failed.
    std::string fetchDisplayText();

    [[nodiscard]] SerialLink& link() { return link_; }
    [[nodiscard]] UserInterface& ui() { return ui_; }

  private:
    int sendTextCommand(const char* payload, const char* failureMessage);
    // 1 when two reads agree that the flash holds `count` bytes of `data` at `address`; else 0
    // after the write's failure message, the read's, or the one for a line too noisy to tell.
    int confirmByReadingBack(int address, const std::uint8_t* data, int count);

    SerialLink& link_;
    UserInterface& ui_;
};

// The value of up to two hex digits at `text` in the manner of "%02x" (leading white space
// skipped), 0 when no digit is there. Reads at most `available` characters.
int scanWrittenCount(const std::uint8_t* text, int available);

// True when a WRITE FLASH reply of `replyLength` bytes reports `count` bytes "B WRITTEN".
bool writeReplyConfirms(const std::uint8_t* reply, int replyLength, int count);

}  // namespace loadstar
