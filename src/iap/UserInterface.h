#pragma once

#include <optional>
#include <string>

namespace loadstar {

enum class MessageIcon { none, warning };

// The only way the core reaches the user. The main window, the command-line tool and the tests
// each implement it; the core never prints and never opens a window itself.
class UserInterface {
  public:
    virtual ~UserInterface() = default;

    // A modal box with one OK button; returns when the user has closed it.
    virtual void showMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;
    // The text of the status line (the only panel of the main window's status bar).
    virtual void setStatusText(const std::string& text) = 0;
    // Repaints and lets every pending event run (nested handlers included), then returns.
    virtual void processPendingEvents() = 0;
    // How far a sector pass has come, told together with its progress text; a window ignores it,
    // the command-line tool draws its progress line from it.
    virtual void reportProgress(long bytesDone, long bytesTotal) {
        (void)bytesDone;
        (void)bytesTotal;
    }
    // The file and the system's reason behind the file error that the next message reports
    // ("No such file or directory"). The window's boxes keep their own texts and ignore it; the
    // command-line tool names both in that message.
    virtual void noteFileProblem(const std::string& path, const std::string& reason) {
        (void)path;
        (void)reason;
    }
    // Runs the upload's save dialog with `proposedName` as its file name; the chosen path, or
    // nothing when the user dismissed it.
    virtual std::optional<std::string> chooseSaveFile(const std::string& proposedName) = 0;
};

// The system's error box: caption "Error", warning icon, OK. Silent while the random read test
// runs (the test-running flag), so that the test counts failures instead of stopping on them.
void showError(UserInterface& ui, const std::string& text);

}  // namespace loadstar
