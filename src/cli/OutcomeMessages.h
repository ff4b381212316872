#pragma once

#include <optional>
#include <string>

#include "MemoryPanelInput.h"
#include "Outcome.h"
#include "TerminalUserInterface.h"

namespace loadstar::cli {

// A message of the tool on stderr: "<caption>: <text>".
struct OutcomeMessage {
    std::string text;
    std::string caption;
};

// Where an outcome comes from: the words for a failed write or a short read differ between the
// memory commands and the sector passes.
enum class OutcomeSource { memoryCommand, sectorPass };

// The message for the board command an outcome failed at; nothing when no board command failed.
std::optional<OutcomeMessage> commandFailureMessage(const Outcome& outcome, OutcomeSource source);

// Writes that message, if any, through `ui`.
void reportCommandFailure(TerminalUserInterface& ui, const Outcome& outcome,
                          OutcomeSource source = OutcomeSource::memoryCommand);

// The sector passes whose finding the tool reports as the window's box would ("Blank check
// result: The sector is blank").
enum class PassFinding { none, blankCheck, verify };

// Writes the message for the board command a pass failed at, then its finding; returns the
// pass's result code: 1 done (also when it found a difference), -1 cancelled, 0 failed.
int reportPass(TerminalUserInterface& ui, const Outcome& outcome,
               PassFinding finding = PassFinding::none);

// Writes the message for a failed save, if `outcome` is one: "Uploaded data save error: Error
// creating file ! (<path>: <the system's reason>)".
void reportSaveFailure(TerminalUserInterface& ui, const Outcome& outcome);

inline constexpr char invalidCountMessage[] =
    "Invalid byte count field value (maximum count allowed is F0 (240 in decimal), input is "
    "HEXADECIMAL number).";
inline constexpr char invalidDataMessage[] = "Data to write is invalid.";
inline constexpr char incompleteReadMessage[] = "Incomplete reply to READ FLASH command.";

// What is said of memory fields that cannot be sent; empty for InputProblem::none.
std::string inputProblemText(InputProblem problem);

// Upload's answer to a name of no known format, and the caption of its file errors.
inline constexpr char uploadSaveErrorCaption[] = "Uploaded data save error";
inline constexpr char unknownDumpFormatMessage[] =
    "Unknown file type: the name must end in .hex, .bin or .txt. Nothing was saved.";

inline constexpr char connectionFailedMessage[] =
    "Failed to open connection to Merova demo board.\n\nPlease check if the RS232 link cable is "
    "attached properly,\nand if the demo board is powered on.";

}  // namespace loadstar::cli
