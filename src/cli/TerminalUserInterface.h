#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "iap/Outcome.h"

namespace loadstar::cli {

// The command-line face of the core, on stderr: messages are lines ("caption: text"), progress one
// line naming the step and its percentage (redrawn in place on a terminal, at most one line a
// second in a log), and Ctrl-C becomes the cancel request after the block in progress. Quiet
// drops the progress line; messages stay.
class TerminalUserInterface : public PassObserver {
  public:
    explicit TerminalUserInterface(std::FILE* messages = stderr);

    void showMessage(const std::string& text, const std::string& caption);
    // "Error: <text>".
    void showError(const std::string& text) { showMessage(text, "Error"); }
    // Draws the progress line; after Ctrl-C, sets the cancel token.
    void passProgress(const PassProgress& progress) override;
    // How far a step without blocks has come (an erase: 0, then all of it).
    void reportProgress(long bytesDone, long bytesTotal, Step step = Step::none);
    // The token the tool's passes are given; Ctrl-C sets it.
    [[nodiscard]] CancelToken& cancel() { return cancel_; }

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
    CancelToken cancel_;
    std::string step_;
    long overallDone_ = 0;
    long overallTotal_ = 0;
    Clock::time_point start_{};
    Clock::time_point lastLine_{};
    long lastDone_ = -1;
};

}  // namespace loadstar::cli
