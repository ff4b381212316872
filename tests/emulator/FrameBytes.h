#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace loadstar::emulator::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}
inline std::string textOf(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

// A command frame built here from its definition, apart from the host's buildPacket, so that the
// two cannot share a mistake: '!', length (payload + 6) high and low, header check, payload, sum,
// xor.
inline Bytes frameOf(const Bytes& payload) {
    const auto length = payload.size() + 6;
    Bytes frame{0x21, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
                static_cast<std::uint8_t>(0x100 - (((length >> 8) + (length & 0xFF)) & 0xFF))};
    std::uint8_t sum = 0;
    std::uint8_t exclusive = 0;
    for (const auto byte : payload) {
        frame.push_back(byte);
        sum = static_cast<std::uint8_t>(sum + byte);
        exclusive ^= byte;
    }
    frame.insert(frame.end(), {sum, exclusive});
    return frame;
}
inline Bytes frameOf(const std::string& payload) {
    return frameOf(bytesOf(payload));
}

// READ FLASH and WRITE FLASH payloads: the tag, the address high then low, the count, the data.
inline Bytes flashPayload(const std::string& tag, int address, int count, const Bytes& data = {}) {
    Bytes payload = bytesOf(tag);
    payload.insert(payload.end(),
                   {static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
                    static_cast<std::uint8_t>(count)});
    payload.insert(payload.end(), data.begin(), data.end());
    return payload;
}

}  // namespace loadstar::emulator::testing
