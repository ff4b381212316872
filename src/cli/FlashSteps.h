#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "cli/TerminalUserInterface.h"
#include "iap/BoardCommands.h"
#include "iap/ImageFile.h"
#include "iap/SectorGeometry.h"
#include "iap/SectorOperations.h"

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
    // What the sector holds now.
    bool eraseSent = false;            // an erase was sent (it may have failed half-way)
    bool erased = false;               // the board confirmed the erase
    std::optional<int> programmedEnd;  // one past the last board address written
    bool imageWritten = false;         // every block of the image was written
};

// What the sector holds after a failed or interrupted `outcome`, for its message: "the sector is
// erased: its old contents are gone", "... erased and programmed up to 0x8063: ...". Empty when
// nothing was sent that changes it.
std::string sectorStateText(const FlashOutcome& outcome);

// What the sector holds after `outcome`, as the JSON report's "board_holds" names it: "untouched",
// "partly erased", "erased", "erased, programmed up to 0x8063", "programmed up to 0x8063",
// "new image, not verified", "new image, verified", "new image, differs".
std::string boardHoldsName(const FlashOutcome& outcome);

// Erases the sector, programs `image` and verifies it, over the connection `operations` uses,
// stopping at the first step that fails, is interrupted (Ctrl-C) or finds a difference; a failure's
// message goes to `ui`, which also draws the progress. An image
// of nothing but 0xFF is erased and verified, nothing written. `announce` is told each step
// before it runs, with the bytes it covers (the sector's size for the erase), so that the caller
// can name it on the progress line. Verify counts every differing byte the image defines.
FlashOutcome flashSector(SectorOperations& operations, BoardCommands& board,
                         TerminalUserInterface& ui, const SectorGeometry& geometry,
                         const SectorImage& image, FlashPlan plan,
                         const std::function<void(FlashStep, long)>& announce);

}  // namespace loadstar::cli
