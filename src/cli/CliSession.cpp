#include "cli/CliSession.h"

#include "cli/CommandResult.h"
#include "cli/ExitCode.h"
#include "cli/Interrupt.h"
#include "cli/OutcomeMessages.h"
#include "devices/OpenFailure.h"
#include "devices/SerialDeviceList.h"
#include "link/ComPortName.h"
#include "words/TraceWords.h"

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
      link_([this] { reportOpenFailure(); }, portFactory(trace_.get())),
      board_(link_) {
    link_.setDevicePath(devicePath_);
    // Ctrl-C or SIGTERM ends a wait on the line at once, not only between blocks.
    link_.setStopRequest(&InterruptGuard::interrupted);
    ui_.setQuiet(options.quiet);
    ui_.setVerbose(options.verbose);
    if (trace_) {
        ui_.useLogLines();
        link_.setKnowledgeNotes([trace = trace_.get()](const KnowledgeNote& note) {
            trace->note(knowledgeNoteWords(note));
        });
    }
}

std::string CliSession::deviceName() const {
    // On Windows COM1 is its own name.
    return options_.port.empty() && devicePath_ != "COM1" ? "COM1 (" + devicePath_ + ")"
                                                          : devicePath_;
}

CliSession::~CliSession() {
    ui_.endStep();
}

std::string CliSession::adapterNote() const {
    if (!options_.port.empty()) {
        return {};
    }
    const auto note = soleAdapterNote(devicePath_, listSerialDevices().devices);
    return note ? "\n" + *note : std::string();
}

// The device tried is named with the system's reason, and the dialout hint comes only where
// joining a group would let the user in.
void CliSession::reportOpenFailure() {
    ui_.endStep();
    ui_.showError(openFailureMessage(deviceName(), devicePath_, link_.lastOpenFault()) +
                  adapterNote());
}

int CliSession::connect() {
    if (link_.isPortOpen() != 0) {
        return exitSuccess;
    }
    ui_.beginStep("Opening " + deviceName());
    commandReport()["failing_step"] = "connect";
    commandReport()["device"] = devicePath_;
    if (link_.openPort() != 1) {
        return exitFailure;
    }
    ui_.beginStep("Identifying the board");
    std::string reply;
    if (board_.identifyBoard(&reply).ok()) {
        boardModel_ = reply.substr(4);  // after "BRD "
        commandReport()["failing_step"] = nullptr;
        commandReport()["board"] = boardModel_;
        ui_.endStep();
        return exitSuccess;
    }
    ui_.endStep();
    ui_.showError(std::string(connectionFailedMessage) + "\nNo KEL520/KEL620 board answered on " +
                  deviceName() + " (the reply was \"" + printable(reply) + "\")." + adapterNote());
    link_.closePort();
    return exitFailure;
}

}  // namespace loadstar::cli
