#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "ChildProcess.h"

namespace loadstar::testing {

// How a program run to its end finished.
struct ProgramResult {
    // The exit code, 128 + the signal that ended it, -1 when it had to be killed or did not start.
    int exitStatus = -1;
    std::string output;  // what it wrote on stdout
    std::string errors;  // what it wrote on stderr
};

// Runs `program` with `args` (no shell in between), stdin empty, and waits for its end; kills it
// after `timeout`. It inherits the test's environment unless `environment` is given.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout = std::chrono::seconds(30),
                         const ChildEnvironment& environment = std::nullopt);

#ifdef LOADSTAR_CLI_PATH
// The built loadstar-cli (every test program is given its path).
inline std::string cliPath() {
    return LOADSTAR_CLI_PATH;
}
#endif

}  // namespace loadstar::testing
