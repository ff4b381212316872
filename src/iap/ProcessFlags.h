#pragma once

namespace loadstar {

// The three process-wide flags; all false at start. Nothing else is global.
struct ProcessFlags {
    // Set by ESC in the main window and by closing it; cleared by each sector pass when its board
    // work begins and tested before every block.
    bool cancelRequested = false;
    // Asks the random read test to end after its current cycle.
    bool stopTest = false;
    // Set while a random read test runs: the error box is silent and the main window won't close.
    bool testRunning = false;
};

ProcessFlags& processFlags();

}  // namespace loadstar
