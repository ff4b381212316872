#pragma once

#include <string>
#include <utility>

namespace loadstar {

// Why a serial port could not be opened, as data: the port layer never words it. The window and
// the command-line tool render it (devices/OpenFailure.h).
enum class PortFaultKind {
    none,                   // no failed open
    systemError,            // the system refused with `error`
    openAlready,            // this port object holds a device already, and keeps it
    notSerialDevice,        // `device` opened but is no terminal
    inUseByAnotherProgram,  // another program holds the device
    unsupportedSpeed,       // `baud` is no speed the port can set
    settingsRefused,        // the line settings were refused with `error`
    settingsUnreadable,     // the device's settings could not be read before changing them
    settingsNotReadBack,    // the line settings were set but reading them back failed
    settingsNotKept,        // the device took other line settings than `baud` 8N1, no flow control
    timeoutsRefused,        // the time-outs were refused with `error`
    timeoutsNotKept,        // the device took other time-outs
    notComPortName,         // the name is no COM1 to COM256
    portDoesNotExist,       // no such COM port
    lockRefused,            // the port's lock could not be made, with `error`
};

// `error` is the errno value (Posix) or the GetLastError code (Windows) where the kind has one,
// else 0. `baud` is the speed asked for, `device` the device opened, where the kind names them.
struct PortFault {
    PortFault() = default;
    // Not explicit, so that {kind, error} reads as the fault it is.
    PortFault(PortFaultKind kind_, int error_ = 0, int baud_ = 0, std::string device_ = {})
        : kind(kind_), error(error_), baud(baud_), device(std::move(device_)) {}

    PortFaultKind kind = PortFaultKind::none;
    int error = 0;
    int baud = 0;
    std::string device;

    [[nodiscard]] bool failed() const { return kind != PortFaultKind::none; }
};

// True when the system refused the open for lack of permission, so that joining the device's
// group might let the user in. Never on Windows, which answers "access denied" for a port that
// another program holds.
[[nodiscard]] bool isPermissionFault(const PortFault& fault);

}  // namespace loadstar
