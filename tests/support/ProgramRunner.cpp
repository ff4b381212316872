#include "ProgramRunner.h"

#include "TempDir.h"

namespace loadstar::testing {

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout, const ChildEnvironment& environment) {
    const TempDir folder;
    ProgramResult result;
    {
        ChildProcess child(program, args, folder.file("stdout"), folder.file("stderr"),
                           environment);
        if (!child.started()) {
            result.errors = "cannot start " + program;
            return result;
        }
        result.exitStatus = child.waitForExit(timeout);
    }  // one still running after `timeout` is killed here, before its output is read
    result.output = folder.read("stdout");
    result.errors = folder.read("stderr");
    return result;
}

}  // namespace loadstar::testing
