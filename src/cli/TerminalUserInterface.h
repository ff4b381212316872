#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "UserInterface.h"

namespace loadstar::cli {

// The command-line face of the core: boxes become lines on stderr ("caption: text"), progress a
// self-updating line on a terminal or the status texts at most once a second in a log, and Ctrl-C
// becomes the cancel request at the next "let pending events run".
class TerminalUserInterface : public UserInterface {
  public:
    explicit TerminalUserInterface(std::FILE* messages = stderr);

    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    void setStatusText(const std::string& text) override;
    void reportProgress(long bytesDone, long bytesTotal) override;
    void processPendingEvents() override;
    std::optional<std::string> chooseSaveFile(const std::string& proposedName) override;

    // The file the next save dialog "chooses"; without one the proposed name is taken as it is.
    void setSaveFile(std::optional<std::string> path) { saveFile_ = std::move(path); }
    // Ends a self-updating progress line so that the next output starts on a fresh line.
    void finishProgress();
    [[nodiscard]] const std::string& lastStatus() const { return lastStatus_; }
    [[nodiscard]] std::optional<std::string> lastProposedName() const { return proposedName_; }

  private:
    using Clock = std::chrono::steady_clock;

    std::FILE* out_;
    bool terminal_;
    bool progressShown_ = false;
    std::string lastStatus_;
    std::optional<std::string> saveFile_;
    std::optional<std::string> proposedName_;
    Clock::time_point passStart_{};
    Clock::time_point lastLine_{};
    long lastTotal_ = -1;
    long lastDone_ = 0;
};

}  // namespace loadstar::cli
