#include "emulator/BoardModel.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace loadstar::emulator {

namespace {

constexpr int windowStart = 0x8000;
constexpr int windowEnd = 0x10000;  // one past the last mapped address
constexpr std::uint8_t mainVm = 0x92;
constexpr std::uint8_t bootVm = 0x8C;
constexpr std::size_t replyHeaderLength = 15;
constexpr std::uint8_t unmappedByte = 0xFF;

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

bool startsWith(std::span<const std::uint8_t> payload, std::string_view text) {
    return payload.size() >= text.size() && std::equal(text.begin(), text.end(), payload.begin());
}

bool isCommand(std::span<const std::uint8_t> payload, std::string_view text, std::size_t length) {
    return payload.size() == length && startsWith(payload, text);
}

int upperHexDigit(std::uint8_t character) {
    if (character >= '0' && character <= '9') {
        return character - '0';
    }
    if (character >= 'A' && character <= 'F') {
        return character - 'A' + 10;
    }
    return -1;
}

int addressOf(std::span<const std::uint8_t> payload, std::size_t at) {
    return payload[at] * 256 + payload[at + 1];
}

// "TAG AAAA CC" padded with blanks to the 15-character reply header.
Bytes replyHeader(std::string_view tag, int address, int count) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3s %04X %02X", tag.data(), static_cast<unsigned>(address),
                  static_cast<unsigned>(count));
    Bytes header = bytesOf(text);
    header.resize(replyHeaderLength, ' ');
    return header;
}

Bytes eraseReply(std::string_view tag, int address, bool erased) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2s %04X %s", tag.data(), static_cast<unsigned>(address),
                  erased ? "ERASED" : "NOTHING");
    return bytesOf(text);
}

}  // namespace

BoardModel::BoardModel(std::string model) : model_(std::move(model)) {}

std::vector<BoardReply> BoardModel::receive(std::span<const std::uint8_t> bytes,
                                            Clock::time_point now) {
    return answer(decoder_.feed(bytes), now);
}

std::vector<BoardReply> BoardModel::expireIncompleteFrame(Clock::time_point now) {
    return answer(decoder_.expireIncompleteFrame(), now);
}

bool BoardModel::deafAt(Clock::time_point now) {
    if (now < deafUntil_) {
        return true;
    }
    const FaultSettings& faults = faults_.settings();
    if (faults.resetAfter > 0 && !resetDone_ && framesHeard_ >= faults.resetAfter) {
        // It resets once the Nth frame has been answered: back on main sector 0, deaf a while.
        resetDone_ = true;
        (void)reset();
        deafUntil_ = now + faults.resetSilence;
        return now < deafUntil_;
    }
    return false;
}

std::vector<BoardReply> BoardModel::answer(std::vector<FrameDecoder::Payload> payloads,
                                           Clock::time_point now) {
    std::vector<BoardReply> replies;
    for (auto& payload : payloads) {
        payloads_.push_back(payload);
        const std::string& ignored = faults_.settings().ignoredCommand;
        if (deafAt(now) || faults_.settings().silent ||
            (!ignored.empty() && startsWith(payload, ignored))) {
            continue;  // the board hears nothing
        }
        ++framesHeard_;
        // A frame that comes while an erase is under way is handled once the erase is done.
        const auto start = std::max(now, busyUntil_);
        auto reply = handlePayload(payload);
        if (!reply) {
            continue;
        }
        const bool erase = isCommand(payload, "EM", 4) || isCommand(payload, "EB", 4);
        if (erase) {
            busyUntil_ = start + faults_.settings().eraseTime;
        }
        const auto waited =
            std::chrono::ceil<std::chrono::milliseconds>((erase ? busyUntil_ : start) - now);
        auto onLine = faults_.apply(std::move(*reply));
        if (!onLine.empty()) {
            onLine.front().delay += waited;
        }
        replies.insert(replies.end(), std::make_move_iterator(onLine.begin()),
                       std::make_move_iterator(onLine.end()));
    }
    return replies;
}

std::optional<Bytes> BoardModel::handlePayload(std::span<const std::uint8_t> payload) {
    if (isCommand(payload, "RST", 3)) {
        return reset();
    }
    if (isCommand(payload, "PG ", 5)) {
        return setRegister(payload, page_);
    }
    if (isCommand(payload, "VM ", 5)) {
        return setRegister(payload, vm_);
    }
    if (isCommand(payload, "RRD", 6)) {
        return readFlash(addressOf(payload, 3), payload[5]);
    }
    if (startsWith(payload, "WFP") && payload.size() >= 6) {
        return writeFlash(payload);
    }
    if (isCommand(payload, "EM", 4)) {
        return eraseMain(addressOf(payload, 2));
    }
    if (isCommand(payload, "EB", 4)) {
        return eraseBoot(addressOf(payload, 2));
    }
    if (isCommand(payload, "BRD", 3)) {
        return bytesOf("BRD " + model_);
    }
    if (isCommand(payload, "MIR", 3)) {
        return mirror();
    }
    return std::nullopt;
}

