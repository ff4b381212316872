#include "CommandResult.h"

#include "ExitCode.h"
#include "Interrupt.h"

namespace loadstar::cli {

void printResult(const std::string& line, std::FILE* out) {
    std::fprintf(out, "%s\n", line.c_str());
    if (std::fflush(out) != 0 && out != stderr) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

int checkStandardOutput(int status) {
    const bool written = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (written || (status != exitSuccess && status != exitDifference)) {
        return status;
    }
    std::fprintf(stderr,
                 "loadstar-cli: standard output could not be written in full (did its reader "
                 "stop?)\n");
    return exitFailure;
}

namespace {

// Ctrl-C or SIGTERM ends a wait on the line at once, so the pass then fails its exchange: it was
// interrupted all the same.
int asInterrupted(int result) {
    return result == 0 && InterruptGuard::interrupted() ? -1 : result;
}

}  // namespace

int exitStatusFor(int result, long differences) {
    result = asInterrupted(result);
    if (result == 1) {
        return differences > 0 ? exitDifference : exitSuccess;
    }
    return result == -1 ? exitInterrupted : exitFailure;
}

std::string unfinishedText(int result) {
    return asInterrupted(result) == -1 ? "interrupted" : "failed";
}

std::string boardAddressText(int address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(address));
    return text;
}

}  // namespace loadstar::cli
