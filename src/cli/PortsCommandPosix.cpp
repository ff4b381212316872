#include "cli/PortsCommand.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/CommandResult.h"
#include "cli/ExitCode.h"
#include "devices/SerialDeviceList.h"
#include "link/ComPortName.h"
#include "words/ComPortWords.h"

namespace loadstar::cli {

namespace {

namespace fs = std::filesystem;

std::string canonical(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return error ? path : resolved.string();
}

void printRows(const std::vector<SerialDevice>& rows) {
    std::size_t deviceWidth = 6;
    std::size_t usbWidth = 9;
    for (const auto& row : rows) {
        deviceWidth = std::max(deviceWidth, row.device.size());
        usbWidth = std::max(usbWidth, row.usbId.size());
    }
    const auto column = [](const std::string& text) { return text.empty() ? "-" : text.c_str(); };
    std::printf("%-*s  %-*s  %s\n", static_cast<int>(deviceWidth), "DEVICE",
                static_cast<int>(usbWidth), "USB ID", "DESCRIPTION (BY-ID NAME)");
    for (const auto& row : rows) {
        std::printf("%-*s  %-*s  %s%s%s%s\n", static_cast<int>(deviceWidth), row.device.c_str(),
                    static_cast<int>(usbWidth), column(row.usbId), column(row.description),
                    row.byId.empty() ? "" : " (", row.byId.c_str(), row.byId.empty() ? "" : ")");
    }
}

// The listing and the choice of COM1 as the JSON report's "devices" and "com1".
void reportPorts(const SerialDeviceListing& listing, const ComPortChoice& com1,
                 const std::string& real, const std::optional<std::string>& note) {
    nlohmann::json devices = nlohmann::json::array();
    for (const auto& row : listing.devices) {
        devices.push_back({{"device", row.device},
                           {"usb_id", row.usbId},
                           {"description", row.description},
                           {"by_id", row.byId}});
    }
    commandReport()["devices"] = devices;
    commandReport()["com1"] = {{"device", com1.device},
                               {"resolved", real},
                               {"reason", comPortChoiceWords(com1)},
                               {"note", note ? nlohmann::json(*note) : nlohmann::json(nullptr)}};
    if (!listing.failure.empty()) {
        commandReport()["failing_step"] = "list";
        commandReport()["reason"] = listing.failure;
    }
}

int runPorts() {
    const SerialDeviceListing listing = listSerialDevices();
    if (jsonOutput()) {
        if (!listing.failure.empty()) {
            std::fprintf(stderr, "loadstar-cli: cannot list the serial ports: %s\n",
                         listing.failure.c_str());
        }
        const ComPortChoice com1 = chooseComPort();
        reportPorts(listing, com1, canonical(com1.device),
                    soleAdapterNote(com1.device, listing.devices));
        return listing.failure.empty() ? exitSuccess : exitFailure;
    }
    if (!listing.failure.empty()) {
        std::fprintf(stderr, "loadstar-cli: cannot list the serial ports: %s\n",
                     listing.failure.c_str());
    } else if (listing.devices.empty()) {
        std::printf("No serial devices found.\n");
    } else {
        printRows(listing.devices);
    }
    const ComPortChoice com1 = chooseComPort();
    const std::string real = canonical(com1.device);
    std::printf("COM1 is %s%s: %s.\n", com1.device.c_str(),
                real != com1.device ? (" -> " + real).c_str() : "",
                comPortChoiceWords(com1).c_str());
    if (const auto note = soleAdapterNote(com1.device, listing.devices)) {
        std::printf("%s\n", note->c_str());
    }
    return listing.failure.empty() ? exitSuccess : exitFailure;
}

}  // namespace

void addPortsCommand(CLI::App& app, CommandList& commands) {
    auto* ports = app.add_subcommand(
        "ports",
        "List the serial devices (path, USB vendor:product, description, stable by-id name) "
        "and say which one COM1 is, and why");
    commands.push_back({ports, [] { return runPorts(); }});
}

}  // namespace loadstar::cli
