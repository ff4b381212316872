#pragma once

#include "Outcome.h"

namespace loadstar {

// The process-wide state of the window program; all clear at start. Nothing else is global.
struct ProcessFlags {
    // The token the main window passes to its sector passes: set by ESC in the main window, by
    // closing it and by an uncaught exception; cleared by each pass when its board work begins.
    CancelToken windowCancel;
    // Asks the random read test to end after its current cycle.
    bool stopTest = false;
    // Set while a random read test runs: the error box is silent and the main window won't close.
    bool testRunning = false;
};

ProcessFlags& processFlags();

}  // namespace loadstar
