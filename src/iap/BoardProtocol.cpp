#include "iap/BoardProtocol.h"

#include <algorithm>
#include <cstring>

#include "link/HexText.h"

namespace loadstar {

namespace {

constexpr int mirrorRetries = 3;
constexpr std::size_t longestDisplayText = 96;
constexpr char writtenText[] = "B WRITTEN";

std::uint8_t highByte(int address) {
    return static_cast<std::uint8_t>((address >> 8) & 0xFF);
}
std::uint8_t lowByte(int address) {
    return static_cast<std::uint8_t>(address & 0xFF);
}

// `prefix` ("PG " or "VM ") followed by the two upper-case hex digits of `value`.
Payload twoDigitPayload(const char* prefix, std::uint8_t value) {
    std::array<char, 3 + 4> text{};  // byteToHex writes two digits, a blank and a zero
    std::memcpy(text.data(), prefix, 3);
    byteToHex(std::span(text).subspan<3, 4>(), value);
    return Payload(text.begin(), text.begin() + 5);
}

}  // namespace

Payload setVmPayload(std::uint8_t value) {
    return twoDigitPayload("VM ", value);
}

Payload setPagePayload(std::uint8_t page) {
    return twoDigitPayload("PG ", page);
}

Payload readFlashPayload(int address, int count) {
    return {'R', 'R', 'D', highByte(address), lowByte(address), static_cast<std::uint8_t>(count)};
}

Payload writeFlashPayload(int address, std::span<const std::uint8_t> data) {
    const auto count = static_cast<std::uint8_t>(data.size() & 0xFF);
    Payload payload(6 + static_cast<std::size_t>(count));
    payload[0] = 'W';
    payload[1] = 'F';
    payload[2] = 'P';
    payload[3] = highByte(address);
    payload[4] = lowByte(address);
    payload[5] = count;
    std::copy_n(data.begin(), count, payload.begin() + 6);
    return payload;
}

Payload erasePayload(int kind, int address) {
    return {'E', kind == mainFlash ? std::uint8_t{'M'} : std::uint8_t{'B'}, highByte(address),
            lowByte(address)};
}

Payload textPayload(const char* text) {
    return Payload(text, text + std::strlen(text));
}

int scanWrittenCount(const std::uint8_t* text, int available) {
    int at = 0;
    while (at < available && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) {
        ++at;
    }
    int value = 0;
    for (int digits = 0; digits < 2 && at < available; ++digits, ++at) {
        const int digit = hexDigitValue(static_cast<char>(text[at]));
        if (digit < 0) {
            break;
        }
        value = value * 16 + digit;
    }
    return value;
}

bool writeReplyConfirms(const std::uint8_t* reply, int replyLength, int count) {
    constexpr int textLength = sizeof writtenText - 1;
    if (replyLength < writtenTextOffset + textLength) {
        return false;
    }
    const int written =
        scanWrittenCount(reply + writtenCountOffset, writtenTextOffset - writtenCountOffset);
    return std::memcmp(reply + writtenTextOffset, writtenText, textLength) == 0 && written == count;
}

bool replyIdentifiesBoard(std::span<const std::uint8_t> reply) {
    constexpr char name[] = "BRD KELX20";
    constexpr std::size_t length = sizeof name - 1;
    // Exactly the name as a text: any character at offset 7 (a zero too), and a zero or the
    // reply's end right after it; a longer text is another board.
    if (reply.size() < length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (i != 7 && reply[i] != static_cast<std::uint8_t>(name[i])) {
            return false;
        }
    }
    return reply.size() == length || reply[length] == 0;
}

std::string displayTextOf(std::span<const std::uint8_t> reply) {
    if (reply.size() <= 4) {
        return {};
    }
    const auto text = reply.subspan(4, std::min(reply.size() - 4, longestDisplayText));
    const auto end = std::find(text.begin(), text.end(), std::uint8_t{0});
    return std::string(text.begin(), end);
}

bool BoardProtocol::exchange(const Payload& payload, int retries) {
    reply_.fill(0);
    replyLength_ = 0;
    return link_.exchangePacket(payload.data(), static_cast<int>(payload.size()), reply_.data(),
                                replyCapacity, &replyLength_, retries) == 1;
}

CommandFault BoardProtocol::selectFlash(int kind, std::uint8_t sector) {
    const bool main = kind == mainFlash;
    if (!main && sector >= 4) {
        return {Command::setVm, Fault::bootSectorRange};
    }
    if (!exchange(setVmPayload(main ? 0x92 : 0x8C))) {
        return {Command::setVm, Fault::noReply};
    }
    if (!exchange(setPagePayload(main ? sector : 0))) {
        return {Command::setPage, Fault::noReply};
    }
    return {};
}

CommandFault BoardProtocol::erase(int kind, int address) {
    if (!exchange(erasePayload(kind, address))) {
        return {Command::eraseSector, Fault::noReply};
    }
    return {};
}

CommandFault BoardProtocol::reset() {
    const Payload payload = textPayload("RST");
    if (link_.exchangePacket(payload.data(), static_cast<int>(payload.size()), nullptr, 0, nullptr,
                             SerialLink::defaultRetries) == 0) {
        return {Command::reset, Fault::noReply};
    }
    return {};
}

CommandFault BoardProtocol::readFlash(int address, int count, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (!exchange(readFlashPayload(address, count))) {
        return {Command::readFlash, Fault::noReply};
    }
    // The exchange asks again for a reply cut short; one still short never lends its missing
    // bytes from an earlier reply.
    if (count < 0 || replyLength_ < replyHeaderLength + count) {
        return {Command::readFlash, Fault::shortReply};
    }
    bytes.assign(reply_.begin() + replyHeaderLength, reply_.begin() + replyHeaderLength + count);
    return {};
}

CommandFault BoardProtocol::readAgreed(int address, int count,
                                       std::span<const std::uint8_t> firstRead, NoiseTally& pass,
                                       std::vector<std::uint8_t>& agreed) {
    CommandFault failure;
    std::vector<std::uint8_t> read;
    const ReadBlock readOnce = [&](std::vector<std::uint8_t>& bytes) {
        failure = readFlash(address, count, read);
        if (!failure.ok()) {
            return false;
        }
        std::copy(read.begin(), read.end(), bytes.begin());
        return true;
    };
    switch (readUntilAgreed(readOnce, count, firstRead, agreed, pass)) {
        case AgreedRead::agreed:
            return {};
        case AgreedRead::tooNoisy:
            return {Command::readFlash, Fault::tooNoisy};
        case AgreedRead::readFailed:
            break;
    }
    return failure;
}

CommandFault BoardProtocol::writeFlash(int address, std::span<const std::uint8_t> data,
                                       NoiseTally& pass) {
    const int count = static_cast<int>(data.size());
    if (!exchange(writeFlashPayload(address, data))) {
        return {Command::writeFlash, Fault::noReply};
    }
    if (writeReplyConfirms(reply_.data(), replyLength_, count)) {
        return {};
    }
    if (count > largestWriteCount) {
        return {Command::writeFlash, Fault::notWritten};
    }
    // The reply may have been hit on the line: what the flash holds decides.
    std::vector<std::uint8_t> flash;
    const CommandFault readBack = readAgreed(address, count, {}, pass, flash);
    if (!readBack.ok()) {
        return readBack;
    }
    if (!std::equal(flash.begin(), flash.end(), data.begin(), data.end())) {
        return {Command::writeFlash, Fault::notWritten};
    }
    return {};
}

CommandFault BoardProtocol::identify(std::string* replyText) {
    // A board that answers "BRD " with another name may have had its reply hit on a noisy line:
    // it is asked again, a few times, before it counts as the wrong board. A silent one is not.
    constexpr int mostAsks = 3;
    for (int ask = 1;; ++ask) {
        const bool replied = exchange(textPayload("BRD"));
        if (replyText != nullptr) {
            *replyText = reinterpret_cast<const char*>(reply_.data());
        }
        if (replied && replyIdentifiesBoard(std::span(reply_).first(replyCapacity))) {
            return {};
        }
        const bool answered = std::memcmp(reply_.data(), "BRD ", 4) == 0;
        if (!answered || ask == mostAsks) {
            return {Command::identify, replied ? Fault::wrongBoard : Fault::noReply};
        }
    }
}

std::string BoardProtocol::fetchDisplayText() {
    if (!exchange(textPayload("MIR"), mirrorRetries)) {
        return {};
    }
    return displayTextOf(std::span(reply_).first(static_cast<std::size_t>(replyLength_)));
}

}  // namespace loadstar
