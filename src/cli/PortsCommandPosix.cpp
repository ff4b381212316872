#include "PortsCommand.h"

#include <libserialport.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "ComPortName.h"
#include "ExitCode.h"

namespace loadstar::cli {

namespace {

namespace fs = std::filesystem;

constexpr char byIdFolder[] = "/dev/serial/by-id";

struct PortRow {
    std::string device;
    std::string byId;
    std::string usbId;
    std::string description;
};

std::string canonical(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return error ? path : resolved.string();
}

// The links in /dev/serial/by-id that name `device`: the names that stay when adapters are
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

PortRow describePort(const sp_port* port) {
    PortRow row;
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

std::vector<PortRow> listPorts(std::string& failure) {
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) != SP_OK) {
        char* message = sp_last_error_message();
        failure = textOr(message, "unknown error");
        sp_free_error_message(message);
        return {};
    }
    std::vector<PortRow> rows;
    for (sp_port** port = ports; *port != nullptr; ++port) {
        rows.push_back(describePort(*port));
    }
    sp_free_port_list(ports);
    std::sort(rows.begin(), rows.end(),
              [](const PortRow& a, const PortRow& b) { return a.device < b.device; });
    return rows;
}

void printRows(const std::vector<PortRow>& rows) {
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

int runPorts() {
    std::string failure;
    const auto rows = listPorts(failure);
    if (!failure.empty()) {
        std::fprintf(stderr, "loadstar-cli: cannot list the serial ports: %s\n", failure.c_str());
    } else if (rows.empty()) {
        std::printf("No serial devices found.\n");
    } else {
        printRows(rows);
    }
    const ComPortChoice com1 = chooseComPort();
    const std::string real = canonical(com1.device);
    std::printf("COM1 is %s%s: %s.\n", com1.device.c_str(),
                real != com1.device ? (" -> " + real).c_str() : "", com1.reason.c_str());
    return failure.empty() ? exitSuccess : exitFailure;
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
