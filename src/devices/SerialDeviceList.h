#pragma once

#include <optional>
#include <string>
#include <vector>

namespace loadstar {

// One serial device of this machine.
struct SerialDevice {
    std::string device;       // "/dev/ttyUSB0"
    std::string byId;         // "/dev/serial/by-id/usb-FTDI_..." (stays when adapters move), or ""
    std::string usbId;        // "0403:6001" for a USB adapter, else ""
    std::string description;  // the driver's or the adapter's own words, or ""

    // The name to give a user: the by-id name when there is one, since it survives a replug.
    [[nodiscard]] const std::string& stableName() const { return byId.empty() ? device : byId; }
};

// The serial devices present, ordered by path, or the system's reason why they cannot be listed.
// Empty on Windows, whose ports command lists the COM ports itself.
struct SerialDeviceListing {
    std::vector<SerialDevice> devices;
    std::string failure;
};
SerialDeviceListing listSerialDevices();

// The USB serial adapter among `devices`, when there is exactly one; else nothing.
std::optional<SerialDevice> soleUsbAdapter(const std::vector<SerialDevice>& devices);

// What COM1 falls back to when no link assigns it: nothing was chosen for the board then.
inline constexpr char unassignedComPort[] = "/dev/ttyS0";

// When COM1 is `comPort` and nothing assigns it, while exactly one USB serial adapter is present:
// a note that names the adapter (its by-id name) and how to use it. Nothing otherwise. Only a
// note: nothing is ever sent to a device that nobody chose.
std::optional<std::string> soleAdapterNote(const std::string& comPort,
                                           const std::vector<SerialDevice>& devices);

}  // namespace loadstar
