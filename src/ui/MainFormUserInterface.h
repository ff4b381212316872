#pragma once

#include <functional>

#include "UserDialogs.h"
#include "UserInterface.h"

namespace loadstar {

// How the core reaches the user from the main window: its boxes and event pump through the
// window's dialogs, its status text into the window's status line, and the upload's save dialog
// as the window's SaveDialog1.
class MainFormUserInterface : public UserInterface {
  public:
    using StatusSetter = std::function<void(const std::string& text)>;
    using Repainter = std::function<void()>;

    // `saveDialog` is the window's SaveDialog1; it keeps the last choice between uploads.
    MainFormUserInterface(UserDialogs& dialogs, StatusSetter setStatus, Repainter repaint,
                          FileDialogSettings& saveDialog)
        : dialogs_(dialogs),
          setStatus_(std::move(setStatus)),
          repaint_(std::move(repaint)),
          saveDialog_(saveDialog) {}

    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        dialogs_.showMessage(text, caption, icon);
    }
    void setStatusText(const std::string& text) override { setStatus_(text); }
    // The window's progress bar; nothing before one is set.
    void setProgressReporter(std::function<void(long, long)> report) {
        reportProgress_ = std::move(report);
    }
    void reportProgress(long bytesDone, long bytesTotal) override {
        if (reportProgress_) {
            reportProgress_(bytesDone, bytesTotal);
        }
    }
    // Repaints the window first, so the progress text shows even while the pass is busy.
    void processPendingEvents() override {
        repaint_();
        dialogs_.processPendingEvents();
    }
    // Proposes `proposedName` in the folder of the last file chosen, if any.
    std::optional<std::string> chooseSaveFile(const std::string& proposedName) override;

  private:
    UserDialogs& dialogs_;
    StatusSetter setStatus_;
    Repainter repaint_;
    std::function<void(long, long)> reportProgress_;
    FileDialogSettings& saveDialog_;
};

}  // namespace loadstar
