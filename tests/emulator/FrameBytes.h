#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/PacketExchange.h"

namespace loadstar::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}
inline std::string textOf(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

// A command frame as the host sends it (buildPacket is pinned to the format's own examples).
inline Bytes frameOf(Bytes payload) {
    payload.insert(payload.begin(), 4, 0);
    payload.resize(payload.size() + 2);
    buildPacket(payload.data(), static_cast<int>(payload.size() - 6));
    return payload;
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

}  // namespace loadstar::testing
