#pragma once

#include <optional>
#include <string>

#include "iap/MemoryPanelInput.h"
#include "iap/Outcome.h"

// The system's own words for what the core reports, shared by the window (which shows them in its
// message boxes) and the command-line tool (which writes them as "<caption>: <text>"), so that
// the two never word one outcome differently. Plain C++: the tool is built without Qt.
namespace loadstar {

// A message: its text and its caption.
struct Words {
    std::string text;
    std::string caption;

    bool operator==(const Words&) const = default;
};

inline constexpr char errorCaption[] = "Error";
inline constexpr char warningCaption[] = "Warning";

// Where an outcome is shown: the words for a failed write or a short read differ between the
// memory panel (and the tool's memory commands) and the sector passes.
enum class OutcomeSource { memoryPanel, sectorPass };

// The words for the board command an outcome failed at; nothing when no board command failed.
std::optional<Words> commandFailureWords(const Outcome& outcome, OutcomeSource source);

// The sector passes that report a finding.
enum class PassFinding { none, blankCheck, verify };
// What a pass found different: the first address that is not blank or does not match; nothing
// when it found none (or reports no finding).
std::optional<Words> differenceWords(const Outcome& outcome, PassFinding finding);
// What a pass that ran to its end and found nothing different says; nothing otherwise.
std::optional<Words> nothingDifferentWords(const Outcome& outcome, PassFinding finding);

// What is said of memory fields that cannot be sent; empty for InputProblem::none.
std::string inputProblemText(InputProblem problem);

inline constexpr char invalidCountMessage[] =
    "Invalid byte count field value (maximum count allowed is F0 (240 in decimal), input is "
    "HEXADECIMAL number).";
inline constexpr char invalidDataMessage[] = "Data to write is invalid.";
inline constexpr char incompleteReadMessage[] = "Incomplete reply to READ FLASH command.";
inline constexpr char connectionFailedMessage[] =
    "Failed to open connection to Merova demo board.\n\nPlease check if the RS232 link cable is "
    "attached properly,\nand if the demo board is powered on.";
// Upload's caption for its file errors, and its answer to a name of no known format.
inline constexpr char uploadSaveErrorCaption[] = "Uploaded data save error";
inline constexpr char unknownDumpFormatMessage[] =
    "Unknown file type: the name must end in .hex, .bin or .txt. Nothing was saved.";
inline constexpr char cannotCreateFileMessage[] = "Error creating file !";
inline constexpr char cannotWriteFileMessage[] = "Error writing file !";

}  // namespace loadstar
