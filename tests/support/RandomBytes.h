#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace loadstar::testing {

// `size` bytes that look random but are the same for the same `seed` on every run and machine
// (std::mt19937 is fully specified), so a failure can be repeated.
inline std::vector<std::uint8_t> randomBytes(int size, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

}  // namespace loadstar::testing
