#pragma once

#include <optional>
#include <string>
#include <vector>

#include "UserInterface.h"

namespace loadstar {

// What a file dialog of the main window keeps between two runs.
struct FileDialogSettings {
    // Added when the user types a name without an extension, e.g. "hex".
    std::string defaultExtension;
    // The name the dialog proposes; after a confirmed run, the path chosen (so the dialog offers
    // the last file again).
    std::string fileName;
    // Name filters in Qt's form, in the order they are offered, e.g. "IntelHEX format (*.hex)".
    std::vector<std::string> filters;
};

// Every modal box, file dialog and event pump of the windows goes through this seam, so that the
// tests answer them from a script instead of a user. The application uses QtUserDialogs.
class UserDialogs {
  public:
    virtual ~UserDialogs() = default;

    // A modal box with one OK button, a caption and the icon given (or none); returns when it
    // has been closed.
    virtual void showMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;
    // A modal box with the buttons Yes and No and no icon; true for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
    // The open dialog run modally; the chosen path, or nothing when the user dismissed it.
    virtual std::optional<std::string> runOpenDialog(const FileDialogSettings& settings) = 0;
    // The save dialog run modally; the chosen path, or nothing when the user dismissed it.
    virtual std::optional<std::string> runSaveDialog(const FileDialogSettings& settings) = 0;
    // Lets every pending event run (nested handlers included), then returns.
    virtual void processPendingEvents() = 0;
};

}  // namespace loadstar
