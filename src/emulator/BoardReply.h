#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace loadstar::emulator {

// One raw reply of the board and how long after its frame it starts.
struct BoardReply {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds delay{0};
};

}  // namespace loadstar::emulator
