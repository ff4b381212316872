#pragma once

#include <optional>
#include <string>
#include <vector>

namespace loadstar {

enum class MessageIcon { none, warning };

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

// The serial devices offered after a Connect that did not reach the board.
struct PortChoice {
    // Why the user is asked, and what a choice does.
    std::string explanation;
    // What the list shows, and the device path each entry stands for ("" for COM1 as this machine
    // resolves it), in the same order.
    std::vector<std::string> labels;
    std::vector<std::string> devices;
    // The entry selected when the dialog opens.
    std::size_t selected = 0;
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
    // The device list run modally (caption "Serial port", OK and Cancel); the index of the entry
    // chosen, or nothing when the user cancelled.
    virtual std::optional<std::size_t> choosePort(const PortChoice& choice) = 0;
    // Lets every pending event run (nested handlers included), then returns.
    virtual void processPendingEvents() = 0;
};

}  // namespace loadstar
