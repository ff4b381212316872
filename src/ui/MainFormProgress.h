#pragma once

#include <functional>
#include <string>

#include "iap/Outcome.h"
#include "ui/UserDialogs.h"

namespace loadstar {

// How a sector pass's progress reaches the main window: the status text ("Reading flash, 4096
// bytes remaining."), the progress bar, a repaint, and then every pending event runs (ESC among
// them), all after each block.
class MainFormProgress : public PassObserver {
  public:
    using StatusSetter = std::function<void(const std::string& text)>;
    using ProgressBar = std::function<void(long bytesDone, long bytesTotal)>;
    using Repainter = std::function<void()>;

    MainFormProgress(UserDialogs& dialogs, StatusSetter setStatus, ProgressBar showProgress,
                     Repainter repaint)
        : dialogs_(dialogs),
          setStatus_(std::move(setStatus)),
          showProgress_(std::move(showProgress)),
          repaint_(std::move(repaint)) {}

    void passProgress(const PassProgress& progress) override {
        const char* prefix =
            progress.step == Step::write ? "Programming flash, " : "Reading flash, ";
        setStatus_(prefix + std::to_string(progress.total - progress.done) + " bytes remaining.");
        showProgress_(progress.done, progress.total);
        // Repaints the window first, so the progress text shows even while the pass is busy.
        repaint_();
        dialogs_.processPendingEvents();
    }

  private:
    UserDialogs& dialogs_;
    StatusSetter setStatus_;
    ProgressBar showProgress_;
    Repainter repaint_;
};

}  // namespace loadstar
