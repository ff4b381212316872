#include "CliSession.h"

#include "ComPortName.h"
#include "Connection.h"
#include "ExitCode.h"

namespace loadstar::cli {

CliSession::CliSession(const CliOptions& options)
    : options_(options),
      devicePath_(options.port.empty() ? resolveComPort() : options.port),
      link_([this](const std::string& message) { reportOpenFailure(message); }),
      board_(link_, ui_) {
    link_.setDevicePath(devicePath_);
}

void CliSession::reportOpenFailure(const std::string& message) {
    std::string text = message;
    if (!link_.lastOpenFailure().empty()) {
        text += "\n" + devicePath_ + ": " + link_.lastOpenFailure() + ".";
    }
    if (link_.lastOpenFailureWasPermission()) {
        text +=
            "\nYour user may not use serial devices: add it to the dialout group "
            "(sudo usermod -aG dialout $USER), then log out and in again.";
    }
    showError(ui_, text);
}

int CliSession::connect() {
    return connectBoard(board_) == 0 ? exitFailure : exitSuccess;
}

SectorGeometry CliSession::geometry() const {
    return sectorGeometry(flashKind(), options_.sector);
}

}  // namespace loadstar::cli
