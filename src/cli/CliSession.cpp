#include "CliSession.h"

#include "ComPortName.h"
#include "Connection.h"
#include "DeviceGroup.h"
#include "ExitCode.h"
#include "Interrupt.h"

namespace loadstar::cli {

namespace {

// The reply as it can be shown on a terminal: bytes that are not printable become ".".
std::string printable(std::string text) {
    for (char& character : text) {
        if (character < 0x20 || character > 0x7E) {
            character = '.';
        }
    }
    return text;
}

SerialLink::PortFactory portFactory(LineTrace* trace) {
    return trace != nullptr ? trace->observing(makePlatformSerialPort) : makePlatformSerialPort;
}

}  // namespace

CliSession::CliSession(const CliOptions& options)
    : options_(options),
      devicePath_(options.port.empty() ? resolveComPort() : options.port),
      trace_(options.trace ? std::make_unique<LineTrace>(stderr) : nullptr),
      link_([this](const std::string&) { reportOpenFailure(); }, portFactory(trace_.get())),
      board_(link_, ui_) {
    link_.setDevicePath(devicePath_);
    // Ctrl-C or SIGTERM ends a wait on the line at once, not only between blocks.
    link_.setStopRequest(&InterruptGuard::interrupted);
    ui_.setQuiet(options.quiet);
    if (trace_) {
        ui_.useLogLines();
        link_.setKnowledgeNotes([trace = trace_.get()](const std::string& text) { trace->note(text); });
    }
}

std::string CliSession::deviceName() const {
    // On Windows COM1 is its own name.
    return options_.port.empty() && devicePath_ != "COM1" ? "COM1 (" + devicePath_ + ")"
                                                          : devicePath_;
}

// The window says "Can't open COM1, ..."; here the device tried is named with the system's
// reason, and the dialout hint comes only where joining a group would let the user in.
void CliSession::reportOpenFailure() {
    const std::string& reason = link_.lastOpenFailure();
    std::string text =
        "Can't open " + deviceName() +
        (reason.empty() ? ", port does not exist or is already allocated." : ": " + reason + ".");
    if (link_.lastOpenFailureWasPermission()) {
        if (const auto group = groupToJoinFor(devicePath_)) {
            text += "\nYour user is not in the group " + *group + ", which may use " + devicePath_ +
                    ": add it (sudo usermod -aG " + *group + " $USER), then log out and in again.";
        }
    }
    showError(ui_, text);
}

int CliSession::connect() {
    if (link_.isPortOpen() != 0) {
        return exitSuccess;
    }
    if (link_.openPort() != 1) {
        return exitFailure;
    }
    std::string reply;
    if (board_.identifyBoard(&reply)) {
        boardModel_ = reply.substr(4);  // after "BRD "
        return exitSuccess;
    }
    showError(ui_, std::string(connectionFailedMessage) + "\nNo KEL520/KEL620 board answered on " +
                       deviceName() + " (the reply was \"" + printable(reply) + "\").");
    link_.closePort();
    return exitFailure;
}

}  // namespace loadstar::cli
