#include "devices/SerialDeviceList.h"

#include <algorithm>

namespace loadstar {

std::optional<SerialDevice> soleUsbAdapter(const std::vector<SerialDevice>& devices) {
    const auto isUsb = [](const SerialDevice& device) { return !device.usbId.empty(); };
    if (std::count_if(devices.begin(), devices.end(), isUsb) != 1) {
        return std::nullopt;
    }
    return *std::find_if(devices.begin(), devices.end(), isUsb);
}

std::optional<std::string> soleAdapterNote(const std::string& comPort,
                                           const std::vector<SerialDevice>& devices) {
    const auto adapter = soleUsbAdapter(devices);
    if (comPort != unassignedComPort || !adapter) {
        return std::nullopt;
    }
    const std::string& name = adapter->stableName();
    return "Nothing is assigned to COM1, so " + comPort +
           " was tried. The one USB serial adapter here is " + name +
           (name != adapter->device ? " (" + adapter->device + ")" : std::string()) +
           ": choose it with --port " + name + " or LOADSTAR_PORT, or make it COM1.";
}

}  // namespace loadstar
