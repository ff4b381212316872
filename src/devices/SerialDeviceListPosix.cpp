#include <libserialport.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "devices/SerialDeviceList.h"

namespace loadstar {

namespace {

namespace fs = std::filesystem;

constexpr char byIdFolder[] = "/dev/serial/by-id";

std::string canonical(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return error ? path : resolved.string();
}

// The link in /dev/serial/by-id that names `device`: the name that stays when adapters are
// plugged in another order.
std::string byIdNameOf(const std::string& device) {
    std::error_code error;
    for (fs::directory_iterator entry(byIdFolder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (canonical(entry->path().string()) == canonical(device)) {
            return entry->path().string();
        }
    }
    return {};
}

std::string textOr(const char* text, const std::string& fallback) {
    return text != nullptr && text[0] != '\0' ? std::string(text) : fallback;
}

SerialDevice describePort(const sp_port* port) {
    SerialDevice row;
    row.device = textOr(sp_get_port_name(port), "?");
    row.byId = byIdNameOf(row.device);
    int vendor = 0;
    int product = 0;
    if (sp_get_port_transport(port) == SP_TRANSPORT_USB &&
        sp_get_port_usb_vid_pid(port, &vendor, &product) == SP_OK) {
        char text[16];
        std::snprintf(text, sizeof text, "%04x:%04x", vendor & 0xFFFF, product & 0xFFFF);
        row.usbId = text;
    }
    row.description = textOr(sp_get_port_description(port), "");
    return row;
}

}  // namespace

SerialDeviceListing listSerialDevices() {
    SerialDeviceListing listing;
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) != SP_OK) {
        char* message = sp_last_error_message();
        listing.failure = textOr(message, "unknown error");
        sp_free_error_message(message);
        return listing;
    }
    for (sp_port** port = ports; *port != nullptr; ++port) {
        listing.devices.push_back(describePort(*port));
    }
    sp_free_port_list(ports);
    std::sort(listing.devices.begin(), listing.devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.device < b.device; });
    return listing;
}

}  // namespace loadstar
