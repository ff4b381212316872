#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace loadstar::testing {

// One Intel HEX record line (no line end) with a correct checksum.
inline std::string hexRecord(int address, int type, const std::vector<std::uint8_t>& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + ((address >> 8) & 0xFF) + (address & 0xFF) +
                   static_cast<unsigned>(type);
    char field[16];
    std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  static_cast<unsigned>(address & 0xFFFF), static_cast<unsigned>(type));
    std::string line = field;
    for (const std::uint8_t byte : data) {
        std::snprintf(field, sizeof field, "%02X", byte);
        line += field;
        sum += byte;
    }
    std::snprintf(field, sizeof field, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + field;
}

inline std::string dataRecord(int address, const std::vector<std::uint8_t>& data) {
    return hexRecord(address, 0x00, data);
}

inline const std::string endRecord = ":00000001FF";

// `lines`, each followed by `lineEnd`.
inline std::string hexFile(const std::vector<std::string>& lines,
                           const std::string& lineEnd = "\n") {
    std::string text;
    for (const auto& line : lines) {
        text += line + lineEnd;
    }
    return text;
}

// `count` bytes counting up from `first`.
inline std::vector<std::uint8_t> countingBytes(int count, int first = 0) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < count; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(first + i));
    }
    return bytes;
}

}  // namespace loadstar::testing
