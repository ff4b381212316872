#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace loadstar::emulator::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A command frame built here from its definition, independently of the host's buildPacket, so
// that the two cannot share a mistake: '!', length (payload + 6) high and low, header check byte,
// payload, sum, xor.
inline Bytes frameOf(const Bytes& payload) {
    const int length = static_cast<int>(payload.size()) + 6;
    const auto high = static_cast<std::uint8_t>(length / 256);
    const auto low = static_cast<std::uint8_t>(length % 256);
    Bytes frame{0x21, high, low, static_cast<std::uint8_t>(0x100 - ((high + low) & 0xFF))};
    std::uint8_t sum = 0;
    std::uint8_t exclusive = 0;
    for (auto b : payload) {
        frame.push_back(b);
        sum = static_cast<std::uint8_t>(sum + b);
        exclusive = static_cast<std::uint8_t>(exclusive ^ b);
    }
    frame.push_back(sum);
    frame.push_back(exclusive);
    return frame;
}

inline Bytes frameOf(const std::string& payload) {
    return frameOf(bytesOf(payload));
}

// Payload of a READ FLASH, WRITE FLASH or erase command with its address bytes.
inline Bytes commandWithAddress(const std::string& tag, int address, Bytes rest = {}) {
    Bytes payload = bytesOf(tag);
    payload.push_back(static_cast<std::uint8_t>(address / 256));
    payload.push_back(static_cast<std::uint8_t>(address % 256));
    payload.insert(payload.end(), rest.begin(), rest.end());
    return payload;
}

inline Bytes readPayload(int address, int count) {
    return commandWithAddress("RRD", address, {static_cast<std::uint8_t>(count)});
}

inline Bytes writePayload(int address, const Bytes& data) {
    Bytes rest{static_cast<std::uint8_t>(data.size())};
    rest.insert(rest.end(), data.begin(), data.end());
    return commandWithAddress("WFP", address, rest);
}

inline std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace loadstar::emulator::testing
