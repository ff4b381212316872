#include "link/ReplyKnowledge.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "link/PacketExchange.h"

namespace loadstar {

namespace {

using namespace std::chrono_literals;

constexpr int addressDigits = 4;
// Where a reply may repeat the frame's address: within the 15-character header.
constexpr int headerEnd = 15;
// Mismatches in a row, of lengths that do not agree, after which a command ends at silence.
constexpr int mismatchesBeforeSilence = 3;

// The 30 ms rule and its bounds. A board that answers later than a second is taken as
// silent; an erase may take up to five (a sector of slow flash), and the first erase on a
// connection is given a second, RFC 6298's first estimate, so it is not sent again while busy.
constexpr auto answerFloor = 30ms;
constexpr auto answerCeiling = 1000ms;
constexpr auto eraseInitial = 1000ms;
constexpr auto eraseCeiling = 5000ms;
constexpr auto silenceCeiling = 150ms;

bool startsWith(std::span<const std::uint8_t> bytes, std::string_view text) {
    return bytes.size() >= text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}

int addressAt(std::span<const std::uint8_t> payload, std::size_t at) {
    return payload[at] * 256 + payload[at + 1];
}

// Where `reply` holds `address` as four upper-case hex digits within its header, -1 if nowhere.
int findAddress(std::span<const std::uint8_t> reply, std::size_t from, int address) {
    std::array<char, 8> digits{};
    std::snprintf(digits.data(), digits.size(), "%04X", static_cast<unsigned>(address));
    const auto end = std::min<std::size_t>(reply.size(), headerEnd);
    for (std::size_t at = from; at + addressDigits <= end; ++at) {
        if (std::memcmp(reply.data() + at, digits.data(), addressDigits) == 0) {
            return static_cast<int>(at);
        }
    }
    return -1;
}

bool holdsAddressAt(std::span<const std::uint8_t> reply, int at, int address) {
    return findAddress(reply.first(std::min<std::size_t>(
                           reply.size(), static_cast<std::size_t>(at) + addressDigits)),
                       static_cast<std::size_t>(at), address) == at;
}

}  // namespace

bool CommandForm::actsOnTheSelection() const {
    return kind == CommandKind::readFlash || kind == CommandKind::writeFlash || isErase();
}

CommandForm classifyPayload(std::span<const std::uint8_t> payload) {
    CommandForm form;
    const auto size = payload.size();
    if (size == 6 && startsWith(payload, "RRD")) {
        form = {CommandKind::readFlash, "RRD ", payload[5], addressAt(payload, 3)};
    } else if (size >= 6 && startsWith(payload, "WFP")) {
        form = {CommandKind::writeFlash, "WFP ", 0, addressAt(payload, 3)};
    } else if (size == 5 && startsWith(payload, "PG ")) {
        form = {CommandKind::setPage, "PG ", 0, -1};
    } else if (size == 5 && startsWith(payload, "VM ")) {
        form = {CommandKind::setVm, "VM ", 0, -1};
    } else if (size == 4 && startsWith(payload, "EM")) {
        form = {CommandKind::eraseMain, "EM ", 0, addressAt(payload, 2)};
    } else if (size == 4 && startsWith(payload, "EB")) {
        form = {CommandKind::eraseBoot, "EB ", 0, addressAt(payload, 2)};
    } else if (size == 3 && startsWith(payload, "RST")) {
        form = {CommandKind::reset, "RST ", 0, -1};
    } else if (size == 3 && startsWith(payload, "BRD")) {
        form = {CommandKind::identify, "BRD ", 0, -1};
    } else if (size == 3 && startsWith(payload, "MIR")) {
        form = {CommandKind::mirror, "MIR ", 0, -1};
    }
    return form;
}

void DelayEstimate::sample(Duration delay) {
    delay = std::max(delay, Duration::zero());
    if (!known_) {
        known_ = true;
        smoothed_ = delay;
        variation_ = delay / 2;
        return;
    }
    const Duration error = smoothed_ > delay ? smoothed_ - delay : delay - smoothed_;
    variation_ += error > variation_ ? (error - variation_) / 4 : -(variation_ - error) / 16;
    smoothed_ += (delay - smoothed_) / 8;
}

DelayEstimate::Duration DelayEstimate::window(Duration floor, Duration initial,
                                              Duration ceiling) const {
    if (!known_) {
        return std::max(floor, initial);
    }
    return std::clamp(smoothed_ + 4 * variation_, floor, ceiling);
}

ReplyKnowledge::Duration ReplyKnowledge::firstByteWindow(const CommandForm& form,
                                                         bool resent) const {
    // An erase that went unanswered for a second did not reach the board, or the board is silent:
    // its copies get the 30 ms rule until an erase has been answered.
    return form.isErase()
               ? erases_.window(answerFloor, resent ? answerFloor : eraseInitial, eraseCeiling)
               : answers_.window(answerFloor, answerFloor, answerCeiling);
}

int ReplyKnowledge::expectedLength(const CommandForm& form) const {
    const Learned& learned = learned_[static_cast<std::size_t>(form.kind)];
    if (learned.rule != Rule::known) {
        return 0;
    }
    return learned.length + (form.kind == CommandKind::readFlash ? form.dataCount : 0);
}

ReplyVerdict ReplyKnowledge::judge(const CommandForm& form, std::span<const std::uint8_t> reply,
                                   const Note& note) {
    if (!startsWithReplyTag(reply.data(), static_cast<int>(reply.size()))) {
        return ReplyVerdict::untagged;
    }
    if (form.kind == CommandKind::other || form.kind == CommandKind::mirror) {
        return ReplyVerdict::accepted;  // no fixed form: any tag, ends at silence
    }
    const int length = static_cast<int>(reply.size());
    if (form.kind == CommandKind::readFlash && length < readReplyHeaderLength + form.dataCount) {
        return ReplyVerdict::cut;
    }
    Learned& learned = learned_[static_cast<std::size_t>(form.kind)];
    if (!startsWith(reply, form.ownTag)) {
        // Until the board has shown that it answers in its commands' own tags, any tag is good.
        return learned.ownTagSeen || ownTagsSeen_ ? ReplyVerdict::wrongTag : ReplyVerdict::accepted;
    }
    if (form.address >= 0) {
        if (!learned.echoKnown) {
            learned.echoKnown = true;
            learned.echoAt = findAddress(reply, form.ownTag.size(), form.address);
        } else if (learned.echoAt >= 0 && !holdsAddressAt(reply, learned.echoAt, form.address)) {
            return ReplyVerdict::wrongAddress;
        }
    }
    const ReplyVerdict verdict = judgeLength(form, learned, length, note);
    learned.ownTagSeen = learned.ownTagSeen || verdict == ReplyVerdict::accepted;
    ownTagsSeen_ = ownTagsSeen_ || learned.ownTagSeen;
    return verdict;
}

ReplyVerdict ReplyKnowledge::judgeLength(const CommandForm& form, Learned& learned, int length,
                                         const Note& note) {
    const int beyond = form.kind == CommandKind::readFlash ? form.dataCount : 0;
    switch (learned.rule) {
        case Rule::silence:
            return ReplyVerdict::accepted;
        case Rule::unknown:
            learned.rule = Rule::known;
            learned.length = length - beyond;
            return ReplyVerdict::accepted;
        case Rule::known:
            break;
    }
    if (length - beyond == learned.length) {
        learned.mismatches = 0;
        learned.lastMismatch = -1;
        return ReplyVerdict::accepted;
    }
    if (length - beyond == learned.lastMismatch) {
        // Two replies in a row agree on a new length: the board's form has changed.
        learned.length = length - beyond;
        learned.mismatches = 0;
        learned.lastMismatch = -1;
        if (note) {
            note({.change = KnowledgeNote::Change::lengthLearned,
                  .command = form.kind,
                  .length = length});
        }
        return ReplyVerdict::wrongLength;
    }
    learned.lastMismatch = length - beyond;
    if (++learned.mismatches >= mismatchesBeforeSilence) {
        learned.rule = Rule::silence;
        if (note) {
            note({.change = KnowledgeNote::Change::lengthsVary, .command = form.kind});
        }
    }
    return ReplyVerdict::wrongLength;
}

void ReplyKnowledge::noteBytesAfterEnd(CommandKind kind, const Note& note) {
    Learned& learned = learned_[static_cast<std::size_t>(kind)];
    if (learned.rule == Rule::known && ++learned.mismatches >= mismatchesBeforeSilence) {
        learned.rule = Rule::silence;
        if (note) {
            note({.change = KnowledgeNote::Change::repliesRunOn, .command = kind});
        }
    }
}

void ReplyKnowledge::notePause(Duration gap, const Note& note) {
    // A pause proved by the rest of the reply: the next one like it must not end the reply. Half
    // as much again, for a pause that varies; never beyond the bound, so a reply still ends.
    const Duration widened = std::min<Duration>(gap + gap / 2, silenceCeiling);
    if (widened > silence_) {
        silence_ = widened;
        if (note) {
            note({.change = KnowledgeNote::Change::pauseWidened,
                  .gap = std::chrono::duration_cast<std::chrono::milliseconds>(gap),
                  .silence = std::chrono::duration_cast<std::chrono::milliseconds>(silence_)});
        }
    }
}

}  // namespace loadstar
