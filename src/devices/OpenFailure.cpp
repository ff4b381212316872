#include "devices/OpenFailure.h"

#include "devices/DeviceGroup.h"
#include "devices/PortWords.h"

namespace loadstar {

std::string portFaultReason(const PortFault& fault) {
    switch (fault.kind) {
        case PortFaultKind::none:
            return {};
        case PortFaultKind::systemError:
            return systemErrorText(fault.error);
        case PortFaultKind::openAlready:
            return "the port is open already";
        case PortFaultKind::notSerialDevice:
            return fault.device + " is not a serial device";
        case PortFaultKind::inUseByAnotherProgram:
            return inUseByAnotherProgramText();
        case PortFaultKind::unsupportedSpeed:
            return "unsupported line speed " + std::to_string(fault.baud);
        case PortFaultKind::settingsRefused:
            return "the line settings were refused: " + systemErrorText(fault.error);
        case PortFaultKind::settingsUnreadable:
            return "the line settings cannot be read: " + systemErrorText(fault.error);
        case PortFaultKind::settingsNotReadBack:
            return "the line settings cannot be read back: " + systemErrorText(fault.error);
        case PortFaultKind::settingsNotKept:
            return "the device did not keep the line settings (" + std::to_string(fault.baud) +
                   " 8N1, no flow control)";
        case PortFaultKind::timeoutsRefused:
            return "the time-outs were refused: " + systemErrorText(fault.error);
        case PortFaultKind::timeoutsNotKept:
            return "the device did not keep the time-outs";
        case PortFaultKind::notComPortName:
            return "not a COM port name (COM1 to COM256)";
        case PortFaultKind::portDoesNotExist:
            return "the port does not exist";
        case PortFaultKind::lockRefused:
            return "the port cannot be locked: " + systemErrorText(fault.error);
    }
    return "unknown port fault " + std::to_string(static_cast<int>(fault.kind));
}

std::string openFailureMessage(const std::string& name, const std::string& path,
                               const PortFault& fault) {
    const std::string reason = portFaultReason(fault);
    std::string text =
        "Can't open " + name +
        (reason.empty() ? ", port does not exist or is already allocated." : ": " + reason + ".");
    if (isPermissionFault(fault)) {
        if (const auto group = groupToJoinFor(path)) {
            text += "\nYour user is not in the group " + *group + ", which may use " + path +
                    ": add it (sudo usermod -aG " + *group + " $USER), then log out and in again.";
        }
    }
    return text;
}

}  // namespace loadstar
