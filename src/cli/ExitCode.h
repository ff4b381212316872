#pragma once

namespace loadstar::cli {

// What loadstar-cli tells the script that ran it.
enum ExitCode : int {
    exitSuccess = 0,        // done: blank, verified, programmed, saved
    exitDifference = 1,     // a check found a difference: not blank, verify mismatch
    exitFailure = 2,        // failure or bad input
    exitInterrupted = 130,  // Ctrl-C
};

}  // namespace loadstar::cli
