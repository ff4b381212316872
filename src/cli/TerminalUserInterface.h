#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "UserInterface.h"

namespace loadstar::cli {

// The command-line face of the core, on stderr: boxes become lines ("caption: text"), progress one
// line naming the step and its percentage (redrawn in place on a terminal, at most one line a
// second in a log), and Ctrl-C becomes the cancel request at the next "let pending events run".
// Quiet drops the progress line; messages stay. The window's status texts are not printed: the
// progress line says the same.
class TerminalUserInterface : public UserInterface {
  public:
    explicit TerminalUserInterface(std::FILE* messages = stderr);

    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    void setStatusText(const std::string& text) override;
    void reportProgress(long bytesDone, long bytesTotal) override;
    void processPendingEvents() override;
    // Added to the next message: " (path: reason)".
    void noteFileProblem(const std::string& path, const std::string& reason) override;
    // The command-line tool writes its files itself; the core's save dialog is never used.
    std::optional<std::string> chooseSaveFile(const std::string& proposedName) override;

    // Names what the progress line shows from now on ("Programming"). With `overallTotal` above 0
    // the percentage runs over several passes: this pass starts `overallDone` bytes into it.
    void setStep(std::string name, long overallDone = 0, long overallTotal = 0);
    void setQuiet(bool quiet) { quiet_ = quiet; }
    // Verbose: each step, once it ends, gets a line with the time it took ("Programming: 2513 ms").
    void setVerbose(bool verbose) { verbose_ = verbose; }
    // Ends the step named last (setStep or beginStep); verbose, says how long it took.
    void endStep();
    // Names a step that shows no progress line (opening the port, identifying the board).
    void beginStep(std::string name);
    // Progress as log lines even on a terminal, so that other lines (a trace) do not tear it.
    void useLogLines() { terminal_ = false; }
    // Ends a line redrawn in place, so that the next output starts on a fresh line.
    void finishProgress();

  private:
    using Clock = std::chrono::steady_clock;

    std::FILE* out_;
    bool terminal_;
    bool quiet_ = false;
    bool verbose_ = false;
    std::string timedStep_;
    Clock::time_point timedStart_{};
    bool progressShown_ = false;
    std::string status_;
    std::string fileProblem_;
    std::string step_;
    long overallDone_ = 0;
    long overallTotal_ = 0;
    Clock::time_point start_{};
    Clock::time_point lastLine_{};
    long lastDone_ = -1;
};

}  // namespace loadstar::cli
