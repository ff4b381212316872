#pragma once

#include "iap/Outcome.h"

namespace loadstar {

// The window program's process-wide state; all clear at start. Nothing else is global.
struct ProcessFlags {
    // The token the main window passes to its sector passes: set by ESC in the main window, by
    // closing it and by an uncaught exception; cleared by each pass when its board work begins.
    CancelToken windowCancel;
    // The token the main window passes to the random read test: asks it to end after its current
    // cycle; cleared by each run at its start.
    CancelToken stopTest;
    // Set while a random read test runs: the error box is silent and the main window won't close.
    bool testRunning = false;
};

ProcessFlags& processFlags();

}  // namespace loadstar
