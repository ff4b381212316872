#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "cli/CommandResult.h"
#include "cli/ExitCode.h"
#include "cli/PortsCommand.h"
#include "link/ComPortName.h"
#include "words/ComPortWords.h"

namespace loadstar::cli {

namespace {

struct PortRow {
    int number = 0;
    std::string name;
    std::string target;  // the driver's device, such as \Device\Serial0
};

// The number of "COM7", 0 for a name that is no COM port.
int comNumber(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos) {
        return 0;
    }
    return std::stoi(name.substr(3));
}

// The COM ports among the system's device names, in number order.
std::vector<PortRow> listPorts() {
    std::vector<char> names(1 << 16);
    while (::QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size())) == 0) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= (1u << 24)) {
            return {};
        }
        names.resize(names.size() * 4);
    }
    std::vector<PortRow> rows;
    for (const char* name = names.data(); *name != '\0'; name += std::strlen(name) + 1) {
        if (const int number = comNumber(name); number > 0) {
            char target[512] = {};
            const bool known = ::QueryDosDeviceA(name, target, sizeof target) != 0;
            rows.push_back({number, name, known ? target : ""});
        }
    }
    std::sort(rows.begin(), rows.end(),
              [](const PortRow& a, const PortRow& b) { return a.number < b.number; });
    return rows;
}

int runPorts() {
    const auto rows = listPorts();
    if (jsonOutput()) {
        nlohmann::json devices = nlohmann::json::array();
        for (const auto& row : rows) {
            devices.push_back({{"device", row.name}, {"target", row.target}});
        }
        const ComPortChoice com1 = chooseComPort();
        commandReport()["devices"] = devices;
        commandReport()["com1"] = {{"device", com1.device},
                                   {"resolved", com1.device},
                                   {"reason", comPortChoiceWords(com1)},
                                   {"note", nullptr}};
        return exitSuccess;
    }
    if (rows.empty()) {
        std::printf("No serial ports found.\n");
    } else {
        std::printf("%-8s  %s\n", "PORT", "DEVICE");
        for (const auto& row : rows) {
            std::printf("%-8s  %s\n", row.name.c_str(),
                        row.target.empty() ? "-" : row.target.c_str());
        }
    }
    const ComPortChoice com1 = chooseComPort();
    std::printf("COM1 is %s: %s.\n", com1.device.c_str(), comPortChoiceWords(com1).c_str());
    return exitSuccess;
}

}  // namespace

void addPortsCommand(CLI::App& app, CommandList& commands) {
    auto* ports = app.add_subcommand("ports",
                                     "List the COM ports and the devices behind them, and say "
                                     "which one COM1 is");
    commands.push_back({ports, [] { return runPorts(); }});
}

}  // namespace loadstar::cli
