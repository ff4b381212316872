#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace loadstar {

// What the exchange learns of the board at the other end of one connection, so that every reply
// is checked against the frame it answers and a reply ends when it is complete.
//
// Principles of operation:
// - A board we know nothing about is taken by the board's own rule: any reply tag is good, a
//   reply ends at 30 ms of silence. Everything learned refines that rule and falls back to it
//   when the board stops fitting.
// - Each command of a fixed form (READ FLASH, WRITE FLASH, SET PAGE, SET VM, the erases, RESET,
//   identification) learns from its first reply in its own tag: the reply's length (for READ
//   FLASH the length beyond the count) and where it repeats the frame's address, if it does.
//   From then on a reply in another tag, of another length or for another address is not taken;
//   once the board has answered any command in its own tag, no command takes another's.
// - Two replies in a row of the same new length are the board's new form: learned again (the
//   replies themselves are not taken). Three in a row that fit neither make the command fall back
//   to the silence rule for this connection. The display mirror always ends at silence.
// - A READ FLASH reply too short to hold its count never carries the bytes: it is asked for again.
// - Timing: a smoothed estimate of the board's answer delay and of its variation (RFC 6298),
//   one for the erases and one for every other command, sets how long the first byte of a reply
//   is waited for; never less than 30 ms, never more than a bound.
enum class CommandKind : std::uint8_t {
    readFlash,
    writeFlash,
    setPage,
    setVm,
    eraseMain,
    eraseBoot,
    reset,
    identify,
    mirror,
    other,
};
inline constexpr int commandKinds = 10;

// A READ FLASH reply: "RRD " and 11 more characters, then the bytes read.
inline constexpr int readReplyHeaderLength = 15;

// What a payload asks, as far as its reply depends on it.
struct CommandForm {
    CommandKind kind = CommandKind::other;
    std::string_view ownTag;  // the tag the board answers this command with
    int dataCount = 0;        // READ FLASH: the bytes asked for
    int address = -1;         // READ FLASH, WRITE FLASH, the erases: the board address
    // Whether a board that may have reset must be given the flash selection again before this
    // frame is sent again (it acts on the selected sector).
    [[nodiscard]] bool actsOnTheSelection() const;
    [[nodiscard]] bool isErase() const {
        return kind == CommandKind::eraseMain || kind == CommandKind::eraseBoot;
    }
};
CommandForm classifyPayload(std::span<const std::uint8_t> payload);

// Why a reply was not taken, or that it was.
enum class ReplyVerdict {
    accepted,
    untagged,      // begins with no reply tag
    cut,           // a READ FLASH reply too short for its count
    wrongTag,      // another command's tag
    wrongAddress,  // the address it repeats is not the frame's
    wrongLength,   // not the length this command's replies have
};

// A smoothed delay and its variation in the manner of TCP's retransmission timer (RFC 6298).
// The variation rises at once (gain 1/4) and falls slowly (1/16), so a board that is late now and
// then keeps a window wide enough for its late answers instead of paying resends for them.
class DelayEstimate {
  public:
    using Duration = std::chrono::steady_clock::duration;

    void sample(Duration delay);
    // How long to wait for a reply's first byte: srtt + 4 x variation, within [floor, ceiling];
    // `initial` before any sample.
    [[nodiscard]] Duration window(Duration floor, Duration initial, Duration ceiling) const;
    [[nodiscard]] bool known() const { return known_; }

  private:
    bool known_ = false;
    Duration smoothed_{};
    Duration variation_{};
};

// A change of what is known of the board's replies, for a trace of the line.
struct KnowledgeNote {
    enum class Change : std::uint8_t {
        lengthLearned,  // `command`'s replies are `length` bytes long from now on
        lengthsVary,    // `command`'s replies end at silence from now on: their lengths vary
        repliesRunOn,   // the same: they went on past their length
        pauseWidened,   // a reply paused `gap`: replies end after `silence` from now on
    };
    Change change = Change::lengthLearned;
    CommandKind command = CommandKind::other;
    int length = 0;
    std::chrono::milliseconds gap{0};
    std::chrono::milliseconds silence{0};
};

class ReplyKnowledge {
  public:
    using Duration = std::chrono::steady_clock::duration;
    using Note = std::function<void(const KnowledgeNote&)>;

    // The length the reply to `form` has, 0 when it ends at silence.
    [[nodiscard]] int expectedLength(const CommandForm& form) const;
    // Judges a reply of `reply.size()` bytes (its whole length, not cut to a caller's buffer) and
    // learns from it; `note` (may be empty) hears of every change of what is known.
    ReplyVerdict judge(const CommandForm& form, std::span<const std::uint8_t> reply,
                       const Note& note);
    // Bytes came after a reply that had ended at its learned length: counts against that length.
    void noteBytesAfterEnd(CommandKind kind, const Note& note);

    // How long the first byte of a reply to `form` is waited for; `resent` for a copy sent again.
    [[nodiscard]] Duration firstByteWindow(const CommandForm& form, bool resent = false) const;
    DelayEstimate& delays(const CommandForm& form) { return form.isErase() ? erases_ : answers_; }

    // How long a silence ends a reply: 30 ms, widened when a gap inside a reply proved to be a
    // pause (the rest came).
    [[nodiscard]] Duration silenceLimit() const { return silence_; }
    void notePause(Duration gap, const Note& note);

  private:
    enum class Rule : std::uint8_t { unknown, known, silence };
    struct Learned {
        Rule rule = Rule::unknown;
        int length = 0;           // the whole reply; for READ FLASH the length beyond the count
        bool echoKnown = false;   // whether `echoAt` has been learned
        int echoAt = -1;          // where the reply repeats the address; -1: it does not
        bool ownTagSeen = false;  // from then on another tag is refused
        int mismatches = 0;       // in a row
        int lastMismatch = -1;    // the last length that did not fit
    };
    ReplyVerdict judgeLength(const CommandForm& form, Learned& learned, int length,
                             const Note& note);

    Learned learned_[commandKinds];
    bool ownTagsSeen_ = false;  // some command was answered in its own tag
    DelayEstimate answers_;
    DelayEstimate erases_;
    Duration silence_ = std::chrono::milliseconds(30);
};

}  // namespace loadstar
