#pragma once

#include <string>
#include <variant>

#include "emulator/FaultSettings.h"

namespace loadstar::emulator {

// What kel-emulator was asked to do.
struct EmulatorOptions {
    std::string model = "KEL520";
    // Where the port is published; empty with --no-link.
    std::string linkPath;
    // Flash contents loaded at start and saved on exit; empty: an erased board, nothing saved.
    std::string flashFile;
    // Replies are paced at this line speed; 0 sends them at once.
    int baud = 19200;
    FaultSettings faults;
    // The named pipe that takes control lines while the emulator runs; empty: none.
    std::string controlPipe;
};

// Parses the command line. Returns the options, or the exit status when the program is to end at
// once: 0 after --help (printed on stdout), 2 after a bad option (message on stderr).
std::variant<EmulatorOptions, int> parseEmulatorOptions(int argc, char** argv);

}  // namespace loadstar::emulator
