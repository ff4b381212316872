#include "cli/CommandResult.h"

#include "cli/ExitCode.h"
#include "cli/Interrupt.h"

namespace loadstar::cli {

namespace {

bool jsonOn = false;

}  // namespace

void setJsonOutput(bool on) {
    jsonOn = on;
}

bool jsonOutput() {
    return jsonOn;
}

nlohmann::json& commandReport() {
    static nlohmann::json report = nlohmann::json::object();
    return report;
}

const char* resultName(int status) {
    switch (status) {
        case exitSuccess:
            return "ok";
        case exitDifference:
            return "different";
        case exitInterrupted:
            return "interrupted";
        default:
            return "failed";
    }
}

namespace {

// One compact line: a script can read the output as JSON lines.
bool writeLine(const nlohmann::json& object) {
    const std::string text = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(stdout, "%s\n", text.c_str());
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

}  // namespace

int writeCommandReport(const std::string& command, int status,
                       std::chrono::steady_clock::time_point start) {
    nlohmann::json object = {
        {"schema", 1},           {"command", command},      {"result", resultName(status)},
        {"exit_status", status}, {"failing_step", nullptr}, {"first_difference", nullptr}};
    object.update(commandReport());
    object["duration_ms"] = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
    writeLine(object);
    return status;
}

bool writeJsonLine(const std::string& command, nlohmann::json fields) {
    nlohmann::json object = {{"schema", 1}, {"command", command}};
    object.update(fields);
    return writeLine(object);
}

void reportFirstDifference(const std::optional<int>& address) {
    commandReport()["first_difference"] =
        address ? nlohmann::json(*address) : nlohmann::json(nullptr);
}

std::string bytesText(long count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

void printResult(const std::string& line, std::FILE* out) {
    if (jsonOn) {
        out = stderr;
    }
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
