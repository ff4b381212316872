#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace loadstar::testing {

// How a program run to its end finished.
struct ProgramResult {
    // The exit code, 128 + the signal that ended it, -1 when it had to be killed or did not start.
    int exitStatus = -1;
    std::string output;  // what it wrote on stdout
    std::string errors;  // what it wrote on stderr
};

// Runs `program` with `args` (no shell), stdin empty, and waits for its end; kills it after
// `timeout`. It inherits the test's environment unless `environment` is given.
inline ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                                std::chrono::milliseconds timeout = std::chrono::seconds(30),
                                const ChildEnvironment& environment = std::nullopt) {
    const TempDir folder;
    ProgramResult result{-1, "", "cannot start " + program};
    {
        ChildProcess child(program, args, folder.file("out"), folder.file("err"), environment);
        if (!child.started()) {
            return result;
        }
        result.exitStatus = child.waitForExit(timeout);
    }  // one still running is killed here, before its output is read
    result.output = folder.read("out");
    result.errors = folder.read("err");
    return result;
}

#ifdef LOADSTAR_CLI_PATH
// The built loadstar-cli (every test program is given its path).
inline std::string cliPath() {
    return LOADSTAR_CLI_PATH;
}
#endif

}  // namespace loadstar::testing
