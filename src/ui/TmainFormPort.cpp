// Which serial device Connect opens: COM1 or the one chosen, the message when it cannot be
// opened, the list of devices offered after a refused Connect, and the About box that names it.

#include <QPushButton>

#include "devices/OpenFailure.h"
#include "link/ComPortName.h"
#include "ui/TmainForm.h"
#include "version/LoadstarVersion.h"

std::string TmainForm::devicePathForConnect() const {
    return chosenDevice_.empty() ? loadstar::resolveComPort() : chosenDevice_;
}

std::string TmainForm::deviceNameFor(const std::string& path) const {
    // On Windows COM1 is its own name.
    return chosenDevice_.empty() && path != "COM1" ? "COM1 (" + path + ")" : path;
}

void TmainForm::reportOpenFailure() {
    showBox(loadstar::errorBox(loadstar::openFailureMessage(
        deviceNameFor(triedDevicePath_), triedDevicePath_, link_->lastOpenFault())));
}

void TmainForm::offerPortChoice(const std::string& triedPath) {
    const std::vector<loadstar::SerialDevice> devices =
        listDevices_ ? listDevices_() : std::vector<loadstar::SerialDevice>{};
    if (devices.empty()) {
        return;  // nothing else to offer
    }
    loadstar::PortChoice choice;
    choice.explanation = "Connect did not reach the board on " + deviceNameFor(triedPath) +
                         ". Choose the serial device that Connect opens from now on:";
    if (const auto note =
            loadstar::soleAdapterNote(chosenDevice_.empty() ? triedPath : "", devices)) {
        choice.explanation += "\n\n" + *note;
    }
    choice.labels.push_back("COM1 (" + loadstar::resolveComPort() + ", the default)");
    choice.devices.push_back("");
    for (const auto& device : devices) {
        std::string label = device.stableName();
        if (!device.description.empty()) {
            label += "  " + device.description;
        }
        if (device.stableName() == chosenDevice_ || device.device == chosenDevice_) {
            choice.selected = choice.devices.size();
        }
        choice.labels.push_back(label);
        choice.devices.push_back(device.stableName());
    }
    if (chosenDevice_.empty()) {
        // The sole USB adapter is the likely board; the user still has to confirm it.
        if (const auto adapter = loadstar::soleUsbAdapter(devices)) {
            for (std::size_t i = 1; i < choice.devices.size(); ++i) {
                if (choice.devices[i] == adapter->stableName()) {
                    choice.selected = i;
                }
            }
        }
    }
    const auto chosen = dialogs_.choosePort(choice);
    if (!chosen || *chosen >= choice.devices.size()) {
        return;
    }
    chosenDevice_ = choice.devices[*chosen];
    if (rememberPort_) {
        rememberPort_(chosenDevice_);
    }
    showPortInUse();
}

void TmainForm::showPortInUse() {
    const QString device =
        chosenDevice_.empty() ? QStringLiteral("COM1") : QString::fromLocal8Bit(chosenDevice_);
    setWindowTitle(chosenDevice_.empty() ? QStringLiteral("Loadstar")
                                         : QStringLiteral("Loadstar - ") + device);
    btConnect->setToolTip(
        QStringLiteral("Connect to the board on %1 at 19200 baud, or disconnect. When the board "
                       "does not answer, the serial devices found are offered.")
            .arg(device));
}

std::string TmainForm::aboutText() const {
    const std::string device =
        chosenDevice_.empty() ? "COM1 (" + loadstar::resolveComPort() + ")" : chosenDevice_;
    return std::string("Loadstar v.") + loadstar::loadstarVersion +
           "\n\nIn-application programming of the flash of KEL520/KEL620 boards over RS-232."
           "\nConnect uses " +
           device +
           ".\n\nNo board at hand? kel-emulator, in the package loadstar-cli, acts as one on a "
           "pseudo-terminal and makes itself COM1 for you: start it, then Connect."
           "\n\nLicence: MIT. Built with Qt " QT_VERSION_STR
           " (LGPL-3.0), linked dynamically. Copyright and licences: "
           "/usr/share/doc/loadstar/copyright.";
}
