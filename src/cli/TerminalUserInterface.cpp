#include "TerminalUserInterface.h"

#include "Console.h"
#include "Interrupt.h"
#include "ProcessFlags.h"

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

void TerminalUserInterface::showMessage(const std::string& text, const std::string& caption,
                                        MessageIcon) {
    finishProgress();
    std::fprintf(out_, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(out_);
}

void TerminalUserInterface::setStatusText(const std::string& text) {
    lastStatus_ = text;
    if (terminal_) {
        return;  // the progress line says it better
    }
    // In a log, at most one status line a second, so that a pass stays readable.
    const auto now = Clock::now();
    if (lastLine_ == Clock::time_point{} || now - lastLine_ >= logInterval) {
        lastLine_ = now;
        std::fprintf(out_, "%s\n", text.c_str());
        std::fflush(out_);
    }
}

void TerminalUserInterface::reportProgress(long bytesDone, long bytesTotal) {
    const auto now = Clock::now();
    if (bytesTotal != lastTotal_ || bytesDone < lastDone_) {
        passStart_ = now;  // a new pass
        lastTotal_ = bytesTotal;
    }
    lastDone_ = bytesDone;
    if (!terminal_) {
        return;
    }
    const double seconds = std::chrono::duration<double>(now - passStart_).count();
    const double rate = seconds > 0 ? static_cast<double>(bytesDone) / seconds : 0;
    const double left = rate > 0 ? static_cast<double>(bytesTotal - bytesDone) / rate : 0;
    std::fprintf(out_, "\r%ld of %ld bytes, %.0f B/s, %s left   ", bytesDone, bytesTotal, rate,
                 formatDuration(left).c_str());
    std::fflush(out_);
    progressShown_ = true;
}

void TerminalUserInterface::finishProgress() {
    if (progressShown_) {
        std::fputc('\n', out_);
        progressShown_ = false;
    }
}

void TerminalUserInterface::processPendingEvents() {
    if (InterruptGuard::interrupted()) {
        processFlags().cancelRequested = true;
    }
}

std::optional<std::string> TerminalUserInterface::chooseSaveFile(const std::string& proposedName) {
    proposedName_ = proposedName;
    return saveFile_ ? saveFile_ : std::optional<std::string>(proposedName);
}

}  // namespace loadstar::cli
