#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "BoardCommands.h"
#include "SectorGeometry.h"
#include "SectorOperations.h"

namespace loadstar::cli {

enum class FlashStep { erase, program, verify };

// "erase", "program", "verify".
const char* flashStepName(FlashStep step);
// "Erasing", "Programming", "Verifying": the step on a progress line.
const char* flashStepLabel(FlashStep step);

// Which steps run besides programming.
struct FlashPlan {
    bool erase = true;
    bool verify = true;
};

// How flashing one sector ended: `result` 1 done (the image may still differ: `differences`),
// -1 interrupted, 0 failed (the message has been shown); `step` is the step it ended in.
struct FlashOutcome {
    int result = 1;
    FlashStep step = FlashStep::program;
    long differences = 0;
    std::optional<int> firstDifference;
};

// Erases the sector, programs `image` and verifies it, over the connection `operations` uses,
// stopping at the first step that fails, is interrupted (Ctrl-C) or finds a difference. An empty
// image is only erased. `announce` is told each step before it runs, with the bytes it covers
// (the sector's size for the erase), so that the caller can name it on the progress line.
// Verify counts every differing byte.
FlashOutcome flashSector(SectorOperations& operations, BoardCommands& board,
                         const SectorGeometry& geometry, std::span<const std::uint8_t> image,
                         FlashPlan plan, const std::function<void(FlashStep, long)>& announce);

}  // namespace loadstar::cli
