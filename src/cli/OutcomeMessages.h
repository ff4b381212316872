#pragma once

#include "cli/TerminalUserInterface.h"
#include "iap/Outcome.h"
#include "words/OutcomeWords.h"

// The tool writes the system's words for an outcome (OutcomeWords.h) as "<caption>: <text>" on
// stderr, in the order the window shows its boxes.
namespace loadstar::cli {

// Writes the words for the board command `outcome` failed at, if any, through `ui`.
void reportCommandFailure(TerminalUserInterface& ui, const Outcome& outcome,
                          OutcomeSource source = OutcomeSource::memoryPanel);
// Writes what a pass found different, then the board command it failed at, then that it found
// nothing different; returns the pass's result code: 1 done (also when it found a difference),
// -1 cancelled, 0 failed.
int reportPass(TerminalUserInterface& ui, const Outcome& outcome,
               PassFinding finding = PassFinding::none);
// Writes the message for a failed save, if `outcome` is one: "Uploaded data save error: Error
// creating file ! (<path>: <the system's reason>)".
void reportSaveFailure(TerminalUserInterface& ui, const Outcome& outcome);

}  // namespace loadstar::cli
