#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/BoardReply.h"
#include "emulator/FaultInjector.h"
#include "emulator/FaultSettings.h"
#include "emulator/FlashMemory.h"
#include "emulator/FrameDecoder.h"

namespace loadstar::emulator {

// The KEL520/KEL620 board as the host sees it through the serial line: it takes framed commands
// and answers each with one raw reply that begins with the command's tag.
//
// Address space: after "VM 92" and "PG n" main flash sector n (0..7) is seen at 0x8000..0xFFFF;
// after "VM 8C" boot flash sector n (0..3) is seen at 0x8000 + n * 0x2000, whatever the page.
// Anything else (addresses below 0x8000, a main page above 7, another VM value) maps no flash:
// it reads as 0xFF and takes no write. The board starts, and comes back from RESET, with main
// sector 0 selected.
//
// Replies (offsets from the tag's first character):
//   RST                       "RST OK"
//   "PG xx" / "VM xx"         "PG xx" / "VM xx" (upper-case hex digits; other payloads: no reply)
//   RRD hi lo count           "RRD AAAA CC" padded with blanks to 15 characters, then the bytes
//   WFP hi lo count data...   "WFP AAAA CC" padded to 15, the count written as two hex digits at
//                             15-16, a blank, "B WRITTEN" at 18-26. Programming only clears bits:
//                             a byte that needs a 0 -> 1 change, or lies outside the mapped flash,
//                             stops the write there, and the reply counts the bytes before it.
//   EM hi lo                  erases the main sector the page selects: "EM AAAA ERASED", or
//                             "EM AAAA NOTHING" when the address or the page maps none
//   EB hi lo                  erases the boot sector holding the address; replies as EM
//   BRD                       exactly "BRD " and the model name, nothing behind
//   MIR                       "MIR " and the display's two lines: the selection and a counter of
//                             MIR requests, e.g. "KEL520 main FS3\nticks 42"
// A payload that is none of these, or has the wrong length, gets no reply, like a frame that fails
// its checks.
class BoardModel {
  public:
    explicit BoardModel(std::string model = "KEL520");

    using Clock = std::chrono::steady_clock;

    // Feeds bytes from the line, arrived at `now`, and returns the replies to send, in order,
    // with their delays. The time matters only for the faults that take time (an erase, the
    // silence after a reset).
    [[nodiscard]] std::vector<BoardReply> receive(std::span<const std::uint8_t> bytes,
                                                  Clock::time_point now = {});
    // The line went quiet in the middle of a frame: gives it up (see FrameDecoder).
    [[nodiscard]] std::vector<BoardReply> expireIncompleteFrame(Clock::time_point now = {});
    [[nodiscard]] bool hasIncompleteFrame() const { return decoder_.pendingBytes() > 0; }

    // The reply to one command payload before any fault, or nothing when the board does not
    // answer it. Carries the command out.
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> handlePayload(
        std::span<const std::uint8_t> payload);

    [[nodiscard]] const std::string& model() const { return model_; }
    [[nodiscard]] std::uint8_t vm() const { return vm_; }
    [[nodiscard]] std::uint8_t page() const { return page_; }
    // The two lines on the board's display.
    [[nodiscard]] std::string displayText() const;

    void setFaults(const FaultSettings& settings) { faults_.setSettings(settings); }
    [[nodiscard]] const FaultSettings& faults() const { return faults_.settings(); }

    // Every valid frame's payload since the start or the last clearPayloads(), answered or not.
    [[nodiscard]] const std::vector<std::vector<std::uint8_t>>& payloads() const {
        return payloads_;
    }
    void clearPayloads() { payloads_.clear(); }
    // How many recorded payloads begin with `command` ("RRD", "PG ", "EM").
    [[nodiscard]] int countOf(std::string_view command) const;
    // The recorded payloads that begin with `command`, in the order they came.
    [[nodiscard]] std::vector<std::vector<std::uint8_t>> payloadsOf(std::string_view command) const;
    // The recorded payloads as text up to their first byte that is not printable: "VM 92", "RRD".
    [[nodiscard]] std::vector<std::string> commandNames() const;
    [[nodiscard]] int rejectedFrames() const { return decoder_.rejectedFrames(); }

    [[nodiscard]] FlashMemory& flash() { return flash_; }
    [[nodiscard]] const FlashMemory& flash() const { return flash_; }

    // Whether a port has the line to this board open; a second port is refused while it does.
    [[nodiscard]] bool lineHeld() const { return lineHeld_; }
    void setLineHeld(bool held) { lineHeld_ = held; }

  private:
    struct Location {
        FlashBank bank;
        int sector;
        int offset;
    };
    [[nodiscard]] std::optional<Location> locate(int address) const;
    [[nodiscard]] std::vector<BoardReply> answer(std::vector<FrameDecoder::Payload> payloads,
                                                 Clock::time_point now);
    // Whether the board is deaf at `now` (resetting), and starts a reset after its Nth frame.
    bool deafAt(Clock::time_point now);

    std::vector<std::uint8_t> reset();
    std::optional<std::vector<std::uint8_t>> setRegister(std::span<const std::uint8_t> payload,
                                                         std::uint8_t& target);
    std::vector<std::uint8_t> readFlash(int address, int count) const;
    std::optional<std::vector<std::uint8_t>> writeFlash(std::span<const std::uint8_t> payload);
    std::vector<std::uint8_t> eraseMain(int address);
    std::vector<std::uint8_t> eraseBoot(int address);
    std::vector<std::uint8_t> mirror();

    std::string model_;
    FlashMemory flash_;
    FrameDecoder decoder_;
    FaultInjector faults_;
    std::uint8_t vm_ = 0x92;
    std::uint8_t page_ = 0;
    long ticks_ = 0;
    std::vector<std::vector<std::uint8_t>> payloads_;
    bool lineHeld_ = false;
    long framesHeard_ = 0;
    bool resetDone_ = false;
    Clock::time_point deafUntil_{};
    Clock::time_point busyUntil_{};  // an erase is under way until then
};

}  // namespace loadstar::emulator
