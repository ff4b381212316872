#include "BoardCommands.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "AgreedRead.h"
#include "HexText.h"

namespace loadstar {

namespace {

constexpr int smallReply = 100;
constexpr int largeReply = 1000;
constexpr int mirrorRetries = 3;
constexpr char writtenText[] = "B WRITTEN";

// "PG " or "VM " followed by the two upper-case hex digits of `value`.
std::array<char, 8> twoDigitPayload(const char* prefix, std::uint8_t value) {
    std::array<char, 8> payload{};
    std::memcpy(payload.data(), prefix, 3);
    byteToHex(payload.data() + 3, value);
    payload[5] = '\0';
    return payload;
}

std::uint8_t highByte(int address) {
    return static_cast<std::uint8_t>((address >> 8) & 0xFF);
}
std::uint8_t lowByte(int address) {
    return static_cast<std::uint8_t>(address & 0xFF);
}

}  // namespace

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

int BoardCommands::sendTextCommand(const char* payload, const char* failureMessage) {
    std::array<std::uint8_t, smallReply> reply{};
    if (link_.exchangePacket(payload, reply.data(), smallReply, nullptr,
                             SerialLink::defaultRetries) == 0) {
        showError(ui_, failureMessage);
        return 0;
    }
    return 1;
}

int BoardCommands::resetBoard() {
    if (link_.exchangePacket("RST", nullptr, 0, nullptr, SerialLink::defaultRetries) == 0) {
        showError(ui_, "Error sending RESET command.");
        return 0;
    }
    return 1;
}

int BoardCommands::setPage(std::uint8_t page) {
    return sendTextCommand(twoDigitPayload("PG ", page).data(), "Error sending SET PAGE command.");
}

int BoardCommands::setVm(std::uint8_t value) {
    return sendTextCommand(twoDigitPayload("VM ", value).data(), "Error sending SET VM command.");
}

int BoardCommands::selectFlash(int kind, std::uint8_t sector) {
    if (kind == mainFlash) {
        return setVm(0x92) != 0 && setPage(sector) != 0 ? 1 : 0;
    }
    if (sector >= 4) {
        showError(ui_, "Secondary/boot flash sector can not be > 3.");
        return 0;
    }
    return setVm(0x8C) != 0 && setPage(0) != 0 ? 1 : 0;
}

int BoardCommands::readFlash(int address, std::uint8_t* destination, int count, int* replyLength) {
    const std::array<std::uint8_t, 6> payload = {
        'R', 'R', 'D', highByte(address), lowByte(address), static_cast<std::uint8_t>(count)};
    std::array<std::uint8_t, largeReply> reply{};
    int length = 0;
    if (link_.exchangePacket(payload.data(), static_cast<int>(payload.size()), reply.data(),
                             largeReply, &length, SerialLink::defaultRetries) == 0) {
        showError(ui_, "Error sending READ FLASH command.");
        return 0;
    }
    std::memcpy(destination, reply.data(), static_cast<std::size_t>(length));
    if (replyLength != nullptr) {
        *replyLength = length;
    }
    return 1;
}

int BoardCommands::writeFlash(int address, const std::uint8_t* data, int count) {
    std::array<std::uint8_t, 6 + 255> payload = {
        'W', 'F', 'P', highByte(address), lowByte(address), static_cast<std::uint8_t>(count)};
    // The count travels in one byte: a longer list is cut to what the payload can say.
    const int sent = count & 0xFF;
    std::memcpy(payload.data() + 6, data, static_cast<std::size_t>(sent));
    std::array<std::uint8_t, smallReply> reply{};
    int length = 0;
    if (link_.exchangePacket(payload.data(), 6 + sent, reply.data(), smallReply, &length,
                             SerialLink::defaultRetries) == 0) {
        showError(ui_, "Error sending WRITE FLASH command.");
        return 0;
    }
    if (writeReplyConfirms(reply.data(), length, count)) {
        return 1;
    }
    if (count != sent) {
        showError(ui_, "Error writing data, target memory space probably not blank.");
        return 0;
    }
    // The reply may have been hit on the line: what the flash holds decides.
    return confirmByReadingBack(address, data, count);
}

int BoardCommands::confirmByReadingBack(int address, const std::uint8_t* data, int count) {
    std::vector<std::uint8_t> flash;
    const ReadBlock readOnce = [&](std::vector<std::uint8_t>& bytes) {
        std::array<std::uint8_t, largeReply> reply{};
        int length = 0;
        if (readFlash(address, reply.data(), count, &length) == 0) {
            return false;
        }
        if (length < replyHeaderLength + count) {
            // Too short to hold the bytes: a failed read, as in the sector passes, and said so.
            showError(ui_, "Error sending READ FLASH command.");
            return false;
        }
        std::copy_n(reply.begin() + replyHeaderLength, count, bytes.begin());
        return true;
    };
    switch (readUntilAgreed(readOnce, count, {}, flash)) {
        case AgreedRead::agreed:
            if (std::equal(flash.begin(), flash.end(), data)) {
                return 1;
            }
            showError(ui_, "Error writing data, target memory space probably not blank.");
            return 0;
        case AgreedRead::tooNoisy:
            showError(ui_, lineTooNoisyText);
            return 0;
        case AgreedRead::readFailed:
            break;
    }
    return 0;
}

int BoardCommands::eraseSector(int kind, std::uint8_t sector, int address) {
    if (selectFlash(kind, sector) == 0) {
        return 0;
    }
    const std::array<std::uint8_t, 4> payload = {
        'E', kind == mainFlash ? std::uint8_t{'M'} : std::uint8_t{'B'}, highByte(address),
        lowByte(address)};
    std::array<std::uint8_t, smallReply> reply{};
    int length = 0;
    if (link_.exchangePacket(payload.data(), static_cast<int>(payload.size()), reply.data(),
                             smallReply, &length, SerialLink::defaultRetries) == 0) {
        showError(ui_, "Error sending SECTOR ERASE command.");
        return 0;
    }
    return 1;
}

bool BoardCommands::identifyBoard(std::string* replyText) {
    // A board that answers "BRD " with another name may have had its reply hit on a noisy line:
    // it is asked again, a few times, before it counts as the wrong board. A silent one is not.
    constexpr int mostAsks = 3;
    for (int ask = 1;; ++ask) {
        // One byte more than the exchange may fill, so the reply is always a terminated text.
        std::array<std::uint8_t, smallReply + 1> reply{};
        (void)link_.exchangePacket("BRD", reply.data(), smallReply, nullptr,
                                   SerialLink::defaultRetries);
        if (replyText != nullptr) {
            *replyText = reinterpret_cast<const char*>(reply.data());
        }
        const bool answered = std::memcmp(reply.data(), "BRD ", 4) == 0;
        reply[7] = 'X';
        if (std::strcmp(reinterpret_cast<const char*>(reply.data()), "BRD KELX20") == 0) {
            return true;
        }
        if (!answered || ask == mostAsks) {
            return false;
        }
    }
}

std::string BoardCommands::fetchDisplayText() {
    std::array<std::uint8_t, smallReply> reply{};
    int length = 0;
    (void)link_.exchangePacket("MIR", reply.data(), smallReply, &length, mirrorRetries);
    if (length == 0) {
        return {};
    }
    // Up to the reply's terminating zero, or the end of the buffer when the reply filled it.
    const auto* text = reinterpret_cast<const char*>(reply.data()) + 4;
    return std::string(text, ::strnlen(text, smallReply - 4));
}

}  // namespace loadstar
