#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace loadstar::emulator {

// One raw reply of the board and how long after its frame it starts; or, with `afterPrevious`,
// how long after the bytes queued before it have left the line (the rest of a reply that
// paused, a reply the board sends a second time).
struct BoardReply {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds delay{0};
    std::optional<std::chrono::milliseconds> afterPrevious{};
};

}  // namespace loadstar::emulator