Bytes BoardModel::reset() {
    vm_ = mainVm;
    page_ = 0;
    ticks_ = 0;
    return bytesOf("RST OK");
}

// "PG xx" and "VM xx": two upper-case hex digits, echoed back.
std::optional<Bytes> BoardModel::setRegister(std::span<const std::uint8_t> payload,
                                             std::uint8_t& target) {
    const int high = upperHexDigit(payload[3]);
    const int low = upperHexDigit(payload[4]);
    if (high < 0 || low < 0) {
        return std::nullopt;
    }
    target = static_cast<std::uint8_t>(high * 16 + low);
    return Bytes(payload.begin(), payload.end());
}

std::optional<BoardModel::Location> BoardModel::locate(int address) const {
    if (address < windowStart || address >= windowEnd) {
        return std::nullopt;
    }
    const int offset = address - windowStart;
    if (vm_ == mainVm && page_ < FlashMemory::mainSectorCount) {
        return Location{FlashBank::main, page_, offset};
    }
    if (vm_ == bootVm) {
        return Location{FlashBank::boot, offset / FlashMemory::bootSectorSize,
                        offset % FlashMemory::bootSectorSize};
    }
    return std::nullopt;
}

Bytes BoardModel::readFlash(int address, int count) const {
    Bytes reply = replyHeader("RRD", address, count);
    for (int i = 0; i < count; ++i) {
        const auto where = locate(address + i);
        reply.push_back(
            where
                ? flash_.sector(where->bank, where->sector)[static_cast<std::size_t>(where->offset)]
                : unmappedByte);
    }
    return reply;
}

std::optional<Bytes> BoardModel::writeFlash(std::span<const std::uint8_t> payload) {
    const int address = addressOf(payload, 3);
    const int count = payload[5];
    if (payload.size() != 6 + static_cast<std::size_t>(count)) {
        return std::nullopt;  // the count does not match the data sent
    }
    int written = 0;
    while (written < count) {
        const auto where = locate(address + written);
        if (!where || !flash_.programByte(where->bank, where->sector, where->offset,
                                          payload[6 + static_cast<std::size_t>(written)])) {
            break;
        }
        ++written;
    }
    Bytes reply = replyHeader("WFP", address, count);
    char tail[16];
    std::snprintf(tail, sizeof tail, "%02X B WRITTEN", static_cast<unsigned>(written));
    const Bytes tailBytes = bytesOf(tail);
    reply.insert(reply.end(), tailBytes.begin(), tailBytes.end());
    return reply;
}

Bytes BoardModel::eraseMain(int address) {
    const bool mapped =
        address >= windowStart && address < windowEnd && page_ < FlashMemory::mainSectorCount;
    if (mapped) {
        flash_.eraseSector(FlashBank::main, page_);
    }
    return eraseReply("EM", address, mapped);
}

Bytes BoardModel::eraseBoot(int address) {
    const bool mapped = address >= windowStart && address < windowEnd;
    if (mapped) {
        flash_.eraseSector(FlashBank::boot, (address - windowStart) / FlashMemory::bootSectorSize);
    }
    return eraseReply("EB", address, mapped);
}

Bytes BoardModel::mirror() {
    ++ticks_;
    return bytesOf("MIR " + displayText());
}

std::string BoardModel::displayText() const {
    char selection[32];
    if (vm_ == mainVm && page_ < FlashMemory::mainSectorCount) {
        std::snprintf(selection, sizeof selection, "main FS%d", page_);
    } else if (vm_ == bootVm) {
        std::snprintf(selection, sizeof selection, "boot CSBOOT0-3");
    } else {
        std::snprintf(selection, sizeof selection, "VM %02X PG %02X", vm_, page_);
    }
    return model_ + " " + selection + "\nticks " + std::to_string(ticks_);
}

int BoardModel::countOf(std::string_view command) const {
    return static_cast<int>(
        std::count_if(payloads_.begin(), payloads_.end(),
                      [command](const Bytes& payload) { return startsWith(payload, command); }));
}

std::vector<Bytes> BoardModel::payloadsOf(std::string_view command) const {
    std::vector<Bytes> found;
    std::copy_if(payloads_.begin(), payloads_.end(), std::back_inserter(found),
                 [command](const Bytes& payload) { return startsWith(payload, command); });
    return found;
}

std::vector<std::string> BoardModel::commandNames() const {
    std::vector<std::string> names;
    for (const auto& payload : payloads_) {
        const auto end = std::find_if(payload.begin(), payload.end(),
                                      [](std::uint8_t byte) { return byte < 0x20 || byte > 0x7E; });
        names.emplace_back(payload.begin(), end);
    }
    return names;
}

}  // namespace loadstar::emulator
