#pragma once

#include <optional>
#include <string>
#include <vector>

#include "MemoryPanelInput.h"
#include "Outcome.h"
#include "UserDialogs.h"

namespace loadstar {

// A message box of the main window: its text, caption and icon. An error box (caption "Error",
// warning icon) stays silent while the random read test runs, so that the test counts failures
// instead of stopping on them.
struct OutcomeBox {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::none;

    [[nodiscard]] bool isError() const { return caption == "Error"; }
    bool operator==(const OutcomeBox&) const = default;
};

// Where an outcome is shown: the words for a failed write or a short read differ between the
// memory panel and the sector passes.
enum class OutcomeSource { memoryPanel, sectorPass };

// The error box of the board command an outcome failed at; nothing when no board command failed.
std::optional<OutcomeBox> commandFailureBox(const Outcome& outcome, OutcomeSource source);

inline constexpr char connectionFailedMessage[] =
    "Failed to open connection to Merova demo board.\n\nPlease check if the RS232 link cable is "
    "attached properly,\nand if the demo board is powered on.";

// The sector passes of the window.
enum class SectorPass { blankCheck, program, verify, upload };

// Every box a sector pass's outcome shows, in the order the user sees them: what the loader found
// in the file, the failed board command, then the pass's finding (blank or not, verified or the
// first differing address), or what went wrong saving the upload.
std::vector<OutcomeBox> passBoxes(const Outcome& outcome, SectorPass pass);

inline constexpr char invalidCountMessage[] =
    "Invalid byte count field value (maximum count allowed is F0 (240 in decimal), input is "
    "HEXADECIMAL number).";
inline constexpr char invalidDataMessage[] = "Data to write is invalid.";
inline constexpr char incompleteReadMessage[] = "Incomplete reply to READ FLASH command.";

// What is said of memory fields that cannot be sent; empty for InputProblem::none.
std::string inputProblemText(InputProblem problem);

// The error box for `text`.
OutcomeBox errorBox(const std::string& text);

}  // namespace loadstar
