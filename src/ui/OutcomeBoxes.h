#pragma once

#include <optional>
#include <string>
#include <vector>

#include "iap/Outcome.h"
#include "ui/UserDialogs.h"
#include "words/OutcomeWords.h"

namespace loadstar {

// A message box of the main window: its text, caption and icon. An error box (caption "Error",
// warning icon) stays silent while the random read test runs, so that the test counts failures
// instead of stopping on them.
struct OutcomeBox {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::none;

    [[nodiscard]] bool isError() const { return caption == errorCaption; }
    bool operator==(const OutcomeBox&) const = default;
};

// The error box of the board command an outcome failed at; nothing when no board command failed.
std::optional<OutcomeBox> commandFailureBox(const Outcome& outcome, OutcomeSource source);

// The sector passes of the window.
enum class SectorPass { blankCheck, program, verify, upload };

// Every box a sector pass's outcome shows, in the order the user sees them: what the loader found
// in the file, the failed board command, then the pass's finding (blank or not, verified or the
// first differing address), or what went wrong saving the upload.
std::vector<OutcomeBox> passBoxes(const Outcome& outcome, SectorPass pass);

// The box showing `words`: an error or a warning with the warning icon, anything else without.
OutcomeBox boxOf(const Words& words);
// The error box for `text`.
OutcomeBox errorBox(const std::string& text);

}  // namespace loadstar
