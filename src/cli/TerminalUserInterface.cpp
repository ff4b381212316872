#include "cli/TerminalUserInterface.h"

#include "cli/Console.h"
#include "cli/Interrupt.h"

namespace loadstar::cli {

namespace {

constexpr auto logInterval = std::chrono::seconds(1);

std::string formatDuration(double seconds) {
    const long whole = seconds < 0 ? 0 : static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

}  // namespace

TerminalUserInterface::TerminalUserInterface(std::FILE* messages)
    : out_(messages), terminal_(isTerminal(messages)) {}

void TerminalUserInterface::showMessage(const std::string& text, const std::string& caption) {
    finishProgress();
    std::fprintf(out_, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(out_);
}

void TerminalUserInterface::passProgress(const PassProgress& progress) {
    reportProgress(progress.done, progress.total, progress.step);
    if (InterruptGuard::interrupted()) {
        cancel_.request();
    }
}

void TerminalUserInterface::beginStep(std::string name) {
    endStep();
    timedStep_ = std::move(name);
    timedStart_ = Clock::now();
}

void TerminalUserInterface::endStep() {
    if (verbose_ && !timedStep_.empty()) {
        finishProgress();
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - timedStart_);
        std::fprintf(out_, "%s: %lld ms\n", timedStep_.c_str(),
                     static_cast<long long>(took.count()));
        std::fflush(out_);
    }
    timedStep_.clear();
}

void TerminalUserInterface::setStep(std::string name, long overallDone, long overallTotal) {
    beginStep(name);
    step_ = std::move(name);
    overallTotal_ = overallTotal;
    overallDone_ = overallDone;
    if (overallTotal <= 0 || overallDone == 0) {
        start_ = Clock::now();  // the rate counts from the start of what the percentage covers
    }
    lastDone_ = -1;
}

void TerminalUserInterface::reportProgress(long bytesDone, long bytesTotal, Step passStep) {
    const auto now = Clock::now();
    if (overallTotal_ <= 0 && bytesDone < lastDone_) {
        start_ = now;  // another pass under the same step
    }
    lastDone_ = bytesDone;
    const long done = overallTotal_ > 0 ? overallDone_ + bytesDone : bytesDone;
    const long total = overallTotal_ > 0 ? overallTotal_ : bytesTotal;
    const bool finished = done >= total;
    if (quiet_ || (!terminal_ && !finished && now - lastLine_ < logInterval)) {
        return;
    }
    lastLine_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    const double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
    // Without a named step, the pass's own names it.
    const std::string step = !step_.empty()            ? step_
                             : passStep == Step::write ? "Programming flash"
                                                       : "Reading flash";
    const long percent = total > 0 ? done * 100 / total : 100;
    std::fprintf(out_, "%s%s %ld%% (%ld of %ld bytes, %.0f B/s, %s left)%s",
                 terminal_ ? "\r\x1b[K" : "", step.c_str(), percent, done, total, rate,
                 formatDuration(left).c_str(), terminal_ ? "" : "\n");
    std::fflush(out_);
    progressShown_ = terminal_;
}

void TerminalUserInterface::finishProgress() {
    if (progressShown_) {
        std::fputc('\n', out_);
        progressShown_ = false;
    }
}

}  // namespace loadstar::cli
